// The marking cursor over the written answers (stu_count × unxuan_count
// items), kept inside the items and the store, in either order: student by
// student, (1,1) (1,2) … (2,1) …, or question by question, (1,1) (2,1) … (1,2) ….
// An item's number is its place in the order chosen.
#pragma once

#include "exam/exam_store.h"

enum class MarkingOrder { by_student, by_question };

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

// The cursor's item number: (s - 1) * unxuan_count + q by student,
// (q - 1) * stu_count + s by question.
int current_item(const ExamStore &st, MarkingOrder order = MarkingOrder::by_student);

// (item * 100) / mark_steps in integers; 0 without items.
int progress_percent(const ExamStore &st, MarkingOrder order = MarkingOrder::by_student);

// Writes a score into the cursor's slot and counts the item marked; the cursor must be Ready.
void store_mark(ExamStore &st, double value);

// How many items are marked.
int marked_count(const ExamStore &st);

// Moves the cursor to the first item with no mark after it in the order,
// going round past the last; false (nothing moved) when every other item is marked.
bool step_to_unmarked(ExamStore &st, MarkingOrder order);

// The first item with no mark, in the order; false when every item is marked.
bool first_unmarked(const ExamStore &st, MarkingOrder order, int *s, int *q);

// Drops every score, total and marked item within the store's counts: another
// exam starts with none of this one's marks.
void clear_marks(ExamStore &st);

// One item forwards or backwards in the order; false (nothing moved) at the first or last item.
bool step_forward(ExamStore &st, MarkingOrder order = MarkingOrder::by_student);
bool step_back(ExamStore &st, MarkingOrder order = MarkingOrder::by_student);
