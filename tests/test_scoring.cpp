// Choice scoring against the key with the totals, the text of a score, and
// the class analysis as its sheet lays it out.
#include "exam/exam_store.h"
#include "export/analysis_sheet.h"
#include "marking/analysis.h"
#include "marking/exam_comparison.h"
#include "marking/scoring.h"
#include "tests/support/exam_fixtures.h"

#include <QtTest>

#include <cstdio>
#include <cstring>

using Students = std::vector<FixtureStudent>;
Q_DECLARE_METATYPE(Students)
Q_DECLARE_METATYPE(ExamHistory)

namespace {

// Every figure of the analysis sheet that holds something, named by where a
// reader finds it: "平均分", "分数段 4.8–6", "选择题2 区分度"; the value is
// the cell's text, the way its number format shows it.
QStringList figures_of(const AnalysisSheet &sheet, bool *chart)
{
    QStringList out;
    QVector<SheetCell> header;
    QString block;
    for (const QVector<SheetCell> &row : sheet.rows) {
        if (row.isEmpty())
            continue;
        const QString first = row.at(0).text;
        if (first == QStringLiteral("全班概况") || first == QStringLiteral("分数段")
            || first == QStringLiteral("各题分析")) {
            block = first;
            continue;
        }
        if (first == QStringLiteral("题目")) {
            header = row;
            continue;
        }
        for (int c = 1; c < row.size(); ++c) {
            const SheetCell &cell = row.at(c);
            if (cell.text.isEmpty())
                continue;
            // Only the key is text; every other figure is a number a spreadsheet can sum.
            const bool key = !header.isEmpty() && header.at(c).text == QStringLiteral("正确答案");
            if (cell.numeric == key)
                out << QStringLiteral("wrong cell type: ") + first;
            if (block == QStringLiteral("全班概况"))
                out << first + QLatin1Char('=') + cell.text;
            else if (block == QStringLiteral("分数段"))
                out << QStringLiteral("分数段 ") + first + QLatin1Char('=') + cell.text;
            else
                out << first + QLatin1Char(' ') + (c < header.size() ? header.at(c).text : QStringLiteral("?"))
                        + QLatin1Char('=') + cell.text;
        }
    }
    *chart = sheet.chart;
    return out;
}


// A past exam of `totals` ("5 9 -" : "-" 缺考) whose students are at `roster`
// positions of the roster now (0: no longer in the class).
PastExam past_exam(const QString &class_name, const QString &totals, const QList<int> &roster, double full = 12)
{
    PastExam p;
    p.paper_name = QStringLiteral("月考");
    p.class_name = class_name;
    p.exported_ms = 1760000000000;
    p.full_marks = full;
    const QStringList t = totals.split(QLatin1Char(' '));
    for (int i = 0; i < t.size(); ++i)
        p.students << PastStudent{t[i] == QLatin1String("-") ? 0.0 : t[i].toDouble(), t[i] == QLatin1String("-"),
                                  roster.value(i)};
    return p;
}

// What the comparison gave, as a teacher reads it off the sheets: each
// student "name rank←previous change 年级n", the previous exam's figures and
// its movers, each 班级对比 row and the blocks of 成绩分析.
QStringList compared_text(const ClassAnalysis &a)
{
    QStringList out;
    for (const StudentResult &r : a.roster)
        out << QStringLiteral("%1 %2←%3 %4 年级%5")
                   .arg(r.name, r.absent ? QStringLiteral("缺考") : QString::number(r.rank))
                   .arg(r.previous_rank)
                   .arg(rank_change_text(r))
                   .arg(r.grade_rank);
    if (a.previous) {
        out << QStringLiteral("上次 %1 %2").arg(a.previous->mean.value_or(-1), 0, 'f', 2).arg(a.previous->excellent_rate.value_or(-1), 0, 'f', 3);
        QStringList up, down;
        for (int k : a.previous->risers)
            up << a.roster.at(k).name;
        for (int k : a.previous->fallers)
            down << a.roster.at(k).name;
        out << QStringLiteral("进步 ") + up.join(QLatin1Char(' ')) << QStringLiteral("退步 ") + down.join(QLatin1Char(' '));
    }
    for (const ClassFigures &c : a.classes)
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                   .arg(c.name)
                   .arg(c.students)
                   .arg(c.absent)
                   .arg(c.mean.value_or(-1), 0, 'f', 2)
                   .arg(c.high.value_or(-1), 0, 'f', 2)
                   .arg(c.low.value_or(-1), 0, 'f', 2)
                   .arg(c.excellent_rate.value_or(-1), 0, 'f', 3)
                   .arg(c.pass_rate.value_or(-1), 0, 'f', 3);
    QStringList blocks;
    const QStringList headings = {"进退步对比：月考（2025-10-09 导出）", "全班概况", "分数段", "班级对比", "进退步",
                                  "进步最多", "退步最多", "各题分析"};
    for (const QVector<SheetCell> &row : analysis_sheet(a).rows)
        if (headings.contains(row.value(0).text))
            blocks << row.at(0).text;
    out << blocks.join(QLatin1Char(' '));
    return out;
}
}  // namespace

