// The roster and answer sheet loader: sheets as real files (layouts, encodings,
// separators, odd and unsafe names, missing and short sheets); then, with the
// sheets handed to the same loader from memory, refusals with the store proved
// unchanged, a failing read, reloads, and the pages a load may touch.
#include "exam/problem_loader.h"
#include "exam/roster_loader.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/failing_device.h"
#include "tests/support/files.h"
#include "tests/support/store_checksum.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include <memory>

using Files = QMap<QString, QByteArray>;  // name relative to the roster's directory -> contents
Q_DECLARE_METATYPE(Files)
Q_DECLARE_METATYPE(SheetMap)

namespace {

const QByteArray kProblem = "2 2 1 1 5 5 @c1$@c2$@w1$@w2$";  // 2 choice + 2 written
const QByteArray kDir = "<dir>", kFifo = "<fifo>";

QByteArray escaped(QByteArray b)
{
    return b.replace('\\', "\\\\").replace('\0', "\\0").replace('\n', "\\n").replace('\r', "\\r");
}

// One line per student: name|choice bytes|text 1|text 2 …
QStringList dump(const ExamStore &st)
{
    QStringList lines;
    for (int s = 1; s <= st.stu_count; ++s) {
        QByteArray line = QByteArray(st.stu_name[s]) + "|" + escaped(QByteArray(st.stu_xuan[s], st.xuan_count));
        for (int q = 1; q <= st.unxuan_count; ++q) {
            if (st.stu_text[s][q][st.stu_len[s][q]] != '\0')
                line += "|<no 0 byte>";
            line += "|" + escaped(QByteArray(st.stu_text[s][q], st.stu_len[s][q]));
        }
        lines << QString::fromUtf8(line);
    }
    return lines;
}

QStringList gap_lines(const QVector<SheetGap> &gaps)
{
    QStringList lines;
    for (const SheetGap &g : gaps)
        lines << sheet_gap_message(g);
    return lines;
}

// What the window tells after the load: the notices, then the sheets' gaps.
QStringList told(const LoadReport &r)
{
    QStringList lines;
    for (const LoadNotice &n : r.notices)
        lines << load_notice_message(n);
    return lines + gap_lines(r.gaps);
}

bool make_files(const QString &dir, const Files &files)
{
    QDir().mkpath(dir);
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString path = dir + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (it.value() == kDir) {
            if (!QDir().mkpath(path))
                return false;
        } else if (it.value() == kFifo) {
#ifdef Q_OS_WIN
            return false;  // Windows has no named pipes in the file system
#else
            if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
                return false;
#endif
        } else {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
                return false;
        }
    }
    return true;
}

}  // namespace

class TestRosterLoader : public QObject {
    Q_OBJECT
private slots:
    void example_class();
    void sheets_data();
    void sheets();
    void separators_data();
    void separators();
    void refusals_data();
    void refusals();
    void file_refusals();
    void sheet_read_error();
    void reload_keeps_marks_and_rows_beyond();
    void writes_only_filled_cells();
    void exam_asked_before_commit_data();
    void exam_asked_before_commit();
};

void TestRosterLoader::example_class()
{
    auto st = make_blank_store();
    QVERIFY(load_problem_file(*st, QStringLiteral(VELORA_TESTS_DIR "/data/loaders/problem_example.txt")).ok());
    const QString roster = QStringLiteral(VELORA_TESTS_DIR "/data/loaders/class/roster.txt");
    const LoadReport r = load_roster_file(*st, roster);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(gap_lines(r.gaps), QStringList());
    QCOMPARE(dump(*st),
             QStringList(
                 {"S01|AB|Because ice is less dense than water.", "S02|BB|It is lighter.", "S03|AA|冰的密度比水小。"}));
    QCOMPARE(QByteArray(st->stu_path), QByteArray(VELORA_TESTS_DIR "/data/loaders/class/S03"));
    QCOMPARE(st->mark_steps, 0);  // the window restarts marking, not the loader
}

