// The answer file loader: the choice key as one token, then one delimited
// standard answer per written question of the loaded problem file.
#pragma once

#include "exam/exam_store.h"
#include "exam/loader.h"
#include "exam/text_arena.h"

#include <QByteArray>
#include <QString>

struct ParsedAnswer {
    char key[limits::name_bytes + 1] = {};
    int32_t key_len = 0;
    int written = 0;  // standard answers read
    StagedText text[limits::written + 1];
    TextArena arena;
};

// written: the written-question count of the last problem file.
LoadError parse_answer(TextInput &in, int written, ParsedAnswer &out);
void commit_answer(ExamStore &st, const ParsedAnswer &a, const QByteArray &local_path);

// Tells a notice when the key or the standard answers are not UTF-8.
LoadReport load_answer_file(ExamStore &st, const QString &path, const LoadOptions &options = {});
// Empties the key and the standard answers (read for other question counts), keeping the path.
void forget_answers(ExamStore &st);
// Exactly what load_answer_file does had the file named `path` held `content`.
LoadReport load_answer(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options = {});
