#!/usr/bin/python3
# Reads the first sheet of a workbook with a real reader (openpyxl for .xlsx,
# xlrd for .xls, chosen by the file's contents, not its name) and prints it as
# JSON for the export tests:
#   {"format": "xlsx"|"xls", "sheets": n, "cells": [[cell|null, ...], ...]}
# where the grid spans exactly the cells that hold a value and a cell is
#   {"t": "s", "u16": hex of the UTF-16LE text}  (exact, lone surrogates too) or
#   {"t": "n", "v": number, "f": number format}  or {"t": other type, "v": repr},
# and the first sheet's layout:
#   "layout": {"freeze": "B2" or null, "title_rows": "1:1" or null,
#              "title_cols": "A:A" or null, "landscape": bool,
#              "widths": {"1": width in characters, ...},   (1-based columns)
#              "need": {"1": characters the column's longest text takes, ...}}
# where a text takes two characters per East Asian wide or full-width
# character and a number the length of its "%.2f" text; and, when there is a
# second sheet,
#   "second": {"name": its name, "cells": its grid as above,
#              "charts": [{"type": "col", "title": text, "categories": ref,
#                          "values": ref, "from": [row, col], "to": [row, col]}]}
# (charts from the .xlsx only; anchors 0-based), "print": as below; a text
# cell set centred carries "h": "center". When there is a third sheet,
#   "third": {"name": its name, "cells": its grid,
#             "print": {"breaks": [0-based row beginning a page, ...],
#                       "landscape": bool, "paper": n, "scale": percent,
#                       "fit": bool (fitted to pages), "margins": [l, r, t, b],
#                       "widths": {"1": width, ...},
#                       "heights": {"0": points, ...} (0-based rows set high),
#                       "cuts": {"0": cells with a dashed bottom border, ...}}}
import json
import re
import struct
import sys
import unicodedata

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def text_cell(s):
    return {"t": "s", "u16": s.encode("utf-16-le", "surrogatepass").hex()}


def xlsx_cells(sheet):
    found = {}
    for (r, c), cell in sheet._cells.items():
        if cell.value is None:
            continue
        if cell.data_type == "s":
            found[(r, c)] = text_cell(cell.value)
            if cell.alignment.horizontal:
                found[(r, c)]["h"] = cell.alignment.horizontal
        elif cell.data_type == "n":
            found[(r, c)] = {"t": "n", "v": cell.value, "f": cell.number_format}
        else:
            found[(r, c)] = {"t": cell.data_type, "v": repr(cell.value)}
    return found


def xlsx_chart(chart):
    def ref(data):
        return (data.numRef or data.strRef).f
    series = chart.series[0] if len(chart.series) == 1 else None
    anchor = chart.anchor
    return {"type": getattr(chart, "type", None),
            "title": "".join(r.t for p in chart.title.tx.rich.p for r in (p.r or [])) if chart.title else None,
            "series": len(chart.series),
            "categories": ref(series.cat) if series else None,
            "values": ref(series.val) if series else None,
            "from": [anchor._from.row, anchor._from.col], "to": [anchor.to.row, anchor.to.col]}


def xlsx_widths(sheet):
    widths = {}
    for letter, dim in sheet.column_dimensions.items():
        if dim.customWidth:
            for c in range(dim.min, dim.max + 1):
                widths[str(c)] = dim.width
    return widths


def xlsx_print(ws):
    setup, margins = ws.page_setup, ws.page_margins
    fit = ws.sheet_properties.pageSetUpPr
    cuts = {}
    for (r, _), cell in ws._cells.items():
        if cell.border.bottom.style == "dashed":
            cuts[str(r - 1)] = cuts.get(str(r - 1), 0) + 1
    return {"breaks": [b.id for b in ws.row_breaks.brk],
            "landscape": setup.orientation == "landscape", "paper": int(setup.paperSize or 0),
            "scale": int(setup.scale or 100), "fit": bool(fit is not None and fit.fitToPage),
            "margins": [margins.left, margins.right, margins.top, margins.bottom],
            "widths": xlsx_widths(ws),
            "heights": {str(r - 1): d.height for r, d in ws.row_dimensions.items() if d.customHeight},
            "cuts": cuts}


