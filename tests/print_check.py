#!/usr/bin/python3
# Prints the workbooks of tests/print_proof.cpp through LibreOffice to PDF and
# reads the pages back (pdftotext -bbox), as a teacher would see them on paper:
#  - 成绩条: every page begins with a slip's title and holds whole slips only,
#    as many as laid out; no more than one slip's height is left blank at the
#    foot of a full page; the text is at least 10 points.
#  - 成绩分析: every page that holds rows of the question table holds its
#    header row (题目) above them.
#   print_check.py <print_proof> <examples folder> <output folder> [--png]
# With --png the pages are also written as PNG files beside the PDFs.
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

# (workbook, exam title, slips a page, lines of questions a slip) as laid out.
CASES = [("monthly", "2026秋季月考物理", 4, 1), ("class4", "2026秋季期中物理", 4, 1),
         ("example", "2026秋季期中物理", 4, 1), ("class40", "2026秋季期中数学", 3, 2)]
LEFT = 60  # words starting left of this are in column A
END_MARGIN = 0.75 * 72
QUESTION = re.compile(r"^(非)?选择题\d+$")


def pages_of(pdf):
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True).stdout
    root = ET.fromstring(re.sub(rb"<!DOCTYPE[^>]*>", b"", out))
    pages = []
    for page in root.iter("{http://www.w3.org/1999/xhtml}page"):
        words = [(w.text or "", float(w.get("xMin")), float(w.get("yMin")), float(w.get("yMax")))
                 for w in page.iter("{http://www.w3.org/1999/xhtml}word")]
        pages.append((float(page.get("height")), words))
    return pages


def check(pdf, title, per_page, lines):
    faults = []
    slip_pages = []
    for number, (height, words) in enumerate(pages_of(pdf), 1):
        tops = sorted({round(y) for _, _, y, _ in words})
        left = [(t, y) for t, x, y, _ in words if x < LEFT]
        if any(t == title for t, _ in left):
            slip_pages.append((number, height, words, tops))
        questions = [y for t, y in left if QUESTION.match(t)]
        headers = [y for t, y in left if t == "题目"]
        if questions and not (headers and min(headers) < min(questions)):
            faults.append("page %d: question rows without the table's header row" % number)
    for k, (number, height, words, tops) in enumerate(slip_pages):
        titles = sorted(y for t, x, y, _ in words if t == title and x < LEFT)
        full = k + 1 < len(slip_pages)
        if tops[0] != round(titles[0]):
            faults.append("page %d does not begin with a slip's title" % number)
        # A slip: its title, then a header, 满分 and score row for each line of questions.
        if len(tops) != len(titles) * (1 + 3 * lines):
            faults.append("page %d: %d rows of text for %d slips: a slip is cut" % (number, len(tops), len(titles)))
        if full and len(titles) != per_page:
            faults.append("page %d holds %d slips, not %d" % (number, len(titles), per_page))
        if full and len(titles) > 1:
            pitch = titles[1] - titles[0]
            last = max(y for _, _, _, y in words)
            if height - END_MARGIN - last > pitch:
                faults.append("page %d: %.0f pt blank at the foot, a slip takes %.0f" %
                              (number, height - END_MARGIN - last, pitch))
        # 11-point text is about 14 points high in its box; 10 points, 13.
        small = [t for t, _, y0, y1 in words if y1 - y0 < 13.0]
        if small:
            faults.append("page %d: text under 10 pt (%s)" % (number, small[0]))
    if not slip_pages:
        faults.append("no page of slips")
    return faults, len(slip_pages)


def main():
    proof, examples, out = sys.argv[1:4]
    png = "--png" in sys.argv[4:]
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run([proof, examples, out], check=True, env=env)
    # A profile of its own, so a LibreOffice already running elsewhere is not asked to print.
    profile = "-env:UserInstallation=file://" + os.path.abspath(os.path.join(out, "profile"))
    faults = []
    for name, title, per_page, lines in CASES:
        for suffix in ("xlsx", "xls"):
            folder = os.path.join(out, suffix)
            subprocess.run(["soffice", profile, "--headless", "--convert-to", "pdf", "--outdir", folder,
                            os.path.join(out, name + "." + suffix)], check=True, capture_output=True)
            pdf = os.path.join(folder, name + ".pdf")
            found, pages = check(pdf, title, per_page, lines)
            print("%s.%s: %d pages of slips%s" % (name, suffix, pages, "" if found else ", as laid out"))
            faults += ["%s.%s: %s" % (name, suffix, f) for f in found]
            if png:
                subprocess.run(["pdftoppm", "-png", "-r", "80", pdf, os.path.join(folder, name)], check=True)
    for f in faults:
        print(f)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
