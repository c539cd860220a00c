// The problem file loader: what it reads (layouts, encodings, edge forms), what
// it refuses with the store proved unchanged, and what a reload keeps.
#include "exam/problem_loader.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/files.h"
#include "tests/support/store_checksum.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include <algorithm>

namespace {

const QString kPath = QStringLiteral("/考试/第一次/试题.txt");

QByteArray cell(const char *c, int32_t len)
{
    return QByteArray(c, len);
}

// Told apart from the loader's own check: bytes that survive a UTF-8 round trip.
bool round_trips(const QByteArray &b)
{
    return QString::fromUtf8(b).toUtf8() == b;
}

}  // namespace

class TestProblemLoader : public QObject {
    Q_OBJECT
private slots:
    void example_file();
    void reads_data();
    void reads();
    void refusals_data();
    void refusals();
    void file_refusals_data();
    void file_refusals();
    void reload_keeps_rows_beyond_and_marks();
    void exam_asked_before_commit_data();
    void exam_asked_before_commit();
};

void TestProblemLoader::example_file()
{
    auto st = make_blank_store();
    const QString path = QStringLiteral(VELORA_TESTS_DIR "/data/loaders/problem_example.txt");
    const LoadReport r = load_problem_file(*st, path);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(st->xuan_count, 2);
    QCOMPARE(st->unxuan_count, 1);
    QCOMPARE(st->pro_score[1], 3.0);
    QCOMPARE(st->pro_score[2], 3.0);
    QCOMPARE(st->pro_score[3], 4.5);
    QCOMPARE(cell(st->pro_text[1], st->pro_len[1]), QByteArray("What is 1 + 1?  A. 1  B. 2"));
    QCOMPARE(QByteArray(st->pro_text[3]), QByteArray("Explain in one sentence\nwhy ice floats."));
    QCOMPARE(st->pro_len[3], 39);
    QCOMPARE(QByteArray(st->pro_path), path.toLocal8Bit());
}

void TestProblemLoader::reads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("written");
    QTest::addColumn<QVector<double>>("scores");
    QTest::addColumn<QByteArrayList>("texts");

    const QByteArray example = "2 1\n3 3 4.5\nChoice part\n@What is 1 + 1?$\n@Which is larger?$\n"
                               "Written part\n@Explain in one sentence\nwhy ice floats.$\n";
    const QByteArrayList example_texts
        = {"What is 1 + 1?", "Which is larger?", "Explain in one sentence\nwhy ice floats."};
    QTest::newRow("example") << example << 2 << 1 << QVector<double>{3, 3, 4.5} << example_texts;
    QTest::newRow("numbers one per line") << QByteArray("2\n1\n3\n3\n4.5\n@What is 1 + 1?$@Which is larger?$"
                                                        "@Explain in one sentence\nwhy ice floats.$")
                                          << 2 << 1 << QVector<double>{3, 3, 4.5} << example_texts;
    QTest::newRow("number then @") << QByteArray("1 0 5@only$") << 1 << 0 << QVector<double>{5}
                                   << QByteArrayList{"only"};
    QTest::newRow("empty text") << QByteArray("0 2 1 2 @$ @x$") << 0 << 2 << QVector<double>{1, 2}
                                << QByteArrayList{"", "x"};
    QTest::newRow("@ inside") << QByteArray("0 1 1 @a@b$") << 0 << 1 << QVector<double>{1} << QByteArrayList{"a@b"};
    QTest::newRow("stray $ before @") << QByteArray("0 1 1 $ heading $\n@t$") << 0 << 1 << QVector<double>{1}
                                      << QByteArrayList{"t"};
    QTest::newRow("crlf") << QByteArray("1 1\r\n2 3\r\n@a\r\nb$\r\n@c$\r\n") << 1 << 1 << QVector<double>{2, 3}
                          << QByteArrayList{"a\nb", "c"};
    QTest::newRow("bom") << QByteArray("\xEF\xBB\xBF"
                                       "1 0 2 @x$")
                         << 1 << 0 << QVector<double>{2} << QByteArrayList{"x"};
    QTest::newRow("chinese") << QByteArray("0 1 6 二、简答题\n@请用一句话解释为什么冰会浮在水面上。$") << 0 << 1
                             << QVector<double>{6} << QByteArrayList{"请用一句话解释为什么冰会浮在水面上。"};
    QTest::newRow("utf16 le crlf") << utf16_file(
        QString::fromUtf8(example).replace(QLatin1Char('\n'), QLatin1String("\r\n")))
                                   << 2 << 1 << QVector<double>{3, 3, 4.5} << example_texts;
    QTest::newRow("utf16 be chinese") << utf16_file(QStringLiteral("0 1 6 二、简答题\n@冰会浮在水面上。$"), true) << 0
                                      << 1 << QVector<double>{6} << QByteArrayList{"冰会浮在水面上。"};
    const QString ice(3333, QChar(0x51B0));  // 9999 bytes as UTF-8, 6666 as UTF-16
    QTest::newRow("utf16 text at capacity") << utf16_file(QStringLiteral("0 1 1 @") + ice + QStringLiteral("a$")) << 0
                                            << 1 << QVector<double>{1} << QByteArrayList{ice.toUtf8() + "a"};
    QTest::newRow("gbk kept as it is") << "0 1 6 @" + gbk(QStringLiteral("冰会浮在水面上。")) + "$" << 0 << 1
                                       << QVector<double>{6} << QByteArrayList{gbk(QStringLiteral("冰会浮在水面上。"))};
    QTest::newRow("score forms") << QByteArray("0 3 +1e1 .5 0.25@a$@b$@c$") << 0 << 3 << QVector<double>{10, 0.5, 0.25}
                                 << QByteArrayList{"a", "b", "c"};
    QTest::newRow("maximum score 0") << QByteArray("0 1 0 @t$") << 0 << 1 << QVector<double>{0} << QByteArrayList{"t"};
    QTest::newRow("zero counts") << QByteArray("0 0 anything at all") << 0 << 0 << QVector<double>{}
                                 << QByteArrayList{};
    QTest::newRow("tail never read") << QByteArray("1 0 1 @a$ @never closed") << 1 << 0 << QVector<double>{1}
                                     << QByteArrayList{"a"};

    // Every capacity at its limit.
    QByteArray full = "100 100\n";
    QVector<double> scores;
    QByteArrayList texts;
    for (int p = 1; p <= 200; ++p) {
        full += "10000 ";
        scores << 10000;
    }
    for (int p = 1; p <= 200; ++p) {
        texts << (p == 200 ? QByteArray(limits::text_bytes, 'z') : QByteArray::number(p));
        full += "@" + texts.last() + "$\n";
    }
    QTest::newRow("at capacity") << full << 100 << 100 << scores << texts;
}

