// The reader over the decoded input: number and token extraction, and
// delimited texts.
#include "exam/text_reader.h"
#include "tests/support/files.h"

#include <QByteArray>
#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(ReadStatus)
Q_DECLARE_METATYPE(TextStatus)

class TestTextReader : public QObject {
    Q_OBJECT
private slots:
    void numbers_data();
    void numbers();
    void tokens_data();
    void tokens();
    void delimited_text_data();
    void delimited_text();
    void delimited_text_stays_in_cell();
};

void TestTextReader::numbers_data()
{
    QTest::addColumn<bool>("real");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("next");  // byte left unconsumed after the number
    const int end = -1;
    QTest::newRow("int") << false << QByteArray("42 ") << ReadStatus::ok << 42.0 << int(' ');
    QTest::newRow("int over lines") << false << QByteArray(" \n\t\r\n 7\n") << ReadStatus::ok << 7.0 << int('\n');
    QTest::newRow("int plus") << false << QByteArray("+5") << ReadStatus::ok << 5.0 << end;
    QTest::newRow("int minus") << false << QByteArray("-3x") << ReadStatus::ok << -3.0 << int('x');
    QTest::newRow("int stops at dot") << false << QByteArray("3.5") << ReadStatus::ok << 3.0 << int('.');
    QTest::newRow("int then @") << false << QByteArray("2@t$") << ReadStatus::ok << 2.0 << int('@');
    QTest::newRow("int hex stops") << false << QByteArray("0x10") << ReadStatus::ok << 0.0 << int('x');
    QTest::newRow("int min") << false << QByteArray("-2147483648") << ReadStatus::ok << -2147483648.0 << end;
    QTest::newRow("int overflow") << false << QByteArray("2147483648") << ReadStatus::out_of_range << 0.0 << end;
    QTest::newRow("int letters") << false << QByteArray("abc") << ReadStatus::malformed << 0.0 << int('a');
    QTest::newRow("int sign only") << false << QByteArray("- 1") << ReadStatus::malformed << 0.0 << int(' ');
    QTest::newRow("int empty") << false << QByteArray(" \n") << ReadStatus::end << 0.0 << end;
    QTest::newRow("int after bom") << false
                                   << QByteArray("\xEF\xBB\xBF"
                                                 "9")
                                   << ReadStatus::ok << 9.0 << end;
    QTest::newRow("int endless digits") << false << QByteArray(5000, '1') << ReadStatus::out_of_range << 0.0
                                        << int('1');
    QTest::newRow("real") << true << QByteArray("4.5\n") << ReadStatus::ok << 4.5 << int('\n');
    QTest::newRow("real int form") << true << QByteArray("3 ") << ReadStatus::ok << 3.0 << int(' ');
    QTest::newRow("real leading dot") << true << QByteArray(".5") << ReadStatus::ok << 0.5 << end;
    QTest::newRow("real trailing dot") << true << QByteArray("5.@") << ReadStatus::ok << 5.0 << int('@');
    QTest::newRow("real exponent") << true << QByteArray("+1.5E+2@") << ReadStatus::ok << 150.0 << int('@');
    QTest::newRow("real neg exponent") << true << QByteArray("25e-1 ") << ReadStatus::ok << 2.5 << int(' ');
    QTest::newRow("real second dot") << true << QByteArray("1.2.3") << ReadStatus::ok << 1.2 << int('.');
    QTest::newRow("real then @") << true << QByteArray("6@x$") << ReadStatus::ok << 6.0 << int('@');
    QTest::newRow("real bare exponent") << true << QByteArray("1e@") << ReadStatus::malformed << 0.0 << int('@');
    QTest::newRow("real dot only") << true << QByteArray(". 5") << ReadStatus::malformed << 0.0 << int(' ');
    QTest::newRow("real comma") << true << QByteArray(",5") << ReadStatus::malformed << 0.0 << int(',');
    QTest::newRow("real inf word") << true << QByteArray("inf") << ReadStatus::malformed << 0.0 << int('i');
    QTest::newRow("real overflow") << true << QByteArray("1e999") << ReadStatus::out_of_range << 0.0 << end;
}

void TestTextReader::numbers()
{
    QFETCH(bool, real);
    QFETCH(QByteArray, input);
    QFETCH(ReadStatus, status);
    QFETCH(double, value);
    QFETCH(int, next);
    TextInput in(input);
    if (real) {
        double v = -1;
        QCOMPARE(read_real(in, v), status);
        if (status == ReadStatus::ok)
            QCOMPARE(v, value);
    } else {
        int32_t v = -1;
        QCOMPARE(read_int(in, v), status);
        if (status == ReadStatus::ok)
            QCOMPARE(double(v), value);
    }
    QCOMPARE(in.peek(), next);
}

