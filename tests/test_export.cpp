// Tests of the workbook export: every written file is read back with a real
// reader (openpyxl or xlrd, through tests/support/read_workbook.py) and compared
// cell by cell; refused exports must leave files and directories as they were.
#include "export/analysis_sheet.h"
#include "export/lock_files.h"
#include "export/slip_sheet.h"
#include "export/workbook_export.h"
#include "export/xlsx_writer.h"
#include "marking/exam_comparison.h"
#include "marking/scoring.h"
#include "tests/support/exam_fixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#ifdef Q_OS_WIN
#include "support/biff_reader.h"
#include "support/xlsx_reader.h"
#include <QElapsedTimer>
#include <thread>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(ScoreSheet)

namespace {

struct Cell {
    QString type;  // "s" text, "n" number, anything else is wrong here
    QString text;
    double number = 0.0;
    QString format;
    QString align;  // "center" for a text set centred, else ""
    // Numbers agree to the 15 significant digits a spreadsheet keeps (.xlsx
    // stores them as decimal text with 16).
    bool operator==(const Cell &o) const
    {
        return type == o.type && text == o.text && format == o.format && align == o.align
            && std::fabs(number - o.number) <= 1e-15 * std::fmax(std::fabs(number), std::fabs(o.number));
    }
};
using Grid = QMap<QPair<int, int>, Cell>;  // (row, column), 1-based; empty cells absent

// How the first sheet reads and prints, as the reader saw it.
struct SheetLayout {
    QString freeze;      // the top left cell of the scrolling pane, "" when nothing is frozen
    QString title_rows;  // rows printed on every page ("1:1"), "" for none
    QString title_cols;  // columns printed on every page ("A:A")
    bool landscape = false;
    int paper = 0;             // 9 is A4
    QMap<int, double> widths;  // set column widths in characters, 1-based columns
    QMap<int, int> need;       // characters the longest text of a column takes
};

// A chart of the second sheet, as openpyxl reads it.
struct Chart {
    QString type;  // "col" for upright columns
    QString title;
    int series = 0;
    QString categories, values;                  // the series' ranges
    int from_row = 0, to_row = 0, from_col = 0;  // anchor, 0-based
};

// How the second or third sheet prints, as the reader saw it.
struct SlipPrint {
    QVector<int> breaks;  // 0-based rows beginning a page; -1 for a break not across every column
    bool landscape = false;
    int paper = 0;
    int scale = 0;
    bool fit = false;  // fitted to pages, which drops the breaks
    QVector<double> margins;
    QMap<int, double> widths;
    QMap<int, double> heights;  // 0-based rows set high, in points
    QMap<int, int> cuts;        // 0-based rows: cells with a dashed bottom border
};

struct Workbook {
    QString format;  // "xlsx" or "xls", from the file's contents
    int sheets = 0;
    Grid cells;
    SheetLayout layout;
    QString second_name;  // the second sheet, when there is one
    Grid second;
    QVector<Chart> charts;
    SlipPrint analysis_print;
    QString third_name;  // the third sheet, when there is one
    Grid third;
    SlipPrint slips;
};

QString show(const Cell &c)
{
    if (c.type == QLatin1String("n"))
        return QStringLiteral("number %1 [%2]").arg(c.number, 0, 'g', 17).arg(c.format);
    QString units;
    for (QChar ch : c.text.left(40))
        units += QString::number(ch.unicode(), 16) + QLatin1Char(' ');
    return QStringLiteral("%1 \"%2\" (%3 units: %4...) [%5]")
        .arg(c.type, c.text.left(40))
        .arg(c.text.size())
        .arg(units, c.align);
}

QString from_utf16le_hex(const QString &hex)
{
    const QByteArray b = QByteArray::fromHex(hex.toLatin1());
    QString s;
    for (int i = 0; i + 1 < b.size(); i += 2)
        s.append(QChar(ushort(uchar(b[i]) | (uchar(b[i + 1]) << 8))));
    return s;
}

Grid grid_of(const QJsonArray &rows);

SlipPrint print_of(const QJsonObject &print)
{
    SlipPrint p;
    for (const QJsonValue &v : print.value(QLatin1String("breaks")).toArray())
        p.breaks.append(v.toInt());
    p.landscape = print.value(QLatin1String("landscape")).toBool();
    p.paper = print.value(QLatin1String("paper")).toInt();
    p.scale = print.value(QLatin1String("scale")).toInt();
    p.fit = print.value(QLatin1String("fit")).toBool();
    for (const QJsonValue &v : print.value(QLatin1String("margins")).toArray())
        p.margins.append(v.toDouble(-1));
    const QJsonObject widths = print.value(QLatin1String("widths")).toObject();
    for (auto it = widths.begin(); it != widths.end(); ++it)
        p.widths.insert(it.key().toInt(), it.value().toDouble());
    const QJsonObject heights = print.value(QLatin1String("heights")).toObject();
    for (auto it = heights.begin(); it != heights.end(); ++it)
        p.heights.insert(it.key().toInt(), it.value().toDouble());
    const QJsonObject cuts = print.value(QLatin1String("cuts")).toObject();
    for (auto it = cuts.begin(); it != cuts.end(); ++it)
        p.cuts.insert(it.key().toInt(), it.value().toInt());
    return p;
}

// Runs the reader; on failure *why says why.
Workbook read_back(const QString &path, QString *why)
{
    Workbook wb;
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELORA_TESTS_DIR "/support/read_workbook.py"), path});
    if (!py.waitForFinished(60000) || py.exitStatus() != QProcess::NormalExit || py.exitCode() != 0) {
        *why = QStringLiteral("reader failed on %1: %2 %3")
                   .arg(path, py.errorString(), QString::fromUtf8(py.readAllStandardError()));
        return wb;
    }
    QJsonParseError perr;
    const QJsonObject doc = QJsonDocument::fromJson(py.readAllStandardOutput(), &perr).object();
    if (perr.error != QJsonParseError::NoError) {
        *why = QStringLiteral("bad reader output: ") + perr.errorString();
        return wb;
    }
    wb.format = doc.value(QLatin1String("format")).toString();
    const QJsonObject layout = doc.value(QLatin1String("layout")).toObject();
    wb.layout.freeze = layout.value(QLatin1String("freeze")).toString();
    wb.layout.title_rows = layout.value(QLatin1String("title_rows")).toString();
    wb.layout.title_cols = layout.value(QLatin1String("title_cols")).toString();
    wb.layout.landscape = layout.value(QLatin1String("landscape")).toBool();
    wb.layout.paper = layout.value(QLatin1String("paper")).toInt();
    const QJsonObject widths = layout.value(QLatin1String("widths")).toObject();
    for (auto it = widths.begin(); it != widths.end(); ++it)
        wb.layout.widths.insert(it.key().toInt(), it.value().toDouble());
    const QJsonObject need = layout.value(QLatin1String("need")).toObject();
    for (auto it = need.begin(); it != need.end(); ++it)
        wb.layout.need.insert(it.key().toInt(), it.value().toInt());
    wb.sheets = doc.value(QLatin1String("sheets")).toInt();
    wb.cells = grid_of(doc.value(QLatin1String("cells")).toArray());
    const QJsonObject second = doc.value(QLatin1String("second")).toObject();
    wb.second_name = second.value(QLatin1String("name")).toString();
    wb.second = grid_of(second.value(QLatin1String("cells")).toArray());
    for (const QJsonValue &v : second.value(QLatin1String("charts")).toArray()) {
        const QJsonObject o = v.toObject();
        Chart c;
        c.type = o.value(QLatin1String("type")).toString();
        c.title = o.value(QLatin1String("title")).toString();
        c.series = o.value(QLatin1String("series")).toInt();
        c.categories = o.value(QLatin1String("categories")).toString();
        c.values = o.value(QLatin1String("values")).toString();
        c.from_row = o.value(QLatin1String("from")).toArray().at(0).toInt();
        c.from_col = o.value(QLatin1String("from")).toArray().at(1).toInt();
        c.to_row = o.value(QLatin1String("to")).toArray().at(0).toInt();
        wb.charts.append(c);
    }
    const QJsonObject third = doc.value(QLatin1String("third")).toObject();
    wb.third_name = third.value(QLatin1String("name")).toString();
    wb.third = grid_of(third.value(QLatin1String("cells")).toArray());
    wb.slips = print_of(third.value(QLatin1String("print")).toObject());
    wb.analysis_print = print_of(second.value(QLatin1String("print")).toObject());
    return wb;
}

