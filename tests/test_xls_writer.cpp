// Tests of the .xls writer and its compound file container: every workbook is
// read back by xlrd (through tests/support/xlrd_read.py, with olefile checking
// the container) and by the strict reader in tests/support, cell by cell.
#include "export/compound_file.h"
#include "export/xls_writer.h"
#include "marking/scoring.h"
#include "tests/support/biff_reader.h"
#include "tests/support/exam_fixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(ScoreSheet)

namespace QTest {
template <> char *toString(const ExportError &e)
{
    return qstrdup(qPrintable(QStringLiteral("fault %1: %2").arg(int(e.fault)).arg(export_error_message(e))));
}
}  // namespace QTest

namespace {

struct Want {
    int row;
    int col;
    bool numeric;
    QString text;
    double value;
};

// What a spreadsheet must show: headers in row 0, the rows below; empty texts
// are empty cells, non-finite scores their text.
QVector<Want> expected_cells(const ScoreSheet &sheet)
{
    QVector<Want> want;
    for (int c = 0; c < sheet.headers.size(); ++c)
        if (!sheet.headers.at(c).isEmpty())
            want.append({0, c, false, xls_text_of(sheet.headers.at(c)), 0});
    for (int r = 0; r < sheet.rows.size(); ++r)
        for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
            const SheetCell &cell = sheet.rows.at(r).at(c);
            if (cell.numeric && std::isfinite(cell.value))
                want.append({r + 1, c, true, QString(), cell.value});
            else if (!cell.text.isEmpty())
                want.append({r + 1, c, false, xls_text_of(cell.text), 0});
        }
    return want;
}

QString where(const Want &w)
{
    return QStringLiteral("(%1,%2)").arg(w.row).arg(w.col);
}

QString compare_own(const BiffBook &book, const QVector<Want> &want)
{
    if (book.sheets.size() != 1 || book.sheets.at(0).name != QLatin1String("Sheet1"))
        return QStringLiteral("expected one sheet named Sheet1");
    if (book.codepage != 1200)
        return QStringLiteral("codepage %1").arg(book.codepage);
    const QVector<BiffCell> &got = book.sheets.at(0).cells;
    if (got.size() != want.size())
        return QStringLiteral("own reader: %1 cells, expected %2").arg(got.size()).arg(want.size());
    for (int i = 0; i < want.size(); ++i) {
        const Want &w = want.at(i);
        const BiffCell &g = got.at(i);
        if (g.row != w.row || g.col != w.col || g.numeric != w.numeric)
            return QStringLiteral("own reader: cell %1 at (%2,%3), expected %4")
                .arg(i)
                .arg(g.row)
                .arg(g.col)
                .arg(where(w));
        if (w.numeric && (g.value != w.value || g.format != QLatin1String("0.00")))
            return QStringLiteral("own reader: %1 is %2 \"%3\"").arg(where(w)).arg(g.value).arg(g.format);
        if (!w.numeric && (g.text != w.text || g.format != QLatin1String("General")))
            return QStringLiteral("own reader: %1 text differs").arg(where(w));
    }
    return QString();
}

QJsonObject run_xlrd(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELORA_TESTS_DIR "/support/xlrd_read.py"), path});
    if (!p.waitForFinished(300000))
        return QJsonObject{{"ok", false}, {"error", "python3 did not finish: " + p.errorString()}};
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
    if (!doc.isObject())
        return QJsonObject{{"ok", false},
                           {"error", "no JSON from xlrd_read.py: " + QString::fromUtf8(p.readAllStandardError())}};
    return doc.object();
}

