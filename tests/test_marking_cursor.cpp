// The marking cursor over the written answers, free of widgets: where each
// press leaves it, what it stores, and how it survives changed counts.
#include "exam/exam_store.h"
#include "marking/marking_cursor.h"

#include <QtTest>

Q_DECLARE_METATYPE(CursorState)

class TestMarkingCursor : public QObject {
    Q_OBJECT

private slots:
    void cursor_data();
    void cursor();
};

void TestMarkingCursor::cursor_data()
{
    QTest::addColumn<int>("students");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("steps");  // mark_steps at the press; -1: as the roster load left it
    QTest::addColumn<int>("stu");    // the cursor at the press
    QTest::addColumn<int>("pro");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<CursorState>("state");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<int>("end_stu");
    QTest::addColumn<int>("end_pro");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("progress");
    const CursorState R = CursorState::ready, A = CursorState::adjusted, N = CursorState::no_items;
    QTest::newRow("no roster yet") << 0 << 4 << 0 << 0 << 0 << true << N << false << 0 << 0 << 0 << 0;
    QTest::newRow("no written questions") << 3 << 0 << -1 << 1 << 1 << true << N << false << 1 << 1 << 0 << 0;
    QTest::newRow("one item forward") << 1 << 1 << -1 << 1 << 1 << true << R << false << 1 << 1 << 1 << 100;
    QTest::newRow("one item back") << 1 << 1 << -1 << 1 << 1 << false << R << false << 1 << 1 << 1 << 100;
    QTest::newRow("first back") << 3 << 4 << -1 << 1 << 1 << false << R << false << 1 << 1 << 1 << 8;
    QTest::newRow("first forward") << 3 << 4 << -1 << 1 << 1 << true << R << true << 1 << 2 << 2 << 16;
    QTest::newRow("last forward") << 3 << 4 << -1 << 3 << 4 << true << R << false << 3 << 4 << 12 << 100;
    QTest::newRow("last back") << 3 << 4 << -1 << 3 << 4 << false << R << true << 3 << 3 << 11 << 91;
    QTest::newRow("across a student forward") << 3 << 4 << -1 << 1 << 4 << true << R << true << 2 << 1 << 5 << 41;
    QTest::newRow("across a student back") << 3 << 4 << -1 << 2 << 1 << false << R << true << 1 << 4 << 4 << 33;
    QTest::newRow("one question, every move a student") << 3 << 1 << -1 << 2 << 1 << true << R << true << 3 << 1 << 3
                                                        << 100;
    // A later problem file changed the counts under the cursor: it comes back
    // inside the items, and that press stores nothing and moves nowhere.
    QTest::newRow("counts shrunk") << 3 << 2 << 12 << 3 << 4 << true << A << false << 3 << 2 << 6 << 100;
    QTest::newRow("fewer students") << 2 << 4 << 12 << 3 << 1 << true << A << false << 2 << 1 << 5 << 62;
    QTest::newRow("counts grown") << 3 << 6 << 12 << 2 << 4 << true << A << false << 2 << 4 << 10 << 55;
}

void TestMarkingCursor::cursor()
{
    QFETCH(int, students);
    QFETCH(int, written);
    QFETCH(int, steps);
    QFETCH(int, stu);
    QFETCH(int, pro);
    QFETCH(bool, forward);
    QFETCH(CursorState, state);
    QFETCH(bool, moved);
    QFETCH(int, end_stu);
    QFETCH(int, end_pro);
    QFETCH(int, item);
    QFETCH(int, progress);
    ExamStorePtr st = make_blank_store();
    st->xuan_count = 2;
    st->stu_count = students;
    st->unxuan_count = written;
    if (steps < 0)
        begin_marking(*st);
    else
        st->mark_steps = steps;
    st->cur_stu = stu;
    st->cur_pro = pro;

    QCOMPARE(check_cursor(*st), state);
    bool went = false;
    if (state == CursorState::ready) {
        store_mark(*st, 1.5);
        QCOMPARE(st->stu_score[stu][2 + pro], 1.5);
        went = forward ? step_forward(*st) : step_back(*st);
    }
    QCOMPARE(went, moved);
    QCOMPARE(st->cur_stu, end_stu);
    QCOMPARE(st->cur_pro, end_pro);
    QCOMPARE(progress_percent(*st), progress);
    if (state != CursorState::no_items) {
        QCOMPARE(current_item(*st), item);
        QCOMPARE(st->mark_steps, students * written);
    }
    // Only a ready press stores, and only into its own slot.
    double stored = 0;
    for (int s = 0; s <= limits::students; ++s)
        for (int p = 0; p <= limits::questions; ++p)
            stored += st->stu_score[s][p];
    QCOMPARE(stored, state == CursorState::ready ? 1.5 : 0.0);
}

QTEST_GUILESS_MAIN(TestMarkingCursor)
#include "test_marking_cursor.moc"
