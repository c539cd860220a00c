// The analysis behind the "成绩分析" sheet. Band and rate boundaries are
// compared in whole hundredths, so a total exactly on a boundary lands where
// a teacher counting by hand puts it.
#include "marking/analysis.h"

#include "exam/utf8_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// The number a score's cell shows: the "%.2f" text read back, as the table does.
double table_value(double value)
{
    char buf[400];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    if (r.ec != std::errc())
        return value;
    double shown = 0.0;
    std::from_chars(buf, r.ptr, shown);
    return shown;
}

// A two-decimal value in hundredths; far beyond any total the store can hold
// is clamped, which keeps it beyond every boundary.
qint64 hundredths(double value)
{
    if (!(value == value))
        return 0;
    const double h = std::round(value * 100.0);
    return qint64(std::clamp(h, -1e15, 1e15));
}

double mean_of(const QVector<double> &values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

// The population variance.
double variance_of(const QVector<double> &values)
{
    const double mean = mean_of(values);
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return squares / values.size();
}

// Scores of the students who sat the exam, roster order, as the table shows them.
struct Scores {
    QVector<int> present;  // their student numbers
    QVector<double> totals;
    QVector<QVector<double>> by_question;  // [question][present student]
};

Scores table_scores(const ExamStore &st, int questions)
{
    Scores s;
    s.by_question.resize(questions);
    for (int k = 1; k <= st.stu_count; ++k)
        if (!st.stu_absent[k])
            s.present.append(k);
    s.totals.reserve(s.present.size());
    for (QVector<double> &q : s.by_question)
        q.reserve(s.present.size());
    for (int k : s.present) {
        s.totals.append(table_value(st.stu_total[k]));
        for (int p = 1; p <= questions; ++p)
            s.by_question[p - 1].append(table_value(st.stu_score[k][p]));
    }
    return s;
}

void analyse_totals(ClassAnalysis &a, const QVector<double> &totals)
{
    const int n = totals.size();
    if (n == 0)
        return;
    const ClassFigures f = class_figures(QString(), totals, 0, a.full_marks);
    QVector<double> sorted = totals;
    std::sort(sorted.begin(), sorted.end());
    a.mean = f.mean;
    a.high = f.high;
    a.low = f.low;
    a.median = n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2.0;
    a.deviation = std::sqrt(variance_of(totals));

    const qint64 full = hundredths(a.full_marks);
    if (full <= 0)
        return;
    int low = 0;
    QVector<int> bands(analysis_bands, 0);
    for (double t : totals) {
        const qint64 h = hundredths(t);
        low += 100 * h < 40 * full;
        if (h < 0 || h > full)
            continue;  // outside every band
        const int k = h == full ? analysis_bands - 1 : int(qint64(analysis_bands) * h / full);
        ++bands[k];
    }
    a.excellent_rate = f.excellent_rate;
    a.pass_rate = f.pass_rate;
    a.low_rate = double(low) / n;
    a.bands = bands;
}

// Cronbach's alpha, k/(k-1) (1 - the sum of the questions' variances / the
// variance of the totals). Totals equal to the hundredth have no variance to
// divide by, whatever rounding leaves of it in doubles.
std::optional<double> reliability_of(const Scores &s)
{
    const int k = s.by_question.size();
    if (k < 2 || s.totals.size() < 2)
        return std::nullopt;
    const qint64 first = hundredths(s.totals.first());
    if (std::all_of(s.totals.begin(), s.totals.end(), [first](double t) { return hundredths(t) == first; }))
        return std::nullopt;
    double parts = 0.0;
    for (const QVector<double> &q : s.by_question)
        parts += variance_of(q);
    const double alpha = double(k) / (k - 1) * (1.0 - parts / variance_of(s.totals));
    if (!std::isfinite(alpha))
        return std::nullopt;
    return alpha;
}

QVector<StudentResult> roster_of(const ExamStore &st, const Scores &s, int questions)
{
    const QVector<int> ranks = competition_ranks(s.totals);
    QVector<StudentResult> roster(st.stu_count);
    for (int k = 0; k < st.stu_count; ++k) {
        StudentResult &r = roster[k];
        const char *name = st.stu_name[k + 1];
        // Decoded as the score table decodes it.
        r.name = utf8_text(name, sizeof st.stu_name[k + 1]);
        r.total = table_value(st.stu_total[k + 1]);
        r.scores.reserve(questions);
        for (int p = 1; p <= questions; ++p)
            r.scores.append(table_value(st.stu_score[k + 1][p]));
    }
    for (int i = 0; i < s.present.size(); ++i)
        roster[s.present.at(i) - 1].rank = ranks.at(i);
    for (int k = 0; k < st.stu_count; ++k)
        roster[k].absent = st.stu_absent[k + 1];
    return roster;
}

// Students by total, highest first, equal totals in roster order.
QVector<int> ranking(const QVector<double> &totals)
{
    QVector<int> order(totals.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return totals.at(x) > totals.at(y); });
    return order;
}