void TestProblemLoader::reads()
{
    QFETCH(QByteArray, content);
    QFETCH(int, choice);
    QFETCH(int, written);
    QFETCH(QVector<double>, scores);
    QFETCH(QByteArrayList, texts);

    auto st = make_blank_store();
    int commits = 0;
    LoadOptions options;
    options.before_commit = [&] { ++commits; };
    const LoadReport r = load_problem(*st, content, kPath, options);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(commits, 1);
    // Texts that are not UTF-8 are kept, and told once.
    const bool utf8 = std::all_of(texts.begin(), texts.end(), round_trips);
    QCOMPARE(r.notices.size(), utf8 ? 0 : 1);
    if (!utf8) {
        QCOMPARE(int(r.notices[0].kind), int(NoticeKind::not_utf8));
        QVERIFY(load_notice_message(r.notices[0]).contains(kPath));
    }
    QCOMPARE(st->xuan_count, choice);
    QCOMPARE(st->unxuan_count, written);
    // The table's edge pages are shared with pro_score and pro_len.
    std::vector<std::pair<const void *, std::size_t>> touched
        = {{st->pro_text, 1}, {&st->pro_text[limits::questions][limits::text_bytes], 1}};
    for (int p = 1; p <= scores.size(); ++p) {
        QCOMPARE(st->pro_score[p], scores[p - 1]);
        QCOMPARE(cell(st->pro_text[p], st->pro_len[p]), texts[p - 1]);
        QCOMPARE(st->pro_text[p][st->pro_len[p]], '\0');
        touched.push_back({st->pro_text[p], std::size_t(st->pro_len[p]) + 1});
    }
    QCOMPARE(QByteArray(st->pro_path), kPath.toLocal8Bit());
    // Only the bytes of each text and its 0 byte are written, never whole cells.
#ifdef Q_OS_WIN
    QSKIP("which pages are resident is told by mincore, a POSIX call");
#endif
    QVERIFY(resident_pages(st->pro_text, sizeof st->pro_text) <= pages_covering(touched));
    QCOMPARE(QByteArray(st->ans_key), QByteArray());
    QCOMPARE(st->stu_count, 0);
}

