// A small, strict reader of .xlsx files for the tests and fuzzers: it unpacks
// the zip container (central directory, stored or deflated entries, CRCs
// checked) and reads the first worksheet's cells with their shared strings.
// It never trusts its input.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// Every entry of a zip file by name. Fails on anything out of order: no end
// record, entries outside the file or overlapping the directory, duplicate
// names, encryption, unknown methods, sizes or CRCs that do not match.
bool read_zip(const QByteArray &file, QMap<QString, QByteArray> *entries, QString *error);

// Undoes Excel's "_xHHHH_" escapes: each becomes the UTF-16 code unit HHHH.
QString xlsx_unescape(const QString &s);

struct XlsxCell {
    int row = 0;  // 0-based
    int col = 0;
    bool numeric = false;  // a number; otherwise a shared string
    QString text;          // unescaped
    double value = 0.0;
    int style = 0;  // the "s" attribute
};

struct XlsxBook {
    QMap<QString, QByteArray> entries;
    QVector<QString> shared;            // unescaped
    QVector<XlsxCell> cells;            // of xl/worksheets/sheet1.xml, ordered by row, then column
    QVector<QVector<XlsxCell>> sheets;  // of sheet1.xml, sheet2.xml, … in turn
    QVector<QVector<int>> row_breaks;   // per sheet: the 0-based rows that begin a printed page
};

// Reads the workbook's shared strings and the cells and page breaks of every
// sheet. Only shared-string and number cells are accepted, and blank ones
// with a format, which are passed over; cells and breaks must come in order.
bool read_xlsx(const QByteArray &file, XlsxBook *out, QString *error);