namespace {

const Files kAbc = {{"S01", "AB\n@a1$@a2$"}, {"S02", "BA\n@b1$\n@b2$\n"}, {"S03", "CC@c1$@c2$ tail @never"}};

// Layouts, and sheets that are missing or end early.
void add_layout_rows()
{
    QTest::newRow("names over lines") << kProblem << QByteArray("3\nS01 S02\n\n   S03\n") << kAbc
                                      << QStringList{"S01|AB|a1|a2", "S02|BA|b1|b2", "S03|CC|c1|c2"} << QStringList{}
                                      << "S03";
    QTest::newRow("bom and crlf") << kProblem
                                  << QByteArray("\xEF\xBB\xBF"
                                                "2\r\nA\r\nB\r\n")
                                  << Files{{"A",
                                            "\xEF\xBB\xBF"
                                            "xy\r\n@a\r\nb$\r\n@c$"},
                                           {"B", "\r\nz@t1$@t2$"}}
                                  << QStringList{"A|xy|a\\nb|c", "B|\\nz|t1|t2"} << QStringList{} << "B";
    QTest::newRow("chinese") << kProblem << QByteArray("2 张三 李四")
                             << Files{{"张三", "CA\n@因为冰的密度比水小。$\n@150 千米$"}, {"李四", "CB@冰比水轻。$@$"}}
                             << QStringList{"张三|CA|因为冰的密度比水小。|150 千米", "李四|CB|冰比水轻。|"}
                             << QStringList{} << "李四";
    QTest::newRow("same name twice") << kProblem << QByteArray("2 甲 甲") << Files{{"甲", "AB@x$@y$"}}
                                     << QStringList{"甲|AB|x|y", "甲|AB|x|y"} << QStringList{} << "甲";
    QTest::newRow("missing sheet") << kProblem << QByteArray("2 A B") << Files{{"A", "AB@x$@y$"}}
                                   << QStringList{"A|AB|x|y", "B|\\0\\0||"} << QStringList{"B：找不到答卷文件"} << "B";
    QTest::newRow("short choice part")
        << kProblem << QByteArray("1 A") << Files{{"A", "X"}} << QStringList{"A|X\\0||"}
        << QStringList{"A：选择题答案不完整（只有 1 个，应有 2 个）；缺少第 1 至 2 道非选择题答案"} << "A";
    QTest::newRow("empty sheet")
        << kProblem << QByteArray("1 A") << Files{{"A", ""}} << QStringList{"A|\\0\\0||"}
        << QStringList{"A：选择题答案不完整（只有 0 个，应有 2 个）；缺少第 1 至 2 道非选择题答案"} << "A";
    QTest::newRow("ends before text 2") << kProblem << QByteArray("1 A") << Files{{"A", "AB\n@one$\n"}}
                                        << QStringList{"A|AB|one|"} << QStringList{"A：缺少第 2 道非选择题答案"} << "A";
    QTest::newRow("unterminated text") << kProblem << QByteArray("2 A B") << Files{{"A", "AB\n@one"}, {"B", "BB@1$@2$"}}
                                       << QStringList{"A|AB||", "B|BB|1|2"}
                                       << QStringList{"A：第 1 道非选择题答案不完整；缺少第 2 道非选择题答案"} << "B";
}

// Names that must not or cannot name a file, and the capacities.
void add_name_rows()
{
    const QString bad_name = QStringLiteral("：名字含有“/”或“\\”，或者是“.”“..”，不能用作答卷文件名");
    QTest::newRow("names leading outside")
        << kProblem << QByteArray("5 ../x .. . a\\b ok")
        << Files{{"../x", "AB@outside$@!$"}, {"a\\b", "AB@bs$@!$"}, {"ok", "OK@1$@2$"}}
        << QStringList{"../x|\\0\\0||", "..|\\0\\0||", ".|\\0\\0||", "a\\b|\\0\\0||", "ok|OK|1|2"}
        << QStringList{"../x" + bad_name, ".." + bad_name, "." + bad_name, "a\\b" + bad_name} << "ok";
    QTest::newRow("sheet is a directory") << kProblem << QByteArray("1 D") << Files{{"D", kDir}}
                                          << QStringList{"D|\\0\\0||"} << QStringList{"D：答卷文件不是普通文件"} << "D";
    QTest::newRow("sheet is a pipe") << kProblem << QByteArray("1 P") << Files{{"P", kFifo}}
                                     << QStringList{"P|\\0\\0||"} << QStringList{"P：答卷文件不是普通文件"} << "P";
    const QByteArray longest(limits::name_bytes, 'n');
    QTest::newRow("name at capacity") << kProblem << "1 " + longest << Files{{QString::fromLatin1(longest), "AB@x$@y$"}}
                                      << QStringList{QString::fromLatin1(longest) + "|AB|x|y"} << QStringList{}
                                      << QString::fromLatin1(longest);
    QByteArray full = QByteArray::number(limits::students);
    QStringList everyone, unsheeted;
    for (int s = 1; s <= limits::students; ++s) {
        full += " s" + QByteArray::number(s);
        everyone << QStringLiteral("s%1|\\0\\0||").arg(s);
        unsheeted << QStringLiteral("s%1：找不到答卷文件").arg(s);
    }
    QTest::newRow("students at capacity")
        << kProblem << full << Files{} << everyone << unsheeted << QStringLiteral("s%1").arg(limits::students);
}

// What the load tells: names beyond the count, other encodings; and a roster
// before any problem file.
void add_notice_rows()
{
    const QString roster_file = QStringLiteral("学生名单文件“%1”");
    QTest::newRow("no students") << kProblem << QByteArray("0 S01") << kAbc << QStringList{}
                                 << QStringList{roster_file
                                                + "中的人数是 0，后面却列出了 1 个名字；只导入了前 0 名学生，"
                                                  "没有导入：S01。请核对人数。"}
                                 << QString();
    QTest::newRow("more names than the count")
        << kProblem << QByteArray("2 A B\nC D E F G H") << Files{{"A", "AB@x$@y$"}, {"B", "BA@1$@2$"}}
        << QStringList{"A|AB|x|y", "B|BA|1|2"}
        << QStringList{roster_file
                       + "中的人数是 2，后面却列出了 8 个名字；只导入了前 2 "
                         "名学生，没有导入：C、D、E、F、G……。请核对人数。"}
        << "B";
    QTest::newRow("utf16 roster and sheets")
        << kProblem << utf16_file(QStringLiteral("2\r\n张三\t李四\r\n"), true)
        << Files{{"张三", utf16_file(QStringLiteral("CA\r\n@因为冰的密度比水小。$\r\n@150 千米$\r\n"))},
                 {"李四", utf16_file(QStringLiteral("甲乙@冰比水轻。$@$"), true)}}
        // Choice answers are the first bytes as UTF-8: here half a character, which is no notice.
        << QStringList{"张三|CA|因为冰的密度比水小。|150 千米", "李四|\xE7\x94|冰比水轻。|"} << QStringList{} << "李四";
    // Characters beyond the BMP come as surrogate pairs and must leave as their own UTF-8.
    QTest::newRow("utf16 names and answers beyond the BMP")
        << kProblem << utf16_file(QStringLiteral("2\r\n𠮷田\t😀李\r\n"))
        << Files{{"𠮷田", utf16_file(QStringLiteral("AB\r\n@答😀案$\r\n@𠮷$\r\n"))},
                 {"😀李", utf16_file(QStringLiteral("BA@𩸽$@🌸$"), true)}}
        << QStringList{"𠮷田|AB|答😀案|𠮷", "😀李|BA|𩸽|🌸"} << QStringList{} << "😀李";
    // A damaged sheet is a gap, never a refusal, even with a text beyond capacity read before the damage.
    QTest::newRow("damaged utf16 sheet")
        << kProblem << QByteArray("3 A B C")
        << Files{{"A", utf16_file(QStringLiteral("AB@x$@y$")) + "!"},
                 {"B", utf16_file(QStringLiteral("BB@1$@") + QChar(0xD800) + "$")},
                 {"C",
                  utf16_file(QStringLiteral("CC@") + QString(limits::text_bytes + 1, QLatin1Char('t')) + "$@$"
                             + QString(140000, QLatin1Char('x')))
                      + "!"}}  // the damage a read later
        << QStringList{"A|\\0\\0||", "B|\\0\\0||", "C|\\0\\0||"}
        << QStringList{"A：答卷文件以 UTF-16 编码标记开头，但字节数是奇数，文件已损坏",
                       "B：答卷文件以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏",
                       "C：答卷文件以 UTF-16 编码标记开头，但字节数是奇数，文件已损坏"}
        << "C";
    const QByteArray zhang = gbk(QStringLiteral("张三"));
    const QString save_again
        = QStringLiteral("请用记事本打开它，选择“文件”→“另存为”，在“编码”中选择 UTF-8，保存后重新导入。");
    QTest::newRow("gbk roster")
        << kProblem << "2 " + zhang + " OK" << Files{{"OK", "AB@1$@2$"}}
        << QStringList{QString::fromUtf8(zhang) + "|\\0\\0||", "OK|AB|1|2"}
        << QStringList{roster_file
                           + "似乎不是 UTF-8 编码（可能是 GBK），其中的文字会显示成乱码。学生名字不是 UTF-8，"
                             "所以按这些名字找不到答卷文件：这就是下面 1 名学生“找不到答卷文件”的原因。"
                           + save_again,
                       QString::fromUtf8(zhang) + "：找不到答卷文件"}
        << "OK";
    QTest::newRow("gbk sheet")
        << kProblem << QByteArray("2 A B")
        << Files{{"A", "AB@" + gbk(QStringLiteral("冰比水轻。")) + "$@y$"}, {"B", "BA@1$@2$"}}
        << QStringList{"A|AB|" + QString::fromUtf8(gbk(QStringLiteral("冰比水轻。"))) + "|y", "B|BA|1|2"}
        << QStringList{"以下 1 名学生的答卷文件似乎不是 UTF-8 编码（可能是 GBK），答案会显示成乱码：A。" + save_again}
        << "B";
    QTest::newRow("before the problem file") << QByteArray() << QByteArray("2 A B") << Files{{"A", "AB@x$"}}
                                             << QStringList{"A|", "B|"} << QStringList{"B：找不到答卷文件"} << "B";
}

}  // namespace