void TestProblemLoader::refusals_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    const QString f = QStringLiteral("试题文件“") + kPath + QStringLiteral("”");
    auto row = [&](const char *name, const QByteArray &content, const QString &tail) {
        QTest::newRow(name) << content << kPath << f + tail;
    };
    row("empty file", "", "中缺少选择题数量。");
    row("count not a number", "x 1", "中的选择题数量不是数字。");
    row("written count missing", "2\n", "中缺少非选择题数量。");
    row("written count not a number", "2 y", "中的非选择题数量不是数字。");
    row("negative count", "-1 2", "中的选择题数量（-1）是负数。");
    row("negative written count", "1 -2", "中的非选择题数量（-2）是负数。");
    row("count beyond 32 bits", "99999999999 1", "中的选择题数量超出范围。");
    row("too many choice", "101 0", "中的选择题数量（101）超过上限 100。");
    row("too many written", "0 101", "中的非选择题数量（101）超过上限 100。");
    row("score missing", "1 1 3", "中缺少第 2 题的最高分。");
    row("score not a number", "2 1 3 3 x", "中第 3 题的最高分不是数字。");
    row("score negative", "1 0 -2 @a$", "中第 1 题的最高分（-2）是负数。");
    row("score just below 0", "1 0 -0.5 @a$", "中第 1 题的最高分（-0.5）是负数。");
    row("score absurd", "1 0 10000.5 @a$", "中第 1 题的最高分（10000.5）超过上限 10000 分。");
    row("score overflow", "1 0 1e999 @a$", "中第 1 题的最高分超出范围。");
    row("score bare exponent", "1 0 3e @a$", "中第 1 题的最高分不是数字。");
    row("no @ for last text", "1 1 1 1 @a$ b", "在第 2 题的题目之前就结束了（缺少“@”）。");
    row("no $ for last text", "1 1 1 1 @a$ @b", "中第 2 题的题目没有结束（缺少“$”）。");
    row("text too long", "1 0 1 @" + QByteArray(limits::text_bytes + 1, 'x') + "$", "中第 1 题的题目超过 10000 字节。");
    row("utf16 text over capacity",
        utf16_file(QStringLiteral("1 0 1 @") + QString(3333, QChar(0x51B0)) + QStringLiteral("ab$")),
        "中第 1 题的题目超过 10000 字节。");
    row("utf16 odd length", utf16_file(QStringLiteral("1 0 1 @a$\r\n")) + "\n",
        "以 UTF-16 编码标记开头，但字节数是奇数，文件不完整或已损坏。请重新保存后再导入。");
    row("utf16 unpaired surrogate after the texts", utf16_file(QStringLiteral("1 0 1 @a$ ") + QChar(0xDC00)),
        "以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏。请重新保存后再导入。");
    row("second bom",
        "\xEF\xBB\xBF\xEF\xBB\xBF"
        "1 0 1 @a$",
        "中的选择题数量不是数字。");
    QTest::newRow("placeholders in path") << QByteArray("1 0 x") << QStringLiteral("/t/%1%2.txt")
                                          << QStringLiteral("试题文件“/t/%1%2.txt”中第 1 题的最高分不是数字。");
    QTest::newRow("empty path") << QByteArray("0 0") << QString() << QStringLiteral("没有填写试题文件的路径。");
    const QString long_path = QLatin1Char('/') + QString(limits::path_bytes, QLatin1Char('a'));
    QTest::newRow("path too long") << QByteArray("0 0") << long_path
                                   << QStringLiteral("试题文件路径“%1”太长（超过 1000 字节）。").arg(long_path);
}

void TestProblemLoader::refusals()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, path);
    QFETCH(QString, error);
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    bool before_commit_ran = false;
    LoadOptions options;
    options.before_commit = [&] { before_commit_ran = true; };
    const LoadReport r = load_problem(*st, content, path, options);
    QVERIFY(!r.ok());
    QVERIFY(!before_commit_ran);
    QCOMPARE(load_error_message(r.error), error);
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
}

void TestProblemLoader::file_refusals_data()
{
    QTest::addColumn<QString>("name");   // inside a temporary directory
    QTest::addColumn<QString>("error");  // %1 = the full path
    QTest::newRow("missing") << QStringLiteral("nope.txt") << QStringLiteral("找不到试题文件“%1”。");
    QTest::newRow("directory") << QStringLiteral("dir") << QStringLiteral("试题文件“%1”不是普通文件。");
    QTest::newRow("pipe") << QStringLiteral("fifo") << QStringLiteral("试题文件“%1”不是普通文件。");
    QTest::newRow("nul in path") << QStringLiteral("ok.txt") + QChar(0) + QStringLiteral("x")
                                 << QStringLiteral("试题文件路径“%1”中含有空字符。");
}

