// The third sheet of the exported workbook, "成绩条": one slip per student,
// printed to be cut apart and handed out, the same for both workbook writers.
#pragma once

#include "export/page_layout.h"
#include "export/score_sheet.h"
#include "marking/analysis.h"

#include <QString>
#include <QVector>

// Excel's limit on the manual page breaks of one sheet.
constexpr int max_page_breaks = 1023;

// The rows of a slip, in points: room for a line of 11-point text, CJK
// fallback fonts included; the gap holds the cutting line.
constexpr double slip_title_height = 22.0, slip_row_height = 16.0, slip_score_height = 18.0, slip_gap_height = 10.0;

struct SlipSheet {
    QVector<QVector<SheetCell>> rows;  // from row 1
    QVector<double> widths;            // per column, in characters
    QVector<double> heights;           // per row, in points
    // The rows (0-based, ascending) that begin a printed page: each a slip's
    // title row, so no slip is cut across two pages.
    QVector<int> breaks;
    bool landscape = false;  // A4 either way
    int scale = 100;         // printed at this percentage
    int lines = 1;           // lines of questions a slip takes
};

QString slip_sheet_name();

// For each student in roster order a slip: a title row with the exam's name
// (bold), then for each line of questions a header row ("学生信息", "总分",
// "名次", "上次名次" and "进退" where there was a last exam, "年级名次" where
// other classes sat the paper, and the question headers), a row of maxima ("满分", the full marks,
// every question's maximum) and the student's row (the name as text; 总分,
// 名次 as a whole number, "缺考" for an absent student, and every score as numbers); further lines name
// their 满分 and student rows again but leave 总分 and 名次 out. Between slips on a page a low row whose
// dashed bottom border is the cutting line. A slip too wide for the page goes on in further
// lines under the first. The orientation, the questions a line and the scale
// are those that put the most slips on a page at the largest scale (100 %,
// 11-point text, wherever one question fits across the page); the pages
// break before a slip's title only.
SlipSheet slip_sheet(const ClassAnalysis &a);
