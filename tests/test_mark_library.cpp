// The mark library: whose marks a load brings back, what a reopened library
// holds, exports and 不恢复, a damaged, unwritable or newer file, the exam's
// lock, and the journals velora 1.0.0 left.
#include "marking/legacy_journal.h"
#include "marking/mark_library.h"
#include "tests/support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sqlite3.h>

#include <cstring>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// A 1 + 3 question paper: "a|b|c|d" its texts, "2 5 10 4" its maxima.
ExamIdentity exam_of(const QString &names, const QString &texts = QStringLiteral("a|b|c|d"),
                     const QString &maxima = QStringLiteral("2 5 10 4"))
{
    ExamIdentity id;
    for (const QString &n : names.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        id.names << n.toUtf8();
    id.xuan_count = 1;
    id.unxuan_count = 3;
    for (const QString &m : maxima.split(QLatin1Char(' ')))
        id.max_scores << m.toDouble();
    for (const QString &t : texts.split(QLatin1Char('|')))
        id.texts << t.toUtf8();
    id.paper_name = QStringLiteral("期中");
    id.class_name = QStringLiteral("一班");
    return id;
}

// "name:q=value" for every mark in view, by roster position.
QString marks_text(const ExamMarks &m, const ExamIdentity &id)
{
    QStringList out;
    for (const LibraryMark &x : m.marks)
        out << QStringLiteral("%1:%2=%3").arg(QString::fromUtf8(id.names.value(x.student - 1))).arg(x.question).arg(x.value);
    out.sort();
    return out.join(QLatin1Char(' '));
}

// Opens the exam `id` gives, marking it when `marks` says "s q value|…".
bool open_exam(MarkLibrary &lib, const ExamIdentity &id, const QString &marks = QString())
{
    const ExamMatch m = lib.match(id);
    if (!lib.claim(m.exam).ok() || !lib.begin(id, m).ok())
        return false;
    for (const QString &step : marks.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QStringList f = step.split(QLatin1Char(' '));
        if (!lib.record_mark(f[0].toInt(), f[1].toInt(), f[2].toDouble()).ok())
            return false;
    }
    return true;
}



}  // namespace

Q_DECLARE_METATYPE(ExamIdentity)

class TestMarkLibrary : public QObject {
    Q_OBJECT
private slots:
    void whose_marks_data();
    void whose_marks();
    void kept_on_disk();
    void export_and_revert();
    void history();
    void faults_data();
    void faults();
    void disk_fills_up();
    void lock();
    void legacy_journal_data();
    void legacy_journal();
};

void TestMarkLibrary::whose_marks_data()
{
    QTest::addColumn<ExamIdentity>("next");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("marks");  // what the next exam brings back
    const QString all = QStringLiteral("张三:1=2.5 李四:2=1 王五:3=3.5");
    const int same = int(ExamMatchKind::same), mended = int(ExamMatchKind::mended), other = int(ExamMatchKind::other);
    QTest::newRow("the same exam") << exam_of(QStringLiteral("张三 李四 王五")) << same << all;
    QTest::newRow("roster reordered") << exam_of(QStringLiteral("王五 张三 李四")) << same << all;
    QTest::newRow("a transfer student added") << exam_of(QStringLiteral("张三 新生 李四 王五")) << same << all;
    QTest::newRow("a student gone") << exam_of(QStringLiteral("张三 李四")) << same
                                    << QStringLiteral("张三:1=2.5 李四:2=1");
    QTest::newRow("quiz 2: the same shape, other questions")
        << exam_of(QStringLiteral("张三 李四 王五"), QStringLiteral("e|f|g|h")) << other << QString();
    QTest::newRow("one maximum 4.5 instead of 4")
        << exam_of(QStringLiteral("张三 李四 王五"), QStringLiteral("a|b|c|d"), QStringLiteral("2 5 10 4.5")) << other
        << QString();
    QTest::newRow("another class") << exam_of(QStringLiteral("T01 T02")) << other << QString();
    QTest::newRow("under half of the roster in common") << exam_of(QStringLiteral("张三 T01 T02")) << other << QString();
    QTest::newRow("one question mended") << exam_of(QStringLiteral("张三 李四 王五"), QStringLiteral("a|b|C|d"))
                                         << mended << all;
    QTest::newRow("half mended") << exam_of(QStringLiteral("张三 李四 王五"), QStringLiteral("A|b|C|d")) << mended
                                 << all;
    QTest::newRow("three of four changed") << exam_of(QStringLiteral("张三 李四 王五"), QStringLiteral("A|B|C|d"))
                                           << other << QString();
}