[[maybe_unused]] QString compare_xlrd(const QJsonObject &res, const QVector<Want> &want, const QByteArray &stream)
{
    if (!res.value("ok").toBool())
        return QStringLiteral("xlrd: ") + res.value("error").toString();
    if (!res.value("log").toString().isEmpty())
        return QStringLiteral("xlrd warned: ") + res.value("log").toString();
    const QJsonObject ole = res.value("ole").toObject();
    if (!ole.isEmpty() && !stream.isEmpty()) {
        if (!ole.value("ok").toBool())
            return QStringLiteral("olefile: ") + ole.value("error").toString();
        if (ole.value("sha256").toString().toLatin1()
            != QCryptographicHash::hash(stream, QCryptographicHash::Sha256).toHex())
            return QStringLiteral("olefile and the own reader disagree on the Workbook stream");
    }
    const QJsonArray sheets = res.value("sheets").toArray();
    if (sheets.size() != 1)
        return QStringLiteral("xlrd: %1 sheets").arg(sheets.size());
    const QJsonObject sheet = sheets.at(0).toObject();
    const int nrows = want.isEmpty() ? 0 : want.last().row + 1;
    int ncols = 0;
    for (const Want &w : want)
        ncols = qMax(ncols, w.col + 1);
    if (sheet.value("nrows").toInt() != nrows || sheet.value("ncols").toInt() != ncols)
        return QStringLiteral("xlrd: sheet is %1x%2, expected %3x%4")
            .arg(sheet.value("nrows").toInt())
            .arg(sheet.value("ncols").toInt())
            .arg(nrows)
            .arg(ncols);
    const QJsonArray cells = sheet.value("cells").toArray();
    if (cells.size() != want.size())
        return QStringLiteral("xlrd: %1 cells, expected %2").arg(cells.size()).arg(want.size());
    for (int i = 0; i < want.size(); ++i) {
        const Want &w = want.at(i);
        const QJsonArray c = cells.at(i).toArray();
        if (c.at(0).toInt() != w.row || c.at(1).toInt() != w.col)
            return QStringLiteral("xlrd: cell %1 at (%2,%3), expected %4")
                .arg(i)
                .arg(c.at(0).toInt())
                .arg(c.at(1).toInt())
                .arg(where(w));
        if (w.numeric) {
            if (c.at(2).toString() != QLatin1String("number") || c.at(3).toDouble() != w.value
                || c.at(4).toString() != QLatin1String("0.00"))
                return QStringLiteral("xlrd: %1 is not the number %2 shown as 0.00").arg(where(w)).arg(w.value);
        } else if (c.at(2).toString() != QLatin1String("text") || c.at(3).toString() != w.text) {
            return QStringLiteral("xlrd: %1 is not the expected text").arg(where(w));
        }
    }
    return QString();
}

SheetCell text(const QString &t)
{
    return SheetCell{t, false, 0.0};
}

SheetCell score(double v)
{
    return SheetCell{QString::asprintf("%.2f", v), true, v};
}

// A score table as the window builds it: name, total, one column per question.
ScoreSheet score_table(int students, int questions)
{
    ScoreSheet s;
    s.headers << QStringLiteral("学生信息") << QStringLiteral("总分");
    for (int q = 1; q <= questions; ++q)
        s.headers << (q <= questions / 2 ? QStringLiteral("选择题%1") : QStringLiteral("非选择题%1")).arg(q);
    for (int i = 0; i < students; ++i) {
        QVector<SheetCell> row{text(QStringLiteral("学生%1").arg(i + 1)), score(0)};
        double total = 0;
        for (int q = 0; q < questions; ++q) {
            const double v = ((i * 7 + q * 3) % 21) * 0.5;
            total += v;
            row.append(score(v));
        }
        row[1] = score(total);
        s.rows.append(row);
    }
    return s;
}

quint32 get_le(const QByteArray &b, int pos, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | quint8(b.at(pos + i));
    return v;
}

void set_le(QByteArray &b, int pos, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[pos + i] = char(v >> (8 * i));
}

int find_record(const QByteArray &stream, quint16 id, int nth = 0)
{
    for (int pos = 0; pos + 4 <= stream.size();) {
        const quint32 rid = get_le(stream, pos, 2);
        const int len = int(get_le(stream, pos + 2, 2));
        if (rid == id && nth-- == 0)
            return pos;
        pos += 4 + len;
    }
    return -1;
}