// What expected_analysis() would be for the reader's grid of cells.
Grid grid_of(const QJsonArray &rows)
{
    Grid g;
    for (int r = 0; r < rows.size(); ++r) {
        const QJsonArray row = rows.at(r).toArray();
        for (int c = 0; c < row.size(); ++c) {
            if (row.at(c).isNull())
                continue;
            const QJsonObject o = row.at(c).toObject();
            Cell cell;
            cell.type = o.value(QLatin1String("t")).toString();
            if (cell.type == QLatin1String("s")) {
                cell.text = from_utf16le_hex(o.value(QLatin1String("u16")).toString());
                cell.align = o.value(QLatin1String("h")).toString();
            } else if (cell.type == QLatin1String("n")) {
                cell.number = o.value(QLatin1String("v")).toDouble();
                cell.format = o.value(QLatin1String("f")).toString();
            } else {
                cell.text = o.value(QLatin1String("v")).toString();
            }
            g.insert({r + 1, c + 1}, cell);
        }
    }
    return g;
}

// What the workbook must hold: headers and names as text, finite scores as
// numbers with "0.00", other scores as the text shown; empty texts stay empty.
Grid expected_cells(const ScoreSheet &sheet)
{
    Grid g;
    auto text = [&g](int r, int c, const QString &t) {
        if (!t.isEmpty())
            g.insert({r, c}, Cell{QStringLiteral("s"), t, 0.0, QString(), QString()});
    };
    for (int c = 0; c < sheet.headers.size(); ++c)
        text(1, c + 1, sheet.headers.at(c));
    for (int r = 0; r < sheet.rows.size(); ++r)
        for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
            const SheetCell &sc = sheet.rows.at(r).at(c);
            if (sc.numeric && std::isfinite(sc.value))
                g.insert({r + 2, c + 1}, Cell{QStringLiteral("n"), QString(), sc.value, QStringLiteral("0.00"), QString()});
            else
                text(r + 2, c + 1, sc.text);
        }
    return g;
}

// The analysis and slip sheets as they must read back: labels as text (a
// centred one centred), every figure a number in its format.
Grid expected_rows(const QVector<QVector<SheetCell>> &rows)
{
    Grid g;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c) {
            const SheetCell &sc = rows.at(r).at(c);
            const QString format = sc.format == NumberFormat::score ? QStringLiteral("0.00")
                : sc.format == NumberFormat::rate                   ? QStringLiteral("0.0%")
                                                                    : QStringLiteral("0");
            if (sc.numeric)
                g.insert({r + 1, c + 1}, Cell{QStringLiteral("n"), QString(), sc.value, format, QString()});
            else if (!sc.text.isEmpty())
                g.insert(
                    {r + 1, c + 1},
                    Cell{QStringLiteral("s"), sc.text, 0.0, QString(), sc.centred ? QStringLiteral("center") : ""});
        }
    return g;
}

// The class an export row analyses: "class", five students with totals 12,
// 6, 6, 4.8 and 4.8; "hundred", a hundred students, ten on each total from
// 13 down to 4, a third of them a thousandth above it, which the table does
// not show; "forty", forty students ranked in roster order, of an exam of
// 14 questions named by its problem file; "wide", three students of an exam of
// 200 questions; anything else, none.
ClassAnalysis class_analysis(const QString &kind)
{
    std::vector<FixtureStudent> students;
    static std::vector<QByteArray> names;
    if (kind == QLatin1String("forty")) {
        names.clear();
        for (int i = 0; i < 40; ++i)
            names.push_back(QStringLiteral("学生%1").arg(i + 1).toUtf8());
        for (int i = 0; i < 40; ++i) {
            const double m = (40 - i) / 4.0;
            students.push_back({names[size_t(i)].constData(), "", {m, m, m, m}});
        }
        std::vector<double> maxima(10, 4.0);
        maxima.insert(maxima.end(), 4, 15.0);
        ExamStorePtr st = store_with("ABCDABCDAB", maxima, 10, students);
        std::strcpy(st->pro_path, "/考试/2026秋季期中物理.txt");
        std::strcpy(st->stu_path, "/考试/高一（3）班物理/学生40");
        compute_scores(*st);
        return analyse_class(*st);
    }
    if (kind == QLatin1String("wide")) {
        std::vector<double> maxima(200, 1.0);
        ExamStorePtr st = store_with(QByteArray(100, 'A').constData(), maxima, 100,
                                     {{"甲", "", std::vector<double>(100, 1.0)},
                                      {"乙", "", std::vector<double>(100, 0.5)},
                                      {"丙", "", std::vector<double>(100, 0.0)}});
        compute_scores(*st);
        return analyse_class(*st);
    }
    if (kind == QLatin1String("class") || kind == QLatin1String("compared")) {
        students = {{"甲", "AB", {8}}, {"乙", "AE", {4}}, {"丙", "aB", {4}}, {"丁", " B", {2.8}}, {"戊", "DA", {4.8}}};
    } else if (kind == QLatin1String("absent")) {
        // 己 missed the exam: her 0 stays on the score sheet only.
        students = {{"甲", "AB", {8}}, {"己", "", {0}, true}, {"乙", "AE", {4}}, {"丙", "aB", {4}},
                    {"丁", " B", {2.8}}, {"戊", "DA", {4.8}}};
    } else if (kind == QLatin1String("hundred")) {
        names.clear();
        for (int i = 0; i < 100; ++i)
            names.push_back(QStringLiteral("学生%1").arg(i + 1).toUtf8());
        for (int i = 0; i < 100; ++i)
            students.push_back({names[size_t(i)].constData(), "AB", {9.0 - i % 10 + (i % 3 == 0 ? 0.001 : 0.0)}});
    }
    ExamStorePtr st = store_with("AB", {2, 2, 8}, 2, students);
    compute_scores(*st);
    ClassAnalysis a = analyse_class(*st);
    if (kind == QLatin1String("compared")) {
        // The class's last exam, 丁 new and 戊 缺考 there; and two other classes.
        ExamHistory h;
        h.previous = PastExam{QStringLiteral("月考"), QString(), 1760000000000, 12, {{3, false, 1}, {9, false, 2}, {5, false, 3}, {0, true, 5}}};
        h.classes << PastExam{QString(), QStringLiteral("高一（4）班"), 1, 12, {{10.5, false, 0}, {0, true, 0}}}
                  << PastExam{QString(), QStringLiteral("高一（10）班"), 1, 12, {{6, false, 0}}};
        compare_exam(a, h);
    }
    return a;
}