void TestMarkLibrary::whose_marks()
{
    QFETCH(ExamIdentity, next);
    QFETCH(int, kind);
    QFETCH(QString, marks);
    QTemporaryDir tmp;
    const ExamIdentity first = exam_of(QStringLiteral("张三 李四 王五"));
    {
        MarkLibrary lib;
        QVERIFY(lib.open(tmp.path()).ok());
        QCOMPARE(int(lib.match(first).kind), int(ExamMatchKind::other));
        QVERIFY(open_exam(lib, first, QStringLiteral("1 1 2.5|2 2 1|3 3 3.5")));
    }
    MarkLibrary lib;
    QVERIFY(lib.open(tmp.path()).ok());
    const ExamMatch m = lib.match(next);
    QCOMPARE(int(m.kind), kind);
    QVector<int> changed;
    for (int p = 1; m.kind == ExamMatchKind::mended && p <= next.texts.size(); ++p)
        if (next.texts[p - 1] != first.texts[p - 1])
            changed << p;
    QCOMPARE(m.changed, changed);
    QVERIFY(lib.begin(next, m).ok());
    QCOMPARE(marks_text(lib.marks(), next), marks);
    // A student no longer listed keeps her marks: with her back, they are all there.
    if (kind != int(ExamMatchKind::other)) {
        lib.close_exam();
        QVERIFY(open_exam(lib, first));
        QCOMPARE(marks_text(lib.marks(), first), QStringLiteral("张三:1=2.5 李四:2=1 王五:3=3.5"));
    }
}

void TestMarkLibrary::kept_on_disk()
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("用户/velora"));
    const ExamIdentity id = exam_of(QStringLiteral("张三 张三 李四"));
    {
        MarkLibrary lib;
        QVERIFY(lib.open(folder).ok());
        QVERIFY(!lib.in_memory());
        // A press returns once its mark is on the disk.
        QCOMPARE(lib.journal_mode(), QStringLiteral("wal"));
        QCOMPARE(lib.synchronous(), 2);
        QVERIFY(open_exam(lib, id, QStringLiteral("1 1 1|2 1 2|2 1 2.25|3 3 0")));
    }
    // Read as an IT person would, with SQLite alone.
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(QDir(folder).filePath(QStringLiteral("velora.sqlite3")).toUtf8().constData(), &db,
                             SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    sqlite3_stmt *q = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db,
                                "SELECT (SELECT user_version FROM pragma_user_version), group_concat(s.name || '#' || "
                                "s.repeat || ':' || m.question || '=' || m.value, ' ') FROM mark m JOIN student s ON "
                                "s.id = m.student_id",
                                -1, &q, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_step(q), SQLITE_ROW);
    QCOMPARE(sqlite3_column_int(q, 0), 1);
    QCOMPARE(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q, 1))),
             QStringLiteral("张三#1:1=1.0 张三#2:1=2.25 李四#1:3=0.0"));
    sqlite3_finalize(q);
    sqlite3_close(db);
    // The two 张三 keep their own marks, by their order among the same names.
    MarkLibrary lib;
    QVERIFY(lib.open(folder).ok());
    const ExamIdentity swapped = exam_of(QStringLiteral("李四 张三 张三"));
    QVERIFY(open_exam(lib, swapped));
    QCOMPARE(marks_text(lib.marks(), swapped), QStringLiteral("张三:1=1 张三:1=2.25 李四:3=0"));
    for (const LibraryMark &m : lib.marks().marks)
        if (m.value == 2.25)
            QCOMPARE(m.student, 3);
}

void TestMarkLibrary::export_and_revert()
{
    QTemporaryDir tmp;
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四"));
    MarkLibrary lib;
    QVERIFY(lib.open(tmp.path()).ok());
    QVERIFY(open_exam(lib, id, QStringLiteral("1 1 3|1 2 0")));
    QCOMPARE(lib.marks().unexported, 1);  // a 0 never exported is no mark to lose
    QVERIFY(lib.record_export(tmp.filePath(QStringLiteral("成绩.xlsx")), {5, 0}, {false, true}).ok());
    QCOMPARE(lib.marks().unexported, 0);
    {
        // Each student's total and 缺考 as the workbook has them.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QDir(tmp.path()).filePath(QStringLiteral("velora.sqlite3")).toUtf8().constData(), &db,
                                 SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *q = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db,
                                    "SELECT group_concat(name || '=' || exported_total || '/' || exported_absent, ' ') "
                                    "FROM (SELECT * FROM student ORDER BY id)",
                                    -1, &q, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_step(q), SQLITE_ROW);
        const QString got = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(q, 0)));
        sqlite3_finalize(q);
        sqlite3_close(db);
        QCOMPARE(got, QStringLiteral("张三=5.0/0 李四=0.0/1"));
    }
    QVERIFY(lib.record_mark(1, 1, 4).ok());
    QVERIFY(lib.record_mark(2, 3, 1.5).ok());
    QCOMPARE(lib.marks().unexported, 2);
    QCOMPARE(lib.marks().last_student, 2);
    QVERIFY(lib.revert_to_exported().ok());
    QCOMPARE(marks_text(lib.marks(), id), QStringLiteral("张三:1=3 张三:2=0"));
    QCOMPARE(lib.marks().unexported, 0);
}

