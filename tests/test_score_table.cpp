// The score table: choice scoring against the key, totals, the table's
// texts and headers, numeric sorting, and rebuilding after corrections.
#include "exam/exam_store.h"
#include "marking/score_table.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Student {
    const char *name;
    const char *choices;        // one byte per choice question; '\0' = missing
    std::vector<double> marks;  // written questions
};

// A store with the given key, maxima (choice first) and students.
ExamStorePtr make_exam(const char *key, const std::vector<double> &maxima, int choice,
                       const std::vector<Student> &students)
{
    ExamStorePtr st = make_blank_store();
    st->xuan_count = choice;
    st->unxuan_count = int(maxima.size()) - choice;
    std::strcpy(st->ans_key, key);
    for (size_t p = 0; p < maxima.size(); ++p)
        st->pro_score[p + 1] = maxima[p];
    st->stu_count = int(students.size());
    for (size_t i = 0; i < students.size(); ++i) {
        const int s = int(i) + 1;
        std::strcpy(st->stu_name[s], students[i].name);
        std::memcpy(st->stu_xuan[s], students[i].choices, std::min(size_t(choice), std::strlen(students[i].choices)));
        for (size_t q = 0; q < students[i].marks.size(); ++q)
            st->stu_score[s][choice + int(q) + 1] = students[i].marks[q];
    }
    return st;
}

QStringList column(const QTableWidget &t, int c)
{
    QStringList out;
    for (int r = 0; r < t.rowCount(); ++r)
        out << t.item(r, c)->text();
    return out;
}

QStringList headers(const QTableWidget &t)
{
    QStringList out;
    for (int c = 0; c < t.columnCount(); ++c)
        out << t.horizontalHeaderItem(c)->text();
    return out;
}

void click_header(QTableWidget &t, int section)
{
    QHeaderView *h = t.horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(section) + h->sectionSize(section) / 2, h->height() / 2));
}

}  // namespace

class TestScoreTable : public QObject {
    Q_OBJECT

private slots:
    void formatting_data();
    void formatting();
    void choiceScoring_data();
    void choiceScoring();
    void headersAndTexts();
    void fullMarks();
    void beforeAnyRoster();
    void numericSort();
    void rebuildAfterCorrection();
    void contentsFollowDisplay();
};

void TestScoreTable::formatting_data()
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

void TestScoreTable::formatting()
{
    QFETCH(double, value);
    // The C conversion, in a buffer sized for the value, is the reference.
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, "%.2f", value);
    QVERIFY(n > 0 && n < int(sizeof buf));
    QCOMPARE(format_score(value), QString::fromLatin1(buf));
}

void TestScoreTable::choiceScoring_data()
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

void TestScoreTable::choiceScoring()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, oldKeyTail);
    QFETCH(QByteArray, answers);
    QFETCH(QList<double>, scores);
    ExamStorePtr st = make_exam("", {1, 2, 3, 10}, 3, {{"x", "", {4}}});
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

void TestScoreTable::headersAndTexts()
{
    ExamStorePtr st = make_exam("AB", {2, 2, 5, 10, 7.5}, 2,
                                {{"张三", "AB", {5, 9.5, 0}}, {"007", "BA", {1.25, 0, 7.5}}});
    compute_scores(*st);
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(headers(t), QStringList({"学生信息", "总分", "选择题1", "选择题2", "非选择题1", "非选择题2", "非选择题3"}));
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(column(t, 0), QStringList({"张三", "007"}));
    QCOMPARE(column(t, 1), QStringList({"18.50", "8.75"}));
    QCOMPARE(column(t, 2), QStringList({"2.00", "0.00"}));
    QCOMPARE(column(t, 4), QStringList({"5.00", "1.25"}));
    QCOMPARE(column(t, 6), QStringList({"0.00", "7.50"}));
    QCOMPARE(t.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(t.isSortingEnabled());
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 7; ++c)
            QVERIFY(!(t.item(r, c)->flags() & Qt::ItemIsEditable) || t.editTriggers() == QAbstractItemView::NoEditTriggers);
}

void TestScoreTable::fullMarks()
{
    const std::vector<double> maxima = {1.5, 2.25, 3, 10, 12.75, 0.5};
    ExamStorePtr st = make_exam("CDA", maxima, 3, {{"满分", "CDA", {10, 12.75, 0.5}}});
    compute_scores(*st);
    double sum = 0;
    for (double m : maxima)
        sum += m;
    QCOMPARE(st->stu_total[1], sum);
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(t.item(0, 1)->text(), QStringLiteral("30.00"));
}

void TestScoreTable::beforeAnyRoster()
{
    ExamStorePtr st = make_blank_store();
    st->xuan_count = 1;
    st->unxuan_count = 1;
    compute_scores(*st);
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(t.rowCount(), 0);
    QCOMPARE(headers(t), QStringList({"学生信息", "总分", "选择题1", "非选择题1"}));
    ExamStorePtr none = make_blank_store();
    fill_score_table(t, *none);
    QCOMPARE(headers(t), QStringList({"学生信息", "总分"}));
}