class TestScoring : public QObject {
    Q_OBJECT

private slots:
    void formatting_data();
    void formatting();
    void choice_scoring_data();
    void choice_scoring();
    void analysis_data();
    void analysis();
    void comparison_data();
    void comparison();
};

void TestScoring::formatting_data()
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

void TestScoring::formatting()
{
    QFETCH(double, value);
    // The C conversion, in a buffer sized for the value, is the reference.
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, "%.2f", value);
    QVERIFY(n > 0 && n < int(sizeof buf));
    QCOMPARE(format_score(value), QString::fromLatin1(buf));
}

void TestScoring::choice_scoring_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("old_key_tail");  // bytes left behind the key's end by an older, longer key
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QList<double>>("scores");
    QTest::newRow("all right") << QByteArray("ABC") << QByteArray() << QByteArray("ABC") << QList<double>{1, 2, 3};
    QTest::newRow("case matters") << QByteArray("ABC") << QByteArray() << QByteArray("aBc") << QList<double>{0, 2, 0};
    QTest::newRow("all wrong") << QByteArray("ABC") << QByteArray() << QByteArray("DDD") << QList<double>{0, 0, 0};
    QTest::newRow("short key, old bytes behind it")
        << QByteArray("A") << QByteArray("BC") << QByteArray("ABC") << QList<double>{1, 0, 0};
    QTest::newRow("missing answer bytes")
        << QByteArray("ABC") << QByteArray() << QByteArray("A\0\0", 3) << QList<double>{1, 0, 0};
    QTest::newRow("missing answer against short key")
        << QByteArray("AB") << QByteArray() << QByteArray("A\0\0", 3) << QList<double>{1, 0, 0};
    QTest::newRow("multibyte-looking bytes")
        << QByteArray("\xe4\xb8\x80") << QByteArray() << QByteArray("\xe4\xb8\x81") << QList<double>{1, 2, 0};
}

void TestScoring::choice_scoring()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, old_key_tail);
    QFETCH(QByteArray, answers);
    QFETCH(QList<double>, scores);
    ExamStorePtr st = store_with("", {1, 2, 3, 10}, 3, {{"x", "", {4}}});
    std::memcpy(st->ans_key, key.constData(), size_t(key.size()));
    st->ans_key[key.size()] = '\0';
    std::memcpy(st->ans_key + key.size() + 1, old_key_tail.constData(), size_t(old_key_tail.size()));
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

