// Filled stores and answer sheets held in memory, for tests that must show a
// later load changed nothing, or only what it owns.
#pragma once

#include "exam/exam_store.h"
#include "exam/loaders.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <vector>

using SheetMap = QMap<QByteArray, QByteArray>;  // sheet path -> contents

// The roster load over roster bytes in memory with sheets looked up by their
// full path (a path not in the map is missing): the same steps as
// load_roster(st, path), the files replaced by memory.
RosterLoad load_roster_from(ExamStore &st, const QByteArray &roster, const QString &path, const SheetMap &sheets);

// A blank store after a problem file (2 choice + 2 written questions), an
// answer file and a roster of 3 students, with marks, totals and a marking
// cursor set, so that every part of the store holds something to lose.
ExamStorePtr prefilled_store();

struct FixtureStudent {
    const char *name;
    const char *choices;        // one byte per choice question; '\0' = missing
    std::vector<double> marks;  // written questions
};

// A store set directly with the given key, maxima (choice first) and students.
ExamStorePtr store_with(const char *key, const std::vector<double> &maxima, int choice,
                        const std::vector<FixtureStudent> &students);
