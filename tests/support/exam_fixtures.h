// Stores filled by earlier good loads and answer sheets held in memory, for
// tests that must show a later load changed nothing, or only what it owns.
#pragma once

#include "exam/exam_store.h"
#include "exam/loaders.h"

#include <QByteArray>
#include <QMap>

using SheetMap = QMap<QByteArray, QByteArray>;  // sheet path -> contents

// Sheets looked up by their full path; a path not in the map is missing.
SheetOpener memory_sheets(const SheetMap &sheets);

// A blank store after a problem file (2 choice + 2 written questions), an
// answer file and a roster of 3 students, with marks, totals and a marking
// cursor set, so that every part of the store holds something to lose.
ExamStorePtr prefilled_store();
