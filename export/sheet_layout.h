// How both workbook writers lay the score sheet out for reading and printing:
// the header row and the name column frozen and repeated on every printed
// page, landscape pages, and columns as wide as their contents.
#pragma once

#include "export/score_sheet.h"

#include <QString>
#include <QVector>

// Excel's limit on the length of one cell's text, in UTF-16 code units; the
// same in .xls and .xlsx.
constexpr int max_cell_chars = 32767;

// Excel's widest column, in characters.
constexpr double max_column_width = 255.0;

// Columns a text needs in a spreadsheet: a wide (CJK, full-width, emoji)
// character counts two, a surrogate pair one character.
int text_width(const QString &text);

// For each column of the sheet, the width in characters that shows every
// text of the column, header included, whole ("%.2f" texts for scores), with
// a little room to spare, at most max_column_width; 0 for a column that holds
// no text, which keeps the default width. Title cells widen nothing.
QVector<double> column_widths(const ScoreSheet &sheet);