// The slips must print as laid out: A4, velora's own scale (a sheet fitted
// to pages loses its breaks), the margins the scale was worked out for,
// columns as wide as their texts, rows as high, a dashed line across every
// gap between slips, every page beginning with a slip's title.
bool slips_print(const SlipPrint &got, const SlipSheet &want, const Grid &cells, const QString &title, QString *mismatch)
{
    const QVector<double> margins = {print_side_margin, print_side_margin, print_end_margin, print_end_margin};
    QMap<int, double> heights;
    QMap<int, int> cuts;
    for (int r = 0; r < want.heights.size(); ++r) {
        heights.insert(r, want.heights.at(r));
        if (want.heights.at(r) == slip_gap_height)
            cuts.insert(r, want.widths.size());
    }
    if (got.paper != 9 || got.fit || got.landscape != want.landscape || got.scale != want.scale
        || got.margins != margins || got.breaks != want.breaks || got.heights != heights || got.cuts != cuts) {
        QStringList breaks;
        for (int b : got.breaks)
            breaks << QString::number(b);
        *mismatch = QStringLiteral("paper %1, fit %2, landscape %3, scale %4, %5 margins, breaks %6, %7 heights, %8 cuts")
                        .arg(got.paper)
                        .arg(got.fit)
                        .arg(got.landscape)
                        .arg(got.scale)
                        .arg(got.margins.size())
                        .arg(breaks.join(QLatin1Char(' ')))
                        .arg(got.heights.size())
                        .arg(got.cuts.size());
        return false;
    }
    for (int b : got.breaks)
        if (cells.value({b + 1, 1}).text != title || cuts.contains(b - 1)) {
            *mismatch = QStringLiteral("the page beginning at row %1 does not begin a slip").arg(b + 1);
            return false;
        }
    // The .xlsx keeps a width with the padding spreadsheets add to it.
    for (int c = 0; c < want.widths.size(); ++c)
        if (got.widths.value(c + 1) < want.widths.at(c) || got.widths.value(c + 1) > want.widths.at(c) + 1) {
            *mismatch = QStringLiteral("column %1 is %2 wide, not %3")
                            .arg(c + 1)
                            .arg(got.widths.value(c + 1))
                            .arg(want.widths.at(c));
            return false;
        }
    return true;
}

// The printed pages of rows `heights` high, broken at `breaks`: every page
// within A4 at the scale, and less left blank at a page's foot (the last
// page's aside) than `unit` would fill.
bool pages_hold(const QVector<double> &heights, const QVector<int> &breaks, int scale, bool landscape, double unit,
                QString *mismatch)
{
    QVector<int> starts = {0};
    starts += breaks;
    starts.append(heights.size());
    for (int p = 0; p + 1 < starts.size(); ++p) {
        double used = 0.0;
        for (int r = starts.at(p); r < starts.at(p + 1); ++r)
            used += heights.at(r) * scale / 100.0;
        const double left = page_height(landscape) - used;
        if (left < 0 || (p + 2 < starts.size() && left >= unit * scale / 100.0)) {
            *mismatch = QStringLiteral("page %1 (rows %2 on) fills %3 of %4 pt")
                            .arg(p + 1)
                            .arg(starts.at(p))
                            .arg(used)
                            .arg(page_height(landscape));
            return false;
        }
    }
    return true;
}

// 名次 as the third sheet holds it, slip by slip: whole numbers ("0").
QList<int> ranks_of(const Grid &slips)
{
    QList<int> ranks;
    for (auto it = slips.begin(); it != slips.end(); ++it)
        if (it.key().second == 3 && it.value().type == QLatin1String("n") && it.value().format == QLatin1String("0"))
            ranks << int(it.value().number);
    return ranks;
}

// Compares cell by cell so a failure names the first wrong cell.
bool same_cells(const Grid &got, const Grid &want, QString *mismatch)
{
    for (auto it = want.begin(); it != want.end(); ++it) {
        const QString where = QStringLiteral("row %1 col %2").arg(it.key().first).arg(it.key().second);
        if (!got.contains(it.key())) {
            *mismatch = where + QStringLiteral(": missing, want ") + show(it.value());
            return false;
        }
        if (!(got.value(it.key()) == it.value())) {
            *mismatch = where + QStringLiteral(": got ") + show(got.value(it.key())) + QStringLiteral(", want ")
                + show(it.value());
            return false;
        }
    }
    for (auto it = got.begin(); it != got.end(); ++it)
        if (!want.contains(it.key())) {
            *mismatch = QStringLiteral("row %1 col %2: unexpected ").arg(it.key().first).arg(it.key().second)
                + show(it.value());
            return false;
        }
    return true;
}

// Frozen and printed titles at row 1 and column A, landscape A4, and every
// column wide enough for its longest text (at most Excel's widest column)
// without being much wider.
bool laid_out(const SheetLayout &l, QString *mismatch)
{
    if (l.freeze != QLatin1String("B2") || l.title_rows != QLatin1String("1:1") || l.title_cols != QLatin1String("A:A")
        || !l.landscape || l.paper != 9) {
        *mismatch = QStringLiteral("freeze %1, titles %2 and %3, landscape %4, paper %5")
                        .arg(l.freeze, l.title_rows, l.title_cols)
                        .arg(l.landscape)
                        .arg(l.paper);
        return false;
    }
    for (auto it = l.need.begin(); it != l.need.end(); ++it) {
        const double width = l.widths.value(it.key(), -1);
        const bool fits = width >= it.value() || width >= 255;
        if (!fits || width > it.value() + 3) {
            *mismatch
                = QStringLiteral("column %1 is %2 wide for a text of %3").arg(it.key()).arg(width).arg(it.value());
            return false;
        }
    }
    for (auto it = l.widths.begin(); it != l.widths.end(); ++it)
        if (!l.need.contains(it.key())) {
            *mismatch = QStringLiteral("empty column %1 is set to %2").arg(it.key()).arg(it.value());
            return false;
        }
    return true;
}

SheetCell name(const QString &t)
{
    return SheetCell{t, false, 0.0};
}
SheetCell score(double v)
{
    return SheetCell{QString::asprintf("%.2f", v), true, v};
}

ScoreSheet sheet_of(const QStringList &headers, const QVector<QVector<SheetCell>> &rows)
{
    ScoreSheet s;
    s.headers = headers;
    s.rows = rows;
    return s;
}

ScoreSheet chinese_sheet()
{
    return sheet_of(
        {QStringLiteral("学生信息"), QStringLiteral("总分"), QStringLiteral("选择题1"), QStringLiteral("非选择题1")},
        {{name(QStringLiteral("张三")), score(13.5), score(5), score(8.5)},
         {name(QStringLiteral("李四")), score(0), score(0), score(0)},
         {name(QStringLiteral("王五")), score(100), score(40), score(60)}});
}

QByteArray file_bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

