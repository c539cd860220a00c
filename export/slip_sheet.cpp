// Lays out the "成绩条" sheet: slips in lines of questions as wide as the page
// allows, and the pages as full as whole slips make them.
#include "export/slip_sheet.h"

#include "export/sheet_layout.h"
#include "marking/exam_comparison.h"

#include <QCoreApplication>

#include <algorithm>
#include <optional>

namespace {

SheetCell text(const QString &t)
{
    return SheetCell{t, false, 0.0, NumberFormat::score};
}

SheetCell number(double v, NumberFormat format)
{
    const QString shown = format == NumberFormat::score ? QString::asprintf("%.2f", v) : QString::number(v);
    return SheetCell{shown, true, v, format};
}

// A 缺考 student has no rank: the slip says why.
SheetCell rank_cell(const StudentResult &r, int rank)
{
    if (r.absent)
        return text(QCoreApplication::translate("velora", "缺考"));
    return number(rank, NumberFormat::count);
}

// The columns before the questions: 学生信息, 总分, 名次, then 上次名次 and 进退
// where there is a last exam, 年级名次 where other classes sat the paper.
QStringList leading_headers(const ClassAnalysis &a)
{
    QStringList h{QCoreApplication::translate("velora", "学生信息"), QCoreApplication::translate("velora", "总分"),
                  QCoreApplication::translate("velora", "名次")};
    if (a.previous)
        h << QCoreApplication::translate("velora", "上次名次") << QCoreApplication::translate("velora", "进退");
    if (!a.classes.isEmpty())
        h << QCoreApplication::translate("velora", "年级名次");
    return h;
}

// A student's cells under leading_headers().
QVector<SheetCell> leading_cells(const ClassAnalysis &a, const StudentResult &r)
{
    QVector<SheetCell> cells{text(r.name), number(r.total, NumberFormat::score), rank_cell(r, r.rank)};
    if (a.previous) {
        QVector<SheetCell> then{r.previous_rank > 0 ? number(r.previous_rank, NumberFormat::count) : text(QStringLiteral("—")),
                                text(rank_change_text(r))};
        for (SheetCell &c : then)
            c.centred = !c.numeric;  // "—" and "↑3" under their headings
        cells << then;
    }
    if (!a.classes.isEmpty())
        cells << rank_cell(r, r.grade_rank);
    return cells;
}

// Characters a column needs for its texts, one to spare.
double width_of(const QVector<SheetCell> &cells)
{
    int need = 0;
    for (const SheetCell &c : cells)
        need = std::max(need, text_width(c.text));
    return std::min(max_column_width, double(need + 1));
}

double slip_height(int lines)
{
    return slip_title_height + lines * (2 * slip_row_height + slip_score_height);
}

// The printed width of the question columns with `per_line` questions a
// line: column j holds questions j, j + per_line, j + 2 · per_line, …
double questions_points(const QVector<double> &widths, int per_line)
{
    double wide = 0.0;
    for (int j = 0; j < per_line; ++j) {
        double w = 0.0;
        for (int q = j; q < widths.size(); q += per_line)
            w = std::max(w, widths.at(q));
        wide += column_points(w);
    }
    return wide;
}

struct Fit {
    bool landscape = false;
    int scale = 100;
    int per_line = 0;
    int lines = 1;
    int per_page = 1;
    bool better_than(const Fit &o) const
    {
        if (scale != o.scale)
            return scale > o.scale;
        if (per_page != o.per_page)
            return per_page > o.per_page;
        return lines < o.lines;
    }
};

// The largest scale at which a slip fits a page this way up, with as many questions a line as fit across.
std::optional<Fit> fit_on(bool landscape, double fixed, const QVector<double> &questions)
{
    const int n = questions.size();
    for (int scale = 100; scale >= least_print_scale; scale -= 5) {
        const double across = page_width(landscape) * 100.0 / scale;
        const double down = page_height(landscape) * 100.0 / scale;
        int per_line = n;
        while (per_line > 1 && fixed + questions_points(questions, per_line) > across)
            --per_line;
        if (fixed + questions_points(questions, per_line) > across)
            continue;
        Fit f;
        f.landscape = landscape;
        f.scale = scale;
        f.per_line = per_line;
        f.lines = n > 0 ? (n + per_line - 1) / per_line : 1;
        f.per_page = int((down + slip_gap_height) / (slip_height(f.lines) + slip_gap_height));
        if (f.per_page >= 1)
            return f;
    }
    return std::nullopt;
}

class Slips {
    Q_DECLARE_TR_FUNCTIONS(velora)

public:
    explicit Slips(const ClassAnalysis &a);
    SlipSheet sheet;

private:
    void add_slip(const ClassAnalysis &a, const StudentResult &r);
    void add_row(const QVector<SheetCell> &row, double height);