def xlsx_third(ws):
    return {"name": ws.title, "cells": grid_of(xlsx_cells(ws)), "print": xlsx_print(ws)}


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
    found = xlsx_cells(sheet)
    second = None
    if len(book.worksheets) > 1:
        ws = book.worksheets[1]
        second = {"name": ws.title, "cells": grid_of(xlsx_cells(ws)), "charts": [xlsx_chart(c) for c in ws._charts],
                  "print": xlsx_print(ws)}
    if len(book.worksheets) > 2:
        second["third"] = xlsx_third(book.worksheets[2])
    widths = xlsx_widths(sheet)
    def plain(titles):
        return titles.replace("$", "") if titles else titles
    layout = {"freeze": sheet.freeze_panes, "title_rows": plain(sheet.print_title_rows),
              "title_cols": plain(sheet.print_title_cols),
              "landscape": sheet.page_setup.orientation == "landscape",
              "paper": int(sheet.page_setup.paperSize or 0), "widths": widths}
    return "xlsx", len(book.worksheets), found, layout, second


def xls_sheet_records(path, index):
    """The records (id, body) of sheet `index`'s substream."""
    from xlrd import compdoc
    with open(path, "rb") as f:
        mem = compdoc.CompDoc(f.read()).get_named_stream("Workbook")
    pos, sheets = 0, []
    while pos + 4 <= len(mem):
        rid, size = struct.unpack_from("<HH", mem, pos)
        if rid == 0x0085:  # BOUNDSHEET
            sheets.append(struct.unpack_from("<I", mem, pos + 4)[0])
        if rid == 0x000A:  # EOF of the globals
            break
        pos += 4 + size
    pos, out = sheets[index], []
    while pos + 4 <= len(mem):
        rid, size = struct.unpack_from("<HH", mem, pos)
        out.append((rid, mem[pos + 4:pos + 4 + size]))
        if rid == 0x000A:
            break
        pos += 4 + size
    return out


def xls_page_setup(path, index=0):
    """Landscape, paper size and scale from a sheet's SETUP record (xlrd skips it)."""
    for rid, body in xls_sheet_records(path, index):
        if rid == 0x00A1:  # SETUP
            paper, scale = struct.unpack_from("<HH", body, 0)
            options = struct.unpack_from("<H", body, 10)[0]
            # Paper and orientation count only when the settings are valid (fNoPls, fNoOrient clear).
            valid = options & 0x0004 == 0
            return valid and options & 0x0042 == 0, paper if valid else 0, scale
    return False, 0, 100


def xls_print(path, index):
    """Fit to pages (WSBOOL) and the margins of a sheet; a margin not set reads as None."""
    fit, margins = False, {0x26: None, 0x27: None, 0x28: None, 0x29: None}
    for rid, body in xls_sheet_records(path, index):
        if rid == 0x0081:
            fit = struct.unpack_from("<H", body, 0)[0] & 0x0100 != 0
        if rid in margins:
            margins[rid] = struct.unpack_from("<d", body, 0)[0]
    return fit, [margins[k] for k in (0x26, 0x27, 0x28, 0x29)]


def xls_print_of(book, path, index):
    ws = book.sheet_by_index(index)
    landscape, paper, scale = xls_page_setup(path, index)
    fit, margins = xls_print(path, index)
    # Every break must span the whole row of columns.
    breaks = [r if (c1, c2) == (0, 255) else -1 for r, c1, c2 in ws.horizontal_page_breaks]
    cuts = {}
    for r in range(ws.nrows):
        for c in range(ws.row_len(r)):
            if book.xf_list[ws.cell_xf_index(r, c)].border.bottom_line_style == 3:  # dashed
                cuts[str(r)] = cuts.get(str(r), 0) + 1
    return {"breaks": breaks, "landscape": landscape, "paper": paper, "scale": scale, "fit": fit,
            "margins": margins,
            "widths": {str(c + 1): info.width / 256.0 for c, info in ws.colinfo_map.items()},
            "heights": {str(r): info.height / 20.0 for r, info in ws.rowinfo_map.items() if info.height_mismatch},
            "cuts": cuts}