#ifdef Q_OS_WIN
// Without Python under Wine: the file must be a sound workbook of the format
// its name asks for, holding every text of the sheet. Empty when it is.
QString windows_read_back(const QString &path, const QString &format, const ScoreSheet &sheet)
{
    const QByteArray bytes = file_bytes(path);
    QString why;
    QStringList texts;
    if (format == QLatin1String("xls")) {
        BiffBook book;
        if (!read_xls(bytes, &book, &why))
            return QStringLiteral("not an xls workbook: ") + why;
        texts = book.sst;
    } else {
        XlsxBook book;
        if (!read_xlsx(bytes, &book, &why))
            return QStringLiteral("not an xlsx workbook: ") + why;
        texts = book.shared.toList();
    }
    QStringList wanted = sheet.headers;
    for (const QVector<SheetCell> &row : sheet.rows)
        wanted << row.first().text;
    for (const QString &t : wanted)
        if (!texts.contains(t))
            return QStringLiteral("text missing: ") + t;
    return QString();
}
#endif

QStringList listing(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool write_file(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void contents_data();
    void contents();
    void target_name_data();
    void target_name();
    void overwrite_data();
    void overwrite();
    void refused_data();
    void refused();
    void empty_path();
    void write_xlsx_failure_data();
    void write_xlsx_failure();
    void every_fault_has_a_message();
    void locked_target_data();
    void locked_target();
    void lock_files_data();
    void lock_files();
};

void TestExport::initTestCase()
{
#ifndef Q_OS_WIN
    QVERIFY2(QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable(),
             "the workbook reader needs /usr/bin/python3");
    // A distinctive umask shows whether finished files get the ordinary mode.
    ::umask(027);
#endif
}

void TestExport::contents_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<ScoreSheet>("sheet");
    QTest::addColumn<QString>("analysis");  // "": none (no "统计分数" yet); else as class_analysis() takes it
    QTest::addColumn<QList<int>>("ranks");  // 名次 on the slips, in roster order

    const QString long_name = QString(300, QChar(0x5F20));  // far wider than any column
    const ScoreSheet sorted = sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分")},
                                       {{name(QStringLiteral("丙")), score(10)},
                                        {name(QStringLiteral("甲")), score(9)},
                                        {name(QStringLiteral("乙")), score(85.25)}});
    const ScoreSheet basic_cases[] = {
        chinese_sheet(),
        sheet_of({}, {}),
        sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分"), QStringLiteral("选择题1")}, {}),
        sorted,
        sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分")}, {{name(long_name), score(1)}}),
        sheet_of({QStringLiteral("007"), QStringLiteral("总分")},
                 {{name(QStringLiteral("007")), score(7)}, {name(QStringLiteral("0.50")), score(0.5)}}),
        // A short row leaves the rest empty; an empty text leaves its cell empty.
        sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分"), QString(), QStringLiteral("非选择题2")},
                 {{name(QStringLiteral("赵六"))}, {name(QString()), score(2)}}),
        sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分"), QStringLiteral("非选择题1")},
                 {{name(QStringLiteral("a")), score(0.1 + 0.2), score(-1.5)},
                  {name(QStringLiteral("b")), score(123456789.25), score(1e-9)},
                  {name(QStringLiteral("c")), score(1e300), score(2.675)}}),
    };
    const char *basic_names[] = {"chinese names and headers",
                                 "empty table",
                                 "headers only",
                                 "rows in given order",
                                 "name longer than any column",
                                 "007 stays text",
                                 "short rows and empty texts",
                                 "numbers kept to 15 digits"};
    for (int i = 0; i < 8; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("xlsx: ") + QLatin1String(basic_names[i])))
            << QStringLiteral(".xlsx") << basic_cases[i] << QString() << QList<int>();
        QTest::newRow(qPrintable(QStringLiteral("xls: ") + QLatin1String(basic_names[i])))
            << QStringLiteral(".xls") << basic_cases[i] << QString() << QList<int>();
    }

    QString controls;
    for (ushort u = 0; u < 0x20; ++u)
        controls.append(QChar(u));
    const QStringList awkward = {
        controls + QStringLiteral(" end"),
        QStringLiteral("_x0041_ and _x005F_ and _X0041_ and _x004"),
        QStringLiteral("_x0041") + QChar(1),  // an escape of the next char must not close this one
        QStringLiteral("__x0041__x00e9_"),
        QString(QChar(0xFFFE)) + QChar(0xFFFF) + QChar(0xFFFD),
        QString(QChar(0xD800)) + QStringLiteral("lone") + QChar(0xDC00) + QChar(0xDBFF),
        QString::fromUtf8("😀 pair, \r\n line"),
        QStringLiteral("  <b>&amp;\"'</b>  "),
        QString(10000, QChar('x')) + QChar(0x4E2D),
    };
    QVector<QVector<SheetCell>> rows;
    for (const QString &t : awkward)
        rows.append({name(t), score(1)});
    QTest::newRow("xlsx: control chars, escapes, surrogates, 10000 chars")
        << QStringLiteral(".xlsx") << sheet_of(awkward, rows) << QString() << QList<int>();
    QTest::newRow("xlsx: longest text Excel takes")
        << QStringLiteral(".xlsx") << sheet_of({QString(32767, QChar(0x4E2D))}, {}) << QString() << QList<int>();

    const double inf = std::numeric_limits<double>::infinity();
    const ScoreSheet non_finite = sheet_of(
        {QStringLiteral("总分")},
        {{SheetCell{QStringLiteral("inf"), true, inf}}, {SheetCell{QStringLiteral("nan"), true, std::nan("")}}});
    QTest::newRow("xlsx: non-finite score kept as its text")
        << QStringLiteral(".xlsx") << non_finite << QString() << QList<int>();

    // The analysis as a second sheet, its chart in the .xlsx only, and only
    // with students; the slips as a third, tied totals sharing a rank.
    QList<int> hundred, forty;
    for (int i = 0; i < 100; ++i)
        hundred << 1 + 10 * (i % 10);
    for (int i = 0; i < 40; ++i)
        forty << i + 1;
    for (const QString &suffix : {QStringLiteral(".xlsx"), QStringLiteral(".xls")}) {
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": analysis of a class")))
            << suffix << chinese_sheet() << QStringLiteral("class") << QList<int>{1, 2, 2, 4, 4};
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": 进退步 and 班级对比 beside the class")))
            << suffix << chinese_sheet() << QStringLiteral("compared") << QList<int>{1, 2, 2, 4, 4};
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": a 缺考 student without a rank")))
            << suffix << chinese_sheet() << QStringLiteral("absent") << QList<int>{1, 2, 2, 4, 4};
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": analysis without students")))
            << suffix << sheet_of({QStringLiteral("学生信息"), QStringLiteral("总分")}, {}) << QStringLiteral("empty")
            << QList<int>();
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": slips of a hundred over pages")))
            << suffix << chinese_sheet() << QStringLiteral("hundred") << hundred;
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": forty, 14 questions, in lines, named")))
            << suffix << chinese_sheet() << QStringLiteral("forty") << forty;
        QTest::newRow(qPrintable(suffix.mid(1) + QStringLiteral(": 200 questions over pages")))
            << suffix << chinese_sheet() << QStringLiteral("wide") << QList<int>{1, 2, 3};
    }
}

