// The second sheet of the exported workbook, "成绩分析": the class analysis
// laid out as rows of cells, the same for both workbook writers.
#pragma once

#include "export/page_layout.h"
#include "export/score_sheet.h"
#include "marking/analysis.h"

#include <QString>
#include <QVector>

struct AnalysisSheet {
    QVector<QVector<SheetCell>> rows;  // from row 1; a statistic that has no value is an empty cell
    // The band block: its header row, then analysis_bands rows of a range in
    // column A and a count in column B. The .xlsx charts the counts when
    // chart is set (there are students to count).
    int bands_header_row = 0;  // 0-based
    bool chart = false;
    // Printed across A4 pages one page wide, at this scale, every row
    // analysis_row_height high. The rows (0-based, ascending) that begin a
    // page: before a block that would be cut but fits a page, and inside a
    // question table longer than a page, whose header row is repeated there.
    bool landscape = true;
    int scale = 100;
    QVector<int> breaks;
};

// The height of every row of the analysis sheet, in points.
constexpr double analysis_row_height = 16.0;

// The sheet's name and the chart's title, as the teacher reads them.
QString analysis_sheet_name();
QString analysis_chart_title();

// Lays the analysis out: a bold title row naming the class and the exam
// where the files name them, and the exam 进退步 compares with; then each
// block under its heading in column A: 全班概况 (a label and its value per
// row; 缺考人数 only where someone was absent), 分数段 (ranges and counts),
// where the analysis has them 班级对比 (a row per class, then the 年级) and
// 进退步 (mean and 优秀率 then and now, those who rose and fell most), and
// 各题分析 (a header row, then one row per question), and the printed pages.
AnalysisSheet analysis_sheet(const ClassAnalysis &a);