def xls_third(book, path):
    ws = book.sheet_by_index(2)
    return {"name": ws.name, "cells": grid_of(xls_cells(book, ws)), "print": xls_print_of(book, path, 2)}


def xls_print_titles(book):
    """The rows and columns of the first sheet's Print_Titles, as openpyxl writes them."""
    rows = cols = None
    for name in book.name_obj_list:
        if name.name != "Print_Titles" or not name.builtin or name.scope != 0:
            continue
        for ref in name.result.value:
            sheet1, sheet2, r1, r2, c1, c2 = ref.coords
            if (sheet1, sheet2) != (0, 1):
                continue
            if c1 == 0 and c2 == 256 and r2 - r1 < 65536:
                rows = "%d:%d" % (r1 + 1, r2)
            elif r1 == 0 and r2 == 65536:
                cols = "%s:%s" % (xlrd_col(c1), xlrd_col(c2 - 1))
    return rows, cols


def xlrd_col(c):
    import xlrd
    return xlrd.colname(c)


def xls_cells(book, sheet):
    import xlrd
    found = {}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT:
                found[(r + 1, c + 1)] = text_cell(cell.value)
                if book.xf_list[cell.xf_index].alignment.hor_align == 2:
                    found[(r + 1, c + 1)]["h"] = "center"
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                key = book.xf_list[cell.xf_index].format_key
                found[(r + 1, c + 1)] = {"t": "n", "v": cell.value,
                                         "f": book.format_map[key].format_str}
            else:
                found[(r + 1, c + 1)] = {"t": "ctype%d" % cell.ctype, "v": repr(cell.value)}
    return found


def read_xls(path):
    import xlrd

    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    found = xls_cells(book, sheet)
    second = None
    if book.nsheets > 1:
        ws = book.sheet_by_index(1)
        second = {"name": ws.name, "cells": grid_of(xls_cells(book, ws)), "charts": [],
                  "print": xls_print_of(book, path, 1)}
    if book.nsheets > 2:
        second["third"] = xls_third(book, path)
    freeze = None
    if sheet.panes_are_frozen:
        import xlrd
        freeze = xlrd.cellname(sheet.horz_split_pos, sheet.vert_split_pos)
    rows, cols = xls_print_titles(book)
    widths = {str(c + 1): info.width / 256.0 for c, info in sheet.colinfo_map.items()}
    landscape, paper, _ = xls_page_setup(path)
    layout = {"freeze": freeze, "title_rows": rows, "title_cols": cols,
              "landscape": landscape, "paper": paper, "widths": widths}
    return "xls", book.nsheets, found, layout, second


def grid_of(found):
    rows = max((r for r, _ in found), default=0)
    cols = max((c for _, c in found), default=0)
    return [[found.get((r, c)) for c in range(1, cols + 1)] for r in range(1, rows + 1)]


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        magic = f.read(8)
    if magic.startswith(b"PK\x03\x04"):
        kind, sheets, found, layout, second = read_xlsx(path)
    elif magic == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
        kind, sheets, found, layout, second = read_xls(path)
    else:
        sys.exit("not a workbook: %r" % magic)
    need = {}
    for (r, c), cell in found.items():
        if cell["t"] == "s":
            text = bytes.fromhex(cell["u16"]).decode("utf-16-le", "surrogatepass")
            width = sum(2 if unicodedata.east_asian_width(ch) in "WF" else 1 for ch in text)
        elif cell["t"] == "n":
            width = len("%.2f" % cell["v"])
        else:
            continue
        need[str(c)] = max(need.get(str(c), 0), width)
    layout["need"] = need
    out = {"format": kind, "sheets": sheets, "cells": grid_of(found), "layout": layout}
    if second is not None:
        third = second.pop("third", None)
        out["second"] = second
        if third is not None:
            out["third"] = third
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