void TestExport::contents()
{
    QFETCH(QString, suffix);
    QFETCH(ScoreSheet, sheet);
    QFETCH(QString, analysis);
    QFETCH(QList<int>, ranks);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("成绩") + suffix);
    const ClassAnalysis a = class_analysis(analysis);

    const ExportError res = export_workbook(path, sheet, analysis.isEmpty() ? nullptr : &a);
    QVERIFY2(res.ok(), qPrintable(export_error_message(res)));
    QVERIFY(export_error_message(res).isEmpty());
    QCOMPARE(listing(dir.path()), QStringList{QFileInfo(path).fileName()});
#ifdef Q_OS_WIN
    QSKIP("reading back cell by cell needs /usr/bin/python3 (openpyxl, xlrd), which Wine cannot run");
#endif

    QString why;
    const Workbook wb = read_back(path, &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(wb.format, suffix.mid(1));
    QCOMPARE(wb.sheets, analysis.isEmpty() ? 1 : 3);
    QVERIFY2(same_cells(wb.cells, expected_cells(sheet), &why), qPrintable(why));
    QVERIFY2(laid_out(wb.layout, &why), qPrintable(why));
    if (analysis.isEmpty())
        return;

    QCOMPARE(wb.second_name, QStringLiteral("成绩分析"));
    const AnalysisSheet laid = analysis_sheet(a);
    QVERIFY2(same_cells(wb.second, expected_rows(laid.rows), &why), qPrintable(why));
    // The class and the exam by name in a bold title row, where the files name them.
    const Cell title_cell = wb.second.value({1, 1});
    if (analysis == QLatin1String("forty"))
        QCOMPARE(title_cell.text, QStringLiteral("高一（3）班物理　2026秋季期中物理　成绩分析"));
    else if (analysis == QLatin1String("compared"))  // the exam compared with, under the title when there is one
        QCOMPARE(title_cell.text, QStringLiteral("进退步对比：月考（2025-10-09 导出）"));
    else
        QCOMPARE(title_cell.text, QStringLiteral("全班概况"));
    // The key stands centred, clear of the 区分度 number before it.
    int key_col = 0, keys = 0;
    for (auto it = wb.second.begin(); it != wb.second.end(); ++it) {
        if (it.value().text == QStringLiteral("正确答案"))
            key_col = it.key().second;
        else if (key_col > 0 && it.key().second == key_col && ++keys)
            QCOMPARE(it.value().align, QStringLiteral("center"));
    }
    int keyed = 0;
    for (const QuestionAnalysis &q : a.questions)
        keyed += !q.key.isEmpty();
    QCOMPARE(keys, keyed);  // "AB", or ten for the forty

    // One page wide, every page within A4, a page broken only before a
    // block's heading or, inside the question table, before its header row.
    const SlipPrint &printed = wb.analysis_print;
    QVERIFY(!printed.fit && printed.landscape && printed.scale == laid.scale && printed.breaks == laid.breaks);
    QCOMPARE(printed.heights.value(0), analysis_row_height);
    const QVector<double> heights(laid.rows.size(), analysis_row_height);
    QVERIFY2(pages_hold(heights, laid.breaks, laid.scale, true, 1e9, &why), qPrintable(why));
    for (int b : laid.breaks)
        QVERIFY2(QStringList({"全班概况", "分数段", "班级对比", "进退步", "各题分析", "题目"}).contains(laid.rows.at(b).value(0).text),
                 qPrintable(QString::number(b)));

    QCOMPARE(wb.third_name, QStringLiteral("成绩条"));
    const SlipSheet slips = slip_sheet(a);
    QVERIFY2(same_cells(wb.third, expected_rows(slips.rows), &why), qPrintable(why));
    QCOMPARE(ranks_of(wb.third), ranks);
    int absent_slips = 0;
    for (auto it = wb.third.begin(); it != wb.third.end(); ++it)
        absent_slips += it.key().second == 3 && it.value().text == QStringLiteral("缺考");
    QCOMPARE(absent_slips, analysis == QLatin1String("absent") ? 1 : 0);
    const QString title = a.exam_name.isEmpty() ? QStringLiteral("成绩条") : a.exam_name;
    QVERIFY2(slips_print(wb.slips, slips, wb.third, title, &why), qPrintable(why));
    // 11-point text printed at no less than 10 points, but where a slip of
    // 200 questions must shrink to fit a page; pages full of whole slips.
    QVERIFY(slips.scale * 11 >= 1000 || a.questions.size() > 100);
    double slip = slip_gap_height;
    for (double h : slips.heights)
        slip += h;
    QVERIFY2(pages_hold(slips.heights, slips.breaks, slips.scale, slips.landscape, slip / std::max(1, int(a.roster.size())), &why),
             qPrintable(why));
    QCOMPARE(slips.breaks.isEmpty(), a.roster.size() <= 6 && a.questions.size() < 100);
    if (analysis == QLatin1String("forty"))  // two lines of questions a slip, three slips a page
        QVERIFY(slips.lines == 2 && slips.breaks.size() == 13);
    if (analysis == QLatin1String("wide"))  // the question table goes on over pages, its header on each
        QVERIFY(std::count_if(laid.breaks.begin(), laid.breaks.end(),
                              [&](int b) { return laid.rows.at(b).value(0).text == QStringLiteral("题目"); })
                >= 2);

    const bool charted = suffix == QLatin1String(".xlsx") && analysis != QLatin1String("empty");
    QCOMPARE(wb.charts.size(), charted ? 1 : 0);
    if (!charted)
        return;
    // Column A (ranges) and B (counts) of the ten bands, beside them, no taller than their block.
    const Chart &c = wb.charts.first();
    const int first = laid.bands_header_row + 2, last = first + 9;
    QCOMPARE(c.type, QStringLiteral("col"));
    QCOMPARE(c.title, QStringLiteral("成绩分布"));
    QCOMPARE(c.series, 1);
    QCOMPARE(c.categories, QStringLiteral("'成绩分析'!$A$%1:$A$%2").arg(first).arg(last));
    QCOMPARE(c.values, QStringLiteral("'成绩分析'!$B$%1:$B$%2").arg(first).arg(last));
    QCOMPARE(c.from_row, laid.bands_header_row);
    QVERIFY2(c.from_col >= 2 && c.to_row <= last, qPrintable(QStringLiteral("%1 to %2").arg(c.from_col).arg(c.to_row)));
}

void TestExport::target_name_data()
{
    QTest::addColumn<QString>("given");    // relative to a fresh directory
    QTest::addColumn<QString>("written");  // the file that must appear
    QTest::addColumn<QString>("format");

    QTest::newRow("no extension gets .xlsx") << "scores"
                                             << "scores.xlsx"
                                             << "xlsx";
    QTest::newRow("dot only in directory name") << "a.b/scores"
                                                << "a.b/scores.xlsx"
                                                << "xlsx";
    QTest::newRow(".xlsx kept") << "s.xlsx"
                                << "s.xlsx"
                                << "xlsx";
    QTest::newRow(".XLS upper case is real xls") << "S.XLS"
                                                 << "S.XLS"
                                                 << "xls";
    QTest::newRow(".Xls mixed case") << "s.Xls"
                                     << "s.Xls"
                                     << "xls";
    QTest::newRow("other suffix gets .xlsx") << "名单.txt"
                                             << "名单.txt.xlsx"
                                             << "xlsx";
    QTest::newRow(".xlsx.xls ends in xls") << "s.xlsx.xls"
                                           << "s.xlsx.xls"
                                           << "xls";
    QTest::newRow(".xls.txt gets .xlsx") << "s.xls.txt"
                                         << "s.xls.txt.xlsx"
                                         << "xlsx";
    QTest::newRow("dot inside the name") << "高一.3班"
                                         << "高一.3班.xlsx"
                                         << "xlsx";
    QTest::newRow("trailing dot dropped") << "成绩."
                                          << "成绩.xlsx"
                                          << "xlsx";
    QTest::newRow("trailing dots dropped") << "s.xls.."
                                           << "s.xls.xlsx"
                                           << "xlsx";
    QTest::newRow("upper case .XLS in Chinese") << "期中.XLS"
                                                << "期中.XLS"
                                                << "xls";
    QTest::newRow("hidden name without suffix") << ".scores"
                                                << ".scores.xlsx"
                                                << "xlsx";
    QTest::newRow("blanks and Chinese") << "期末 成绩/三 班 成绩"
                                        << "期末 成绩/三 班 成绩.xlsx"
                                        << "xlsx";
    QTest::newRow("blanks only") << "   "
                                 << "   .xlsx"
                                 << "xlsx";
    QTest::newRow("percent signs") << "%1 %2.xls"
                                   << "%1 %2.xls"
                                   << "xls";
}