// What the next export compares with: the class's latest exam begun before
// it on another paper, and the other classes' last exports on its paper.
void TestMarkLibrary::history()
{
    QTemporaryDir tmp;
    MarkLibrary lib;
    QVERIFY(lib.open(tmp.path()).ok());
    const QString quiz = QStringLiteral("e|f|g|h"), test = QStringLiteral("i|j|k|l"), later = QStringLiteral("m|n|o|p");
    auto exam = [](const QString &names, const QString &texts, const QString &paper, const QString &cls) {
        ExamIdentity id = exam_of(names, texts);
        id.paper_name = paper;
        id.class_name = cls;
        return id;
    };
    auto exported = [&](const ExamIdentity &id, const QVector<double> &totals, const QVector<bool> &absent = {}) {
        const bool ok = open_exam(lib, id) && lib.record_export(tmp.filePath(QStringLiteral("x.xlsx")), totals, absent).ok();
        lib.close_exam();
        return ok;
    };
    const QString one = QStringLiteral("张三 李四 王五");
    QVERIFY(exported(exam(one, test, QStringLiteral("单元测验"), QStringLiteral("一班")), {9, 9, 9}));
    QVERIFY(exported(exam(one, quiz, QStringLiteral("月考"), QStringLiteral("一班")), {5, 7, 0}, {false, false, true}));
    // Class 二 exported twice: only the second workbook counts.
    QVERIFY(exported(exam(QStringLiteral("T01 T02"), QStringLiteral("a|b|c|d"), QStringLiteral("期中"), QStringLiteral("二班")), {3, 4}));
    QVERIFY(exported(exam(QStringLiteral("T01 T02"), QStringLiteral("a|b|c|d"), QStringLiteral("期中"), QStringLiteral("二班")), {6, 8}));
    // Class 三 still being marked, class 四 exported.
    QVERIFY(open_exam(lib, exam(QStringLiteral("U01 U02"), QStringLiteral("a|b|c|d"), QStringLiteral("期中"), QStringLiteral("三班")), QStringLiteral("1 1 2")));
    lib.close_exam();
    QVERIFY(exported(exam(QStringLiteral("V01"), QStringLiteral("a|b|c|d"), QStringLiteral("期中"), QStringLiteral("四班")), {10}));
    // Class 一's 期中 begun, then a later exam of the class exported: no "last exam" of 期中.
    const ExamIdentity now = exam(QStringLiteral("王五 张三 新生 李四"), QStringLiteral("a|b|c|d"), QStringLiteral("期中"), QStringLiteral("一班"));
    QVERIFY(open_exam(lib, now));
    lib.close_exam();
    QVERIFY(exported(exam(one, later, QStringLiteral("期末"), QStringLiteral("一班")), {1, 1, 1}));

    QVERIFY(open_exam(lib, now));
    const ExamHistory h = lib.history();
    QVERIFY(h.previous);
    QStringList got;
    auto students = [](const PastExam &e) {
        QStringList s;
        for (const PastStudent &p : e.students)
            s << (p.absent ? QStringLiteral("-") : QString::number(p.total)) + QLatin1Char('@') + QString::number(p.roster);
        return e.paper_name + QLatin1Char(' ') + e.class_name + QLatin1Char(' ') + s.join(QLatin1Char(' '));
    };
    got << students(*h.previous);
    for (const PastExam &e : h.classes)
        got << students(e);
    QCOMPARE(got, QStringList({"月考 一班 5@2 7@4 -@1", "期中 二班 6@0 8@0", "期中 四班 10@0"}));
    QCOMPARE(h.previous->full_marks, 21.0);
    QVERIFY(h.previous->exported_ms > 0);
}