void TestProblemLoader::file_refusals()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("dir")));
#ifdef Q_OS_WIN
    if (name == QLatin1String("fifo"))
        QSKIP("named pipes in the file system are POSIX facts");
#else
    QCOMPARE(mkfifo(QFile::encodeName(tmp.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
#endif
    QFile ok(tmp.filePath(QStringLiteral("ok.txt")));
    QVERIFY(ok.open(QIODevice::WriteOnly) && ok.write("0 0") == 3);
    ok.close();
    const QString path = tmp.path() + QLatin1Char('/') + name;

    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    bool before_commit_ran = false;
    LoadOptions options;
    options.before_commit = [&] { before_commit_ran = true; };
    const LoadReport r = load_problem_file(*st, path, options);
    QVERIFY(!r.ok());
    QVERIFY(!before_commit_ran);
    QCOMPARE(load_error_message(r.error), error.arg(path));
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
}

void TestProblemLoader::reload_keeps_rows_beyond_and_marks()
{
    auto st = prefilled_store();  // 2 choice + 2 written questions
    const StoreFingerprint before = store_fingerprint(*st);
    QVERIFY(load_problem(*st, "0 1 8 @新题$", QStringLiteral("/new/problem.txt")).ok());

    QCOMPARE(st->xuan_count, 0);
    QCOMPARE(st->unxuan_count, 1);
    QCOMPARE(st->pro_score[1], 8.0);
    QCOMPARE(QByteArray(st->pro_text[1]), QByteArray("新题"));
    // Rows behind the new count keep the older file's contents.
    QCOMPARE(QByteArray(st->pro_text[2]), QByteArray("c2"));
    QCOMPARE(QByteArray(st->pro_text[4]), QByteArray("第二题"));
    QCOMPARE(st->pro_score[4], 5.5);
    QStringList changed = changed_fields(before, store_fingerprint(*st));
    changed.sort();
    QCOMPARE(changed, QStringList({"pro_len", "pro_path", "pro_score", "pro_text", "unxuan_count", "xuan_count"}));
}

void TestProblemLoader::exam_asked_before_commit_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("same_exam");  // as the prefilled store's: 2 choice + 2 written, maxima 1 1 5 5.5
    QTest::newRow("a text mended") << QByteArray("2 2 1 1 5 5.5 @c1$@c2$@第一题（改）$@第二题$") << true;
    QTest::newRow("maximum written as 5.50") << QByteArray("2 2 1 1 5 5.50 @c1$@c2$@第一题$@第二题$") << true;
    QTest::newRow("another maximum") << QByteArray("2 2 1 1 5 6 @c1$@c2$@第一题$@第二题$") << false;
    QTest::newRow("one written question more")
        << QByteArray("2 3 1 1 5 5.5 1 @c1$@c2$@第一题$@第二题$@第三题$") << false;
    QTest::newRow("a choice question turned written") << QByteArray("1 3 1 1 5 5.5 @c1$@c2$@第一题$@第二题$") << false;
}

void TestProblemLoader::exam_asked_before_commit()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, same_exam);
    auto st = prefilled_store();
    const ExamIdentity current = exam_identity(*st);
    const StoreFingerprint before = store_fingerprint(*st);
    ExamIdentity asked;
    bool before_commit_ran = false;
    LoadOptions options = holding_load({}, asked, before_commit_ran);
    const LoadReport held = load_problem(*st, content, kPath, options);
    QVERIFY(held.held);
    QVERIFY(held.error.ok());
    QVERIFY(!held.ok());
    QVERIFY(!before_commit_ran);
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
    QVERIFY(store_fingerprint(*st) == before);
    QCOMPARE(asked == current, same_exam);
    QCOMPARE(asked.key() == current.key(), same_exam);

    // Let through, the load gives the store exactly the exam it was asked about.
    options.accept_exam = [](const ExamIdentity &) { return true; };
    QVERIFY(load_problem(*st, content, kPath, options).ok());
    QVERIFY(before_commit_ran);
    QVERIFY(exam_identity(*st) == asked);
}

QTEST_GUILESS_MAIN(TestProblemLoader)
#include "test_problem_loader.moc"