// The .xls file for `sheet`, or an empty array when the writer refuses it.
QByteArray xls_of(const ScoreSheet &sheet)
{
    QByteArray file;
    return build_xls(sheet, &file).ok() ? file : QByteArray();
}

// The compound file holding `data` as its Workbook stream.
QByteArray container_of(const QByteArray &data)
{
    QByteArray file;
    return build_compound_file(QStringLiteral("Workbook"), data, &file).ok() ? file : QByteArray();
}

// Cells as the strict reader gives them against the rows laid out.
void same_biff_cells(const QVector<BiffCell> &got, const QVector<QVector<SheetCell>> &rows)
{
    QVector<BiffCell> want;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c) {
            const SheetCell &cell = rows.at(r).at(c);
            if (!cell.numeric && cell.text.isEmpty())
                continue;
            BiffCell b;
            b.row = r;
            b.col = c;
            b.numeric = cell.numeric;
            b.text = cell.numeric ? QString() : cell.text;
            b.value = cell.numeric ? cell.value : 0.0;
            b.format = !cell.numeric                 ? QStringLiteral("General")
                : cell.format == NumberFormat::score ? QStringLiteral("0.00")
                : cell.format == NumberFormat::rate  ? QStringLiteral("0.0%")
                                                     : QStringLiteral("0");
            want.append(b);
        }
    QCOMPARE(got.size(), want.size());
    for (int i = 0; i < want.size(); ++i) {
        const QString at = QStringLiteral("(%1,%2)").arg(want.at(i).row).arg(want.at(i).col);
        QVERIFY2(got.at(i).row == want.at(i).row && got.at(i).col == want.at(i).col, qPrintable(at));
        QVERIFY2(got.at(i).numeric == want.at(i).numeric && got.at(i).text == want.at(i).text
                     && got.at(i).value == want.at(i).value && got.at(i).format == want.at(i).format,
                 qPrintable(at + QLatin1Char(' ') + got.at(i).text + QLatin1Char(' ') + got.at(i).format));
    }
}

}  // namespace

class TestXlsWriter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    int files = 0;

    // Writes `sheet`, reads it back both ways and compares with what it holds.
    void check_round_trip(const ScoreSheet &sheet, BiffBook *book = nullptr)
    {
        const QString path = dir.filePath(QStringLiteral("book%1.xls").arg(++files));
        const ExportError written = write_xls(path, sheet);
        QVERIFY2(written.ok(), qPrintable(export_error_message(written)));
        QString error;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes, xls_of(sheet));

        // Both readers always run, so a failure shows what each of them saw.
        BiffBook own;
        const QVector<Want> want = expected_cells(sheet);
        const bool own_ok = read_xls(bytes, &own, &error);
        const QString own_diff = own_ok ? compare_own(own, want) : QStringLiteral("own reader: ") + error;
#ifdef Q_OS_WIN
        const QString xlrd_diff;  // xlrd needs /usr/bin/python3, which Wine cannot run
#else
        const QString xlrd_diff = compare_xlrd(run_xlrd(path), want, own_ok ? own.stream : QByteArray());
#endif
        QVERIFY2(own_diff.isEmpty() && xlrd_diff.isEmpty(), qPrintable(own_diff + QLatin1String(" | ") + xlrd_diff));
        if (book)
            *book = own;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
#ifndef Q_OS_WIN  // Wine runs no /usr/bin/python3; there the own reader checks alone
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import xlrd")});
        QVERIFY2(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
                 "these tests read workbooks back with /usr/bin/python3 and xlrd (Debian: python3-xlrd)");
