// The decoder every loader reads through: the bytes it delivers (byte-order
// marks, CR LF, chunk edges) and a read error that ends the input.
#include "exam/text_input.h"
#include "exam/text_reader.h"
#include "tests/support/failing_device.h"
#include "tests/support/files.h"

#include <QByteArray>
#include <QtTest>

Q_DECLARE_METATYPE(Utf16Damage)

class TestTextInput : public QObject {
    Q_OBJECT
private slots:
    void delivered_bytes_data();
    void delivered_bytes();
    void read_error_ends_input();
};

void TestTextInput::delivered_bytes_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<Utf16Damage>("damage");
    const Utf16Damage none = Utf16Damage::none;
    QTest::newRow("plain") << QByteArray("ab\ncd") << QByteArray("ab\ncd") << none;
    QTest::newRow("bom skipped") << QByteArray("\xEF\xBB\xBF"
                                               "3 4")
                                 << QByteArray("3 4") << none;
    QTest::newRow("bom alone") << QByteArray("\xEF\xBB\xBF") << QByteArray() << none;
    QTest::newRow("partial bom alone") << QByteArray("\xEF\xBB") << QByteArray("\xEF\xBB") << none;
    QTest::newRow("bom only at the start") << QByteArray("x\xEF\xBB\xBF") << QByteArray("x\xEF\xBB\xBF") << none;
    QTest::newRow("partial bom kept") << QByteArray("\xEF\xBB"
                                                    "a")
                                      << QByteArray("\xEF\xBB"
                                                    "a")
                                      << none;
    QTest::newRow("crlf to lf") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n") << none;
    QTest::newRow("lone cr stays") << QByteArray("a\rb\r") << QByteArray("a\rb\r") << none;
    QTest::newRow("cr cr lf") << QByteArray("\r\r\n") << QByteArray("\r\n") << none;
    QTest::newRow("bom then crlf") << QByteArray("\xEF\xBB\xBF\r\nx") << QByteArray("\nx") << none;

    // CR LF pairs and lone CRs straddling every likely chunk edge.
    QByteArray raw(600 * 1024, 'a'), expected;
    for (int edge : {4096, 16384, 65536, 262144, 524288}) {
        raw[edge - 1] = '\r';
        raw[edge] = '\n';
        raw[edge + 4097] = '\r';  // lone
    }
    expected = raw;
    expected.replace("\r\n", "\n");
    QTest::newRow("chunk edges") << raw << expected << none;
}

void TestTextInput::delivered_bytes()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, expected);
    QFETCH(Utf16Damage, damage);
    TextInput in(raw);
    QCOMPARE(drain(in), expected);
    QCOMPARE(in.damage(), damage);
    QCOMPARE(in.failed(), damage != Utf16Damage::none);
    QCOMPARE(in.get(), -1);
}

void TestTextInput::read_error_ends_input()
{
    FailingDevice dev("12 @abc");
    TextInput in(dev);
    int32_t v = 0;
    QCOMPARE(read_int(in, v), ReadStatus::ok);
    QCOMPARE(v, 12);
    char cell[limits::text_bytes + 1];
    int32_t len = 0;
    QCOMPARE(read_delimited_text(in, cell, len), TextStatus::read_failed);
    QVERIFY(in.failed());
}

QTEST_GUILESS_MAIN(TestTextInput)
#include "test_text_input.moc"
