// Snapshots of the written answers' marks and their comparison.
#include "marking/mark_snapshot.h"

namespace {

double mark_at(const MarkSnapshot &m, int s, int q)
{
    if (s > m.students || q > m.written)
        return 0.0;
    return m.marks.at((s - 1) * m.written + (q - 1));
}

}  // namespace

MarkSnapshot snapshot_marks(const ExamStore &st)
{
    MarkSnapshot m;
    if (st.stu_count <= 0 || st.unxuan_count <= 0)
        return m;
    m.students = st.stu_count;
    m.written = st.unxuan_count;
    m.marks.reserve(m.students * m.written);
    for (int s = 1; s <= m.students; ++s)
        for (int q = 1; q <= m.written; ++q)
            m.marks.append(st.stu_score[s][st.xuan_count + q]);
    return m;
}

MarkSnapshot snapshot_marks(const ExamStore &st, double on_screen)
{
    MarkSnapshot m = snapshot_marks(st);
    m.marks[(st.cur_stu - 1) * m.written + (st.cur_pro - 1)] = on_screen;
    return m;
}

bool marks_differ(const MarkSnapshot &then, const MarkSnapshot &now)
{
    const int students = qMax(then.students, now.students);
    const int written = qMax(then.written, now.written);
    for (int s = 1; s <= students; ++s)
        for (int q = 1; q <= written; ++q)
            if (mark_at(then, s, q) != mark_at(now, s, q))
                return true;
    return false;
}