void TestScoring::analysis_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QList<double>>("maxima");  // choice questions first
    QTest::addColumn<int>("choice");
    QTest::addColumn<Students>("students");
    QTest::addColumn<QStringList>("figures");  // every cell that holds something, as figures_of() names it
    QTest::addColumn<bool>("chart");

    // 满分 12. Totals 12, 6, 6, 4.8, 4.8: a tie at the top of the middle and
    // one at the bottom (the later of the roster counts as lower), 6 on the
    // 50 % boundary, 4.8 on the 40 % one (4.8 / 12 * 10 is 3.99… in doubles),
    // 12 equal to 满分. Mean 6.72, population deviation sqrt(36.288 / 5).
    // g = round(0.27 * 5) = 1: 甲 against 戊.
    // α over 2, 2, 0, 0, 0 | 2, 0, 2, 2, 0 | 8, 4, 4, 2.8, 4.8: variances
    // 0.96, 0.96 and 15.488 / 5 = 3.0976, totals 7.2576; 3/2 (1 - 5.0176 / 7.2576) = 0.463.
    const Students five
        = {{"甲", "AB", {8}}, {"乙", "AE", {4}}, {"丙", "aB", {4}}, {"丁", " B", {2.8}}, {"戊", "DA", {4.8}}};
    const QStringList five_figures{
        "参考人数=5", "满分=12.00", "平均分=6.72", "最高分=12.00", "最低分=4.80", "中位数=6.00", "标准差=2.69",
        "信度（α）=0.46", "优秀率（≥85%）=20.0%", "及格率（≥60%）=20.0%", "低分率（<40%）=0.0%", "分数段 0–1.2=0",
        "分数段 1.2–2.4=0", "分数段 2.4–3.6=0", "分数段 3.6–4.8=0", "分数段 4.8–6=2", "分数段 6–7.2=2",
        "分数段 7.2–8.4=0", "分数段 8.4–9.6=0", "分数段 9.6–10.8=0", "分数段 10.8–12=1",
        // A A a ' ' D against A
        "选择题1 满分=2.00", "选择题1 平均分=0.80", "选择题1 得分率=40.0%", "选择题1 最高分=2.00",
        "选择题1 最低分=0.00", "选择题1 满分人数=2", "选择题1 零分人数=3", "选择题1 区分度=1.00", "选择题1 正确答案=A",
        "选择题1 A=2", "选择题1 B=0", "选择题1 C=0", "选择题1 D=1", "选择题1 E=0", "选择题1 其他=2",
        // B E B B A against B: 甲 1 - 戊 0 (丁 would give 0)
        "选择题2 满分=2.00", "选择题2 平均分=1.20", "选择题2 得分率=60.0%", "选择题2 最高分=2.00",
        "选择题2 最低分=0.00", "选择题2 满分人数=3", "选择题2 零分人数=2", "选择题2 区分度=1.00", "选择题2 正确答案=B",
        "选择题2 A=1", "选择题2 B=3", "选择题2 C=0", "选择题2 D=0", "选择题2 E=1", "选择题2 其他=0",
        // 8 4 4 2.8 4.8: 8/8 - 4.8/8
        "非选择题1 满分=8.00", "非选择题1 平均分=4.72", "非选择题1 得分率=59.0%", "非选择题1 最高分=8.00",
        "非选择题1 最低分=2.80", "非选择题1 满分人数=1", "非选择题1 零分人数=0", "非选择题1 区分度=0.40"};
    QTest::newRow("five students, ties and boundaries")
        << QByteArray("AB") << QList<double>{2, 2, 8} << 2 << five << five_figures << true;

    // The same five and 己, 缺考: her 0 would lower the mean, the bands, the
    // rates, α, 零分人数 and the 其他 answers; she is in none of them.
    Students with_absent = five;
    with_absent.insert(with_absent.begin() + 2, FixtureStudent{"己", "", {0}, true});
    QStringList absent_figures = five_figures;
    absent_figures.insert(1, QStringLiteral("缺考人数=1"));
    QTest::newRow("five students and one 缺考")
        << QByteArray("AB") << QList<double>{2, 2, 8} << 2 << with_absent << absent_figures << true;

    // 满分 10; totals 5 and 2. A letter only the key holds gets its column.
    // α: variances 6.25 and 1 against 2.25 for the totals; 2 (1 - 7.25 / 2.25) = -4.44,
    // shown as it is: the questions pull against each other.
    QTest::newRow("two students, even count")
        << QByteArray("Z") << QList<double>{5, 5} << 1 << Students{{"甲", "Z", {0}}, {"乙", "B", {2}}}
        << QStringList{"参考人数=2",
                       "满分=10.00",
                       "平均分=3.50",
                       "最高分=5.00",
                       "最低分=2.00",
                       "中位数=3.50",
                       "标准差=1.50",
                       "信度（α）=-4.44",
                       "优秀率（≥85%）=0.0%",
                       "及格率（≥60%）=0.0%",
                       "低分率（<40%）=50.0%",
                       "分数段 0–1=0",
                       "分数段 1–2=0",
                       "分数段 2–3=1",
                       "分数段 3–4=0",
                       "分数段 4–5=0",
                       "分数段 5–6=1",
                       "分数段 6–7=0",
                       "分数段 7–8=0",
                       "分数段 8–9=0",
                       "分数段 9–10=0",
                       "选择题1 满分=5.00",
                       "选择题1 平均分=2.50",
                       "选择题1 得分率=50.0%",
                       "选择题1 最高分=5.00",
                       "选择题1 最低分=0.00",
                       "选择题1 满分人数=1",
                       "选择题1 零分人数=1",
                       "选择题1 区分度=1.00",
                       "选择题1 正确答案=Z",
                       "选择题1 A=0",
                       "选择题1 B=1",
                       "选择题1 C=0",
                       "选择题1 D=0",
                       "选择题1 Z=1",
                       "选择题1 其他=0",
                       "非选择题1 满分=5.00",
                       "非选择题1 平均分=1.00",
                       "非选择题1 得分率=20.0%",
                       "非选择题1 最高分=2.00",
                       "非选择题1 最低分=0.00",
                       "非选择题1 满分人数=0",
                       "非选择题1 零分人数=1",
                       "非选择题1 区分度=-0.40"}
        << true;

    // 满分 20; totals 17 (exactly 85 %), 16.99 and 12 (exactly 60 %).
    // α: 9, 10, 6 has variance 26 / 9; 8, 6.99, 6 has 6.0002 / 9; the totals
    // 16.6334 / 3; 2 (1 - (26 / 9 + 6.0002 / 9) / (16.6334 / 3)) = 0.717.
    QTest::newRow("a total on the 85 % line")
        << QByteArray("") << QList<double>{10, 10} << 0
        << Students{{"甲", "", {9, 8}}, {"乙", "", {10, 6.99}}, {"丙", "", {6, 6}}}
        << QStringList{"参考人数=3",
                       "满分=20.00",
                       "平均分=15.33",
                       "最高分=17.00",
                       "最低分=12.00",
                       "中位数=16.99",
                       "标准差=2.35",
                       "信度（α）=0.72",
                       "优秀率（≥85%）=33.3%",
                       "及格率（≥60%）=100.0%",
                       "低分率（<40%）=0.0%",
                       "分数段 0–2=0",
                       "分数段 2–4=0",
                       "分数段 4–6=0",
                       "分数段 6–8=0",
                       "分数段 8–10=0",
                       "分数段 10–12=0",
                       "分数段 12–14=1",
                       "分数段 14–16=0",
                       "分数段 16–18=2",
                       "分数段 18–20=0",
                       "非选择题1 满分=10.00",
                       "非选择题1 平均分=8.33",
                       "非选择题1 得分率=83.3%",
                       "非选择题1 最高分=10.00",
                       "非选择题1 最低分=6.00",
                       "非选择题1 满分人数=1",
                       "非选择题1 零分人数=0",
                       "非选择题1 区分度=0.30",
                       "非选择题2 满分=10.00",
                       "非选择题2 平均分=7.00",
                       "非选择题2 得分率=70.0%",
                       "非选择题2 最高分=8.00",
                       "非选择题2 最低分=6.00",
                       "非选择题2 满分人数=0",
                       "非选择题2 零分人数=0",
                       "非选择题2 区分度=0.20"}
        << true;

    // g = round(0.27 * 6) = 2: (10 + 8) / 2 against (2 + 0) / 2, over 10.
    QTest::newRow("six students, two in each group")
        << QByteArray("") << QList<double>{10} << 0 << Students{{"甲", "", {10}}, {"乙", "", {8}}, {"丙", "", {6}},
                                                                {"丁", "", {4}},  {"戊", "", {2}}, {"己", "", {0}}}
        << QStringList{"参考人数=6",
                       "满分=10.00",
                       "平均分=5.00",
                       "最高分=10.00",
                       "最低分=0.00",
                       "中位数=5.00",
                       "标准差=3.42",
                       "优秀率（≥85%）=16.7%",
                       "及格率（≥60%）=50.0%",
                       "低分率（<40%）=33.3%",
                       "分数段 0–1=1",
                       "分数段 1–2=0",
                       "分数段 2–3=1",
                       "分数段 3–4=0",
                       "分数段 4–5=1",
                       "分数段 5–6=0",
                       "分数段 6–7=1",
                       "分数段 7–8=0",
                       "分数段 8–9=1",
                       "分数段 9–10=1",
                       "非选择题1 满分=10.00",
                       "非选择题1 平均分=5.00",
                       "非选择题1 得分率=50.0%",
                       "非选择题1 最高分=10.00",
                       "非选择题1 最低分=0.00",
                       "非选择题1 满分人数=1",
                       "非选择题1 零分人数=1",
                       "非选择题1 区分度=0.80"}
        << true;

    // One student: no discrimination index.
    QTest::newRow("one student") << QByteArray("A") << QList<double>{4, 6} << 1 << Students{{"甲", "A", {3}}}
                                 << QStringList{"参考人数=1",
                                                "满分=10.00",
                                                "平均分=7.00",
                                                "最高分=7.00",
                                                "最低分=7.00",
                                                "中位数=7.00",
                                                "标准差=0.00",
                                                "优秀率（≥85%）=0.0%",
                                                "及格率（≥60%）=100.0%",
                                                "低分率（<40%）=0.0%",
                                                "分数段 0–1=0",
                                                "分数段 1–2=0",
                                                "分数段 2–3=0",
                                                "分数段 3–4=0",
                                                "分数段 4–5=0",
                                                "分数段 5–6=0",
                                                "分数段 6–7=0",
                                                "分数段 7–8=1",
                                                "分数段 8–9=0",
                                                "分数段 9–10=0",
                                                "选择题1 满分=4.00",
                                                "选择题1 平均分=4.00",
                                                "选择题1 得分率=100.0%",
                                                "选择题1 最高分=4.00",
                                                "选择题1 最低分=4.00",
                                                "选择题1 满分人数=1",
                                                "选择题1 零分人数=0",
                                                "选择题1 正确答案=A",
                                                "选择题1 A=1",
                                                "选择题1 B=0",
                                                "选择题1 C=0",
                                                "选择题1 D=0",
                                                "选择题1 其他=0",
                                                "非选择题1 满分=6.00",
                                                "非选择题1 平均分=3.00",
                                                "非选择题1 得分率=50.0%",
                                                "非选择题1 最高分=3.00",
                                                "非选择题1 最低分=3.00",
                                                "非选择题1 满分人数=0",
                                                "非选择题1 零分人数=0"}
                                 << true;

    // No students: only the class size, the maxima and the key; no chart.
    QTest::newRow("no students") << QByteArray("AB") << QList<double>{2, 2, 8} << 2 << Students{}
                                 << QStringList{"参考人数=0",         "满分=12.00",        "选择题1 满分=2.00",
                                                "选择题1 正确答案=A", "选择题2 满分=2.00", "选择题2 正确答案=B",
                                                "非选择题1 满分=8.00"}
                                 << false;

    // Every maximum 0: nothing to divide by, so no rates, bands or indexes.
    QTest::newRow("full marks 0") << QByteArray("") << QList<double>{0, 0} << 1
                                  << Students{{"甲", "A", {0}}, {"乙", "", {0}}}
                                  << QStringList{"参考人数=2",
                                                 "满分=0.00",
                                                 "平均分=0.00",
                                                 "最高分=0.00",
                                                 "最低分=0.00",
                                                 "中位数=0.00",
                                                 "标准差=0.00",
                                                 "选择题1 满分=0.00",
                                                 "选择题1 平均分=0.00",
                                                 "选择题1 最高分=0.00",
                                                 "选择题1 最低分=0.00",
                                                 "选择题1 满分人数=2",
                                                 "选择题1 零分人数=2",
                                                 "选择题1 A=1",
                                                 "选择题1 B=0",
                                                 "选择题1 C=0",
                                                 "选择题1 D=0",
                                                 "选择题1 其他=1",
                                                 "非选择题1 满分=0.00",
                                                 "非选择题1 平均分=0.00",
                                                 "非选择题1 最高分=0.00",
                                                 "非选择题1 最低分=0.00",
                                                 "非选择题1 满分人数=2",
                                                 "非选择题1 零分人数=2"}
                                  << false;
}

