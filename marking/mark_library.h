// The 成绩库: every exam's marks, kept for good in one SQLite database per
// user (velora.sqlite3 in the per-user data folder), each exam with its paper,
// its class and its students. Every mark is committed (WAL, synchronous=FULL)
// before record_mark() returns. All of velora's SQL is in mark_library.cpp;
// the README documents the schema.
//
// Whose mark it is: a mark belongs to a student of an exam (her name as the
// roster spells it, a repeated name by its order among the same names) and to
// a written question of the exam's paper (the problem's counts, maxima and
// every question's text). match() finds the exam a load would give:
//   same     the same paper, and at least half of the roster's students are
//            the exam's: reordered, added and removed students keep their marks
//   mended   no such exam, but one whose paper has the same counts and maxima
//            and at least half of the texts unchanged: the teacher decides
//   other    anything else: an exam of its own, with no marks
//
// Faults never stop marking: a library that cannot be opened or written goes
// on in memory (its marks copied there), a damaged file is set aside as
// velora.sqlite3.damaged and a new one started. One exam is marked in one
// window at a time: claim() takes a lock that the operating system drops when
// velora ends (a SQLite database held exclusively, under locks/).
#pragma once

#include "exam/exam_identity.h"
#include "marking/exam_comparison.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
struct LegacyMark;

enum class LibraryFault {
    none,
    open_failed,   // the folder or the file cannot be made, opened or written: marks kept in memory
    write_failed,  // a write failed (disk full, read-only, failing disk): from now on in memory
    damaged,       // the file was damaged: set aside, a new library started
    newer,         // written by a newer velora: left as it is, marks kept in memory
    locked,        // another velora window or process is marking this exam
};

struct LibraryError {
    LibraryFault fault = LibraryFault::none;
    QString path;    // the file concerned (damaged: where it was set aside)
    QString detail;  // SQLite's or the system's words, for logs

    bool ok() const { return fault == LibraryFault::none; }
    static LibraryError of(LibraryFault fault, const QString &path, const QString &detail = QString());
};

// The Chinese message for the teacher; empty for no error.
QString library_error_message(const LibraryError &e);

enum class ExamMatchKind { none, same, mended, other };

struct ExamMatch {
    ExamMatchKind kind = ExamMatchKind::none;  // none: no class or no written question yet
    qint64 exam = 0;                           // same, mended: the exam the library holds
    QVector<int> changed;                      // mended: the questions (1 ..) whose text changed
    QString paper_name;                        // mended: the name the exam's problem file gave it
};

struct LibraryMark {
    int student = 0;   // roster position, from 1
    int question = 0;  // written question, from 1
    double value = 0;
    bool exported = false;      // whether the last exported workbook holds the item
    double exported_value = 0;  // what it holds there
    qint64 given_ms = 0;        // ms since 1970-01-01 UTC
};

// An exam's marks over the roster loaded now.
struct ExamMarks {
    QVector<LibraryMark> marks;
    // Items whose mark the last exported workbook lacks (a 0 never exported
    // counting as held): what 不恢复 would give up.
    int unexported = 0;
    qint64 last_mark_ms = 0;
    int last_student = 0;  // the item marked last
    int last_question = 0;
};

class MarkLibrary {
public:
    MarkLibrary();
    ~MarkLibrary();
    MarkLibrary(const MarkLibrary &) = delete;
    MarkLibrary &operator=(const MarkLibrary &) = delete;

    // Opens velora.sqlite3 in `folder`, making both where missing, and
    // upgrades its schema. Whatever the error, the library is usable after it
    // (in memory where the file is not); the error is for the teacher.
    LibraryError open(const QString &folder);
    bool in_memory() const;
    QString file_path() const;
    // The connection's journal_mode ("wal") and synchronous (2: FULL).
    QString journal_mode() const;
    int synchronous() const;

    ExamMatch match(const ExamIdentity &next);
    // Takes the lock of an exam the library holds; locked where another window
    // or process has it. The exam open now keeps its lock until close_exam().
    LibraryError claim(qint64 exam);
    // Opens the exam the store now holds for marking: `m` as match() gave it
    // (mended: the exam takes the new paper; other: a new exam), its students
    // added and mapped to the roster's positions.
    LibraryError begin(const ExamIdentity &exam, const ExamMatch &m);
    qint64 exam() const { return exam_; }
    ExamMarks marks() const;
    // Student s's written question q now holds `value` (a press stored it);
    // committed before it returns. The same value again writes nothing.
    LibraryError record_mark(int s, int q, double value);
    // Every mark of the roster's students is in the workbook written to `path`
    // now, with their totals and whether each was 缺考 (by roster position).
    LibraryError record_export(const QString &path, const QVector<double> &totals, const QVector<bool> &absent = {});
    // Sets every mark back to what the last exported workbook holds (none where nothing was).
    LibraryError revert_to_exported();
    // Adds marks read elsewhere (a 1.0.0 journal) to the open exam, over any it holds.
    LibraryError import_marks(const QVector<LegacyMark> &marks);
    // What the open exam is compared with, from the last export of each exam:
    // the latest exam begun before it on another paper whose workbook holds at
    // least half of the roster (进退步), and the exams of other classes on its
    // paper (班级对比).
    ExamHistory history() const;
    // Releases the open exam and its lock; its marks stay.
    void close_exam();

private:
    struct Lock;
    // Runs `body` (SQLite's result code) in one transaction; where the file
    // cannot be written, moves to memory and runs it there.
    LibraryError transact(const std::function<int()> &body);
    LibraryError open_file();
    bool move_to_memory(bool copy);
    std::unique_ptr<Lock> take_lock(qint64 exam, bool *held_elsewhere) const;

    sqlite3 *db_ = nullptr;
    bool memory_ = false;
    QString folder_;
    QString path_;
    bool locks_ = false;  // whether exams are locked: ids are the file's
    qint64 exam_ = 0;
    int written_ = 0;
    QVector<qint64> students_;                  // roster position - 1 -> student id
    // The roster's items' values as the library holds them (NaN: no mark), read by marks()
    mutable QVector<double> values_;
    mutable bool values_loaded_ = false;
    std::unique_ptr<Lock> lock_;                // of exam_
    std::unique_ptr<Lock> claimed_;             // taken before the load commits
    qint64 claimed_exam_ = 0;
};
