#!/usr/bin/python3
# Reads back, on the Linux side, a workbook that the Windows build exported from the example exam
# and compares its first sheet with the table the example files and the entered marks give.
#   windows_readback.py WORKBOOK EXAM_DIR MARKS
# MARKS: the written-question marks, student by student, comma-separated ("5,7,3,8,...").
# Prints what it compared; exits 1 on any difference.
import sys


def numbers_and_texts(path):
    """Counts and maxima of a problem file: the leading numbers before the first '@'."""
    data = open(path, encoding="utf-8-sig").read()
    head = data.split("@", 1)[0].split()
    nums = []
    for tok in head:
        try:
            nums.append(float(tok))
        except ValueError:
            break
    x, u = int(nums[0]), int(nums[1])
    return x, u, nums[2:2 + x + u]


def read_sheet(path):
    with open(path, "rb") as f:
        magic = f.read(4)
    if magic == b"PK\x03\x04":
        import openpyxl
        book = openpyxl.load_workbook(path)
        ws = book.worksheets[0]
        return "xlsx (openpyxl)", [[c.value for c in row] for row in ws.iter_rows()]
    import xlrd
    book = xlrd.open_workbook(path)
    ws = book.sheet_by_index(0)
    return "xls (xlrd)", [ws.row_values(r) for r in range(ws.nrows)]


def main():
    book, exam, marks = sys.argv[1], sys.argv[2], [float(m) for m in sys.argv[3].split(",")]
    x, u, maxima = numbers_and_texts(f"{exam}/problem.txt")
    key = open(f"{exam}/answer.txt", encoding="utf-8-sig").read().split()[0]
    roster = open(f"{exam}/roster.txt", encoding="utf-8-sig").read().split()
    names = roster[1:1 + int(roster[0])]

    want = [["学生信息", "总分"] + [f"选择题{i}" for i in range(1, x + 1)]
            + [f"非选择题{i}" for i in range(1, u + 1)]]
    for s, name in enumerate(names):
        sheet = open(f"{exam}/{name}", encoding="utf-8-sig").read()
        choice = [maxima[k] if k < len(sheet) and k < len(key) and sheet[k] == key[k] else 0.0
                  for k in range(x)]
        written = marks[s * u:(s + 1) * u]
        want.append([name, sum(choice) + sum(written)] + choice + written)

    kind, got = read_sheet(book)
    print(f"{book}: {kind}, {len(got)} rows")
    bad = 0
    if len(got) != len(want):
        print(f"  rows: got {len(got)}, want {len(want)}")
        bad += 1
    for r, (g, w) in enumerate(zip(got, want)):
        g = [float(v) if isinstance(v, (int, float)) else v for v in g]
        # A score may come back as a number or as its two-decimal text.
        g = [float(v) if isinstance(v, str) and r > 0 and c > 0 and v.replace(".", "", 1).isdigit() else v
             for c, v in enumerate(g)]
        ok = g == w
        print(f"  row {r + 1}: {'ok ' if ok else 'BAD'} {g}" + ("" if ok else f"  want {w}"))
        bad += not ok
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
