// The class and per-question analysis of one "统计分数" press, free of widgets:
// figures over the scores as the score table shows them (two decimals) of the
// students who sat it (缺考 ones are left out of every figure), the
// maximum scores, the key and the choice answers as they stood at the press.
#pragma once

#include "exam/exam_store.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// Score bands of the distribution: band k holds the totals from k/10 of the
// full marks up to, not including, (k+1)/10; the top band also full marks.
constexpr int analysis_bands = 10;

struct QuestionAnalysis {
    QString label;  // the score table's header of the question
    double max = 0.0;
    bool choice = false;
    QString key;  // the key's character, for a choice question that has one
    // Empty without students; a rate also when max is 0, the discrimination
    // index also with fewer than two students.
    std::optional<double> mean, rate, high, low, discrimination;
    std::optional<int> full_count, zero_count;
    // Choice questions: students per letter of ClassAnalysis::letters, and
    // every other answer (lower case, blank, line end, a missing byte).
    QVector<int> letter_counts;
    int other_count = 0;
};

// One student's line of the score table, for the 成绩条.
struct StudentResult {
    QString name;            // as the table shows it
    double total = 0.0;      // as the table shows it (two decimals)
    QVector<double> scores;  // every question's, in the table's column order
    int rank = 0;            // 1 + the students with a higher total, in whole hundredths; 0 when absent
    bool absent = false;     // 缺考: in no figure and no rank
    // Where the library has them: her rank in the class's last exam (0: not
    // in it, or 缺考 there) and among every class that sat this paper (0: 缺考).
    int previous_rank = 0;
    int grade_rank = 0;
};

// A class's figures as the 班级对比 table shows them, or the whole 年级's.
struct ClassFigures {
    QString name;
    int students = 0;  // those who sat it
    int absent = 0;
    std::optional<double> mean, high, low, excellent_rate, pass_rate;  // empty without students
};

// The class's last exam, for 进退步.
struct PreviousExam {
    QString exam_name;
    qint64 exported_ms = 0;  // its last export, ms since 1970-01-01 UTC
    std::optional<double> mean, excellent_rate;
    // Roster indices of those who rose most and fell most, by rank, at most five each.
    QVector<int> risers, fallers;
};

struct ClassAnalysis {
    QString exam_name;  // the problem file's name without its suffix: "2026秋季期中物理"
    QString class_name;  // the roster's folder: "高一（3）班物理"
    int students = 0;  // those who sat the exam: the roster but the absent
    int absent = 0;    // 缺考
    double full_marks = 0.0;  // the sum of every question's maximum
    // Empty without students; the rates and bands also when full_marks is 0.
    std::optional<double> mean, high, low, median, deviation;
    // Cronbach's alpha over every question; empty with fewer than two
    // questions or students, or when every total is the same.
    std::optional<double> reliability;
    std::optional<double> excellent_rate, pass_rate, low_rate;  // >= 85 %, >= 60 %, < 40 % of full_marks
    std::optional<QVector<int>> bands;                          // analysis_bands counts, lowest first
    QString letters;                      // A-D, then every other capital letter the key or an answer holds
    QVector<QuestionAnalysis> questions;  // in the table's column order
    QVector<StudentResult> roster;        // roster order, the absent included
    // Comparisons the library makes possible; without them the sheets have neither table.
    std::optional<PreviousExam> previous;
    QVector<ClassFigures> classes;  // 班级对比: every class of the paper, then the 年级; empty: this class alone
};

// The score table's header texts of the questions: "选择题1" …, "非选择题1" ….
QStringList question_labels(const ExamStore &st);

// The analysis of what the store holds now; compute_scores() must have run.
ClassAnalysis analyse_class(const ExamStore &st);

// A paper's 满分 as the table shows it: every maximum as its cell shows it, summed.
double full_marks_of(const QVector<double> &maxima);

// The figures of a class (or a 年级) over the totals of those who sat it,
// rounded as the table shows them; the rates against full_marks.
ClassFigures class_figures(const QString &name, const QVector<double> &totals, int absent, double full_marks);

// Competition ranks of the totals as the table shows them: 1 + those higher
// in whole hundredths, so equal totals share a rank and the next skips (1, 2, 2, 4).
QVector<int> competition_ranks(const QVector<double> &totals);

// The text of band k's score range, "135–150" for the top band of 150.
QString band_label(double full_marks, int k);
