// The score table widget: the table's texts and headers, cells the user
// cannot edit, numeric sorting, rebuilding after corrections, and what the
// workbook writers are given.
#include "app/score_table_view.h"
#include "exam/exam_store.h"
#include "marking/scoring.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/gbk.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

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
    void headers_and_texts();
    void names_as_stored_data();
    void names_as_stored();
    void full_marks();
    void before_any_roster();
    void numeric_sort();
    void rebuild_after_correction();
    void contents_follow_display();
};

void TestScoreTable::headers_and_texts()
{
    ExamStorePtr st
        = store_with("AB", {2, 2, 5, 10, 7.5}, 2, {{"张三", "AB", {5, 9.5, 0}}, {"007", "BA", {1.25, 0, 7.5}}});
    compute_scores(*st);
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(headers(t),
             QStringList({"学生信息", "总分", "选择题1", "选择题2", "非选择题1", "非选择题2", "非选择题3"}));
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(column(t, 0), QStringList({"张三", "007"}));
    QCOMPARE(column(t, 1), QStringList({"18.50", "8.75"}));
    QCOMPARE(column(t, 2), QStringList({"2.00", "0.00"}));
    QCOMPARE(column(t, 4), QStringList({"5.00", "1.25"}));
    QCOMPARE(column(t, 6), QStringList({"0.00", "7.50"}));
    QCOMPARE(t.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(t.isSortingEnabled());
    // What a user does to edit a cell opens no editor and changes no text.
    t.resize(900, 300);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    for (int c = 0; c < 7; ++c) {
        QTableWidgetItem *item = t.item(1, c);
        const QString before = item->text();
        const QPoint at = t.visualItemRect(item).center();
        QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, at);
        QTest::keyClick(&t, Qt::Key_F2);
        QTest::keyClicks(&t, QStringLiteral("9"));
        QVERIFY2(!t.findChild<QLineEdit *>(), qPrintable(QString::number(c)));
        QTest::keyClick(&t, Qt::Key_Return);
        QCOMPARE(item->text(), before);
    }
}

void TestScoreTable::names_as_stored_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");
    const QChar bad = QChar::ReplacementCharacter;
    QTest::newRow("utf-8") << QByteArray("张三") << QStringLiteral("张三");
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBF张三") << QStringLiteral("张三");
    QTest::newRow("gbk") << gbk(QStringLiteral("张三")) << QString(4, bad);
    QTest::newRow("cut off at the end") << QByteArray("张\xE4\xB8") << QStringLiteral("张") + bad + bad;
    QTest::newRow("fills the field") << QByteArray(limits::name_bytes + 1, 'a') << QString(limits::name_bytes + 1, 'a');
}

// The bytes of a name as the loaders keep them, shown the same whatever Qt decodes them.
void TestScoreTable::names_as_stored()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    ExamStorePtr st = store_with("A", {1, 1}, 1, {{"x", "A", {1}}});
    QVERIFY(!stored.isEmpty() && stored.size() <= int(sizeof st->stu_name[1]));
    std::memset(st->stu_name[1], 0, sizeof st->stu_name[1]);
    std::memcpy(st->stu_name[1], stored.constData(), std::size_t(stored.size()));
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(t.item(0, 0)->text(), shown);
}

void TestScoreTable::full_marks()
{
    const std::vector<double> maxima = {1.5, 2.25, 3, 10, 12.75, 0.5};
    ExamStorePtr st = store_with("CDA", maxima, 3, {{"满分", "CDA", {10, 12.75, 0.5}}});
    compute_scores(*st);
    double sum = 0;
    for (double m : maxima)
        sum += m;
    QCOMPARE(st->stu_total[1], sum);
    QTableWidget t;
    fill_score_table(t, *st);
    QCOMPARE(t.item(0, 1)->text(), QStringLiteral("30.00"));
}

void TestScoreTable::before_any_roster()
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

void TestScoreTable::numeric_sort()
{
    ExamStorePtr st = store_with("", {100}, 0, {{"a", "", {9}}, {"b", "", {100}}, {"c", "", {10}}, {"d", "", {9.5}}});
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

void TestScoreTable::rebuild_after_correction()
{
    ExamStorePtr st
        = store_with("A", {2, 10, 10}, 1, {{"甲", "A", {5, 5}}, {"乙", "B", {10, 10}}, {"丙", "A", {0, 1}}});
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

void TestScoreTable::contents_follow_display()
{
    ExamStorePtr st = store_with("A", {2, 10}, 1, {{"007", "A", {9}}, {"李", "B", {10}}, {"", "A", {0.5}}});
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
#include "test_score_table_view.moc"