void TestScoreTable::numericSort()
{
    ExamStorePtr st = make_exam("", {100}, 0, {{"a", "", {9}}, {"b", "", {100}}, {"c", "", {10}}, {"d", "", {9.5}}});
    compute_scores(*st);
    QTableWidget t;
    t.resize(600, 300);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    fill_score_table(t, *st);
    QCOMPARE(column(t, 0), QStringList({"a", "b", "c", "d"}));  // roster order after the build
    click_header(t, 1);
    QCOMPARE(column(t, 1), QStringList({"9.00", "9.50", "10.00", "100.00"}));
    QCOMPARE(column(t, 0), QStringList({"a", "d", "c", "b"}));
    click_header(t, 1);
    QCOMPARE(column(t, 1), QStringList({"100.00", "10.00", "9.50", "9.00"}));
    QCOMPARE(column(t, 0), QStringList({"b", "c", "d", "a"}));
    // Names sort as text.
    click_header(t, 0);
    QCOMPARE(column(t, 0), QStringList({"a", "b", "c", "d"}));
}

void TestScoreTable::rebuildAfterCorrection()
{
    ExamStorePtr st = make_exam("A", {2, 10, 10}, 1,
                                {{"甲", "A", {5, 5}}, {"乙", "B", {10, 10}}, {"丙", "A", {0, 1}}});
    compute_scores(*st);
    QTableWidget t;
    t.resize(600, 300);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    fill_score_table(t, *st);
    click_header(t, 1);  // ascending by total: 丙 3, 甲 12, 乙 20
    QCOMPARE(column(t, 0), QStringList({"丙", "甲", "乙"}));
    // The teacher corrects a mark and presses again.
    st->stu_score[3][3] = 10;  // 丙: 2 + 0 + 10
    st->stu_score[1][2] = 8;   // 甲: 2 + 8 + 5
    compute_scores(*st);
    fill_score_table(t, *st);
    QCOMPARE(column(t, 0), QStringList({"甲", "乙", "丙"}));
    QCOMPARE(column(t, 1), QStringList({"15.00", "20.00", "12.00"}));
    // Every row stays whole: each name keeps its own scores.
    QCOMPARE(column(t, 3), QStringList({"8.00", "10.00", "0.00"}));
    QCOMPARE(column(t, 4), QStringList({"5.00", "10.00", "10.00"}));
    click_header(t, 4);
    QCOMPARE(column(t, 0), QStringList({"甲", "乙", "丙"}));
    QCOMPARE(column(t, 1), QStringList({"15.00", "20.00", "12.00"}));
}

void TestScoreTable::contentsFollowDisplay()
{
    ExamStorePtr st = make_exam("A", {2, 10}, 1, {{"007", "A", {9}}, {"李", "B", {10}}, {"", "A", {0.5}}});
    compute_scores(*st);
    QTableWidget t;
    t.resize(600, 300);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    fill_score_table(t, *st);
    click_header(t, 1);
    click_header(t, 1);  // descending: 007 11, 李 10, "" 2.5
    const ScoreSheet sheet = table_contents(t);
    QCOMPARE(sheet.headers, QStringList({"学生信息", "总分", "选择题1", "非选择题1"}));
    QCOMPARE(sheet.rows.size(), 3);
    QCOMPARE(sheet.rows[0][0].text, QStringLiteral("007"));
    QVERIFY(!sheet.rows[0][0].numeric);
    QCOMPARE(sheet.rows[0][1].text, QStringLiteral("11.00"));
    QVERIFY(sheet.rows[0][1].numeric);
    QCOMPARE(sheet.rows[0][1].value, 11.0);
    QCOMPARE(sheet.rows[1][0].text, QStringLiteral("李"));
    QCOMPARE(sheet.rows[2][0].text, QString());
    QCOMPARE(sheet.rows[2][3].value, 0.5);
    // A score whose exact value lies just below a rounding tie: the workbook
    // gets the number the table shows, so a spreadsheet cannot round it up.
    st->stu_score[1][2] = 1.005;
    compute_scores(*st);
    fill_score_table(t, *st);
    const ScoreSheet tie = table_contents(t);
    QCOMPARE(tie.rows[0][3].text, QStringLiteral("1.00"));
    QCOMPARE(tie.rows[0][3].value, 1.0);
    QCOMPARE(tie.rows[0][1].text, QStringLiteral("3.00"));  // 2 + 1.005 = 3.005, just below the tie
    QCOMPARE(tie.rows[0][1].value, 3.0);
    // An empty table gives an empty sheet.
    QTableWidget empty;
    const ScoreSheet none = table_contents(empty);
    QVERIFY(none.headers.isEmpty() && none.rows.isEmpty());
}

QTEST_MAIN(TestScoreTable)
#include "test_score_table.moc"
