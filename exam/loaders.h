// The three loaders that fill the exam store: the problem file, the answer file
// and the roster with every student's answer sheet. Each load reads and checks
// its whole input first and only then writes the store, so a refused load
// leaves the store exactly as it was. Marks (stu_score, stu_total) and the
// marking cursor are never touched here.
#pragma once

#include "exam/exam_store.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct LoadResult {
    bool ok = true;
    QString error;               // refused load: plain Chinese, names the file and what is wrong
    QStringList sheet_problems;  // roster only: one line per student whose sheet is missing/incomplete/unusable
};

// Largest maximum score a question may carry. Real exams stay far below it; a
// larger figure is a typo or a broken file, and refusing it keeps the score
// spin box and the totals within sane ranges.
constexpr double max_question_score = 10000.0;

// path is the text of the path field; it is stored (local 8-bit) in pro_path,
// ans_path or stu_path when the load succeeds.
LoadResult load_problem_file(ExamStore &st, const QString &path);
LoadResult load_answer_file(ExamStore &st, const QString &path);
// Reads the roster and every sheet. Leaves cur_stu, cur_pro and mark_steps to
// the window, which restarts marking after a successful load.
LoadResult load_roster(ExamStore &st, const QString &path);

// The same loads over bytes already in memory: exactly what the file loads do
// had the file named `path` held `content` (path is checked and stored alike).
LoadResult load_problem(ExamStore &st, const QByteArray &content, const QString &path);
LoadResult load_answer(ExamStore &st, const QByteArray &content, const QString &path);

// One answer sheet opened for reading, or why it cannot be read.
struct SheetInput {
    std::unique_ptr<QIODevice> device;  // open for reading; null when the sheet cannot be read
    QString problem;                    // then: what is wrong, e.g. "找不到答卷文件"
};
// Opens the sheet at a path (local 8-bit bytes: the roster's directory and the
// student's name).
using SheetOpener = std::function<SheetInput(const QByteArray &sheet_path)>;

// The file system's sheets, as load_roster(st, path) reads them.
SheetInput open_sheet_file(const QByteArray &sheet_path);

// The roster load over roster bytes in memory, with sheets from `open_sheet`.
LoadResult load_roster(ExamStore &st, const QByteArray &roster, const QString &path,
                       const SheetOpener &open_sheet);