void TestRosterLoader::sheets_data()
{
    QTest::addColumn<QByteArray>("problem");  // empty: no problem file loaded
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("students");
    // The notices (%1: the roster's path), then one line per student whose sheet lacks something.
    QTest::addColumn<QStringList>("gaps");
    QTest::addColumn<QString>("last_path");  // stu_path relative to the roster's directory
    add_layout_rows();
    add_name_rows();
    add_notice_rows();
}

void TestRosterLoader::sheets()
{
    QFETCH(QByteArray, problem);
    QFETCH(QByteArray, roster);
    QFETCH(Files, files);
    QFETCH(QStringList, students);
    QFETCH(QStringList, gaps);
    QFETCH(QString, last_path);

#ifdef Q_OS_WIN
    if (files.values().contains(kFifo))
        QSKIP("named pipes in the file system are POSIX facts");
#endif
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/班级");
    QVERIFY(make_files(dir, files));
    QVERIFY(make_files(dir, {{"roster.txt", roster}}));
    const QString path = dir + QStringLiteral("/roster.txt");

    auto st = make_blank_store();
    if (!problem.isEmpty())
        QVERIFY(load_problem(*st, problem, QStringLiteral("/p.txt")).ok());
    const LoadReport r = load_roster_file(*st, path);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(st->stu_count, students.size());
    QCOMPARE(dump(*st), students);
    QStringList expected_told;
    for (const QString &line : gaps)
        expected_told << QString(line).replace(QLatin1String("%1"), path);
    QCOMPARE(told(r), expected_told);
    const QString expected_path = last_path.isEmpty() ? path : dir + QLatin1Char('/') + last_path;
    QCOMPARE(QByteArray(st->stu_path), expected_path.toLocal8Bit());  // the store keeps the local bytes
    // 缺考: exactly the students told "找不到答卷文件", not those whose sheets fell short.
    QStringList absent, want_absent;
    for (int s = 1; s <= st->stu_count; ++s)
        if (st->stu_absent[s])
            absent << QString::fromUtf8(st->stu_name[s]);
    const QString not_found = QStringLiteral("：找不到答卷文件");
    for (const QString &line : gaps)
        if (line.endsWith(not_found))
            want_absent << line.chopped(not_found.size());
    QCOMPARE(absent, want_absent);
}

