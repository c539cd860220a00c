// The class and per-question analysis of one "统计分数" press, free of widgets:
// figures over the scores as the score table shows them (two decimals), the
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
    int rank = 0;            // 1 + the students with a higher total, in whole hundredths
};

struct ClassAnalysis {
    QString exam_name;  // the problem file's name without its suffix: "2026秋季期中物理"
    int students = 0;
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
    QVector<StudentResult> roster;        // roster order
};

// The score table's header texts of the questions: "选择题1" …, "非选择题1" ….
QStringList question_labels(const ExamStore &st);

// The analysis of what the store holds now; compute_scores() must have run.
ClassAnalysis analyse_class(const ExamStore &st);

// The text of band k's score range, "135–150" for the top band of 150.
QString band_label(double full_marks, int k);
