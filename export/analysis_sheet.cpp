// Lays out the "成绩分析" sheet: every figure under a label a teacher can find
// by reading column A, numbers as numbers with the formats a reader expects.
#include "export/analysis_sheet.h"

#include "export/sheet_layout.h"
#include "marking/exam_comparison.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

SheetCell text(const QString &t)
{
    return SheetCell{t, false, 0.0, NumberFormat::score};
}

SheetCell score(const std::optional<double> &v)
{
    if (!v)
        return SheetCell();
    return SheetCell{QString::asprintf("%.2f", *v), true, *v, NumberFormat::score};
}

SheetCell rate(const std::optional<double> &v)
{
    if (!v)
        return SheetCell();
    return SheetCell{QString::asprintf("%.1f%%", *v * 100.0), true, *v, NumberFormat::rate};
}

SheetCell count(const std::optional<int> &n)
{
    if (!n)
        return SheetCell();
    return SheetCell{QString::number(*n), true, double(*n), NumberFormat::count};
}

// The blocks of the sheet, with their texts in the "velora" context.
class Blocks {
    Q_DECLARE_TR_FUNCTIONS(velora)

public:
    static void add_title(AnalysisSheet &s, const ClassAnalysis &a);
    static void add_overview(AnalysisSheet &s, const ClassAnalysis &a);
    static void add_bands(AnalysisSheet &s, const ClassAnalysis &a);
    static void add_classes(AnalysisSheet &s, const ClassAnalysis &a);
    static void add_progress(AnalysisSheet &s, const ClassAnalysis &a);
    static void add_questions(AnalysisSheet &s, const ClassAnalysis &a);

private:
    static void add_movers(AnalysisSheet &s, const ClassAnalysis &a, const QString &heading, const QVector<int> &who);
};

// The class and the exam by name, where the files gave them, and the exam
// 进退步 compares with; then a blank row.
void Blocks::add_title(AnalysisSheet &s, const ClassAnalysis &a)
{
    QStringList names;
    for (const QString &n : {a.class_name, a.exam_name})
        if (!n.isEmpty())
            names << n;
    if (!names.isEmpty()) {
        SheetCell title = text(names.join(QStringLiteral("　")) + QStringLiteral("　") + tr("成绩分析"));
        title.title = true;
        s.rows.append({title});
    }
    if (a.previous) {
        const QString date = QDateTime::fromMSecsSinceEpoch(a.previous->exported_ms).toString(QStringLiteral("yyyy-MM-dd"));
        // Part of the heading: it runs on across the columns rather than widen column A.
        SheetCell compared = text(tr("进退步对比：%1（%2 导出）").arg(a.previous->exam_name, date));
        compared.title = true;
        s.rows.append({compared});
    }
    if (!s.rows.isEmpty())
        s.rows.append(QVector<SheetCell>());
}

void Blocks::add_overview(AnalysisSheet &s, const ClassAnalysis &a)
{
    s.rows.append({text(tr("全班概况"))});
    s.rows.append({text(tr("参考人数")), count(a.students)});
    if (a.absent > 0)
        s.rows.append({text(tr("缺考人数")), count(a.absent)});
    s.rows.append({text(tr("满分")), score(a.full_marks)});
    s.rows.append({text(tr("平均分")), score(a.mean)});
    s.rows.append({text(tr("最高分")), score(a.high)});
    s.rows.append({text(tr("最低分")), score(a.low)});
    s.rows.append({text(tr("中位数")), score(a.median)});
    s.rows.append({text(tr("标准差")), score(a.deviation)});
    s.rows.append({text(tr("信度（α）")), score(a.reliability)});
    s.rows.append({text(tr("优秀率（≥85%）")), rate(a.excellent_rate)});
    s.rows.append({text(tr("及格率（≥60%）")), rate(a.pass_rate)});
    s.rows.append({text(tr("低分率（<40%）")), rate(a.low_rate)});
}

void Blocks::add_bands(AnalysisSheet &s, const ClassAnalysis &a)
{
    s.bands_header_row = s.rows.size();
    s.rows.append({text(tr("分数段")), text(tr("人数"))});
    for (int k = 0; k < analysis_bands; ++k)
        s.rows.append({text(band_label(a.full_marks, k)), a.bands ? count(a.bands->at(k)) : SheetCell()});
    s.chart = a.bands.has_value();
}

void Blocks::add_classes(AnalysisSheet &s, const ClassAnalysis &a)
{
    s.rows.append({text(tr("班级对比"))});
    s.rows.append({text(tr("班级")), text(tr("人数")), text(tr("缺考")), text(tr("平均分")), text(tr("最高分")),
                   text(tr("最低分")), text(tr("优秀率")), text(tr("及格率"))});
    for (const ClassFigures &c : a.classes)
        s.rows.append({text(c.name), count(c.students), count(c.absent), score(c.mean), score(c.high), score(c.low),
                       rate(c.excellent_rate), rate(c.pass_rate)});
}

void Blocks::add_progress(AnalysisSheet &s, const ClassAnalysis &a)
{
    const PreviousExam &p = *a.previous;
    s.rows.append({text(tr("进退步"))});
    s.rows.append({SheetCell(), text(tr("上次")), text(tr("本次"))});
    s.rows.append({text(tr("平均分")), score(p.mean), score(a.mean)});
    s.rows.append({text(tr("优秀率")), rate(p.excellent_rate), rate(a.excellent_rate)});
    add_movers(s, a, tr("进步最多"), p.risers);
    add_movers(s, a, tr("退步最多"), p.fallers);
}

