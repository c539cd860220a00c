// The contents of the score table as the workbook writers take them: header
// texts and rows of cells, each cell a text and, for scores, its number.
// The analysis sheet is made of the same cells.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// How a number cell is shown.
enum class NumberFormat {
    score,  // "0.00"
    rate,   // "0.0%"
    count,  // "0": a whole number (a rank, a number of students)
};

struct SheetCell {
    QString text;          // exactly as the table shows it
    bool numeric = false;  // a number: written with `format` ("0.00" for every score)
    double value = 0.0;
    NumberFormat format = NumberFormat::score;
    bool centred = false;  // a short text that must not touch the number beside it
    bool title = false;    // bold
    bool cut = false;      // a dashed bottom border: the cutting line between slips
};

struct ScoreSheet {
    QStringList headers;               // row 1
    QVector<QVector<SheetCell>> rows;  // rows 2 ..; a row may be shorter than headers
};