void analyse_question(QuestionAnalysis &q, const QVector<double> &scores, const QVector<int> &order)
{
    const int n = scores.size();
    if (n == 0)
        return;
    q.mean = mean_of(scores);
    q.high = *std::max_element(scores.begin(), scores.end());
    q.low = *std::min_element(scores.begin(), scores.end());
    const qint64 max = hundredths(q.max);
    int full = 0, zero = 0;
    for (double s : scores) {
        full += hundredths(s) == max;
        zero += hundredths(s) == 0;
    }
    q.full_count = full;
    q.zero_count = zero;
    if (q.max == 0.0)
        return;
    q.rate = *q.mean / q.max;
    if (n < 2)
        return;
    // The top and bottom 27 %, rounded half up, at least one student each.
    const int g = std::max(1, (27 * n + 50) / 100);
    double top = 0.0, bottom = 0.0;
    for (int i = 0; i < g; ++i) {
        top += scores.at(order.at(i)) / q.max;
        bottom += scores.at(order.at(n - 1 - i)) / q.max;
    }
    q.discrimination = (top - bottom) / g;
}

bool is_letter(char c)
{
    return c >= 'A' && c <= 'Z';
}

// A-D always, then every other capital letter of the key or of an answer.
QString answer_letters(const ExamStore &st, size_t key_len)
{
    bool seen[26] = {true, true, true, true};
    for (int i = 0; i < st.xuan_count; ++i) {
        if (size_t(i) < key_len && is_letter(st.ans_key[i]))
            seen[st.ans_key[i] - 'A'] = true;
        for (int k = 1; k <= st.stu_count; ++k)
            if (!st.stu_absent[k] && is_letter(st.stu_xuan[k][i]))
                seen[st.stu_xuan[k][i] - 'A'] = true;
    }
    QString letters;
    for (int c = 0; c < 26; ++c)
        if (seen[c])
            letters += QLatin1Char(char('A' + c));
    return letters;
}

void count_answers(QuestionAnalysis &q, const ExamStore &st, int i, const QString &letters)
{
    q.letter_counts.fill(0, letters.size());
    for (int k = 1; k <= st.stu_count; ++k) {
        if (st.stu_absent[k])
            continue;
        const char c = st.stu_xuan[k][i];
        const int at = is_letter(c) ? letters.indexOf(QLatin1Char(c)) : -1;
        if (at >= 0)
            ++q.letter_counts[at];
        else
            ++q.other_count;
    }
}

QString key_text(char c)
{
    // A key byte that is no printable ASCII character is part of a character
    // no single column can show.
    return c > ' ' && c < 0x7F ? QString(QLatin1Char(c)) : QString(QChar(QChar::ReplacementCharacter));
}

// A band boundary without trailing zeros: "0", "2.5", "13.35".
QString boundary_text(qint64 full_hundredths, int k)
{
    QString s = QString::number(double(full_hundredths) * k / 1000.0, 'f', 3);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

}  // namespace

