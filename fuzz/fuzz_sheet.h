// Shared part of the workbook-writer fuzz targets: turns fuzzer bytes into a
// score sheet of awkward cells (invalid UTF-8, lone surrogates, empty cells,
// escape look-alikes, very long texts, any double) and keeps a scratch
// directory where each input's workbook is written and read back.
#pragma once

#include "export/score_sheet.h"
#include "fuzz/fuzz_check.h"
#include "marking/analysis.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace fuzz {

class Bytes {
public:
    Bytes(const uint8_t *d, size_t n) : d_(d), n_(n) { }
    bool empty() const { return i_ >= n_; }
    uint8_t u8() { return i_ < n_ ? d_[i_++] : 0; }
    QByteArray take(size_t n)
    {
        n = std::min(n, n_ - std::min(i_, n_));
        QByteArray b(reinterpret_cast<const char *>(d_ + i_), static_cast<int>(n));
        i_ += n;
        return b;
    }
    double f64()
    {
        uint64_t bits = 0;
        const QByteArray b = take(8);
        std::memcpy(&bits, b.constData(), static_cast<size_t>(b.size()));
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const uint8_t *d_;
    size_t n_;
    size_t i_ = 0;
};

// Code units that stress the writers: controls, underscores, surrogates, CJK, U+FFFF.
inline QChar odd_unit(uint8_t b)
{
    static const ushort units[]
        = {'a', '_', 'x', 0x01, 0x0D, 0x09, 0x0A, 0xD800, 0xDC00, 0x4E2D, 0xFFFE, 0xFFFF, 0xE9, '&', '<', 0x7F};
    return QChar(units[b % (sizeof units / sizeof units[0])]);
}

inline QString text_of(Bytes &in, uint8_t kind)
{
    switch (kind % 4) {
    case 0:  // UTF-8, possibly invalid
        return QString::fromUtf8(in.take(in.u8()));
    case 1: {  // raw UTF-16 units, lone surrogates included
        const QByteArray b = in.take(2 * size_t(in.u8()));
        QString s;
        for (int i = 0; i + 1 < b.size(); i += 2)
            s.append(QChar(ushort(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8)));
        return s;
    }
    case 2: {  // a few odd units
        QString s;
        const int n = in.u8() % 16;
        for (int i = 0; i < n; ++i)
            s.append(odd_unit(in.u8()));
        return s;
    }
    default: {  // long: around the cell limit, or escape-heavy
        static const int lengths[] = {10000, 32767, 32768, 4682, 5000, 4681};
        const int n = lengths[in.u8() % 6];
        return QString(n, odd_unit(in.u8()));
    }
    }
}

inline double odd_double(uint8_t b, Bytes &in)
{
    switch (b % 8) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return std::numeric_limits<double>::infinity();
    case 2:
        return -std::numeric_limits<double>::infinity();
    case 3:
        return -0.0;
    case 4:
        return std::numeric_limits<double>::max();
    case 5:
        return std::numeric_limits<double>::denorm_min();
    case 6:
        return in.u8() / 4.0;
    default:
        return in.f64();
    }
}

// The sheet an input describes: first byte = route and header count, then
// cells op by op, op 0 starting a new row. Sizes stay small but pass the
// 32-row blocks of the .xls layout.
inline ScoreSheet sheet_of(Bytes &in, uint8_t flags)
{
    ScoreSheet sheet;
    const int headers = (flags >> 2) & 7;
    for (int c = 0; c < headers; ++c)
        sheet.headers << text_of(in, in.u8());
    int cells = 0;
    sheet.rows.append(QVector<SheetCell>());
    while (!in.empty() && cells < 400 && sheet.rows.size() < 80) {
        const uint8_t op = in.u8();
        SheetCell cell;
        switch (op % 6) {
        case 0:
            sheet.rows.append(QVector<SheetCell>());
            continue;
        case 1:
        case 2:
            cell.text = text_of(in, op >> 3);
            break;
        case 3:
            cell.numeric = true;
            cell.value = in.f64();
            cell.text = QString::number(cell.value, 'f', 2);
            break;
        case 4:
            cell.numeric = true;
            cell.value = odd_double(op >> 3, in);
            cell.text = (op & 0x80) ? text_of(in, in.u8()) : QString::number(cell.value, 'f', 2);
            break;
        default:
            break;  // an empty cell
        }
        if (sheet.rows.last().size() < 40) {
            sheet.rows.last().append(cell);
            ++cells;
        }
    }
    return sheet;
}

