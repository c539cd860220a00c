#!/usr/bin/python3
# Reads the first sheet of a workbook with a real reader (openpyxl for .xlsx,
# xlrd for .xls, chosen by the file's contents, not its name) and prints it as
# JSON for the export tests:
#   {"format": "xlsx"|"xls", "sheets": n, "cells": [[cell|null, ...], ...]}
# where the grid spans exactly the cells that hold a value and a cell is
#   {"t": "s", "u16": hex of the UTF-16LE text}  (exact, lone surrogates too) or
#   {"t": "n", "v": number, "f": number format}  or {"t": other type, "v": repr}.
import json
import re
import sys

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def text_cell(s):
    return {"t": "s", "u16": s.encode("utf-16-le", "surrogatepass").hex()}


def read_xlsx(path):
    import openpyxl
    import openpyxl.reader.excel as excel
    from openpyxl.cell.text import Text
    from openpyxl.xml.constants import SHEET_MAIN_NS
    from openpyxl.xml.functions import iterparse

    # openpyxl 3.0 leaves Excel's "_xHHHH_" escapes in shared strings (it only
    # drops "x005F_"); decode them the way Excel does.
    def read_string_table(src):
        tag = "{%s}si" % SHEET_MAIN_NS
        out = []
        for _, node in iterparse(src):
            if node.tag == tag:
                out.append(ESCAPE.sub(lambda m: chr(int(m.group(1), 16)),
                                      Text.from_tree(node).content))
                node.clear()
        return out

    excel.read_string_table = read_string_table
    # Given a file object, openpyxl does not insist on an .xlsx name.
    with open(path, "rb") as f:
        book = openpyxl.load_workbook(f)
    sheet = book.worksheets[0]
    found = {}
    for (r, c), cell in sheet._cells.items():
        if cell.value is None:
            continue
        if cell.data_type == "s":
            found[(r, c)] = text_cell(cell.value)
        elif cell.data_type == "n":
            found[(r, c)] = {"t": "n", "v": cell.value, "f": cell.number_format}
        else:
            found[(r, c)] = {"t": cell.data_type, "v": repr(cell.value)}
    return "xlsx", len(book.worksheets), found


def read_xls(path):
    import xlrd

    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    found = {}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT:
                found[(r + 1, c + 1)] = text_cell(cell.value)
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                key = book.xf_list[cell.xf_index].format_key
                found[(r + 1, c + 1)] = {"t": "n", "v": cell.value,
                                         "f": book.format_map[key].format_str}
            else:
                found[(r + 1, c + 1)] = {"t": "ctype%d" % cell.ctype, "v": repr(cell.value)}
    return "xls", book.nsheets, found


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        magic = f.read(8)
    if magic.startswith(b"PK\x03\x04"):
        kind, sheets, found = read_xlsx(path)
    elif magic == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
        kind, sheets, found = read_xls(path)
    else:
        sys.exit("not a workbook: %r" % magic)
    rows = max((r for r, _ in found), default=0)
    cols = max((c for _, c in found), default=0)
    grid = [[found.get((r, c)) for c in range(1, cols + 1)] for r in range(1, rows + 1)]
    json.dump({"format": kind, "sheets": sheets, "cells": grid}, sys.stdout)


if __name__ == "__main__":
    main()
