// 进退步 and 班级对比: what the library holds of the class's last exam and of
// the other classes that sat the same paper, as plain values, and what the
// analysis of this exam gains from them.
#pragma once

#include "marking/analysis.h"

#include <QString>
#include <QVector>

#include <optional>

struct PastStudent {
    double total = 0.0;  // as that exam's last workbook held it
    bool absent = false;
    int roster = 0;  // her position in the roster loaded now (from 1); 0: not in it
};

struct PastExam {
    QString paper_name, class_name;
    qint64 exported_ms = 0;
    double full_marks = 0.0;
    QVector<PastStudent> students;  // those its last workbook holds
};

struct ExamHistory {
    std::optional<PastExam> previous;  // the class's latest earlier exam on another paper
    QVector<PastExam> classes;         // other classes' exams on this paper
};

// Fills in a's previous exam and ranks in it, the 班级对比 rows (the classes
// by name, numbers in order, then the 年级) and the 年级名次; `a` keeps
// neither where `h` holds nothing to compare with.
void compare_exam(ClassAnalysis &a, const ExamHistory &h);

// A slip's 进退: "↑3" up three places, "↓2", "0", "—" where she was not in the
// last exam, was 缺考 there or is now.
QString rank_change_text(const StudentResult &r);