#endif
    }

    void round_trip_data()
    {
        QTest::addColumn<ScoreSheet>("sheet");
        ScoreSheet s;
        QTest::newRow("empty sheet") << s;

        s.headers = QStringList{QStringLiteral("学生信息"), QStringLiteral("总分"), QStringLiteral("选择题1")};
        QTest::newRow("headers only") << s;

        s = score_table(5, 4);
        s.rows[2][0] = text(QStringLiteral("欧阳娜娜"));
        QTest::newRow("chinese names and headers") << s;

        s = score_table(3, 2);
        s.rows[1][0] = text(QString(300, QChar(0x9F98)) + QStringLiteral("end"));
        QTest::newRow("name longer than any column") << s;

        s = score_table(3, 2);
        s.rows[0][0] = text(QStringLiteral("007"));
        s.rows[1][0] = text(QStringLiteral("1e3"));
        s.rows[2][0] = text(QStringLiteral("85.00"));
        QTest::newRow("number-like names stay text") << s;

        s = ScoreSheet();
        s.headers = QStringList{QStringLiteral("学生信息"), QStringLiteral("总分")};
        for (double v : {0.0, 2.5, 9.0, 10.0, 100.0, 1e6, 0.1 + 0.2, 99.995, -3.25})
            s.rows.append({text(QStringLiteral("张三")), score(v)});
        QTest::newRow("scores are numbers") << s;

        s = ScoreSheet();
        s.headers = QStringList{QStringLiteral("学生信息"), QStringLiteral("总分"), QStringLiteral("选择题1")};
        s.rows.append({text(QStringLiteral("a"))});
        s.rows.append(QVector<SheetCell>());
        s.rows.append({text(QString()), score(1), text(QString())});
        s.rows.append({text(QStringLiteral("b")), score(2), score(3)});
        s.rows.append({text(QString())});
        QTest::newRow("short, empty and blank rows") << s;

        s = ScoreSheet();
        s.headers = QStringList{QStringLiteral("控制\t字符\n"), QString(QChar(0xD800)) + QStringLiteral("孤"),
                                QStringLiteral("对") + QString(QChar(0xDC00))};
        s.rows.append({text(QStringLiteral("\x01\x02\r\n") + QChar(0) + QStringLiteral("x")),
                       text(QStringLiteral("😀 emoji")), text(QStringLiteral("Latin-1 éÿ")),
                       text(QString(QChar(0xFFFF)) + QChar(0xFFFE))});
        s.rows.append({text(QString(10000, QLatin1Char('a'))), text(QString(10000, QChar(0x4E2D))),
                       text(QString(32767, QChar(0x4E2D)))});
        QTest::newRow("control characters, surrogates, long texts") << s;

        // The SST record's body ends 8224 bytes in: after its 8-byte header and a
        // string's 3, room for 4106 two-byte code units, the last of them here
        // the first half of 𠮷 (U+20BB7).
        s = ScoreSheet();
        s.rows.append({text(QString(4105, QChar(0x4E2D)) + QStringLiteral("𠮷吉"))});
        QTest::newRow("surrogate pair at the end of the SST record") << s;

        // 8 + 3 + 2 * 4104 bytes leave 5: room for the next string's header and
        // one code unit, half of the emoji that starts it.
        s = ScoreSheet();
        s.rows.append({text(QString(4104, QChar(0x4E2D)))});
        s.rows.append({text(QStringLiteral("😀张"))});
        QTest::newRow("string starting with a surrogate pair at the end of the SST record") << s;

        s = score_table(2, 2);
        s.rows[0][1] = SheetCell{QStringLiteral("nan"), true, std::numeric_limits<double>::quiet_NaN()};
        s.rows[1][1] = SheetCell{QStringLiteral("inf"), true, std::numeric_limits<double>::infinity()};
        QTest::newRow("non-finite scores become their text") << s;

        s = ScoreSheet();
        for (int r = 0; r < 130; ++r) {
            // Rows 40-99 empty: whole 32-row blocks without cells.
            if (r >= 40 && r < 100)
                s.rows.append(QVector<SheetCell>());
            else
                s.rows.append({text(QStringLiteral("同名")), score(r % 3), text(QStringLiteral("同名"))});
        }
        QTest::newRow("repeated texts and row blocks with gaps") << s;

        s = ScoreSheet();
        for (int c = 0; c < 256; ++c)
            s.headers << QStringLiteral("列%1").arg(c);
        QTest::newRow("256 columns") << s;
    }

    void round_trip()
    {
        QFETCH(ScoreSheet, sheet);
        check_round_trip(sheet);
    }

    // Shared strings over many CONTINUE records, strings split in both
    // encodings, a FAT big enough to need DIFAT sectors.
    void large_sheet_data()
    {
        QTest::addColumn<ScoreSheet>("sheet");
        QTest::addColumn<int>("minContinues");
        QTest::newRow("1000 x 202 score table") << score_table(1000, 200) << 0;

        ScoreSheet s = score_table(0, 200);
        for (int r = 0; r < 1000; ++r) {
            QVector<SheetCell> row;
            for (int c = 0; c < 202; ++c) {
                if ((r + c) % 2)
                    row.append(text(QStringLiteral("学生%1答案第%2题").arg(r).arg(c) + QString(c % 13, QChar(0x7B54))));
                else
                    row.append(text(QStringLiteral("student %1 answer %2 ").arg(r).arg(c) + QString(c % 11, 'x')));
            }
            s.rows.append(row);
        }
        QTest::newRow("1000 x 202 distinct texts") << s << 500;

        // Names of CJK Extension B characters, emoji and common characters:
        // their pairs fall on the CONTINUE boundaries.
        const QStringList parts{QStringLiteral("𠮷"), QStringLiteral("𠀋"), QStringLiteral("𡈽"), QStringLiteral("𤭢"),
                                QStringLiteral("𩸽"), QStringLiteral("😀"),  QStringLiteral("🌸"),  QStringLiteral("🐉"),
                                QStringLiteral("王"), QStringLiteral("李")};
        s = score_table(1000, 4);
        for (int r = 0; r < 1000; ++r)
            s.rows[r][0] = text(parts.at(r % 10) + parts.at(r / 10 % 10) + parts.at(r / 100) + parts.at((r + 5) % 10));
        QTest::newRow("1000 names beyond the BMP") << s << 0;
    }

    void large_sheet()
    {
        QFETCH(ScoreSheet, sheet);
        QFETCH(int, minContinues);
        BiffBook book;
        check_round_trip(sheet, &book);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(book.sst_continues >= minContinues);
        if (minContinues > 0) {
            QVERIFY(book.split_wide_strings > 0);
            QVERIFY(book.split_strings > book.split_wide_strings);
            QVERIFY(book.container.difat_sectors > 0);
        }
        QVERIFY(book.extsst_buckets > 0);
        QCOMPARE(book.dbcells, (1001 + 31) / 32);
    }

    // Workbook streams right at the size below which they go into the mini stream.
    void mini_stream_cutoff_data()
    {
        QTest::addColumn<int>("streamSize");
        QTest::newRow("4095 bytes") << 4095;
        QTest::newRow("4096 bytes") << 4096;
        QTest::newRow("4097 bytes") << 4097;
    }

    void mini_stream_cutoff()
    {
        QFETCH(int, streamSize);
        auto sheet_with = [](int n) {
            ScoreSheet s;
            s.headers << QString(n, QLatin1Char('h'));
            return s;
        };
        BiffBook book;
        QString error;
        QVERIFY2(read_xls(xls_of(sheet_with(1)), &book, &error), qPrintable(error));
        const ScoreSheet sheet = sheet_with(1 + streamSize - book.stream.size());
        QVERIFY2(read_xls(xls_of(sheet), &book, &error), qPrintable(error));
        QCOMPARE(book.stream.size(), streamSize);
        QCOMPARE(book.container.in_mini_stream.contains(QStringLiteral("Workbook")), streamSize < 4096);
        check_round_trip(sheet);
    }

    void compound_file_data()
    {
        QTest::addColumn<int>("size");
        for (int n : {0, 1, 64, 65, 4095, 4096, 4097, 64512, 64513, 7087104, 7087105, 9000000})
            QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(n))) << n;
    }

    void compound_file()
    {
        QFETCH(int, size);
        QByteArray data(size, '\0');
        QRandomGenerator rng{quint32(size)};
        for (char &c : data)
            c = char(rng.generate());
        const QByteArray file = container_of(data);
        CfbContents cfb;
        QString error;
        QVERIFY2(read_compound_file(file, &cfb, &error), qPrintable(error));
        QCOMPARE(cfb.streams.keys(), QStringList{QStringLiteral("Workbook")});
        QVERIFY(cfb.streams.value(QStringLiteral("Workbook")) == data);
        QCOMPARE(cfb.in_mini_stream.size(), size > 0 && size < 4096 ? 1 : 0);
        // No more FAT and DIFAT sectors than the file needs.
        const int sectors = file.size() / 512 - 1;
        QCOMPARE(cfb.fat_sectors, (sectors + 127) / 128);
        QCOMPARE(cfb.difat_sectors, qMax(0, (cfb.fat_sectors - 109 + 126) / 127));

        const QString path = dir.filePath(QStringLiteral("container%1.bin").arg(size));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        f.close();
#ifdef Q_OS_WIN
        QSKIP("olefile needs /usr/bin/python3, which Wine cannot run");
#endif
        const QJsonObject ole = run_xlrd(path).value("ole").toObject();
        if (ole.isEmpty())
            QSKIP("olefile is not installed");
        QVERIFY2(ole.value("ok").toBool(), qPrintable(ole.value("error").toString()));
        QCOMPARE(ole.value("size").toInt(), size);
        QCOMPARE(ole.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    }

    void compound_file_refuses_bad_names()
    {
        QByteArray file("untouched");
        QCOMPARE(build_compound_file(QString(), "x", &file).fault, ExportFault::invalid_stream_name);
        QCOMPARE(build_compound_file(QString(32, 'n'), "x", &file).fault, ExportFault::invalid_stream_name);
        QCOMPARE(file, QByteArray("untouched"));
        QVERIFY(build_compound_file(QString(31, 'n'), "x", &file).ok());
        QVERIFY(file != QByteArray("untouched"));
    }

    void too_large_data()
    {
        QTest::addColumn<ScoreSheet>("sheet");
        QTest::addColumn<QString>("reasonPart");
        ScoreSheet s;
        for (int c = 0; c < 257; ++c)
            s.headers << QStringLiteral("h");
        QTest::newRow("257 headers") << s << QStringLiteral("256列");
        s = ScoreSheet();
        s.rows.append(QVector<SheetCell>(257, score(1)));
        QTest::newRow("257 cells in a row") << s << QStringLiteral("256列");
        s = ScoreSheet();
        s.rows.fill({score(1)}, 65536);
        QTest::newRow("65536 data rows") << s << QStringLiteral("65536行");
        s = score_table(2, 2);
        s.rows[1][0] = text(QString(32768, 'x'));
        QTest::newRow("text of 32768 characters") << s << QStringLiteral("单元格A3");
    }

    void too_large()
    {
        QFETCH(ScoreSheet, sheet);
        QFETCH(QString, reasonPart);
        const ExportError refused = check_xls_limits(sheet);
        QVERIFY(!refused.ok());
        QVERIFY2(export_error_message(refused).contains(reasonPart), qPrintable(export_error_message(refused)));
        QByteArray file("untouched");
        QCOMPARE(build_xls(sheet, &file), refused);
        QCOMPARE(file, QByteArray("untouched"));
        const QString path = dir.filePath(QStringLiteral("too_large.xls"));
        QCOMPARE(write_xls(path, sheet), refused.at(path));
        QVERIFY(!QFile::exists(path));
    }

    // The analysis as a second worksheet and the slips as a third: their own
    // BOUNDSHEET and substream, strings shared with the first, the formats
    // their figures need, the slips' page breaks.
    void second_sheet_data()
    {
        QTest::addColumn<int>("students");
        QTest::addColumn<QVector<int>>("breaks");  // rows beginning a printed page of slips
        QTest::newRow("class of five") << 5 << QVector<int>();
        QTest::newRow("no students") << 0 << QVector<int>();
        // Three questions fit upright at 100 %. A slip of four rows is 72 pt,
        // a gap between two 10 pt: 841.9 pt of A4 less 1.5 in of margins (and
        // 4 pt to spare) holds 9 slips and 8 gaps, 44 rows.
        QVector<int> pages;
        for (int page = 1; page * 9 < 100; ++page)
            pages << 44 * page;
        QTest::newRow("a hundred, over pages") << 100 << pages;
    }

    void second_sheet()
    {
        QFETCH(int, students);
        QFETCH(QVector<int>, breaks);
        std::vector<FixtureStudent> five
            = {{"甲", "AB", {8}}, {"乙", "AE", {4}}, {"丙", "aB", {4}}, {"丁", " B", {2.8}}, {"戊", "DA", {4.8}}};
        std::vector<FixtureStudent> chosen = students == 5 ? five : std::vector<FixtureStudent>();
        std::vector<QByteArray> names;
        for (int i = 0; i < students && students != 5; ++i)
            names.push_back(QByteArray("s") + QByteArray::number(i));
        for (int i = 0; i < students && students != 5; ++i)
            chosen.push_back({names[size_t(i)].constData(), "AB", {double(i % 10)}});
        ExamStorePtr st = store_with("AB", {2, 2, 8}, 2, chosen);
        compute_scores(*st);
        const ClassAnalysis a = analyse_class(*st);
        const AnalysisSheet analysis = analysis_sheet(a);
        const SlipSheet slips = slip_sheet(a);
        const ScoreSheet table = score_table(5, 3);
        QByteArray file;
        QVERIFY(build_xls(table, &file, &analysis, &slips).ok());

        BiffBook book;
        QString error;
        QVERIFY2(read_xls(file, &book, &error), qPrintable(error));
        QCOMPARE(book.sheets.size(), 3);
        QCOMPARE(book.sheets.at(0).name, QStringLiteral("Sheet1"));
        QCOMPARE(book.sheets.at(1).name, QStringLiteral("成绩分析"));
        QCOMPARE(book.sheets.at(2).name, QStringLiteral("成绩条"));
        QCOMPARE(book.sheets.at(0).cells.size(), expected_cells(table).size());
        QVERIFY(book.sheets.at(0).page_breaks.isEmpty());
        QCOMPARE(book.sheets.at(1).page_breaks, analysis.breaks);
        QCOMPARE(book.sheets.at(2).page_breaks, breaks);
        same_biff_cells(book.sheets.at(1).cells, analysis.rows);
        if (QTest::currentTestFailed())
            return;
        same_biff_cells(book.sheets.at(2).cells, slips.rows);
    }

    void largest_sheet_fits()
    {
        ScoreSheet s;
        s.rows.fill({score(1), text(QStringLiteral("最后"))}, 65535);
        BiffBook book;
        QString error;
        QVERIFY2(read_xls(xls_of(s), &book, &error), qPrintable(error));
        QCOMPARE(book.sheets.at(0).end_row, 65536u);
        QCOMPARE(book.sheets.at(0).cells.size(), 2 * 65535);
        QCOMPARE(book.sheets.at(0).cells.last().text, QStringLiteral("最后"));
    }

    void write_file_data()
    {
        QTest::addColumn<QString>("name");  // under the temporary directory; empty: the empty path
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("new file") << "new.xls" << true << QString();
        QTest::newRow("existing file replaced") << "existing.xls" << true << QString();
        QTest::newRow("directory missing") << "missing/dir/out.xls" << false << QStringLiteral("目录不存在");
        QTest::newRow("path is a directory") << "adir" << false << QStringLiteral("无法创建文件");
        QTest::newRow("empty path") << QString() << false << QStringLiteral("文件路径无效");
    }

    void write_file()
    {
        QFETCH(QString, name);
        QFETCH(bool, ok);
        QFETCH(QString, reasonPart);
        const QString path = name.isEmpty() ? QString() : dir.filePath(name);
        QDir(dir.path()).mkpath(QStringLiteral("adir"));
        {
            QFile old(dir.filePath(QStringLiteral("existing.xls")));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(100000, 'o'));
        }
        const ScoreSheet sheet = score_table(3, 3);
        const ExportError written = write_xls(path, sheet);
        QCOMPARE(written.ok(), ok);
        if (ok) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.readAll() == xls_of(sheet));
        } else {
            QCOMPARE(written.path, path);
            const QString error = export_error_message(written);
            QVERIFY2(error.contains(reasonPart), qPrintable(error));
            QVERIFY(name.isEmpty() || QFileInfo(path).isDir() || !QFileInfo::exists(path));
        }
    }

    // The reader must notice damage, or its passing the writer's files means little.
    void reader_rejects_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("EXTSST offset") << "extsst"
                                       << "EXTSST";
        QTest::newRow("BOUNDSHEET offset") << "boundsheet"
                                           << "BOF";
        QTest::newRow("DBCELL offset") << "dbcell"
                                       << "DBCELL";
        QTest::newRow("DIMENSIONS") << "dimensions"
                                    << "DIMENSIONS";
        QTest::newRow("SST reference count") << "sstcount"
                                             << "references";
        QTest::newRow("string split inside a character") << "split"
                                                         << "SST";
        QTest::newRow("FAT loop") << "fatloop"
                                  << "chain";
        QTest::newRow("file truncated") << "truncate"
                                        << "end of the file";
    }

    void reader_rejects()
    {
        QFETCH(QString, damage);
        QFETCH(QString, reasonPart);
        ScoreSheet sheet = score_table(60, 4);
        for (int r = 0; r < 60; ++r)
            sheet.rows[r][0] = text(QString(200, QChar(0x4E00 + r)));  // the SST needs CONTINUEs
        BiffBook book;
        QString error;
        QVERIFY2(read_xls(xls_of(sheet), &book, &error), qPrintable(error));
        QByteArray s = book.stream;
        auto bump32 = [&s](int pos, int by) { set_le(s, pos, get_le(s, pos, 4) + by, 4); };
        QByteArray file;
        if (damage == "extsst") {
            bump32(find_record(s, 0x00FF) + 6 + 8, 1);
        } else if (damage == "boundsheet") {
            bump32(find_record(s, 0x0085) + 4, 4);
        } else if (damage == "dbcell") {
            const int at = find_record(s, 0x00D7, 1) + 8 + 2;
            s[at] = char(s[at] + 14);
        } else if (damage == "dimensions") {
            bump32(find_record(s, 0x0200) + 8, 1);
        } else if (damage == "sstcount") {
            bump32(find_record(s, 0x00FC) + 4, 1);
        } else if (damage == "split") {
            // Make the first CONTINUE one byte longer and the SST one shorter:
            // a two-byte character now straddles them.
            const int sst = find_record(s, 0x00FC);
            const int len = int(get_le(s, sst + 2, 2));
            const int cont = find_record(s, 0x003C);
            QVERIFY(cont == sst + 4 + len);
            QByteArray moved = s.mid(sst + 4 + len - 1, 1);
            s.remove(sst + 4 + len - 1, 1);
            set_le(s, sst + 2, quint32(len - 1), 2);
            const int c = cont - 1;
            const int clen = int(get_le(s, c + 2, 2));
            s.insert(c + 4, moved);
            set_le(s, c + 2, quint32(clen + 1), 2);
        }
        file = container_of(s);
        if (damage == "fatloop") {
            // The Workbook stream's first sector points back at itself.
            const quint32 start = get_le(file, 512 * (1 + 1) + 128 + 116, 4);
            set_le(file, 512 + 4 * int(start), start, 4);
        } else if (damage == "truncate") {
            file.chop(512);
        }
        QVERIFY(!read_xls(file, &book, &error));
        QVERIFY2(error.contains(reasonPart), qPrintable(error));
    }

    // Any prefix of a workbook is refused, and reading one never crashes.
    void reader_refuses_prefixes()
    {
        const QByteArray file = xls_of(score_table(40, 10));
        BiffBook book;
        QString error;
        for (int n = 0; n < file.size(); n += 97) {
            error.clear();
            QVERIFY2(!read_xls(file.left(n), &book, &error), qPrintable(QString::number(n)));
            QVERIFY(!error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "test_xls_writer.moc"