void TestRosterLoader::separators_data()
{
    // Paths relative to a temporary directory; on this system only "/"
    // separates, so a "\" in a name makes the "\" form checkable: the sheet
    // must be looked up right after the last separator of either kind.
    QTest::addColumn<QString>("roster");  // as typed, relative to the temporary directory
    QTest::addColumn<QString>("cwd");     // working directory for the load; empty: unchanged
    QTest::addColumn<QString>("sheet");   // where the real sheet lies
    QTest::addColumn<QString>("decoy");   // a sheet that must not be read; may be empty
    QTest::newRow("slash") << "cls/roster.txt" << QString() << "cls/S01" << QString();
    QTest::newRow("backslash") << "cls\\roster.txt" << QString() << "cls\\S01"
                               << "cls/S01";
    QTest::newRow("backslash after slash") << "a\\b/roster.txt" << QString() << "a\\b/S01"
                                           << "a\\S01";
    QTest::newRow("slash after backslash") << "a/b\\c\\roster.txt" << QString() << "a/b\\c\\S01"
                                           << "a/S01";
    QTest::newRow("chinese directories") << "考试/一班/名单.txt" << QString() << "考试/一班/S01"
                                         << "考试/S01";
    QTest::newRow("no separator") << "roster.txt"
                                  << "cls"
                                  << "cls/S01"
                                  << "S01";
}

