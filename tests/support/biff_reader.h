// A small, strict reader of .xls files (BIFF8 in an OLE2 compound file) for the
// tests: it reads a workbook back into its cells and checks the structures a
// spreadsheet program relies on. It never trusts its input, so it also serves
// as a target for fuzzing.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// What a compound file holds.
struct CfbContents {
    QMap<QString, QByteArray> streams;  // every stream, by name
    QStringList in_mini_stream;         // names of the streams kept in the mini stream
    int fat_sectors = 0;
    int difat_sectors = 0;
};

// Reads every stream of a version 3 compound file. Fails on anything out of
// order: bad header, chains that loop, overlap or run out of the file, stream
// sizes that do not match their chains, sectors marked used that nothing uses.
bool read_compound_file(const QByteArray &file, CfbContents *out, QString *error);

struct BiffCell {
    int row = 0;  // 0-based
    int col = 0;
    bool numeric = false;  // NUMBER; otherwise a shared string
    QString text;
    double value = 0.0;
    QString format;  // number format string of the cell's XF
};

struct BiffSheet {
    QString name;
    quint32 first_row = 0, end_row = 0;  // DIMENSIONS: rows [first, end)
    quint16 first_col = 0, end_col = 0;  // columns [first, end)
    QVector<BiffCell> cells;             // ordered by row, then column
    QVector<BiffCell> blanks;            // BLANK: a format without a value, in the file's order
    QVector<int> page_breaks;            // HORIZONTALPAGEBREAKS: the rows that begin a printed page
};

struct BiffBook {
    CfbContents container;
    QByteArray stream;  // the "Workbook" stream
    int codepage = 0;
    QStringList sst;
    quint32 sst_total = 0;
    int sst_continues = 0;       // CONTINUE records following the SST record
    int split_strings = 0;       // strings whose characters run on into the next record
    int split_wide_strings = 0;  // ... of them stored as two-byte characters
    int extsst_buckets = 0;
    int dbcells = 0;
    QVector<BiffSheet> sheets;
};

// Reads an .xls file and cross-checks it: record lengths, the string table
// against its CONTINUE records and EXTSST, sheet offsets, DIMENSIONS, INDEX and
// DBCELL against the records they point at, XF and font references, the
// shared-string reference count, and page breaks (one record before
// DIMENSIONS, rows ascending inside the sheet, each across every column).
// Only NUMBER, LABELSST and BLANK cells are accepted.
bool read_xls(const QByteArray &file, BiffBook *out, QString *error);

// A text as an .xls holds it: UTF-16 cannot keep a surrogate without its
// partner, so the writer stores U+FFFD in its place.
QString xls_text_of(QString text);
