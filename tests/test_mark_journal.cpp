// The mark journal: what a reopened journal gives back, its bytes on disk,
// torn and damaged records, a journal of another exam, a full disk, a folder
// that cannot be made, the lock, and that a clean end leaves nothing.
#include "marking/mark_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#include <algorithm>

Q_DECLARE_METATYPE(JournalFault)

namespace QTest {
template <> char *toString(const JournalFault &f)
{
    return qstrdup(QByteArray::number(int(f)).constData());
}
}  // namespace QTest

namespace {

ExamIdentity exam_of(QByteArrayList names)
{
    ExamIdentity id;
    id.names = names;
    id.xuan_count = 1;
    id.unxuan_count = 2;
    id.max_scores = {2, 5, 10};
    return id;
}

const ExamIdentity kExam = exam_of({"张三", "李四", "王五"});

QByteArray read_all(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_all(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// "s,q=value;…" in the replay's order.
QString marks_text(const QVector<JournalMark> &marks)
{
    QStringList out;
    for (const JournalMark &m : marks)
        out << QStringLiteral("%1,%2=%3").arg(m.student).arg(m.question).arg(m.value);
    return out.join(QLatin1Char(';'));
}

int header_size(const ExamIdentity &id)
{
    return 9 + 4 + id.canonical().size();
}

constexpr int kMarkRecord = 33;
constexpr int kExportRecord = 17;

// Marks 1,1=1.5  2,2=4  3,1=0.5 written to a fresh journal in `folder`.
QByteArray three_marks(const QString &folder)
{
    MarkJournal j;
    if (!j.open(folder, kExam).ok() || !j.record_mark(1, 1, 1.5).ok() || !j.record_mark(2, 2, 4).ok()
        || !j.record_mark(3, 1, 0.5).ok())
        return QByteArray();
    const QString path = j.file_path();
    j.close();
    return read_all(path);
}

// A file whose disk fills after `room` bytes: a write is cut there, as the
// system cuts one on a full disk.
class FillingFile : public QFile {
public:
    explicit FillingFile(qint64 room) : room_(room) { }

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        const qint64 n = std::min(len, room_);
        const qint64 written = n > 0 ? QFile::writeData(data, n) : 0;
        if (written > 0)
            room_ -= written;
        if (written == len)
            return written;
        setErrorString(QStringLiteral("No space left on device"));
        return written > 0 ? written : -1;
    }

private:
    qint64 room_;
};

}  // namespace

class TestMarkJournal : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
    void record_format();
    void torn_tail_data();
    void torn_tail();
    void damage_data();
    void damage();
    void other_exams_journal();
    void full_disk_data();
    void full_disk();
    void folder_cannot_be_made_data();
    void folder_cannot_be_made();
    void lock_data();
    void lock();
    void nothing_on_disk_without_marks();
};

void TestMarkJournal::replay_data()
{
    QTest::addColumn<QString>("steps");   // "s q value" a mark, "e" an export, joined by "|"
    QTest::addColumn<QString>("marks");   // what the reopened journal gives back
    QTest::addColumn<int>("unexported");  // of them, in no exported workbook
    QTest::addColumn<int>("records");     // mark and export records on disk; 0: no file
    QTest::addColumn<QString>("last");    // "s,q" of the last mark
    QTest::newRow("last value wins") << "1 1 1|1 1 2|2 2 4.25"
                                     << "1,1=2;2,2=4.25" << 2 << 3 << "2,2";
    QTest::newRow("the same value again writes nothing") << "1 1 2|1 1 2|1 1 2"
                                                         << "1,1=2" << 1 << 1 << "1,1";
    QTest::newRow("0 on an item never marked writes nothing") << "1 1 0|3 2 0"
                                                              << "" << 0 << 0 << "0,0";
    QTest::newRow("set back to 0") << "1 1 2|1 1 0"
                                   << "1,1=0" << 0 << 2 << "1,1";
    QTest::newRow("export holds the earlier marks") << "1 1 2|2 1 1|e|3 2 7"
                                                    << "1,1=2;2,1=1;3,2=7" << 1 << 4 << "3,2";
    QTest::newRow("changed after export, then back") << "1 1 2|e|1 1 3|1 1 2"
                                                     << "1,1=2" << 0 << 4 << "1,1";
    QTest::newRow("two exports") << "1 1 2|e|2 1 1|e|1 1 5"
                                 << "1,1=5;2,1=1" << 1 << 5 << "1,1";
    QTest::newRow("nothing after export") << "1 1 2|2 2 3|e"
                                          << "1,1=2;2,2=3" << 0 << 3 << "2,2";
    QTest::newRow("export before any mark writes nothing") << "e|e"
                                                           << "" << 0 << 0 << "0,0";
    QTest::newRow("items outside the exam are never recorded") << "0 1 1|4 1 1|1 0 1|1 3 1"
                                                               << "" << 0 << 0 << "0,0";
}