void TestTextReader::tokens_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<ReadStatus>("status");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("next");
    QTest::newRow("after blanks") << QByteArray(" \t\nAB C") << ReadStatus::ok << QByteArray("AB") << int(' ');
    QTest::newRow("crlf end") << QByteArray("ABCD\r\nx") << ReadStatus::ok << QByteArray("ABCD") << int('\n');
    QTest::newRow("lone cr ends") << QByteArray("AB\rCD") << ReadStatus::ok << QByteArray("AB") << int('\r');
    QTest::newRow("at @") << QByteArray("@abc\n@x$") << ReadStatus::ok << QByteArray("@abc") << int('\n');
    QTest::newRow("chinese") << QByteArray("张三 李四") << ReadStatus::ok << QByteArray("张三") << int(' ');
    QTest::newRow("exactly cap") << QByteArray(100, 'k') << ReadStatus::ok << QByteArray(100, 'k') << -1;
    QTest::newRow("over cap") << QByteArray(101, 'k') << ReadStatus::over_limit << QByteArray(100, 'k') << int('k');
    QTest::newRow("none") << QByteArray("\n \n") << ReadStatus::end << QByteArray() << -1;
}

void TestTextReader::tokens()
{
    QFETCH(QByteArray, input);
    QFETCH(ReadStatus, status);
    QFETCH(QByteArray, token);
    QFETCH(int, next);
    TextInput in(input);
    char buf[limits::name_bytes + 1];
    std::memset(buf, 'Z', sizeof buf);
    int32_t len = -1;
    QCOMPARE(read_token(in, buf, limits::name_bytes, len), status);
    QCOMPARE(QByteArray(buf, len), token);
    QCOMPARE(buf[len], '\0');
    QCOMPARE(in.peek(), next);
}

void TestTextReader::delimited_text_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<TextStatus>("status");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("rest");  // what the input still holds
    QTest::newRow("simple") << QByteArray("@abc$tail") << TextStatus::ok << QByteArray("abc") << QByteArray("tail");
    QTest::newRow("empty") << QByteArray("@$@x$") << TextStatus::ok << QByteArray() << QByteArray("@x$");
    QTest::newRow("heading skipped") << QByteArray("Part 1\n@q$") << TextStatus::ok << QByteArray("q") << QByteArray();
    QTest::newRow("stray dollar before @")
        << QByteArray("$ x $@q$") << TextStatus::ok << QByteArray("q") << QByteArray();
    QTest::newRow("@ inside") << QByteArray("@a@b$") << TextStatus::ok << QByteArray("a@b") << QByteArray();
    QTest::newRow("spans lines") << QByteArray("@l1\nl2\n$") << TextStatus::ok << QByteArray("l1\nl2\n")
                                 << QByteArray();
    QTest::newRow("crlf inside") << QByteArray("@a\r\nb$\r\n") << TextStatus::ok << QByteArray("a\nb")
                                 << QByteArray("\n");
    QTest::newRow("lone cr inside") << QByteArray("@a\rb$") << TextStatus::ok << QByteArray("a\rb") << QByteArray();
    QTest::newRow("bom then text") << QByteArray("\xEF\xBB\xBF@x$") << TextStatus::ok << QByteArray("x")
                                   << QByteArray();
    QTest::newRow("chinese") << QByteArray("@冰比水轻。$") << TextStatus::ok << QByteArray("冰比水轻。")
                             << QByteArray();
    QTest::newRow("zero byte kept") << QByteArray("@a\0b$", 5) << TextStatus::ok << QByteArray("a\0b", 3)
                                    << QByteArray();
    QTest::newRow("exactly cap") << "@" + QByteArray(limits::text_bytes, 't') + "$!" << TextStatus::ok
                                 << QByteArray(limits::text_bytes, 't') << QByteArray("!");
    QTest::newRow("over cap") << "@" + QByteArray(limits::text_bytes + 1, 't') + "$" << TextStatus::over_limit
                              << QByteArray(limits::text_bytes, 't') << QByteArray("t$");
    QTest::newRow("no @") << QByteArray("abc $") << TextStatus::no_start << QByteArray() << QByteArray();
    QTest::newRow("no $") << QByteArray("@abc") << TextStatus::unterminated << QByteArray("abc") << QByteArray();
}

void TestTextReader::delimited_text()
{
    QFETCH(QByteArray, input);
    QFETCH(TextStatus, status);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, rest);
    TextInput in(input);
    static char cell[limits::text_bytes + 1];
    int32_t len = -1;
    QCOMPARE(read_delimited_text(in, cell, len), status);
    QCOMPARE(QByteArray(cell, len), text);
    if (status == TextStatus::ok)
        QCOMPARE(cell[len], '\0');
    QCOMPARE(drain(in), rest);
}

void TestTextReader::delimited_text_stays_in_cell()
{
    // A text far longer than a cell writes nothing past the cell's last byte.
    struct {
        char cell[limits::text_bytes + 1];
        char guard[64];
    } mem;
    std::memset(mem.guard, 0x5A, sizeof mem.guard);
    TextInput in("@" + QByteArray(3 * limits::text_bytes, 'x') + "$");
    int32_t len = 0;
    QCOMPARE(read_delimited_text(in, mem.cell, len), TextStatus::over_limit);
    QCOMPARE(len, limits::text_bytes);
    QCOMPARE(QByteArray(mem.guard, sizeof mem.guard), QByteArray(sizeof mem.guard, 0x5A));
}

QTEST_GUILESS_MAIN(TestTextReader)
#include "test_text_reader.moc"