void TestMarkLibrary::faults_data()
{
    QTest::addColumn<QByteArray>("file");  // velora.sqlite3 before the open; "dir": a folder under a plain file
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("memory");
    QTest::newRow("the folder cannot be made") << QByteArray("dir") << int(LibraryFault::open_failed) << true;
    QTest::newRow("not a database") << QByteArray(4096, 'x') << int(LibraryFault::damaged) << false;
    QTest::newRow("a damaged page") << QByteArray("page") << int(LibraryFault::damaged) << false;
    QTest::newRow("a newer velora's") << QByteArray("newer") << int(LibraryFault::newer) << true;
}

void TestMarkLibrary::faults()
{
    QFETCH(QByteArray, file);
    QFETCH(int, fault);
    QFETCH(bool, memory);
    QTemporaryDir tmp;
    QString folder = tmp.filePath(QStringLiteral("velora"));
    const QString path = QDir(folder).filePath(QStringLiteral("velora.sqlite3"));
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四"));
    QVERIFY(QDir().mkpath(folder));
    if (file == "dir") {
        QVERIFY(write_file(tmp.filePath(QStringLiteral("plain")), "x"));
        folder = tmp.filePath(QStringLiteral("plain/velora"));
    } else if (file == "page" || file == "newer") {
        {
            MarkLibrary lib;
            QVERIFY(lib.open(folder).ok());
            for (int i = 0; i < 40; ++i)
                QVERIFY(open_exam(lib, exam_of(QStringLiteral("S%1 T%1").arg(i)), QStringLiteral("1 1 1|2 2 2")));
        }
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, file == "newer" ? "PRAGMA user_version = 7" : "PRAGMA wal_checkpoint(TRUNCATE)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        if (file == "page") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.size() > 4 * 4096);
            QVERIFY(f.seek(3 * 4096));
            f.write(QByteArray(600, '\x5a'));
        }
    } else {
        QVERIFY(write_file(path, file));
    }
    MarkLibrary lib;
    const LibraryError e = lib.open(folder);
    QCOMPARE(int(e.fault), fault);
    QVERIFY(!library_error_message(e).isEmpty());
    QCOMPARE(lib.in_memory(), memory);
    if (fault == int(LibraryFault::damaged)) {
        // Set aside, nothing of it used, a new library in its place.
        QCOMPARE(e.path, path + QStringLiteral(".damaged"));
        QVERIFY(QFileInfo::exists(e.path));
        QCOMPARE(lib.journal_mode(), QStringLiteral("wal"));
    }
    if (file == "newer") {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &q, nullptr);
        QCOMPARE(sqlite3_step(q), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(q, 0), 7);
        sqlite3_finalize(q);
        sqlite3_close(db);
    }
    // Marking goes on either way.
    QCOMPARE(int(lib.match(id).kind), int(ExamMatchKind::other));
    QVERIFY(open_exam(lib, id, QStringLiteral("1 1 1.5|2 3 4")));
    QCOMPARE(marks_text(lib.marks(), id), QStringLiteral("张三:1=1.5 李四:3=4"));
}

void TestMarkLibrary::disk_fills_up()
{
#ifdef Q_OS_WIN
    QSKIP("a file size limit is a POSIX resource limit");
#else
    QTemporaryDir tmp;
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四 王五"));
    MarkLibrary lib;
    QVERIFY(lib.open(tmp.path()).ok());
    QVERIFY(open_exam(lib, id, QStringLiteral("1 1 1")));
    // From now on no file may grow: as a full disk, writes fail where they would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = old;
    full.rlim_cur = QFileInfo(tmp.filePath(QStringLiteral("velora.sqlite3-wal"))).size();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
    LibraryError first;
    for (int s = 1; s <= 3; ++s)
        for (int q = 1; q <= 3; ++q) {
            const LibraryError e = lib.record_mark(s, q, s + q / 4.0);
            if (first.ok())
                first = e;
        }
    setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(int(first.fault), int(LibraryFault::write_failed));
    QVERIFY(lib.in_memory());
    // Every mark reported, the failed one included, is in the library in memory.
    QCOMPARE(lib.marks().marks.size(), 9);
    QCOMPARE(lib.marks().marks.value(0).value, 1.25);
    QVERIFY(lib.record_export(tmp.filePath(QStringLiteral("x.xlsx")), {}).ok());
    QCOMPARE(lib.marks().unexported, 0);
    lib.close_exam();  // its lock
    // The file keeps what was committed before the disk filled, undamaged.
    MarkLibrary again;
    QVERIFY(again.open(tmp.path()).ok());
    QVERIFY(open_exam(again, id));
    QCOMPARE(marks_text(again.marks(), id), QStringLiteral("张三:1=1"));
#endif
}

