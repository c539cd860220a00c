// Cursor arithmetic of the marking tab, free of widgets so tests can drive it.
#include "marking/marking_cursor.h"

#include <QtGlobal>

namespace {

int item_count(const ExamStore &st)
{
    if (st.stu_count <= 0 || st.unxuan_count <= 0)
        return 0;
    return st.stu_count * st.unxuan_count;
}

}  // namespace

void begin_marking(ExamStore &st)
{
    st.mark_steps = item_count(st);
    st.cur_stu = 1;
    st.cur_pro = 1;
}

bool cursor_on_item(const ExamStore &st)
{
    const int items = item_count(st);
    return items > 0 && st.mark_steps == items && st.cur_stu >= 1 && st.cur_stu <= st.stu_count && st.cur_pro >= 1
        && st.cur_pro <= st.unxuan_count;
}

CursorState check_cursor(ExamStore &st)
{
    // Before the first roster load the cursor is (0, 0) and names no item.
    if (st.cur_stu <= 0 || st.cur_pro <= 0)
        return CursorState::no_items;
    const int items = item_count(st);
    if (items == 0)
        return CursorState::no_items;
    bool adjusted = false;
    // A later problem file may have changed the counts: never leave the items.
    if (st.mark_steps != items) {
        st.mark_steps = items;
        adjusted = true;
    }
    if (st.cur_stu > st.stu_count) {
        st.cur_stu = st.stu_count;
        adjusted = true;
    }
    if (st.cur_pro > st.unxuan_count) {
        st.cur_pro = st.unxuan_count;
        adjusted = true;
    }
    return adjusted ? CursorState::adjusted : CursorState::ready;
}

int current_item(const ExamStore &st, MarkingOrder order)
{
    return order == MarkingOrder::by_student ? (st.cur_stu - 1) * st.unxuan_count + st.cur_pro
                                             : (st.cur_pro - 1) * st.stu_count + st.cur_stu;
}

namespace {

// The item at place n (1 ..) of the order.
void item_at(const ExamStore &st, int n, MarkingOrder order, int *s, int *q)
{
    if (order == MarkingOrder::by_student) {
        *s = 1 + (n - 1) / st.unxuan_count;
        *q = 1 + (n - 1) % st.unxuan_count;
    } else {
        *q = 1 + (n - 1) / st.stu_count;
        *s = 1 + (n - 1) % st.stu_count;
    }
}

}  // namespace

int progress_percent(const ExamStore &st, MarkingOrder order)
{
    if (st.mark_steps <= 0)
        return 0;
    return current_item(st, order) * 100 / st.mark_steps;
}

void store_mark(ExamStore &st, double value)
{
    st.stu_score[st.cur_stu][st.xuan_count + st.cur_pro] = value;
    st.stu_marked[st.cur_stu][st.cur_pro] = true;
}

int marked_count(const ExamStore &st)
{
    int n = 0;
    for (int s = 1; s <= qBound(0, st.stu_count, limits::students); ++s)
        for (int q = 1; q <= qBound(0, st.unxuan_count, limits::written); ++q)
            n += st.stu_marked[s][q] ? 1 : 0;
    return n;
}

bool first_unmarked(const ExamStore &st, MarkingOrder order, int *s, int *q)
{
    const int items = item_count(st);
    for (int n = 1; n <= items; ++n) {
        item_at(st, n, order, s, q);
        if (!st.stu_marked[*s][*q])
            return true;
    }
    return false;
}

bool step_to_unmarked(ExamStore &st, MarkingOrder order)
{
    const int items = item_count(st);
    const int from = current_item(st, order);
    for (int i = 1; i < items; ++i) {
        int s = 0, q = 0;
        item_at(st, (from - 1 + i) % items + 1, order, &s, &q);
        if (!st.stu_marked[s][q]) {
            st.cur_stu = s;
            st.cur_pro = q;
            return true;
        }
    }
    return false;
}

void clear_marks(ExamStore &st)
{
    // Only the rows and columns the counts reach: the rest was never written.
    const int questions = qBound(0, st.xuan_count + st.unxuan_count, limits::questions);
    const int written = qBound(0, st.unxuan_count, limits::written);
    for (int s = 1; s <= qBound(0, st.stu_count, limits::students); ++s) {
        for (int p = 1; p <= questions; ++p)
            st.stu_score[s][p] = 0;
        for (int q = 1; q <= written; ++q)
            st.stu_marked[s][q] = false;
        st.stu_total[s] = 0;
    }
    st.tongji_done = false;
}

bool step_forward(ExamStore &st, MarkingOrder order)
{
    const int n = current_item(st, order);
    if (n >= item_count(st))
        return false;
    item_at(st, n + 1, order, &st.cur_stu, &st.cur_pro);
    return true;
}

bool step_back(ExamStore &st, MarkingOrder order)
{
    const int n = current_item(st, order);
    if (n <= 1)
        return false;
    item_at(st, n - 1, order, &st.cur_stu, &st.cur_pro);
    return true;
}