void TestExport::target_name()
{
    QFETCH(QString, given);
    QFETCH(QString, written);
    QFETCH(QString, format);
#ifdef Q_OS_WIN
    if (written.endsWith(QLatin1Char('.')))
        QSKIP("Windows drops a trailing dot from a file name");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sub = QFileInfo(dir.filePath(written)).path();
    QVERIFY(QDir().mkpath(sub));

    const ExportError res = export_workbook(dir.filePath(given), chinese_sheet());
    QVERIFY2(res.ok(), qPrintable(export_error_message(res)));
    QCOMPARE(listing(sub), QStringList{QFileInfo(written).fileName()});
#ifdef Q_OS_WIN
    QCOMPARE(windows_read_back(dir.filePath(written), format, chinese_sheet()), QString());
#else  // Python's readers and POSIX modes are not there

    QString why;
    const Workbook wb = read_back(dir.filePath(written), &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(wb.format, format);
    QVERIFY2(same_cells(wb.cells, expected_cells(chinese_sheet()), &why), qPrintable(why));

    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(dir.filePath(written)).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0640);  // 0666 less the umask 027
#endif
}

void TestExport::overwrite_data()
{
    QTest::addColumn<QString>("file");       // the path exported to
    QTest::addColumn<QByteArray>("old");     // empty: an earlier export of another table; "none": no file
    QTest::addColumn<int>("mode");           // the old file's mode, or -1 to leave it as made
    QTest::addColumn<QStringList>("links");  // `file` links to links[0], which links to links[1] ...;
                                             // "@" stands for the test directory
    QTest::addColumn<bool>("owner");         // give the old file another owner and group first (root only)

    const QStringList none;
    QTest::newRow("xlsx over earlier export") << "s.xlsx" << QByteArray() << -1 << none << false;
    QTest::newRow("xls over earlier export") << "s.xls" << QByteArray() << -1 << none << false;
    QTest::newRow("xlsx over unrelated file") << "s.xlsx" << QByteArray("not a workbook\n") << 0600 << none << false;
    QTest::newRow("xls over empty-looking file") << "s.xls" << QByteArray(1, '\0') << 0600 << none << false;
    QTest::newRow("xls keeps 0604") << "s.xls" << QByteArray() << 0604 << none << false;
    QTest::newRow("xlsx keeps 0664") << "s.xlsx" << QByteArray() << 0664 << none << false;
    QTest::newRow("owner and group kept") << "s.xlsx" << QByteArray() << 0640 << none << true;
    QTest::newRow("relative link into another directory")
        << "成绩.xlsx" << QByteArray() << 0600 << QStringList{"synced/班级 成绩.xlsx"} << false;
    QTest::newRow("absolute link, xls") << "s.xls" << QByteArray() << 0600 << QStringList{"@/synced/s.xls"} << false;
    QTest::newRow("link to a link") << "s.xlsx" << QByteArray() << 0640
                                    << QStringList{"hop.xlsx", "synced/../synced/real.xlsx"} << false;
    QTest::newRow("link to nowhere gets its file")
        << "s.xlsx" << QByteArray("none") << -1 << QStringList{"synced/new.xlsx"} << false;
    QTest::newRow("link to another owner's file")
        << "s.xls" << QByteArray() << 0640 << QStringList{"synced/s.xls"} << true;
}

namespace {

// Every entry under dir, links not followed, as paths relative to it.
QStringList tree(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

#ifndef Q_OS_WIN
// What a symbolic link holds, or "<not a link>".
QByteArray link_text(const QString &path)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n < 0 ? QByteArray("<not a link>") : QByteArray(buf, int(n));
}

// Makes the links of an overwrite row, recording each in *made; returns the
// file the last one names.
QString make_links(const QString &dir, const QString &file, const QStringList &links, QStringList *made)
{
    QString at = dir + QLatin1Char('/') + file;
    for (QString to : links) {
        to.replace(QLatin1Char('@'), dir);
        const QString next = QDir::isAbsolutePath(to) ? to : QFileInfo(at).path() + QLatin1Char('/') + to;
        QDir().mkpath(QFileInfo(next).path());
        if (::symlink(QFile::encodeName(to).constData(), QFile::encodeName(at).constData()) != 0)
            return QString();
        *made << at;
        at = next;
    }
    return at;
}
#endif

}  // namespace

void TestExport::overwrite()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, old);
    QFETCH(int, mode);
    QFETCH(QStringList, links);
    QFETCH(bool, owner);
#ifdef Q_OS_WIN
    if (owner || !links.isEmpty())
        QSKIP("owners and symbolic links are POSIX facts; Windows has neither here");
    Q_UNUSED(mode)  // nor POSIX modes
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(file);
    const QString real = path;
#else
    if (owner && ::geteuid() != 0)
        QSKIP("only root can give a file to another owner");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(file);
    QStringList made;
    const QString real = make_links(dir.path(), file, links, &made);
    QVERIFY(!real.isEmpty());
#endif
    if (old.isEmpty()) {
        const ScoreSheet first = sheet_of(
            {QStringLiteral("旧")}, {{name(QStringLiteral("旧数据")), score(1)}, {name(QStringLiteral("多一行"))}});
        QVERIFY(export_workbook(real, first).ok());
    } else if (old != "none") {
        QVERIFY(write_file(real, old));
    }
#ifdef Q_OS_WIN
    const QStringList before = tree(dir.path());
    const ExportError res = export_workbook(path, chinese_sheet());
    QVERIFY2(res.ok(), qPrintable(export_error_message(res)));
    QCOMPARE(tree(dir.path()), before);  // no temporary is left
    const QString format
        = QFileInfo(path).suffix() == QLatin1String("xls") ? QStringLiteral("xls") : QStringLiteral("xlsx");
    QCOMPARE(windows_read_back(real, format, chinese_sheet()), QString());
