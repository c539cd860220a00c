// The third sheet of the exported workbook, "成绩条": one slip per student,
// printed to be cut apart and handed out, the same for both workbook writers.
#pragma once

#include "export/score_sheet.h"
#include "marking/analysis.h"

#include <QString>
#include <QVector>

// Excel's limit on the manual page breaks of one sheet.
constexpr int max_page_breaks = 1023;

// Both writers print the slips with these margins, in inches.
constexpr double slip_side_margin = 0.7, slip_end_margin = 0.75;

struct SlipSheet {
    QVector<QVector<SheetCell>> rows;  // from row 1; a blank row between slips is empty
    QVector<double> widths;            // per column, in characters, as column_widths() gives them
    // The rows (0-based, ascending) that begin a printed page: each right
    // after a slip's blank row, so no slip is cut across two pages.
    QVector<int> breaks;
    bool landscape = false;  // A4 either way
    int scale = 100;         // printed at this percentage, one page wide
};

QString slip_sheet_name();

// For each student in roster order: a header row ("学生信息", "总分", "名次",
// the question headers), the student's row (the name as text; 总分, 名次 and
// every score as numbers), then a blank row, but after the last slip.
// A slip that fits an upright A4 page's width unscaled is printed upright, a
// wider one across the page, scaled down to the page's width. Spreadsheets
// drop manual page breaks from a sheet fitted to pages, so velora works the
// scale out itself, and breaks the pages leaving room for wider columns and
// taller rows than any spreadsheet draws.
SlipSheet slip_sheet(const ClassAnalysis &a);
