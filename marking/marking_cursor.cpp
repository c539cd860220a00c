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

int current_item(const ExamStore &st)
{
    return (st.cur_stu - 1) * st.unxuan_count + st.cur_pro;
}

int progress_percent(const ExamStore &st)
{
    if (st.mark_steps <= 0)
        return 0;
    return current_item(st) * 100 / st.mark_steps;
}

void store_mark(ExamStore &st, double value)
{
    st.stu_score[st.cur_stu][st.xuan_count + st.cur_pro] = value;
}

void clear_marks(ExamStore &st)
{
    // Only the rows and columns the counts reach: the rest was never written.
    const int questions = qBound(0, st.xuan_count + st.unxuan_count, limits::questions);
    for (int s = 1; s <= qBound(0, st.stu_count, limits::students); ++s) {
        for (int p = 1; p <= questions; ++p)
            st.stu_score[s][p] = 0;
        st.stu_total[s] = 0;
    }
    st.tongji_done = false;
}

bool step_forward(ExamStore &st)
{
    if (st.cur_pro == st.unxuan_count) {
        if (st.cur_stu == st.stu_count)
            return false;
        st.cur_pro = 1;
        ++st.cur_stu;
    } else {
        ++st.cur_pro;
    }
    return true;
}

bool step_back(ExamStore &st)
{
    if (st.cur_pro == 1) {
        if (st.cur_stu == 1)
            return false;
        --st.cur_stu;
        st.cur_pro = st.unxuan_count;
    } else {
        --st.cur_pro;
    }
    return true;
}