// A heading row, then a student a row: her ranks then and now and the change; nothing where nobody moved.
void Blocks::add_movers(AnalysisSheet &s, const ClassAnalysis &a, const QString &heading, const QVector<int> &who)
{
    if (who.isEmpty())
        return;
    s.rows.append({text(heading), text(tr("上次名次")), text(tr("本次名次")), text(tr("进退"))});
    for (int k : who) {
        const StudentResult &r = a.roster.at(k);
        SheetCell change = text(rank_change_text(r));
        change.centred = true;
        s.rows.append({text(r.name), count(r.previous_rank), count(r.rank), change});
    }
}

void Blocks::add_questions(AnalysisSheet &s, const ClassAnalysis &a)
{
    s.rows.append({text(tr("各题分析"))});
    QVector<SheetCell> header
        = {text(tr("题目")),   text(tr("满分")),     text(tr("平均分")),   text(tr("得分率")), text(tr("最高分")),
           text(tr("最低分")), text(tr("满分人数")), text(tr("零分人数")), text(tr("区分度")), text(tr("正确答案"))};
    for (const QChar c : a.letters)
        header.append(text(QString(c)));
    header.append(text(tr("其他")));
    s.rows.append(header);

    for (const QuestionAnalysis &q : a.questions) {
        QVector<SheetCell> row
            = {text(q.label), score(q.max),        score(q.mean),       rate(q.rate),           score(q.high),
               score(q.low),  count(q.full_count), count(q.zero_count), score(q.discrimination)};
        if (q.choice) {
            // Centred, or the printout runs the key into the index before it ("0.00C").
            SheetCell key = text(q.key);
            key.centred = true;
            row.append(key);
            // Without students there is nothing to count.
            const auto counted = [&a](int n) { return a.students > 0 ? count(n) : SheetCell(); };
            for (int n : q.letter_counts)
                row.append(counted(n));
            row.append(counted(q.other_count));
        }
        s.rows.append(row);
    }
}

// The chart beside the bands, from column D: libxlsxwriter's 480 pixels and its offset.
constexpr double chart_points = (480 + 8) * 0.75;

// The scale that brings the sheet (its chart included) onto one page's
// width, and the breaks: a block that would be cut but fits a page begins
// one; the question table goes on over pages with its header row on each.
void lay_out_pages(AnalysisSheet &s, const QVector<QPair<int, int>> &blocks, int table)
{
    ScoreSheet cells;
    cells.rows = s.rows;
    const QVector<double> widths = column_widths(cells);
    double wide = columns_points(widths);
    if (s.chart) {
        QVector<double> before_chart = widths.mid(0, 3);
        before_chart.resize(3);
        wide = std::max(wide, columns_points(before_chart) + chart_points);
    }
    s.scale = std::clamp(int(std::floor(100.0 * page_width(s.landscape) / wide)), least_print_scale, 100);
    const int per_page = int(page_height(s.landscape) * 100.0 / s.scale / analysis_row_height);
    int page = 0;  // the row the page being filled begins with
    auto break_before = [&](int row) {
        if (row > page) {
            s.breaks.append(row);
            page = row;
        }
    };
    for (const QPair<int, int> &b : blocks)
        if (b.second - page > per_page)
            break_before(b.first);
    const int table_rows = s.rows.size() - table;
    if (s.rows.size() - page > per_page && (table_rows <= per_page || table + 3 - page > per_page))
        break_before(table);
    const QVector<SheetCell> header = s.rows.at(table + 1);
    while (s.rows.size() - page > per_page) {
        const int row = page + per_page;
        s.rows.insert(row, header);
        break_before(row);
    }
}

}  // namespace

QString analysis_sheet_name()
{
    return QCoreApplication::translate("velora", "成绩分析");
}

QString analysis_chart_title()
{
    return QCoreApplication::translate("velora", "成绩分布");
}

AnalysisSheet analysis_sheet(const ClassAnalysis &a)
{
    AnalysisSheet s;
    Blocks::add_title(s, a);
    const int overview_begin = s.rows.size();
    Blocks::add_overview(s, a);
    const int overview_end = s.rows.size();
    s.rows.append(QVector<SheetCell>());
    Blocks::add_bands(s, a);
    const int bands_end = s.rows.size();
    s.rows.append(QVector<SheetCell>());
    QVector<QPair<int, int>> blocks{{overview_begin, overview_end}, {s.bands_header_row, bands_end}};
    // The comparisons, where there are any, each a block of its own before the question table.
    if (!a.classes.isEmpty()) {
        const int begin = s.rows.size();
        Blocks::add_classes(s, a);
        blocks.append({begin, s.rows.size()});
        s.rows.append(QVector<SheetCell>());
    }
    if (a.previous) {
        const int begin = s.rows.size();
        Blocks::add_progress(s, a);
        blocks.append({begin, s.rows.size()});
        s.rows.append(QVector<SheetCell>());
    }
    const int table = s.rows.size();
    Blocks::add_questions(s, a);
    lay_out_pages(s, blocks, table);
    return s;
}
