// Rank changes since the class's last exam, and the classes of one paper side
// by side. Ranks are competition ranks over those who sat each exam.
#include "marking/exam_comparison.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr int listed = 5;  // risers and fallers named in 进退步

int change_of(const StudentResult &r)
{
    return r.previous_rank - r.rank;
}

bool compared(const StudentResult &r)
{
    return !r.absent && r.previous_rank > 0;
}

// The totals of those who sat a past exam, with their positions in today's roster; the rest counted 缺考.
QVector<double> present_totals(const PastExam &e, int *absent, QVector<int> *roster = nullptr)
{
    QVector<double> totals;
    for (const PastStudent &s : e.students) {
        if (s.absent) {
            ++*absent;
            continue;
        }
        totals << s.total;
        if (roster)
            *roster << s.roster;
    }
    return totals;
}

// The digits of a run of them, without leading zeros: longer is larger.
QString digits_at(const QString &s, int *i)
{
    QString d;
    for (; *i < s.size() && s.at(*i).isDigit(); ++*i)
        if (!d.isEmpty() || s.at(*i).digitValue() != 0)
            d += QChar('0' + s.at(*i).digitValue());
    return d;
}

// "高一（3）班" before "高一（10）班": runs of digits (full-width ones too) by their value.
bool natural_less(const QString &x, const QString &y)
{
    int i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if (x.at(i).isDigit() && y.at(j).isDigit()) {
            const QString a = digits_at(x, &i), b = digits_at(y, &j);
            if (a.size() != b.size())
                return a.size() < b.size();
            if (a != b)
                return a < b;
        } else if (x.at(i) != y.at(j)) {
            return x.at(i) < y.at(j);
        } else {
            ++i;
            ++j;
        }
    }
    return x.size() - i < y.size() - j;
}

void add_previous(ClassAnalysis &a, const PastExam &past)
{
    QVector<int> roster;
    int absent = 0;
    const QVector<double> totals = present_totals(past, &absent, &roster);
    const QVector<int> ranks = competition_ranks(totals);
    for (int i = 0; i < ranks.size(); ++i)
        if (roster.at(i) >= 1 && roster.at(i) <= a.roster.size())
            a.roster[roster.at(i) - 1].previous_rank = ranks.at(i);

    PreviousExam p;
    p.exam_name = past.paper_name;
    p.exported_ms = past.exported_ms;
    const ClassFigures then = class_figures(QString(), totals, absent, past.full_marks);
    p.mean = then.mean;
    p.excellent_rate = then.excellent_rate;
    QVector<int> moved;
    for (int k = 0; k < a.roster.size(); ++k)
        if (compared(a.roster.at(k)) && change_of(a.roster.at(k)) != 0)
            moved << k;
    // The largest moves first; equal moves by rank now, then roster order.
    auto by = [&a](bool up) {
        return [&a, up](int x, int y) {
            const int cx = change_of(a.roster.at(x)), cy = change_of(a.roster.at(y));
            if (cx != cy)
                return up ? cx > cy : cx < cy;
            return a.roster.at(x).rank < a.roster.at(y).rank;
        };
    };
    QVector<int> up, down;
    for (int k : moved)
        (change_of(a.roster.at(k)) > 0 ? up : down) << k;
    std::stable_sort(up.begin(), up.end(), by(true));
    std::stable_sort(down.begin(), down.end(), by(false));
    p.risers = up.mid(0, listed);
    p.fallers = down.mid(0, listed);
    a.previous = p;
}

void add_classes(ClassAnalysis &a, const QVector<PastExam> &others)
{
    QVector<double> grade;
    int absent = a.absent;
    for (const StudentResult &r : a.roster)
        if (!r.absent)
            grade << r.total;

    const QString mine = a.class_name.isEmpty() ? QCoreApplication::translate("velora", "本班") : a.class_name;
    QVector<ClassFigures> rows{class_figures(mine, grade, a.absent, a.full_marks)};
    for (const PastExam &c : others) {
        int away = 0;
        const QVector<double> totals = present_totals(c, &away);
        rows << class_figures(c.class_name, totals, away, a.full_marks);
        grade << totals;
        absent += away;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ClassFigures &x, const ClassFigures &y) { return natural_less(x.name, y.name); });
    rows << class_figures(QCoreApplication::translate("velora", "年级"), grade, absent, a.full_marks);

    const QVector<int> ranks = competition_ranks(grade);
    int i = 0;  // this class's students come first in `grade`
    for (StudentResult &r : a.roster)
        if (!r.absent)
            r.grade_rank = ranks.at(i++);
    a.classes = rows;
}

}  // namespace

void compare_exam(ClassAnalysis &a, const ExamHistory &h)
{
    if (h.previous)
        add_previous(a, *h.previous);
    if (!h.classes.isEmpty())
        add_classes(a, h.classes);
}

QString rank_change_text(const StudentResult &r)
{
    if (!compared(r))
        return QStringLiteral("—");
    const int d = change_of(r);
    if (d > 0)
        return QStringLiteral("↑%1").arg(d);
    if (d < 0)
        return QStringLiteral("↓%1").arg(-d);
    return QStringLiteral("0");
}
