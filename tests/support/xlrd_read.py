#!/usr/bin/python3
# Reads an .xls file with xlrd (and its container with olefile, when present)
# and prints what it found as JSON, for the tests to compare with what they wrote.
# Usage: xlrd_read.py FILE
import hashlib
import io
import json
import sys


def main():
    path = sys.argv[1]
    result = {"ok": False}
    try:
        import xlrd
        log = io.StringIO()
        book = xlrd.open_workbook(path, formatting_info=True, logfile=log)
        sheets = []
        for sh in book.sheets():
            cells = []
            for r in range(sh.nrows):
                for c in range(sh.ncols):
                    cell = sh.cell(r, c)
                    if cell.ctype == xlrd.XL_CELL_EMPTY:
                        continue
                    kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number"}.get(cell.ctype, "other")
                    xf = book.xf_list[cell.xf_index]
                    fmt = book.format_map[xf.format_key].format_str
                    cells.append([r, c, kind, cell.value, fmt])
            sheets.append({"name": sh.name, "nrows": sh.nrows, "ncols": sh.ncols, "cells": cells})
        result = {"ok": True, "log": log.getvalue(), "sheets": sheets}
    except Exception as e:  # reported, not raised: the test shows the reason
        result = {"ok": False, "error": "%s: %s" % (type(e).__name__, e)}

    try:
        import olefile
    except ImportError:
        olefile = None
    if olefile is not None:
        try:
            # Raise on every defect olefile can recognise, even the doubtful ones.
            ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_UNSURE)
            data = ole.openstream("Workbook").read()
            result["ole"] = {"ok": True, "sha256": hashlib.sha256(data).hexdigest(), "size": len(data)}
            ole.close()
        except Exception as e:
            result["ole"] = {"ok": False, "error": "%s: %s" % (type(e).__name__, e)}
    json.dump(result, sys.stdout, ensure_ascii=True)
    return 0 if result["ok"] else 1


if __name__ == "__main__":
    sys.exit(main())