void TestRosterLoader::separators()
{
    QFETCH(QString, roster);
    QFETCH(QString, cwd);
    QFETCH(QString, sheet);
    QFETCH(QString, decoy);
    QTemporaryDir tmp;
    Files files = {{sheet, "OK@right$"}};
    files.insert(cwd.isEmpty() ? roster : cwd + QLatin1Char('/') + roster, "1 S01");
    if (!decoy.isEmpty())
        files.insert(decoy, "NO@wrong$");
    QVERIFY(make_files(tmp.path(), files));

    const QString old_cwd = QDir::currentPath();
    const QString typed = cwd.isEmpty() ? tmp.path() + QLatin1Char('/') + roster : roster;
    if (!cwd.isEmpty())
        QVERIFY(QDir::setCurrent(tmp.path() + QLatin1Char('/') + cwd));
    auto st = make_blank_store();
    QVERIFY(load_problem(*st, "2 1 1 1 1 @a$@b$@c$", QStringLiteral("/p.txt")).ok());
    const LoadReport r = load_roster_file(*st, typed);
    QDir::setCurrent(old_cwd);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(gap_lines(r.gaps), QStringList());
    QCOMPARE(dump(*st), QStringList{"S01|OK|right"});
    const QString expected = cwd.isEmpty() ? tmp.path() + QLatin1Char('/') + sheet : QStringLiteral("S01");
    QCOMPARE(QByteArray(st->stu_path), expected.toLocal8Bit());
}

void TestRosterLoader::refusals_data()
{
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<QString>("path");
    QTest::addColumn<SheetMap>("sheets");
    QTest::addColumn<QString>("error");
    const QString p = QStringLiteral("/班级/名单.txt");
    const QString f = QStringLiteral("学生名单文件“") + p + QStringLiteral("”");
    QTest::newRow("count missing") << QByteArray("\n") << p << SheetMap() << f + "中缺少学生人数。";
    QTest::newRow("count not a number") << QByteArray("三 A B C") << p << SheetMap() << f + "中的学生人数不是数字。";
    QTest::newRow("count negative") << QByteArray("-1") << p << SheetMap() << f + "中的学生人数（-1）是负数。";
    QTest::newRow("count too big") << QByteArray("1001") << p << SheetMap()
                                   << f + "中的学生人数（1001）超过上限 1000。";
    QTest::newRow("count beyond 32 bits")
        << QByteArray("4294967296 A") << p << SheetMap() << f + "中的学生人数超出范围。";
    QTest::newRow("ends before last name")
        << QByteArray("3 A B\n") << p << SheetMap() << f + "在第 3 名学生的名字之前就结束了（人数为 3）。";
    QTest::newRow("name too long") << "2 A " + QByteArray(101, 'n') << p << SheetMap()
                                   << f + "中第 2 名学生的名字超过 100 字节。";
    QTest::newRow("sheet text too long")
        << QByteArray("2 A 乙") << p
        << SheetMap{{"/班级/A", "AB@1$@2$"}, {"/班级/乙", "AB@1$@" + QByteArray(limits::text_bytes + 1, 'x') + "$"}}
        << QStringLiteral("学生“乙”的答卷文件“/班级/乙”中第 2 道非选择题答案超过 10000 字节。");
    const QString deep = QLatin1Char('/') + QString(990, QLatin1Char('d')) + QStringLiteral("/r.txt");
    QTest::newRow("sheet path too long")
        << QByteArray("2 A ABCDEFGHIJ") << deep << SheetMap()
        << QStringLiteral("学生名单文件“%1”中学生“ABCDEFGHIJ”的答卷文件路径太长（超过 1000 字节）。").arg(deep);
}