void TestMarkJournal::replay()
{
    QFETCH(QString, steps);
    QFETCH(QString, marks);
    QFETCH(int, unexported);
    QFETCH(int, records);
    QFETCH(QString, last);
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("数据/velora"));
    const qint64 t0 = QDateTime::currentMSecsSinceEpoch();
    QString path;
    {
        MarkJournal j;
        QVERIFY(j.open(folder, kExam).ok());
        for (const QString &step : steps.split(QLatin1Char('|'))) {
            const QStringList f = step.split(QLatin1Char(' '));
            const JournalError e
                = f.size() == 1 ? j.record_export() : j.record_mark(f[0].toInt(), f[1].toInt(), f[2].toDouble());
            QVERIFY(e.ok());
        }
        QCOMPARE(j.unexported(), unexported);
        path = j.file_path();
    }  // ends as a killed process would: the file stays
    const qint64 t1 = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(QFileInfo::exists(path), records > 0);

    MarkJournal again;
    QVERIFY(again.open(folder, kExam).ok());
    const JournalReplay &r = again.replay();
    QCOMPARE(marks_text(r.marks), marks);
    QCOMPARE(r.unexported, unexported);
    QCOMPARE(again.unexported(), unexported);
    QCOMPARE(QStringLiteral("%1,%2").arg(r.last_student).arg(r.last_question), last);
    QVERIFY(!r.torn_tail);
    if (records > 0) {
        QVERIFY(r.last_mark_ms >= t0 && r.last_mark_ms <= t1);
        const qint64 size = QFileInfo(path).size() - header_size(kExam);
        // Every record is a mark or an export record; count them by size.
        const int export_count = steps.count(QLatin1Char('e'));
        QCOMPARE(size, qint64(records - export_count) * kMarkRecord + qint64(export_count) * kExportRecord);
    }
}

void TestMarkJournal::record_format()
{
    QTemporaryDir tmp;
    MarkJournal j;
    QVERIFY(j.open(tmp.path(), kExam).ok());
    QVERIFY(j.record_mark(2, 1, 2.5).ok());
    const QByteArray bytes = read_all(j.file_path());
    QCOMPARE(QFileInfo(j.file_path()).fileName(), kExam.key() + QStringLiteral(".journal"));

    auto framed = [](char type, const QByteArray &payload) {
        QByteArray r(4, '\0');
        qToLittleEndian(quint32(payload.size()), r.data());
        r += type;
        r += payload;
        char crc[4];
        qToLittleEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(r.constData()), uInt(r.size()))), crc);
        return r + QByteArray(crc, 4);
    };
    QByteArray header("\x01\0\0\0", 4);
    header += kExam.canonical();
    QByteArray mark;
    mark += QByteArray("\x02\0\0\0\x01\0\0\0", 8);
    mark += QByteArray("\0\0\0\0\0\0\x04\x40", 8);  // 2.5
    QVERIFY(bytes.size() == header_size(kExam) + kMarkRecord);
    mark += bytes.mid(bytes.size() - 12, 8);  // the time, checked by the replay test
    QCOMPARE(bytes.toHex(), (framed('H', header) + framed('M', mark)).toHex());
}