#else
    const QByteArray real_name = QFile::encodeName(real);
    if (mode >= 0)
        QCOMPARE(::chmod(real_name.constData(), mode_t(mode)), 0);
    if (owner)
        QCOMPARE(::chown(real_name.constData(), 4242, 4343), 0);
    QStringList before = tree(dir.path());
    if (old == "none") {
        before << QDir(dir.path()).relativeFilePath(real);
        before.sort();
    }
    QVector<QByteArray> texts;
    for (const QString &link : made)
        texts << link_text(link);

    const ExportError res = export_workbook(path, chinese_sheet());
    QVERIFY2(res.ok(), qPrintable(export_error_message(res)));
    QCOMPARE(tree(dir.path()), before);  // links stay links, no temporary is left
    for (int i = 0; i < made.size(); ++i)
        QCOMPARE(link_text(made.at(i)), texts.at(i));
    QString why;
    const Workbook wb = read_back(real, &why);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QVERIFY2(same_cells(wb.cells, expected_cells(chinese_sheet()), &why), qPrintable(why));

    struct stat st;
    QCOMPARE(::lstat(real_name.constData(), &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(int(st.st_mode & 07777), mode >= 0 ? mode : 0640);  // else 0666 less the umask 027
    if (owner) {
        QCOMPARE(int(st.st_uid), 4242);
        QCOMPARE(int(st.st_gid), 4343);
    }
#endif
}

void TestExport::refused_data()
{
    QTest::addColumn<QString>("target");    // relative to a fresh directory unless absolute
    QTest::addColumn<QString>("existing");  // a file made beforehand (relative), or empty
    QTest::addColumn<QString>("shown");     // the path the message names (relative unless absolute)
    QTest::addColumn<QString>("reason");    // part of the message
    QTest::addColumn<QString>("trouble");   // "long": a text too long for a cell, "wide": too many columns
    QTest::addColumn<QString>("standing");  // what stands at target: "" as made; "link:X" a link to X; "fifo" a pipe;
                                            // "read-only" the existing file without write permission

    QTest::newRow("missing directory") << "missing/x.xlsx"
                                       << "x.xlsx"
                                       << "missing/x.xlsx"
                                       << "目录不存在"
                                       << ""
                                       << "";
    QTest::newRow("under a regular file") << "file/x.xlsx"
                                          << "file"
                                          << "file/x.xlsx"
                                          << "目录不存在"
                                          << ""
                                          << "";
    QTest::newRow("under a regular file, no extension") << "file/x"
                                                        << "file"
                                                        << "file/x.xlsx"
                                                        << "目录不存在"
                                                        << ""
                                                        << "";
    QTest::newRow("directory as target") << "d.xlsx"
                                         << "d.xlsx/keep"
                                         << "d.xlsx"
                                         << "文件夹"
                                         << ""
                                         << "";
    QTest::newRow("directory with trailing slash") << "d/"
                                                   << "d/keep"
                                                   << "d/"
                                                   << "文件夹"
                                                   << ""
                                                   << "";
    QTest::newRow("under /proc") << "/proc/velora-export-test.xlsx"
                                 << ""
                                 << "/proc/velora-export-test.xlsx"
                                 << "无法在该位置创建文件"
                                 << ""
                                 << "";
    QTest::newRow("file name too long") << QString(300, QChar('n')) + ".xlsx"
                                        << "keep" << QString(300, QChar('n')) + ".xlsx"
                                        << "文件名太长"
                                        << ""
                                        << "";
    QTest::newRow("NUL in path") << QStringLiteral("keep") + QChar(0) + QStringLiteral("x.xlsx") << "keep"
                                 << QStringLiteral("keep") + QChar(0) + QStringLiteral("x.xlsx") << "无法用作文件名"
                                 << ""
                                 << "";
    QTest::newRow("lone surrogate in path")
        << QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".xlsx") << ""
        << QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".xlsx") << "无法用作文件名"
        << ""
        << "";
    QTest::newRow("text too long, existing file kept") << "x.xlsx"
                                                       << "x.xlsx"
                                                       << "x.xlsx"
                                                       << "单元格A3的文字超过32767个字符"
                                                       << "long"
                                                       << "";
    QTest::newRow("text too long, no extension") << "x"
                                                 << "x.xlsx"
                                                 << "x.xlsx"
                                                 << "32767"
                                                 << "long"
                                                 << "";
    QTest::newRow("more columns than a sheet has") << "x.xlsx"
                                                   << "x.xlsx"
                                                   << "x.xlsx"
                                                   << "大小上限（1048576行、16384列）"
                                                   << "wide"
                                                   << "";
    QTest::newRow("more columns than an xls sheet has") << "x.xls"
                                                        << "x.xls"
                                                        << "x.xls"
                                                        << "256"
                                                        << "wide"
                                                        << "";
    QTest::newRow("text too long, linked file kept") << "x.xlsx"
                                                     << "synced/x.xlsx"
                                                     << "x.xlsx"
                                                     << "单元格A3"
                                                     << "long"
                                                     << "link:synced/x.xlsx";
    QTest::newRow("xls text too long, linked file kept") << "x.xls"
                                                         << "synced/x.xls"
                                                         << "x.xls"
                                                         << "单元格A3"
                                                         << "long"
                                                         << "link:synced/x.xls";
    QTest::newRow("link to a missing directory") << "x.xlsx"
                                                 << ""
                                                 << "x.xlsx"
                                                 << "目录不存在"
                                                 << ""
                                                 << "link:gone/x.xlsx";
    QTest::newRow("link to a directory") << "x.xlsx"
                                         << "d/keep"
                                         << "x.xlsx"
                                         << "文件夹"
                                         << ""
                                         << "link:d";
    QTest::newRow("link to itself") << "x.xlsx"
                                    << ""
                                    << "x.xlsx"
                                    << "符号链接"
                                    << ""
                                    << "link:x.xlsx";
    QTest::newRow("named pipe") << "x.xlsx"
                                << ""
                                << "x.xlsx"
                                << "不是普通文件"
                                << ""
                                << "fifo";
    QTest::newRow("read-only workbook") << "x.xlsx"
                                        << "x.xlsx"
                                        << "x.xlsx"
                                        << "只读"
                                        << ""
                                        << "read-only";
    QTest::newRow("read-only workbook, no extension") << "x"
                                                      << "x.xlsx"
                                                      << "x.xlsx"
                                                      << "只读"
                                                      << ""
                                                      << "read-only";
    QTest::newRow("read-only workbook, dot inside the name") << "高一.3班"
                                                             << "高一.3班.xlsx"
                                                             << "高一.3班.xlsx"
                                                             << "只读"
                                                             << ""
                                                             << "read-only";
    QTest::newRow("text too long, trailing dot") << "成绩."
                                                 << "成绩.xlsx"
                                                 << "成绩.xlsx"
                                                 << "32767"
                                                 << "long"
                                                 << "";
    QTest::newRow("name of dots only") << "..."
                                       << "keep"
                                       << "..."
                                       << "缺少文件名"
                                       << ""
                                       << "";
    QTest::newRow("folder named by a dot") << "d/."
                                           << "d/keep"
                                           << "d/."
                                           << "文件夹"
                                           << ""
                                           << "";
}

void TestExport::refused()
{
    QFETCH(QString, target);
    QFETCH(QString, existing);
    QFETCH(QString, shown);
    QFETCH(QString, reason);
    QFETCH(QString, trouble);
    QFETCH(QString, standing);
#ifdef Q_OS_WIN
    if ((!standing.isEmpty() && standing != QLatin1String("read-only")) || target.startsWith(QLatin1String("/proc/")))
        QSKIP("symbolic links, named pipes and /proc are POSIX facts");
#else
    if (standing == QLatin1String("read-only") && ::geteuid() == 0)
        QSKIP("root may write any file");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray old_bytes = QByteArrayLiteral("PK\x03\x04\0 earlier workbook bytes");
    if (!existing.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(existing)).path()));
        QVERIFY(write_file(dir.filePath(existing), old_bytes));
    }
    const QString path = QDir::isAbsolutePath(target) ? target : dir.filePath(target);
