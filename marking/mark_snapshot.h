// The marks of the written answers at one moment, so the window can tell
// whether closing would lose any that no exported workbook holds.
#pragma once

#include "exam/exam_store.h"

#include <QVector>

struct MarkSnapshot {
    int students = 0;
    int written = 0;
    QVector<double> marks;  // student-major: (s - 1) * written + (q - 1)
};

// Every written answer's mark as the store holds it now.
MarkSnapshot snapshot_marks(const ExamStore &st);
// The same with the cursor's item holding `on_screen`, a mark typed but not
// yet stored; the cursor must name an item (cursor_on_item).
MarkSnapshot snapshot_marks(const ExamStore &st, double on_screen);

// Whether `now` holds a mark that `then` does not: another value for some
// student and written question, a mark missing from `then` counting as 0.
// Storing the same value again is no difference.
bool marks_differ(const MarkSnapshot &then, const MarkSnapshot &now);