void TestMarkJournal::torn_tail_data()
{
    QTest::addColumn<int>("marks");  // recorded before the tear; the last one is torn
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("next");   // appended after the torn journal was opened: "mark" or "export"
    QTest::addColumn<QString>("after");  // what the journal then gives back
    QTest::newRow("the last of three marks") << 3 << "1,1=1.5;2,2=4"
                                             << "mark"
                                             << "1,1=1.5;1,2=9;2,2=4";
    // An export record is shorter than the torn one: what is left of that must not stay behind it.
    QTest::newRow("the last of three marks, then an export") << 3 << "1,1=1.5;2,2=4"
                                                             << "export"
                                                             << "1,1=1.5;2,2=4";
    QTest::newRow("the first mark, written with the header") << 1 << ""
                                                             << "mark"
                                                             << "1,2=9";
}

void TestMarkJournal::torn_tail()
{
    QFETCH(int, marks);
    QFETCH(QString, kept);
    QFETCH(QString, next);
    QFETCH(QString, after);
    QTemporaryDir tmp;
    const QByteArray whole = three_marks(tmp.path());
    QVERIFY(!whole.isEmpty());
    const int end = header_size(kExam) + marks * kMarkRecord;
    const int start = marks == 1 ? 0 : end - kMarkRecord;
    const QString path = QDir(tmp.path()).filePath(kExam.key() + QStringLiteral(".journal"));
    for (int cut = start + 1; cut < end; ++cut) {
        QVERIFY(write_all(path, whole.left(cut)));
        {
            MarkJournal j;
            QVERIFY(j.open(tmp.path(), kExam).ok());
            QCOMPARE(marks_text(j.replay().marks), kept);
            // Cut right behind the header, nothing is torn: a journal of no marks.
            QCOMPARE(j.replay().torn_tail, cut != header_size(kExam));
            QVERIFY(next == QLatin1String("mark") ? j.record_mark(1, 2, 9).ok() : j.record_export().ok());
        }
        // The torn bytes were cut off before the new record.
        MarkJournal again;
        QVERIFY2(again.open(tmp.path(), kExam).ok(), qPrintable(QString::number(cut)));
        QCOMPARE(marks_text(again.replay().marks), after);
        QVERIFY2(!again.replay().torn_tail, qPrintable(QString::number(cut)));
    }
}

void TestMarkJournal::damage_data()
{
    QTest::addColumn<int>("offset");  // of the byte changed, from the end of the header; negative: in the header
    QTest::addColumn<int>("flip");    // the bits turned over there
    QTest::addColumn<JournalFault>("fault");
    QTest::addColumn<QString>("kept");
    QTest::newRow("a name in the header") << -5 << 0x20 << JournalFault::damaged << "";
    QTest::newRow("the first mark's value") << 15 << 0x01 << JournalFault::damaged << "";
    QTest::newRow("the second mark's length") << kMarkRecord + 1 << 0x01 << JournalFault::damaged << "";
    QTest::newRow("the last mark's checksum") << 3 * kMarkRecord - 1 << 0x80 << JournalFault::none << "1,1=1.5;2,2=4";
}

void TestMarkJournal::damage()
{
    QFETCH(int, offset);
    QFETCH(int, flip);
    QFETCH(JournalFault, fault);
    QFETCH(QString, kept);
    QTemporaryDir tmp;
    QByteArray bytes = three_marks(tmp.path());
    QVERIFY(!bytes.isEmpty());
    const int at = header_size(kExam) + offset;
    bytes[at] = char(bytes[at] ^ flip);
    const QString path = QDir(tmp.path()).filePath(kExam.key() + QStringLiteral(".journal"));
    QVERIFY(write_all(path, bytes));

    MarkJournal j;
    const JournalError e = j.open(tmp.path(), kExam);
    QCOMPARE(e.fault, fault);
    QCOMPARE(marks_text(j.replay().marks), kept);
    QVERIFY(j.is_open());
    if (fault != JournalFault::none) {
        // Set aside untouched, and said so.
        QCOMPARE(e.path, QDir(tmp.path()).filePath(kExam.key() + QStringLiteral(".damaged")));
        QCOMPARE(read_all(e.path), bytes);
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(journal_error_message(e).contains(QDir::toNativeSeparators(e.path)));
    }
    QCOMPARE(j.replay().unexported, kept.isEmpty() ? 0 : 2);
    QVERIFY(j.record_mark(3, 2, 8).ok());
    j.close();
    MarkJournal again;
    QVERIFY(again.open(tmp.path(), kExam).ok());
    QCOMPARE(marks_text(again.replay().marks),
             kept.isEmpty() ? QStringLiteral("3,2=8") : kept + QStringLiteral(";3,2=8"));
}

