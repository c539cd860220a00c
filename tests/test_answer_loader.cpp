// The answer file loader: key and standard answers in their layouts and
// encodings, the key's bytes behind its end, refusals with the store proved
// unchanged, and a reload that keeps marks.
#include "exam/answer_loader.h"
#include "exam/problem_loader.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/files.h"
#include "tests/support/store_checksum.h"

#include <QtTest>

#include <cstring>

namespace {

const QString kPath = QStringLiteral("/考试/答案.txt");

}  // namespace

class TestAnswerLoader : public QObject {
    Q_OBJECT
private slots:
    void example_file();
    void reads_data();
    void reads();
    void shorter_key_keeps_older_bytes_behind_it();
    void refusals_data();
    void refusals();
    void reload_keeps_marks();
    void held_keeps_store();
};

void TestAnswerLoader::example_file()
{
    auto st = make_blank_store();
    QVERIFY(load_problem_file(*st, QStringLiteral(VELORA_TESTS_DIR "/data/loaders/problem_example.txt")).ok());
    const QString path = QStringLiteral(VELORA_TESTS_DIR "/data/loaders/answer_example.txt");
    const LoadReport r = load_answer_file(*st, path);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(QByteArray(st->ans_key), QByteArray("AB"));
    QCOMPARE(QByteArray(st->ans_text[1]), QByteArray("Ice is less dense than water, so it floats."));
    QCOMPARE(st->ans_len[1], 43);
    QCOMPARE(QByteArray(st->ans_path), path.toLocal8Bit());
}

void TestAnswerLoader::reads_data()
{
    QTest::addColumn<QByteArray>("problem");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArrayList>("texts");
    const QByteArray one = "1 1 1 1 @c$@w$", two = "0 2 1 1 @a$@b$";
    QTest::newRow("key only, no written questions")
        << QByteArray("4 0 1 1 1 1 @a$@b$@c$@d$") << QByteArray("ABCD") << QByteArray("ABCD") << QByteArrayList{};
    QTest::newRow("before any problem file")
        << QByteArray() << QByteArray("CCA\n@ignored$") << QByteArray("CCA") << QByteArrayList{};
    QTest::newRow("key then texts") << two << QByteArray("A\n@one$\n@two\nlines$") << QByteArray("A")
                                    << QByteArrayList{"one", "two\nlines"};
    QTest::newRow("key longer than choices")
        << one << QByteArray("ABCDEFG @x$") << QByteArray("ABCDEFG") << QByteArrayList{"x"};
    QTest::newRow("key at @") << two << QByteArray("@k1$ @s1$ @s2$") << QByteArray("@k1$")
                              << QByteArrayList{"s1", "s2"};
    QTest::newRow("junk between texts") << two << QByteArray("B\nnotes $ here\n@$ more @ x$") << QByteArray("B")
                                        << QByteArrayList{"", " x"};
    QTest::newRow("crlf") << two << QByteArray("AB\r\n@a\r\nb$\r\n@c$") << QByteArray("AB")
                          << QByteArrayList{"a\nb", "c"};
    QTest::newRow("bom") << one
                         << QByteArray("\xEF\xBB\xBF"
                                       "D @x$")
                         << QByteArray("D") << QByteArrayList{"x"};
    QTest::newRow("chinese") << one << QByteArray("甲 @冰的密度比水小，所以冰会浮在水面上。$") << QByteArray("甲")
                             << QByteArrayList{"冰的密度比水小，所以冰会浮在水面上。"};
    QTest::newRow("utf16 le crlf") << two << utf16_file(QStringLiteral("CCA\r\n@冰的密度比水小。$\r\n@b$"))
                                   << QByteArray("CCA") << QByteArrayList{"冰的密度比水小。", "b"};
    QTest::newRow("gbk standard answer") << one << "A @" + gbk(QStringLiteral("冰的密度比水小。")) + "$"
                                         << QByteArray("A") << QByteArrayList{gbk(QStringLiteral("冰的密度比水小。"))};
    QTest::newRow("gbk key") << one << gbk(QStringLiteral("甲")) + " @x$" << gbk(QStringLiteral("甲"))
                             << QByteArrayList{"x"};
    QTest::newRow("key at capacity") << one << QByteArray(100, 'K') + " @" + QByteArray(limits::text_bytes, 't') + "$"
                                     << QByteArray(100, 'K') << QByteArrayList{QByteArray(limits::text_bytes, 't')};
}