void TestMarkLibrary::lock()
{
    QTemporaryDir tmp;
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四"));
    MarkLibrary one;
    auto two = std::make_unique<MarkLibrary>();
    QVERIFY(one.open(tmp.path()).ok());
    QVERIFY(two->open(tmp.path()).ok());
    QVERIFY(open_exam(one, id, QStringLiteral("1 1 2")));
    const ExamMatch m = two->match(id);
    QCOMPARE(int(m.kind), int(ExamMatchKind::same));
    QCOMPARE(int(two->claim(m.exam).fault), int(LibraryFault::locked));
    // Another exam is marked beside it, in the same library.
    QVERIFY(open_exam(*two, exam_of(QStringLiteral("T01 T02")), QStringLiteral("2 2 3")));
    one.close_exam();
    QVERIFY(two->claim(m.exam).ok());
    QCOMPARE(int(one.claim(m.exam).fault), int(LibraryFault::locked));
    // A lock file nobody holds (copied from another PC, left by a killed velora) locks nothing.
    two.reset();
    QVERIFY(QFileInfo::exists(tmp.filePath(QStringLiteral("locks/exam-%1.lock").arg(m.exam))));
    QVERIFY(open_exam(one, id));
    QCOMPARE(marks_text(one.marks(), id), QStringLiteral("张三:1=2"));
}

void TestMarkLibrary::legacy_journal_data()
{
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四"));
    QByteArray header("\x01\0\0\0", 4);
    const QByteArray head = journal_record('H', header + id.canonical());
    const QByteArray exported = journal_record('E', QByteArray(8, '\0'));
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("marks");  // "s,q=value/exported" ("-": not exported)
    QTest::newRow("marks and an export") << head + journal_mark(1, 1, 2.5) + exported + journal_mark(1, 1, 3)
                                                + journal_mark(2, 3, 1)
                                         << int(LegacyState::found) << "1,1=3/2.5 2,3=1/0";
    QTest::newRow("a torn last mark is dropped")
        << head + journal_mark(1, 1, 2.5) + journal_mark(2, 2, 4).left(20) << int(LegacyState::found) << "1,1=2.5/-";
    QByteArray flipped = head + journal_mark(1, 1, 2.5) + journal_mark(2, 2, 4);
    flipped[head.size() + 10] = flipped[head.size() + 10] ^ 1;
    QTest::newRow("damage before a good mark") << flipped << int(LegacyState::damaged) << "";
    QTest::newRow("another exam's header")
        << journal_record('H', header + exam_of(QStringLiteral("张三 王五")).canonical()) + journal_mark(1, 1, 1)
        << int(LegacyState::damaged) << "";
    QTest::newRow("a mark outside the exam") << head + journal_mark(3, 1, 1) << int(LegacyState::damaged) << "";
}

void TestMarkLibrary::legacy_journal()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, state);
    QFETCH(QString, marks);
    QTemporaryDir tmp;
    const ExamIdentity id = exam_of(QStringLiteral("张三 李四"));
    const QString path = tmp.filePath(id.key() + QStringLiteral(".journal"));
    QVERIFY(write_file(path, bytes));
    LegacyJournal j = read_legacy_journal(tmp.path(), id);
    QCOMPARE(int(j.state), state);
    QStringList got;
    for (const LegacyMark &m : j.marks)
        got << QStringLiteral("%1,%2=%3/%4")
                   .arg(m.student)
                   .arg(m.question)
                   .arg(m.value)
                   .arg(m.exported ? QString::number(m.exported_value) : QStringLiteral("-"));
    QCOMPARE(got.join(QLatin1Char(' ')), marks);
    if (state == int(LegacyState::found)) {
        // Offered once: set aside, then nothing more to read.
        QVERIFY(set_aside_legacy_journal(j));
        QVERIFY(QFileInfo::exists(tmp.filePath(id.key() + QStringLiteral(".imported"))));
        MarkLibrary lib;
        QVERIFY(lib.open(tmp.path()).ok());
        QVERIFY(open_exam(lib, id));
        QVERIFY(lib.import_marks(j.marks).ok());
        QCOMPARE(lib.marks().marks.size(), j.marks.size());
    } else {
        QVERIFY(QFileInfo::exists(tmp.filePath(id.key() + QStringLiteral(".damaged"))));
    }
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(int(read_legacy_journal(tmp.path(), id).state), int(LegacyState::none));
}

QTEST_GUILESS_MAIN(TestMarkLibrary)
#include "test_mark_library.moc"