void TestMarkJournal::other_exams_journal()
{
    // Class 一's journal under class 二's name, as a renamed file or a key both share would leave it.
    const ExamIdentity other = exam_of({"T01", "T02", "T03"});
    QTemporaryDir tmp;
    const QByteArray bytes = three_marks(tmp.path());
    const QString own = QDir(tmp.path()).filePath(kExam.key() + QStringLiteral(".journal"));
    const QString theirs = QDir(tmp.path()).filePath(other.key() + QStringLiteral(".journal"));
    QVERIFY(QFile::rename(own, theirs));

    MarkJournal j;
    const JournalError e = j.open(tmp.path(), other);
    QCOMPARE(e.fault, JournalFault::other_exam);
    QVERIFY(j.replay().marks.isEmpty());
    QCOMPARE(read_all(e.path), bytes);
    QVERIFY(!QFileInfo::exists(theirs));
    QVERIFY(j.is_open());
}

void TestMarkJournal::full_disk_data()
{
    QTest::addColumn<int>("room");  // bytes the disk takes
    QTest::addColumn<int>("done");  // marks reported done
    QTest::newRow("full from the start") << 0 << 0;
    QTest::newRow("full inside the header") << 10 << 0;
    QTest::newRow("full inside the second mark") << header_size(kExam) + kMarkRecord + 20 << 1;
    QTest::newRow("full right after the second mark") << header_size(kExam) + 2 * kMarkRecord << 2;
}

void TestMarkJournal::full_disk()
{
    QFETCH(int, room);
    QFETCH(int, done);
    QTemporaryDir tmp;
    MarkJournal j([room] { return std::make_unique<FillingFile>(room); });
    QVERIFY(j.open(tmp.path(), kExam).ok());
    const double values[] = {1, 2, 3, 4};
    int ok = 0;
    JournalError first;
    for (int s = 1; s <= 3; ++s) {
        const JournalError e = j.record_mark(s, 1, values[s]);
        if (e.ok() && first.ok()) {
            ++ok;
            continue;
        }
        if (first.ok())
            first = e;
        QCOMPARE(e.fault, first.fault);  // every later call tells the same
    }
    QCOMPARE(ok, done);
    QCOMPARE(first.fault, JournalFault::write_failed);
    QCOMPARE(first.path, j.file_path());
    QVERIFY(!j.is_open());
    QVERIFY(!journal_error_message(first).isEmpty());
    j.close();

    // The file holds exactly the marks reported done, nothing torn behind them.
    MarkJournal again;
    QVERIFY(again.open(tmp.path(), kExam).ok());
    QCOMPARE(again.replay().marks.size(), done);
    QVERIFY(!again.replay().torn_tail);
}

void TestMarkJournal::folder_cannot_be_made_data()
{
    QTest::addColumn<QString>("file");    // a plain file made first, inside the temporary folder
    QTest::addColumn<QString>("folder");  // the journal's folder, inside it
    QTest::newRow("a file where the folder would be") << "velora"
                                                      << "velora";
    QTest::newRow("a file where a parent would be") << "数据"
                                                    << "数据/velora";
}

void TestMarkJournal::folder_cannot_be_made()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QTemporaryDir tmp;
    QVERIFY(write_all(tmp.filePath(file), "x"));
    MarkJournal j;
    const JournalError e = j.open(tmp.filePath(folder), kExam);
    QCOMPARE(e.fault, JournalFault::folder_failed);
    QCOMPARE(e.path, tmp.filePath(folder));
    QVERIFY(!j.is_open());
    QVERIFY(journal_error_message(e).contains(QDir::toNativeSeparators(tmp.filePath(folder))));
    QCOMPARE(j.record_mark(1, 1, 1).fault, JournalFault::write_failed);
    QCOMPARE(read_all(tmp.filePath(file)), QByteArray("x"));
}