void TestAnswerLoader::reads()
{
    QFETCH(QByteArray, problem);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, key);
    QFETCH(QByteArrayList, texts);
    auto st = make_blank_store();
    if (!problem.isEmpty())
        QVERIFY(load_problem(*st, problem, QStringLiteral("/p.txt")).ok());
    const LoadReport r = load_answer(*st, content, kPath);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    // A key or answers that are not UTF-8 are kept, and told once.
    bool utf8 = QString::fromUtf8(key).toUtf8() == key;
    for (const QByteArray &t : texts)
        utf8 = utf8 && QString::fromUtf8(t).toUtf8() == t;
    QCOMPARE(r.notices.size(), utf8 ? 0 : 1);
    QCOMPARE(QByteArray(st->ans_key), key);
    for (int q = 1; q <= texts.size(); ++q) {
        QCOMPARE(QByteArray(st->ans_text[q], st->ans_len[q]), texts[q - 1]);
        QCOMPARE(st->ans_text[q][st->ans_len[q]], '\0');
    }
    QCOMPARE(st->ans_len[texts.size() + 1], 0);  // nothing read past the count
    QCOMPARE(QByteArray(st->ans_path), kPath.toLocal8Bit());
}

void TestAnswerLoader::shorter_key_keeps_older_bytes_behind_it()
{
    auto st = make_blank_store();
    QVERIFY(load_answer(*st, "ABCD", kPath).ok());
    QVERIFY(load_answer(*st, "X", kPath).ok());
    QCOMPARE(QByteArray(st->ans_key, 5), QByteArray("X\0CD\0", 5));
}

void TestAnswerLoader::refusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    const QString f = QStringLiteral("答案文件“") + kPath + QStringLiteral("”");
    // The prefilled store has 2 written questions.
    QTest::newRow("empty file") << QByteArray() << f + "中没有选择题答案。";
    QTest::newRow("only blanks") << QByteArray(" \r\n\t") << f + "中没有选择题答案。";
    QTest::newRow("key too long") << QByteArray(101, 'A') + " @a$@b$" << f + "中的选择题答案超过 100 字节。";
    QTest::newRow("no @ for last text") << QByteArray("AB @a$ b")
                                        << f + "在第 2 道非选择题的标准答案之前就结束了（缺少“@”）。";
    QTest::newRow("no texts at all") << QByteArray("AB") << f + "在第 1 道非选择题的标准答案之前就结束了（缺少“@”）。";
    QTest::newRow("no $") << QByteArray("AB @a$ @b") << f + "中第 2 道非选择题的标准答案没有结束（缺少“$”）。";
    QTest::newRow("text too long") << "AB @" + QByteArray(limits::text_bytes + 1, 'x') + "$ @b$"
                                   << f + "中第 1 道非选择题的标准答案超过 10000 字节。";
}

void TestAnswerLoader::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    const LoadReport r = load_answer(*st, content, kPath);
    QVERIFY(!r.ok());
    QCOMPARE(load_error_message(r.error), error);
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());

    // The file form refuses the same way.
    const LoadReport missing = load_answer_file(*st, QStringLiteral("/no/such/答案.txt"));
    QCOMPARE(load_error_message(missing.error), QStringLiteral("找不到答案文件“/no/such/答案.txt”。"));
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
}

void TestAnswerLoader::reload_keeps_marks()
{
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    QVERIFY(load_answer(*st, "BA @新一$ @新二$", QStringLiteral("/new/answer.txt")).ok());
    QCOMPARE(QByteArray(st->ans_text[2]), QByteArray("新二"));
    QStringList changed = changed_fields(before, store_fingerprint(*st));
    changed.sort();
    QCOMPARE(changed, QStringList({"ans_key", "ans_len", "ans_path", "ans_text"}));
}

void TestAnswerLoader::held_keeps_store()
{
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    ExamIdentity asked;
    LoadOptions options;
    options.accept_exam = [&](const ExamIdentity &next) {
        asked = next;
        return false;
    };
    const LoadReport held = load_answer(*st, "BA @新一$ @新二$", kPath, options);
    QVERIFY(held.held);
    QVERIFY(held.error.ok());
    QVERIFY(store_fingerprint(*st) == before);
    // An answer file never changes the exam.
    QVERIFY(asked == exam_identity(*st));
}

QTEST_GUILESS_MAIN(TestAnswerLoader)
#include "test_answer_loader.moc"