// A class analysis over the sheet, so the writers lay out every sheet: the
// headers are the questions, each row a student (its first cell the name,
// the rest the total and the scores), texts cut to the store's 100 bytes,
// a surrogate pair possibly in half; every third student 缺考, the first
// two headers the class and the exam of the title row, the further ones the
// exam 进退步 compares with and the classes of 班级对比.
inline ClassAnalysis analysis_of(const ScoreSheet &sheet)
{
    ClassAnalysis a;
    a.letters = QStringLiteral("ABCD");
    for (const QString &h : sheet.headers) {
        QuestionAnalysis q;
        q.label = h.left(100);
        q.choice = q.label.size() % 2;
        q.key = q.label.left(1);
        q.letter_counts = {1, 0, 2, 3};
        q.mean = q.discrimination = double(h.size()) / 3;
        a.questions.append(q);
    }
    int rank = 0;
    for (const QVector<SheetCell> &row : sheet.rows) {
        StudentResult r;
        r.name = row.value(0).text.left(100);
        r.total = row.value(1).value;
        r.rank = ++rank / 2 + 1;  // ties
        r.absent = rank % 3 == 0;  // 缺考 now and then
        a.absent += r.absent;
        for (int c = 2; c < row.size(); ++c)
            r.scores.append(row.at(c).value);
        a.roster.append(r);
    }
    a.students = sheet.rows.size() - a.absent;
    // The title row's names, from the awkward texts too.
    a.class_name = sheet.headers.value(0).left(100);
    a.exam_name = sheet.headers.value(1).left(100);
    a.mean = a.deviation = a.reliability = sheet.rows.value(0).value(1).value;
    // 进退步 and 班级对比 from the third header on, with any figures the cells hold.
    if (sheet.headers.size() > 2) {
        PreviousExam p;
        p.exam_name = sheet.headers.at(2).left(100);
        p.exported_ms = qint64(sheet.rows.value(0).value(0).text.size()) * 86400000 - 86400000;
        p.mean = sheet.rows.value(0).value(2).value;
        p.excellent_rate = sheet.rows.value(0).value(3).value;
        for (int k = 0; k < a.roster.size(); ++k) {
            a.roster[k].previous_rank = (k * 7) % 5;  // 0: not in the last exam
            a.roster[k].grade_rank = a.roster[k].absent ? 0 : k + 1;
            (k % 2 ? p.fallers : p.risers) << k;
        }
        p.risers = p.risers.mid(0, 5);
        p.fallers = p.fallers.mid(0, 5);
        a.previous = p;
    }
    for (int c = 3; c < sheet.headers.size(); ++c) {
        ClassFigures f;
        f.name = sheet.headers.at(c).left(100);
        f.students = c;
        f.absent = c % 2;
        const QVector<SheetCell> row = sheet.rows.value(c % sheet.rows.size());
        f.mean = row.value(1).value;
        f.high = row.value(2).value;
        if (c % 3)
            f.low = f.excellent_rate = f.pass_rate = row.value(3).value;
        a.classes << f;
    }
    return a;
}

// Cells of laid-out rows a writer puts into a sheet: the numbers, and the texts that are not empty.
inline int cells_in(const QVector<QVector<SheetCell>> &rows)
{
    int n = 0;
    for (const QVector<SheetCell> &row : rows)
        for (const SheetCell &c : row)
            n += (c.numeric && std::isfinite(c.value)) || !c.text.isEmpty();
    return n;
}

// Whether a cell goes into the workbook as text (else as a number).
inline bool as_text(const SheetCell &c)
{
    return !c.numeric || !std::isfinite(c.value);
}

// The scratch directory of this process, made once.
inline QString scratch_dir(const char *what)
{
    static QString dir = [what] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString d = base + QStringLiteral("/velora-fuzz-%1-%2").arg(QLatin1String(what)).arg(::getpid());
        QDir().mkpath(d);
        return d;
    }();
    return dir;
}

// The directory's files after a write: the target alone, no temporary left.
inline QStringList files_in(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

inline QByteArray read_all(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void write_all(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        fail("cannot write", path);
}

// One cell a writer target expects to read back.
struct WantCell {
    int row, col;
    bool numeric;
    QString text;
    double value;
};

}  // namespace fuzz