#ifndef Q_OS_WIN
    const QByteArray path_name = QFile::encodeName(path);
    if (standing.startsWith(QLatin1String("link:")))
        QCOMPARE(::symlink(QFile::encodeName(standing.mid(5)).constData(), path_name.constData()), 0);
    if (standing == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(path_name.constData(), 0600), 0);
#endif
    if (standing == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(dir.filePath(existing),
                                      QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup
                                          | QFileDevice::ReadOther));
    const QStringList before = tree(dir.path());
    // Qt warns about a name with a NUL; no such file can exist.
    auto exists = [&path] { return !path.contains(QChar(0)) && QFileInfo::exists(path); };
    const bool existed = exists();

    ScoreSheet sheet = chinese_sheet();
    if (trouble == QLatin1String("long"))
        sheet.rows[1][0].text = QString(32768, QChar('y'));
    if (trouble == QLatin1String("wide"))
        sheet.rows[0].fill(score(1), 16385);
    const ExportError res = export_workbook(path, sheet);

    QVERIFY(!res.ok());
    const QString shown_path = QDir::isAbsolutePath(shown) ? shown : dir.filePath(shown);
    QCOMPARE(res.path, shown_path);
    const QString message = export_error_message(res);
    QVERIFY2(message.startsWith(QStringLiteral("无法导出到“") + QDir::toNativeSeparators(shown_path)
                                + QStringLiteral("”：")),
             qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(tree(dir.path()), before);
    if (!existing.isEmpty())
        QCOMPARE(file_bytes(dir.filePath(existing)), old_bytes);
    QCOMPARE(exists(), existed);
}

void TestExport::empty_path()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString old_cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const ExportError res = export_workbook(QString(), chinese_sheet());
    const QStringList after = listing(dir.path());
    QVERIFY(QDir::setCurrent(old_cwd));
    QVERIFY(res.ok());
    QVERIFY(export_error_message(res).isEmpty());
    QCOMPARE(after, QStringList());
}

void TestExport::write_xlsx_failure_data()
{
    QTest::addColumn<QString>("target");  // relative to a fresh directory
    QTest::addColumn<bool>("too_long");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing directory") << "missing/x.xlsx" << false << "无法创建文件";
    QTest::newRow("directory as path") << "d" << false << "无法创建文件";
    QTest::newRow("text too long") << "x.xlsx" << true << "单元格A3";
}

// The writer alone: an error with a Chinese reason, and no file left where there was none.
void TestExport::write_xlsx_failure()
{
    QFETCH(QString, target);
    QFETCH(bool, too_long);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("d")));
    const QStringList before = listing(dir.path());

    ScoreSheet sheet = chinese_sheet();
    if (too_long)
        sheet.rows[1][0].text = QString(40000, QChar(0x4E2D));
    const ExportError res = write_xlsx(dir.filePath(target), sheet);
    QVERIFY(!res.ok());
    QCOMPARE(res.path, dir.filePath(target));
    const QString error = export_error_message(res);
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(listing(dir.path()), before);
}

// A fault kind without a message would leave the teacher an empty reason.
void TestExport::every_fault_has_a_message()
{
    QSet<QString> seen;
    for (int f = int(ExportFault::none) + 1; f <= int(ExportFault::library_error); ++f) {
        const ExportError e = ExportError::of(ExportFault(f)).at(QStringLiteral("/tmp/成绩.xlsx"));
        const QString message = export_error_message(e);
        const QString prefix = QStringLiteral("无法导出到“")
            + QDir::toNativeSeparators(QStringLiteral("/tmp/成绩.xlsx")) + QStringLiteral("”：");
        QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size() + 1, qPrintable(QString::number(f)));
        QVERIFY2(!seen.contains(message), qPrintable(message));
        seen.insert(message);
    }
}

// Windows: a scanner or sync client holding the workbook for a moment is waited
// for; a program that keeps it open gets the in-use message after the wait,
// and the workbook and its folder stay as they were.
void TestExport::locked_target_data()
{
    QTest::addColumn<int>("held_ms");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("held for a moment") << 600 << true;
    QTest::newRow("kept open") << 5000 << false;
}

void TestExport::locked_target()
{
#ifndef Q_OS_WIN
    QSKIP("sharing locks are Windows'");
#else
    QFETCH(int, held_ms);
    QFETCH(bool, replaced);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("成绩.xlsx"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older workbook");
    old.close();
    const QStringList before = listing(dir.path());

    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                                 GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    QVERIFY(h != INVALID_HANDLE_VALUE);
    std::thread holder([h, held_ms] {
        Sleep(DWORD(held_ms));
        CloseHandle(h);
    });
    QElapsedTimer took;
    took.start();
    const ExportError res = export_workbook(path, chinese_sheet());
    const qint64 ms = took.elapsed();
    holder.join();

    if (replaced) {
        QVERIFY2(res.ok(), qPrintable(export_error_message(res)));
        QVERIFY(ms >= held_ms / 2);
        QCOMPARE(windows_read_back(path, QStringLiteral("xlsx"), chinese_sheet()), QString());
    } else {
        QCOMPARE(res.fault, ExportFault::replace_blocked);
        QVERIFY2(export_error_message(res).contains(QStringLiteral("可能正被其他程序使用")),
                 qPrintable(export_error_message(res)));
        QVERIFY2(ms >= 1500 && ms < held_ms, qPrintable(QString::number(ms)));
        QCOMPARE(file_bytes(path), QByteArray("an older workbook"));
    }
    QCOMPARE(listing(dir.path()), before);
#endif
}

QTEST_GUILESS_MAIN(TestExport)
#include "test_export.moc"

// The lock files that make an export ask first: those of the very workbook
// the path names, and only while it is there.
void TestExport::lock_files_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("found");
    const QString book = QStringLiteral("物理期中成绩.xlsx");
    QTest::newRow("LibreOffice") << book << QStringList{book, ".~lock." + book + "#"}
                                 << QStringList{".~lock." + book + "#"};
    QTest::newRow("Excel or WPS") << book << QStringList{book, "~$" + book} << QStringList{"~$" + book};
    QTest::newRow("both, a name without its suffix")
        << QStringLiteral("物理期中成绩") << QStringList{book, "~$" + book, ".~lock." + book + "#"}
        << QStringList{".~lock." + book + "#", "~$" + book};
    QTest::newRow("another workbook's lock") << QStringLiteral("物理期中成绩.xls")
                                             << QStringList{"物理期中成绩.xls", ".~lock." + book + "#"} << QStringList();
    QTest::newRow("a lock without its workbook") << book << QStringList{"~$" + book} << QStringList();
}

void TestExport::lock_files()
{
    QFETCH(QString, path);
    QFETCH(QStringList, present);
    QFETCH(QStringList, found);
    QTemporaryDir dir;
    for (const QString &name : present)
        QVERIFY(write_file(dir.filePath(name), "x"));
    QStringList got;
    for (const QString &lock : lock_files_beside(dir.filePath(path)))
        got << QFileInfo(lock).fileName();
    QCOMPARE(got, found);
}
