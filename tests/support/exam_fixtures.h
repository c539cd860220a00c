// Filled stores and answer sheets held in memory, for tests that must show a
// later load changed nothing, or only what it owns.
#pragma once

#include "exam/exam_store.h"
#include "exam/loader.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <vector>

using SheetMap = QMap<QByteArray, QByteArray>;  // sheet path (UTF-8) -> contents

// Options under which a roster load opens the sheets from the map instead of
// the file system, by the path as the loader names it; a path not in the map is missing.
LoadOptions sheets_in_memory(const SheetMap &sheets);

// `options` with an accept_exam that holds the load, keeping the exam it was
// asked about in `asked`, and a before_commit that sets `before_commit_ran`.
LoadOptions holding_load(LoadOptions options, ExamIdentity &asked, bool &before_commit_ran);

// A blank store after a problem file (2 choice + 2 written questions), an
// answer file and a roster of 3 students, with marks, totals and a marking
// cursor set, so that every part of the store holds something to lose.
ExamStorePtr prefilled_store();

struct FixtureStudent {
    const char *name;
    const char *choices;        // one byte per choice question; '\0' = missing
    std::vector<double> marks;  // written questions
    bool absent = false;        // 缺考: no sheet at the roster load
};

// A store set directly with the given key, maxima (choice first) and students.
ExamStorePtr store_with(const char *key, const std::vector<double> &maxima, int choice,
                        const std::vector<FixtureStudent> &students);