    Fit fit;
    QString title;
    int fixed_columns = 0;
};

Slips::Slips(const ClassAnalysis &a) : title(a.exam_name.isEmpty() ? tr("成绩条") : a.exam_name)
{
    // Column widths of the columns before the questions and of every question, over every slip.
    QVector<QVector<SheetCell>> fixed;
    for (const QString &h : leading_headers(a))
        fixed.append({text(h)});
    fixed[0].append(text(tr("满分")));
    fixed[1].append(number(a.full_marks, NumberFormat::score));
    fixed_columns = fixed.size();
    QVector<QVector<SheetCell>> by_question;
    for (const QuestionAnalysis &q : a.questions)
        by_question.append({text(q.label), number(q.max, NumberFormat::score)});
    for (const StudentResult &r : a.roster) {
        const QVector<SheetCell> own = leading_cells(a, r);
        for (int c = 0; c < fixed_columns; ++c)
            fixed[c].append(own.at(c));
        for (int q = 0; q < r.scores.size() && q < by_question.size(); ++q)
            by_question[q].append(number(r.scores.at(q), NumberFormat::score));
    }
    double fixed_points = 0.0;
    for (const QVector<SheetCell> &column : fixed) {
        sheet.widths.append(width_of(column));
        fixed_points += column_points(sheet.widths.last());
    }
    QVector<double> question_widths;
    for (const QVector<SheetCell> &column : by_question)
        question_widths.append(width_of(column));

    // Upright first: across the page only where that puts more on it.
    const std::optional<Fit> upright = fit_on(false, fixed_points, question_widths);
    const std::optional<Fit> across = fit_on(true, fixed_points, question_widths);
    fit = upright.value_or(Fit{false, least_print_scale, 1, std::max(1, int(question_widths.size())), 1});
    if (across && (!upright || across->better_than(*upright)))
        fit = *across;
    for (int j = 0; j < fit.per_line; ++j) {
        double w = 0.0;
        for (int q = j; q < question_widths.size(); q += fit.per_line)
            w = std::max(w, question_widths.at(q));
        sheet.widths.append(w);
    }
    sheet.landscape = fit.landscape;
    sheet.scale = fit.scale;
    sheet.lines = fit.lines;

    // The cutting line goes between slips on a page; a page's edge needs none.
    for (int k = 0; k < a.roster.size(); ++k) {
        if (k > 0 && k % fit.per_page == 0 && sheet.breaks.size() < max_page_breaks) {
            sheet.breaks.append(sheet.rows.size());
        } else if (k > 0) {
            QVector<SheetCell> gap(sheet.widths.size());
            for (SheetCell &c : gap)
                c.cut = true;
            add_row(gap, slip_gap_height);
        }
        add_slip(a, a.roster.at(k));
    }
}

void Slips::add_slip(const ClassAnalysis &a, const StudentResult &r)
{
    SheetCell heading = text(title);
    heading.title = true;
    add_row({heading}, slip_title_height);
    for (int line = 0; line < fit.lines; ++line) {
        QVector<SheetCell> header(fixed_columns), maxima(fixed_columns), scores(fixed_columns);
        // Further lines name their rows again, not the totals.
        maxima[0] = text(tr("满分"));
        scores[0] = text(r.name);
        if (line == 0) {
            header.clear();
            for (const QString &h : leading_headers(a))
                header.append(text(h));
            maxima[1] = number(a.full_marks, NumberFormat::score);
            scores = leading_cells(a, r);
        }
        for (int q = line * fit.per_line; q < (line + 1) * fit.per_line && q < a.questions.size(); ++q) {
            header.append(text(a.questions.at(q).label));
            maxima.append(number(a.questions.at(q).max, NumberFormat::score));
            scores.append(number(r.scores.value(q), NumberFormat::score));
        }
        add_row(header, slip_row_height);
        add_row(maxima, slip_row_height);
        add_row(scores, slip_score_height);
    }
}

void Slips::add_row(const QVector<SheetCell> &row, double height)
{
    sheet.rows.append(row);
    sheet.heights.append(height);
}

}  // namespace

QString slip_sheet_name()
{
    return QCoreApplication::translate("velora", "成绩条");
}

SlipSheet slip_sheet(const ClassAnalysis &a)
{
    return Slips(a).sheet;
}
