// The contents of the score table as the workbook writers take them: header
// texts and rows of cells, each cell a text and, for scores, its number.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct SheetCell {
    QString text;          // exactly as the table shows it
    bool numeric = false;  // a score: written as a number with format "0.00"
    double value = 0.0;
};

struct ScoreSheet {
    QStringList headers;               // row 1
    QVector<QVector<SheetCell>> rows;  // rows 2 ..; a row may be shorter than headers
};
