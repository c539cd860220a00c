// The mark journal: every change of a stored mark is appended to the journal
// of its exam and made durable before the press returns, so marks outlive a
// crash or a power cut, and a journal is never applied to another exam.
//
// Files, in the folder the caller names, where <key> is ExamIdentity::key():
//   <key>.journal    its records; made with the first mark, removed at a clean end
//   <key>.lock       a QLockFile held while the journal is open: one velora at a time
//   <key>.damaged    a journal found damaged or of another exam, set aside
//                    untouched (<key>-2.damaged, -3 … when taken)
//
// Record format. Every record stands alone and checks itself; integers are
// little-endian.
//   u32  length    bytes of payload
//   u8   type      'H' header, 'M' mark, 'E' export
//   ...  payload   `length` bytes
//   u32  crc       CRC-32 (IEEE 802.3, as zlib's crc32()) of length, type and payload
// Payloads:
//   'H'  u32 format version (1), then ExamIdentity::canonical() of the exam.
//        The first record, and only there; written together with the first mark.
//   'M'  i32 student, i32 written question (both from 1), f64 the mark as its
//        IEEE 754 bits, i64 when it was given (ms since 1970-01-01 UTC). 24 bytes,
//        33 with the frame.
//   'E'  i64 when a workbook was exported (ms since 1970-01-01 UTC): that
//        workbook holds every mark recorded before this record. 8 bytes.
// A mark counts as kept once its record is synced (fdatasync / FlushFileBuffers).
//
// Reading stops at the first record that fails its check. When no valid record
// lies anywhere behind it, it is a torn tail (a write cut short): it alone is
// dropped, and cut off before the next record is appended. Otherwise the
// journal is damaged: since the marks behind the damage are lost, the older
// ones before it may be stale, so nothing of it is applied and the file is set
// aside for a person to look at. A header of another exam, or a record naming
// no item of the exam, is treated the same way.
#pragma once

#include "exam/exam_identity.h"

#include <QFile>
#include <QMap>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QLockFile;

enum class JournalFault {
    none,
    folder_failed,  // the folder, or the lock file in it, cannot be made
    locked,         // another velora has this exam's journal open
    read_failed,    // the exam's journal exists but cannot be read
    damaged,        // the journal was damaged; set aside, nothing applied
    other_exam,     // the journal under this exam's name is of another exam; set aside
    write_failed,   // a record could not be written: the disk is full or failing
    sync_failed,    // a record was written but could not be made durable
    remove_failed,  // the journal could not be deleted
};

struct JournalError {
    JournalFault fault = JournalFault::none;
    QString path;    // the file or folder concerned (for damaged, other_exam: where it was set aside)
    QString detail;  // the system's reason, for logs; its words are not Chinese

    bool ok() const { return fault == JournalFault::none; }
    static JournalError of(JournalFault fault, const QString &path, const QString &detail = QString());
};

// The Chinese message for the teacher, naming the file and what it means for
// the marks; empty for no error.
QString journal_error_message(const JournalError &e);

struct JournalMark {
    int student = 0;
    int question = 0;  // written question
    double value = 0;
};

// What an exam's journal held when it was opened.
struct JournalReplay {
    // The last value of every item recorded, by student, then question: what
    // the store held when the journal ended, exported or not.
    QVector<JournalMark> marks;
    // Of them, how many differ from what the last exported workbook holds (an
    // item recorded only after it counting as exported 0): the marks that
    // would be lost without recovery.
    int unexported = 0;
    qint64 last_mark_ms = 0;  // when the last mark was given, ms since 1970-01-01 UTC; 0: no mark
    int last_student = 0;     // the item of that mark
    int last_question = 0;
    bool torn_tail = false;  // a torn last record was dropped; every record before it is here
};

// Gives every item of `r` its recorded mark and puts the cursor on the item
// marked last; the store must hold the journal's exam.
void restore_marks(ExamStore &st, const JournalReplay &r);

// One exam's journal, open for recording while its lock is held.
class MarkJournal {
public:
    // Makes the file object records are written through; tests give one whose
    // disk fills up. Empty: a plain QFile.
    using FileMaker = std::function<std::unique_ptr<QFile>()>;

    explicit MarkJournal(FileMaker make_file = {});
    ~MarkJournal();  // close()
    MarkJournal(const MarkJournal &) = delete;
    MarkJournal &operator=(const MarkJournal &) = delete;

    // Closes any journal open before, then makes `folder`, takes the exam's
    // lock (one left by a process that no longer runs is taken over) and
    // reads the exam's journal into replay(). Nothing is written: the journal
    // file is made with the first mark. On damaged and other_exam the file is
    // set aside and the journal open, empty; when it cannot be set aside the
    // error is read_failed. Any other error: not open.
    JournalError open(const QString &folder, const ExamIdentity &id);
    // Whether marks are being recorded: open, and no write has failed.
    bool is_open() const;
    const JournalReplay &replay() const { return replay_; }
    QString file_path() const { return path_; }
    // How many items hold a value other than the last export's, now.
    int unexported() const;

    // Appends that student s's written question q now holds `value`, and syncs
    // it before it returns. A value the journal already holds for the item (0
    // for one never recorded) writes nothing, so the caller may call it on
    // every store; an item outside the exam is never recorded. After an error
    // nothing more is recorded and every call returns that error; the file
    // keeps exactly the records reported done. Call it only while is_open().
    JournalError record_mark(int s, int q, double value);
    // Appends that every mark recorded so far is in a workbook exported now.
    JournalError record_export();
    // Drops every record (the teacher declined to recover them); stays open.
    JournalError discard();
    // Deletes the journal and releases the lock: a clean end leaves nothing.
    JournalError remove();
    // Releases the lock and keeps the file, for the exam to be loaded again.
    void close();

private:
    JournalError append(const QByteArray &record);
    JournalError fail(const JournalError &e);
    JournalError set_aside(JournalFault fault);

    FileMaker make_file_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QFile> file_;  // open once the first record is appended
    QString folder_;
    QString path_;
    QByteArray header_;         // the header record of this exam
    bool made_folder_ = false;  // its parent must learn the new folder's name
    int students_ = 0;          // the exam's items, for checking records
    int written_ = 0;
    qint64 good_size_ = 0;  // the bytes of records reported done
    bool open_ = false;
    JournalError broken_;             // the failure that stopped recording
    QMap<quint32, double> values_;    // item -> its last value recorded
    QMap<quint32, double> exported_;  // the same at the last export
    JournalReplay replay_;
};