void TestRosterLoader::refusals()
{
    QFETCH(QByteArray, roster);
    QFETCH(QString, path);
    QFETCH(SheetMap, sheets);
    QFETCH(QString, error);
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    bool before_commit_ran = false;
    LoadOptions options = sheets_in_memory(sheets);
    options.before_commit = [&] { before_commit_ran = true; };
    const LoadReport r = load_roster(*st, roster, path, options);
    QVERIFY(!r.ok());
    QVERIFY(!before_commit_ran);
    QCOMPARE(load_error_message(r.error), error);
    QCOMPARE(gap_lines(r.gaps), QStringList());
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
}

void TestRosterLoader::file_refusals()
{
    QTemporaryDir tmp;
    auto st = prefilled_store();
    const StoreFingerprint before = store_fingerprint(*st);
    const QString missing = tmp.path() + QStringLiteral("/名单.txt");
    QCOMPARE(load_error_message(load_roster_file(*st, missing).error),
             QStringLiteral("找不到学生名单文件“%1”。").arg(missing));
    QCOMPARE(load_error_message(load_roster_file(*st, tmp.path()).error),
             QStringLiteral("学生名单文件“%1”不是普通文件。").arg(tmp.path()));
    QCOMPARE(load_error_message(load_roster_file(*st, QString()).error),
             QStringLiteral("没有填写学生名单文件的路径。"));
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
}

void TestRosterLoader::sheet_read_error()
{
    // The first sheet fails half way; the second reads whole.
    QStringList asked;
    LoadOptions options;
    options.open_sheet = [&asked](const QString &name) {
        asked << name;
        OpenedSheet out;
        out.status = OpenStatus::ok;
        if (name.endsWith(QLatin1Char('A'))) {
            out.device = std::make_unique<FailingDevice>("AB@partial$");
        } else {
            auto good = std::make_unique<QBuffer>();
            good->setData("BB@1$@2$");
            good->open(QIODevice::ReadOnly);
            out.device = std::move(good);
        }
        return out;
    };
    auto st = make_blank_store();
    QVERIFY(load_problem(*st, kProblem, QStringLiteral("/p.txt")).ok());
    const LoadReport r = load_roster(*st, "2 A B", QStringLiteral("/c/r.txt"), options);
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(asked, QStringList({"/c/A", "/c/B"}));
    QCOMPARE(gap_lines(r.gaps), QStringList{"A：读取答卷文件时出错"});
    QCOMPARE(dump(*st), QStringList({"A|\\0\\0||", "B|BB|1|2"}));
    QCOMPARE(QByteArray(st->stu_path), QByteArray("/c/B"));
}

