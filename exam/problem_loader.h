// The problem file loader: the choice and written question counts, one
// maximum score per question, then one delimited text per question, choice
// questions first.
#pragma once

#include "exam/exam_store.h"
#include "exam/loader.h"
#include "exam/text_arena.h"

#include <QByteArray>
#include <QString>

// Largest maximum score a question may carry. Real exams stay far below it; a
// larger figure is a typo or a broken file, and refusing it keeps the score
// spin box and the totals within sane ranges.
constexpr double max_question_score = 10000.0;

struct ParsedProblem {
    int32_t choice = 0;
    int32_t written = 0;
    double score[limits::questions + 1] = {};
    StagedText text[limits::questions + 1];
    TextArena arena;
};

LoadError parse_problem(TextInput &in, ParsedProblem &out);
// local_path: the path's local 8-bit bytes, kept in pro_path.
void commit_problem(ExamStore &st, const ParsedProblem &p, const QByteArray &local_path);

// path is the text of the path field. Tells a notice when the texts are not UTF-8.
LoadReport load_problem_file(ExamStore &st, const QString &path, const LoadOptions &options = {});
// Exactly what load_problem_file does had the file named `path` held `content`.
LoadReport load_problem(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options = {});