QStringList question_labels(const ExamStore &st)
{
    QStringList labels;
    for (int k = 1; k <= st.xuan_count; ++k)
        labels << QCoreApplication::translate("velora", "选择题%1").arg(k);
    for (int k = 1; k <= st.unxuan_count; ++k)
        labels << QCoreApplication::translate("velora", "非选择题%1").arg(k);
    return labels;
}

ClassAnalysis analyse_class(const ExamStore &st)
{
    ClassAnalysis a;
    const QByteArray problem(st.pro_path, int(strnlen(st.pro_path, sizeof st.pro_path)));
    a.exam_name = QFileInfo(QDir::fromNativeSeparators(QFile::decodeName(problem))).completeBaseName();
    // A sheet's path or the roster's: the same folder either way.
    const QByteArray roster(st.stu_path, int(strnlen(st.stu_path, sizeof st.stu_path)));
    if (!roster.isEmpty())
        a.class_name = QFileInfo(QDir::fromNativeSeparators(QFile::decodeName(roster))).absoluteDir().dirName();
    const int questions = st.xuan_count + st.unxuan_count;
    const QStringList labels = question_labels(st);
    const Scores scores = table_scores(st, questions);
    a.students = scores.present.size();
    a.absent = st.stu_count - a.students;
    a.full_marks = full_marks_of(QVector<double>(st.pro_score + 1, st.pro_score + 1 + questions));
    analyse_totals(a, scores.totals);
    a.reliability = reliability_of(scores);
    a.roster = roster_of(st, scores, questions);

    const size_t key_len = strnlen(st.ans_key, sizeof st.ans_key);
    a.letters = answer_letters(st, key_len);
    const QVector<int> order = ranking(scores.totals);
    a.questions.reserve(questions);
    for (int p = 1; p <= questions; ++p) {
        QuestionAnalysis q;
        q.label = labels.at(p - 1);
        q.max = table_value(st.pro_score[p]);
        q.choice = p <= st.xuan_count;
        analyse_question(q, scores.by_question.at(p - 1), order);
        if (q.choice) {
            if (size_t(p - 1) < key_len)
                q.key = key_text(st.ans_key[p - 1]);
            count_answers(q, st, p - 1, a.letters);
        }
        a.questions.append(q);
    }
    return a;
}

double full_marks_of(const QVector<double> &maxima)
{
    double full = 0.0;
    for (double m : maxima)
        full += table_value(m);
    return table_value(full);
}

ClassFigures class_figures(const QString &name, const QVector<double> &totals, int absent, double full_marks)
{
    ClassFigures f;
    f.name = name;
    f.students = totals.size();
    f.absent = absent;
    if (totals.isEmpty())
        return f;
    QVector<double> shown;
    shown.reserve(totals.size());
    for (double t : totals)
        shown.append(table_value(t));
    f.mean = mean_of(shown);
    f.high = *std::max_element(shown.begin(), shown.end());
    f.low = *std::min_element(shown.begin(), shown.end());
    const qint64 full = hundredths(full_marks);
    if (full <= 0)
        return f;
    int excellent = 0, pass = 0;
    for (double t : shown) {
        const qint64 h = hundredths(t);
        excellent += 100 * h >= 85 * full;
        pass += 100 * h >= 60 * full;
    }
    f.excellent_rate = double(excellent) / f.students;
    f.pass_rate = double(pass) / f.students;
    return f;
}

// 1 + the students whose total is higher in whole hundredths: equal totals
// share a rank and the next rank skips (1, 2, 2, 4).
QVector<int> competition_ranks(const QVector<double> &totals)
{
    QVector<qint64> shown;
    shown.reserve(totals.size());
    for (double t : totals)
        shown.append(hundredths(table_value(t)));
    QVector<qint64> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    QVector<int> ranks;
    ranks.reserve(shown.size());
    for (qint64 h : shown)
        ranks.append(1 + int(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), h)));
    return ranks;
}

QString band_label(double full_marks, int k)
{
    const qint64 full = hundredths(full_marks);
    return boundary_text(full, k) + QChar(0x2013) + boundary_text(full, k + 1);
}
