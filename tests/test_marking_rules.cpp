// The marking rules free of widgets: the cursor over the written answers,
// choice scoring against the key with the totals, and the text of a score.
#include "exam/exam_store.h"
#include "marking/navigator.h"
#include "marking/score_table.h"
#include "tests/support/exam_fixtures.h"

#include <QtTest>

#include <cstdio>
#include <cstring>

Q_DECLARE_METATYPE(CursorState)

class TestMarkingRules : public QObject {
    Q_OBJECT

private slots:
    void cursor_data();
    void cursor();
    void formatting_data();
    void formatting();
    void choiceScoring_data();
    void choiceScoring();
};

void TestMarkingRules::cursor_data()
{
    QTest::addColumn<int>("students");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("steps");  // mark_steps at the press; -1: as the roster load left it
    QTest::addColumn<int>("stu");    // the cursor at the press
    QTest::addColumn<int>("pro");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<CursorState>("state");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<int>("endStu");
    QTest::addColumn<int>("endPro");
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("progress");
    const CursorState R = CursorState::Ready, A = CursorState::Adjusted, N = CursorState::NoItems;
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

void TestMarkingRules::cursor()
{
    QFETCH(int, students);
    QFETCH(int, written);
    QFETCH(int, steps);
    QFETCH(int, stu);
    QFETCH(int, pro);
    QFETCH(bool, forward);
    QFETCH(CursorState, state);
    QFETCH(bool, moved);
    QFETCH(int, endStu);
    QFETCH(int, endPro);
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
    if (state == CursorState::Ready) {
        store_mark(*st, 1.5);
        QCOMPARE(st->stu_score[stu][2 + pro], 1.5);
        went = forward ? step_forward(*st) : step_back(*st);
    }
    QCOMPARE(went, moved);
    QCOMPARE(st->cur_stu, endStu);
    QCOMPARE(st->cur_pro, endPro);
    QCOMPARE(progress_percent(*st), progress);
    if (state != CursorState::NoItems) {
        QCOMPARE(current_item(*st), item);
        QCOMPARE(st->mark_steps, students * written);
    }
    // Only a Ready press stores, and only into its own slot.
    double stored = 0;
    for (int s = 0; s <= limits::students; ++s)
        for (int p = 0; p <= limits::questions; ++p)
            stored += st->stu_score[s][p];
    QCOMPARE(stored, state == CursorState::Ready ? 1.5 : 0.0);
}

void TestMarkingRules::formatting_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("integer") << 3.0;
    QTest::newRow("half") << 2.5;
    QTest::newRow("binary rounding") << 2.675;
    QTest::newRow("round half up") << 0.125;
    QTest::newRow("tiny") << 1e-9;
    QTest::newRow("negative") << -1.005;
    QTest::newRow("huge") << 1e300;
    QTest::newRow("largest double") << 1.7976931348623157e308;
}

void TestMarkingRules::formatting()
{
    QFETCH(double, value);
    // The C conversion, in a buffer sized for the value, is the reference.
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, "%.2f", value);
    QVERIFY(n > 0 && n < int(sizeof buf));
    QCOMPARE(format_score(value), QString::fromLatin1(buf));
}

void TestMarkingRules::choiceScoring_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("oldKeyTail");  // bytes left behind the key's end by an older, longer key
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QList<double>>("scores");
    QTest::newRow("all right") << QByteArray("ABC") << QByteArray() << QByteArray("ABC") << QList<double>{1, 2, 3};
    QTest::newRow("case matters") << QByteArray("ABC") << QByteArray() << QByteArray("aBc") << QList<double>{0, 2, 0};
    QTest::newRow("all wrong") << QByteArray("ABC") << QByteArray() << QByteArray("DDD") << QList<double>{0, 0, 0};
    QTest::newRow("short key, old bytes behind it") << QByteArray("A") << QByteArray("BC") << QByteArray("ABC")
                                                    << QList<double>{1, 0, 0};
    QTest::newRow("missing answer bytes") << QByteArray("ABC") << QByteArray() << QByteArray("A\0\0", 3)
                                          << QList<double>{1, 0, 0};
    QTest::newRow("missing answer against short key") << QByteArray("AB") << QByteArray() << QByteArray("A\0\0", 3)
                                                      << QList<double>{1, 0, 0};
    QTest::newRow("multibyte-looking bytes") << QByteArray("\xe4\xb8\x80") << QByteArray() << QByteArray("\xe4\xb8\x81")
                                             << QList<double>{1, 2, 0};
}

void TestMarkingRules::choiceScoring()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, oldKeyTail);
    QFETCH(QByteArray, answers);
    QFETCH(QList<double>, scores);
    ExamStorePtr st = store_with("", {1, 2, 3, 10}, 3, {{"x", "", {4}}});
    std::memcpy(st->ans_key, key.constData(), size_t(key.size()));
    st->ans_key[key.size()] = '\0';
    std::memcpy(st->ans_key + key.size() + 1, oldKeyTail.constData(), size_t(oldKeyTail.size()));
    std::memcpy(st->stu_xuan[1], answers.constData(), 3);
    // Stale choice scores from an earlier key must not survive.
    for (int p = 1; p <= 3; ++p)
        st->stu_score[1][p] = 99;
    compute_scores(*st);
    double total = 4;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(st->stu_score[1][i + 1], scores[i]);
        total += scores[i];
    }
    QCOMPARE(st->stu_total[1], total);
    QCOMPARE(st->stu_score[1][4], 4.0);  // the written mark is the teacher's, untouched
}

QTEST_GUILESS_MAIN(TestMarkingRules)
#include "test_marking_rules.moc"