void TestMarkJournal::lock_data()
{
    QTest::addColumn<bool>("holder_alive");  // the lock was left by a velora still running
    QTest::newRow("held by a velora marking for an hour") << true;
    QTest::newRow("left by a velora that was killed") << false;
}

void TestMarkJournal::lock()
{
    QFETCH(bool, holder_alive);
    QTemporaryDir tmp;
    const QString lock_path = QDir(tmp.path()).filePath(kExam.key() + QStringLiteral(".lock"));
    MarkJournal first;
    if (holder_alive) {
        QVERIFY(first.open(tmp.path(), kExam).ok());
        QVERIFY(first.record_mark(1, 1, 1).ok());
#ifndef Q_OS_WIN
        // An old lock file; on Windows the holder's open handle is the lock, and no other may write it.
        QFile f(lock_path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
#endif
    } else {
        // The lock of a process that has ended: its number is free. The rest of
        // the lock's text is as this system writes it (host name, its case included).
        QLockFile model(lock_path);
        QVERIFY(model.lock());
        QFile f(lock_path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray info = f.readAll();
        f.close();
        model.unlock();
        QVERIFY(info.contains('\n'));
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
        QVERIFY(p.waitForStarted());
        const qint64 pid = p.processId();
        QVERIFY(p.waitForFinished());
        info = QByteArray::number(pid) + info.mid(info.indexOf('\n'));
        QVERIFY(write_all(lock_path, info));
    }

    MarkJournal second;
    const JournalError e = second.open(tmp.path(), kExam);
    QCOMPARE(e.fault, holder_alive ? JournalFault::locked : JournalFault::none);
    QCOMPARE(second.is_open(), !holder_alive);
    if (!holder_alive)
        return;
    QCOMPARE(e.path, lock_path);
    QVERIFY(journal_error_message(e).contains(QStringLiteral("另一个 velora 窗口")));
    // The holder's records are untouched, another exam opens beside it, and the lock goes with the holder.
    QCOMPARE(second.record_mark(2, 1, 5).fault, JournalFault::write_failed);
    MarkJournal other_exam;
    QVERIFY(other_exam.open(tmp.path(), exam_of({"T01"})).ok());
    first.close();
    QVERIFY(second.open(tmp.path(), kExam).ok());
    QCOMPARE(marks_text(second.replay().marks), QStringLiteral("1,1=1"));
}

void TestMarkJournal::nothing_on_disk_without_marks()
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("velora"));
    MarkJournal j;
    QVERIFY(j.open(folder, kExam).ok());
    QVERIFY(j.record_mark(1, 1, 0).ok());
    QVERIFY(j.record_export().ok());
    QCOMPARE(entries(folder), QStringList{kExam.key() + QStringLiteral(".lock")});
    j.close();
    QCOMPARE(entries(folder), QStringList());

    // Declining recovery drops the marks and keeps the journal open.
    QVERIFY(j.open(folder, kExam).ok());
    QVERIFY(j.record_mark(1, 1, 2).ok());
    QVERIFY(QFileInfo::exists(j.file_path()));
    QVERIFY(j.discard().ok());
    QVERIFY(!QFileInfo::exists(j.file_path()));
    QCOMPARE(j.unexported(), 0);
    QVERIFY(j.record_mark(2, 2, 3).ok());
    j.close();
    QVERIFY(j.open(folder, kExam).ok());
    QCOMPARE(marks_text(j.replay().marks), QStringLiteral("2,2=3"));

    // A clean end leaves nothing.
    QVERIFY(j.remove().ok());
    QVERIFY(!j.is_open());
    QCOMPARE(entries(folder), QStringList());
}

QTEST_GUILESS_MAIN(TestMarkJournal)
#include "test_mark_journal.moc"
