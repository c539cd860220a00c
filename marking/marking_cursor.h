// The marking cursor over the written answers: student-major items
// (1,1) .. (stu_count, unxuan_count), kept inside the items and the store.
#pragma once

#include "exam/exam_store.h"

enum class CursorState {
    no_items,  // no roster yet, or nothing to mark: presses do nothing
    ready,     // the cursor names an item
    adjusted,  // the counts changed under the cursor; it was moved back inside
};

// Counts the items and puts the cursor on (1, 1).
void begin_marking(ExamStore &st);

// Whether the cursor names an item and agrees with the counts (what
// check_cursor would call ready), changing nothing.
bool cursor_on_item(const ExamStore &st);

// Makes the cursor and mark_steps agree with the current counts before a press.
CursorState check_cursor(ExamStore &st);

// Item number (s - 1) * unxuan_count + q of the cursor.
int current_item(const ExamStore &st);

// (item * 100) / mark_steps in integers; 0 without items.
int progress_percent(const ExamStore &st);

// Writes a score into the cursor's slot; the cursor must be Ready.
void store_mark(ExamStore &st, double value);

// Drops every score and total within the store's counts: another exam starts
// with none of this one's marks.
void clear_marks(ExamStore &st);

// One item forwards or backwards; false (nothing moved) at the first or last item.
bool step_forward(ExamStore &st);
bool step_back(ExamStore &st);