void TestScoring::analysis()
{
    QFETCH(QByteArray, key);
    QFETCH(QList<double>, maxima);
    QFETCH(int, choice);
    QFETCH(Students, students);
    QFETCH(QStringList, figures);
    QFETCH(bool, chart);
    ExamStorePtr st = store_with(key.constData(), std::vector<double>(maxima.begin(), maxima.end()), choice, students);
    compute_scores(*st);

    bool charted = false;
    const QStringList got = figures_of(analysis_sheet(analyse_class(*st)), &charted);
    for (int i = 0; i < qMax(got.size(), figures.size()); ++i)
        QCOMPARE(got.value(i, QStringLiteral("<none>")), figures.value(i, QStringLiteral("<none>")));
    QCOMPARE(charted, chart);
}

// Hand-worked: of 12 full marks (优秀 from 10.2, 及格 from 7.2), the last
// exam's of 10 (优秀 from 8.5).
void TestScoring::comparison_data()
{
    QTest::addColumn<Students>("students");
    QTest::addColumn<ExamHistory>("history");
    QTest::addColumn<QStringList>("want");

    ExamHistory ties;
    ties.previous = past_exam(QStringLiteral("一班"), QStringLiteral("5 9 5 7 3"), {1, 2, 3, 4, 0}, 10);
    QTest::newRow("ties, a student new to the class, one gone")
        << Students{{"甲", "", {8}}, {"乙", "", {4}}, {"丙", "", {4}}, {"丁", "", {2.8}}, {"新", "", {6}}} << ties
        << QStringList{"甲 1←3 ↑2 年级0", "乙 3←1 ↓2 年级0", "丙 3←3 0 年级0", "丁 5←2 ↓3 年级0",
                       "新 2←0 — 年级0", "上次 5.80 0.200", "进步 甲", "退步 丁 乙",
                       "进退步对比：月考（2025-10-09 导出） 全班概况 分数段 进退步 进步最多 退步最多 各题分析"};

    ExamHistory away;
    away.previous = past_exam(QStringLiteral("一班"), QStringLiteral("- 6 3"), {1, 2, 3}, 10);
    QTest::newRow("缺考 then, 缺考 now: no change, nobody moved")
        << Students{{"甲", "", {8}}, {"乙", "", {0}, true}, {"丙", "", {4}}} << away
        << QStringList{"甲 1←0 — 年级0", "乙 缺考←1 — 年级0", "丙 2←2 0 年级0", "上次 4.50 0.000", "进步 ", "退步 ",
                       "进退步对比：月考（2025-10-09 导出） 全班概况 分数段 进退步 各题分析"};

    // Twelve students in the reverse order of last time: six rose, five are named.
    Students twelve;
    static std::vector<QByteArray> names;
    names.clear();
    QStringList then, want;
    QList<int> positions;
    for (int i = 0; i < 12; ++i)
        names.push_back(QStringLiteral("生%1").arg(i + 1, 2, 10, QLatin1Char('0')).toUtf8());
    for (int i = 0; i < 12; ++i) {
        twelve.push_back({names[size_t(i)].constData(), "", {double(12 - i) / 1.2}});
        then << QString::number(i + 1);
        positions << i + 1;
        const int change = 11 - 2 * i;
        want << QStringLiteral("生%1 %2←%3 %4 年级0")
                    .arg(i + 1, 2, 10, QLatin1Char('0'))
                    .arg(i + 1)
                    .arg(12 - i)
                    .arg(change > 0 ? QStringLiteral("↑%1").arg(change) : QStringLiteral("↓%1").arg(-change));
    }
    ExamHistory reversed;
    reversed.previous = past_exam(QStringLiteral("一班"), then.join(QLatin1Char(' ')), positions);
    want << "上次 6.50 0.167" << "进步 生01 生02 生03 生04 生05" << "退步 生12 生11 生10 生09 生08"
         << "进退步对比：月考（2025-10-09 导出） 全班概况 分数段 进退步 进步最多 退步最多 各题分析";
    QTest::newRow("the five who rose most and the five who fell most") << twelve << reversed << want;

    ExamHistory grade;
    grade.classes << past_exam(QStringLiteral("高一（10）班"), QStringLiteral("10 - 4"), {})
                  << past_exam(QStringLiteral("高一（3）班"), QStringLiteral("12 8"), {});
    QTest::newRow("a 年级 of three classes, by number")
        << Students{{"甲", "", {8}}, {"乙", "", {4}}, {"丙", "", {0}, true}} << grade
        << QStringList{"甲 1←0 — 年级3", "乙 2←0 — 年级5", "丙 缺考←0 — 年级0",
                       "高一（2）班 2 1 6.00 8.00 4.00 0.000 0.500", "高一（3）班 2 0 10.00 12.00 8.00 0.500 1.000",
                       "高一（10）班 2 1 7.00 10.00 4.00 0.000 0.500", "年级 6 2 7.67 12.00 4.00 0.167 0.667",
                       "全班概况 分数段 班级对比 各题分析"};
}

void TestScoring::comparison()
{
    QFETCH(Students, students);
    QFETCH(ExamHistory, history);
    QFETCH(QStringList, want);
    ExamStorePtr st = store_with("A", {2, 10}, 1, students);
    // As the loaders keep paths: in the file system's encoding (the ANSI code page on Windows).
    qstrncpy(st->pro_path, QFile::encodeName(QStringLiteral("/考试/期中.txt")).constData(), sizeof st->pro_path);
    qstrncpy(st->stu_path, QFile::encodeName(QStringLiteral("/考试/高一（2）班/s")).constData(), sizeof st->stu_path);
    compute_scores(*st);
    ClassAnalysis a = analyse_class(*st);
    compare_exam(a, history);
    const QStringList got = compared_text(a);
    for (int i = 0; i < qMax(got.size(), want.size()); ++i)
        QCOMPARE(got.value(i, QStringLiteral("<none>")), want.value(i, QStringLiteral("<none>")));
}

QTEST_GUILESS_MAIN(TestScoring)
#include "test_scoring.moc"
