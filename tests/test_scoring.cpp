// Choice scoring against the key with the totals, and the text of a score.
#include "exam/exam_store.h"
#include "marking/scoring.h"
#include "tests/support/exam_fixtures.h"

#include <QtTest>

#include <cstdio>
#include <cstring>

class TestScoring : public QObject {
    Q_OBJECT

private slots:
    void formatting_data();
    void formatting();
    void choice_scoring_data();
    void choice_scoring();
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
    QTest::newRow("short key, old bytes behind it") << QByteArray("A") << QByteArray("BC") << QByteArray("ABC")
                                                    << QList<double>{1, 0, 0};
    QTest::newRow("missing answer bytes") << QByteArray("ABC") << QByteArray() << QByteArray("A\0\0", 3)
                                          << QList<double>{1, 0, 0};
    QTest::newRow("missing answer against short key") << QByteArray("AB") << QByteArray() << QByteArray("A\0\0", 3)
                                                      << QList<double>{1, 0, 0};
    QTest::newRow("multibyte-looking bytes") << QByteArray("\xe4\xb8\x80") << QByteArray() << QByteArray("\xe4\xb8\x81")
                                             << QList<double>{1, 2, 0};
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

QTEST_GUILESS_MAIN(TestScoring)
#include "test_scoring.moc"