void TestRosterLoader::reload_keeps_marks_and_rows_beyond()
{
    auto st = prefilled_store();  // students 甲 乙 丙 with marks
    const StoreFingerprint before = store_fingerprint(*st);
    const LoadReport r = load_roster(*st, "2 丁 戊", QStringLiteral("/new/r.txt"),
                                     sheets_in_memory({{"/new/丁", "BB@丁1$@丁2$"}, {"/new/戊", "AA@戊1$@戊2$"}}));
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    QCOMPARE(dump(*st), QStringList({"丁|BB|丁1|丁2", "戊|AA|戊1|戊2"}));
    // Student 3 of the older roster is still there behind the new count.
    QCOMPARE(QByteArray(st->stu_name[3]), QByteArray("丙"));
    QCOMPARE(QByteArray(st->stu_text[3][2]), QByteArray("丙2"));
    QCOMPARE(st->stu_score[2][4], 1.0);
    QStringList changed = changed_fields(before, store_fingerprint(*st));
    changed.sort();
    QCOMPARE(changed, QStringList({"stu_count", "stu_len", "stu_name", "stu_path", "stu_text", "stu_xuan"}));
}

void TestRosterLoader::writes_only_filled_cells()
{
    auto st = make_blank_store();
    QVERIFY(load_problem(*st, kProblem, QStringLiteral("/p.txt")).ok());
    const QByteArray long_text(5000, 'L');
    const LoadReport r = load_roster(
        *st, "3 A B C", QStringLiteral("/c/r.txt"),
        sheets_in_memory(
            {{"/c/A", "AB@" + long_text + "$@a$"}, {"/c/B", "AB@b$@b$"}, {"/c/C", "AB@c$@" + long_text + "$"}}));
    QVERIFY2(r.ok(), qPrintable(load_error_message(r.error)));
    std::vector<std::pair<const void *, std::size_t>> written
        = {{st->stu_text, 1}, {&st->stu_text[limits::students][limits::written][limits::text_bytes], 1}};
    for (int s = 1; s <= 3; ++s)
        for (int q = 1; q <= 2; ++q)
            written.push_back({st->stu_text[s][q], std::size_t(st->stu_len[s][q]) + 1});
#ifdef Q_OS_WIN
    QSKIP("which pages are resident is told by mincore, a POSIX call");
#endif
    QVERIFY(resident_pages(st->stu_text, sizeof st->stu_text) <= pages_covering(written));
}

void TestRosterLoader::exam_asked_before_commit_data()
{
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<bool>("same_exam");  // as the prefilled store's roster 甲 乙 丙
    QTest::newRow("the same roster again") << QByteArray("3 甲 乙 丙") << true;
    QTest::newRow("laid out otherwise") << QByteArray("3\n甲\n乙\n丙\n") << true;
    QTest::newRow("another order") << QByteArray("3 乙 甲 丙") << false;
    QTest::newRow("another name") << QByteArray("3 甲 乙 丁") << false;
    QTest::newRow("one student fewer") << QByteArray("2 甲 乙") << false;
    QTest::newRow("one student more") << QByteArray("4 甲 乙 丙 丁") << false;
}

void TestRosterLoader::exam_asked_before_commit()
{
    QFETCH(QByteArray, roster);
    QFETCH(bool, same_exam);
    auto st = prefilled_store();
    const ExamIdentity current = exam_identity(*st);
    const StoreFingerprint before = store_fingerprint(*st);
    ExamIdentity asked;
    bool before_commit_ran = false;
    // 甲's sheet now complete, the others missing: sheets do not make the exam.
    LoadOptions options = holding_load(sheets_in_memory({{"/old/甲", "AB@甲1$@甲2$"}}), asked, before_commit_ran);
    const LoadReport held = load_roster(*st, roster, QStringLiteral("/old/roster.txt"), options);
    QVERIFY(held.held);
    QVERIFY(held.error.ok());
    QVERIFY(!held.ok());
    QVERIFY(!before_commit_ran);
    QCOMPARE(gap_lines(held.gaps), QStringList());
    QCOMPARE(changed_fields(before, store_fingerprint(*st)), QStringList());
    QVERIFY(store_fingerprint(*st) == before);
    QCOMPARE(asked == current, same_exam);

    options.accept_exam = [](const ExamIdentity &) { return true; };
    QVERIFY(load_roster(*st, roster, QStringLiteral("/old/roster.txt"), options).ok());
    QVERIFY(exam_identity(*st) == asked);
}

QTEST_GUILESS_MAIN(TestRosterLoader)
#include "test_roster_loader.moc"
