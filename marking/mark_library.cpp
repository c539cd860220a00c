// The mark library: opening and upgrading the database, deciding whose marks
// a load brings, recording marks and exports, and the library's messages.
#include "marking/mark_library.h"

#include "marking/legacy_journal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <sqlite3.h>

#include <cstring>
#include <limits>

namespace {

constexpr int schema_version = 1;
constexpr int busy_ms = 5000;  // another velora on another exam writing

const char schema[] = R"sql(
CREATE TABLE paper (
  id            INTEGER PRIMARY KEY,
  fingerprint   BLOB NOT NULL UNIQUE,
  choice_count  INTEGER NOT NULL,
  written_count INTEGER NOT NULL
);
CREATE TABLE question (
  paper_id  INTEGER NOT NULL REFERENCES paper(id),
  number    INTEGER NOT NULL,
  max_score REAL NOT NULL,
  text      TEXT NOT NULL,
  PRIMARY KEY (paper_id, number)
) WITHOUT ROWID;
CREATE TABLE exam (
  id          INTEGER PRIMARY KEY,
  paper_id    INTEGER NOT NULL REFERENCES paper(id),
  paper_name  TEXT NOT NULL,
  class_name  TEXT NOT NULL,
  created_ms  INTEGER NOT NULL,
  marked_ms   INTEGER,
  exported_ms INTEGER,
  exported_to TEXT
);
CREATE INDEX exam_by_paper ON exam(paper_id);
CREATE TABLE student (
  id      INTEGER PRIMARY KEY,
  exam_id INTEGER NOT NULL REFERENCES exam(id),
  name    TEXT NOT NULL,
  repeat  INTEGER NOT NULL,
  exported_total REAL,
  exported_absent INTEGER,
  UNIQUE (exam_id, name, repeat)
);
CREATE TABLE mark (
  student_id INTEGER NOT NULL REFERENCES student(id),
  question   INTEGER NOT NULL,
  value      REAL NOT NULL,
  given_ms   INTEGER NOT NULL,
  exported   REAL,
  PRIMARY KEY (student_id, question)
) WITHOUT ROWID;
)sql";

// A prepared statement with bound values; finalized when it goes.
class Stmt {
public:
    Stmt(sqlite3 *db, const char *sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;
    bool ok() const { return rc_ == SQLITE_OK || rc_ == SQLITE_ROW || rc_ == SQLITE_DONE; }
    int rc() const { return rc_; }
    Stmt &bind(int i, qint64 v)
    {
        keep(sqlite3_bind_int64(s_, i, v));
        return *this;
    }
    Stmt &bind(int i, int v) { return bind(i, qint64(v)); }
    Stmt &bind(int i, double v)
    {
        keep(sqlite3_bind_double(s_, i, v));
        return *this;
    }
    Stmt &bind_null(int i)
    {
        keep(sqlite3_bind_null(s_, i));
        return *this;
    }
    Stmt &bind_text(int i, const QByteArray &v)
    {
        keep(sqlite3_bind_text(s_, i, v.constData(), v.size(), SQLITE_TRANSIENT));
        return *this;
    }
    Stmt &bind_text(int i, const QString &v) { return bind_text(i, v.toUtf8()); }
    Stmt &bind_blob(int i, const QByteArray &v)
    {
        keep(sqlite3_bind_blob(s_, i, v.constData(), v.size(), SQLITE_TRANSIENT));
        return *this;
    }
    // A row: true; done or failed: false (rc() tells which).
    bool step()
    {
        if (!s_ || (rc_ != SQLITE_OK && rc_ != SQLITE_ROW))
            return false;
        rc_ = sqlite3_step(s_);
        return rc_ == SQLITE_ROW;
    }
    // Runs a statement that returns no rows: SQLITE_DONE or the failure.
    int run()
    {
        while (step()) { }
        return rc_;
    }
    void reset()
    {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
        rc_ = SQLITE_OK;
    }
    qint64 int64(int c) const { return sqlite3_column_int64(s_, c); }
    double real(int c) const { return sqlite3_column_double(s_, c); }
    bool null(int c) const { return sqlite3_column_type(s_, c) == SQLITE_NULL; }
    QByteArray bytes(int c) const
    {
        const void *p = sqlite3_column_blob(s_, c);
        return QByteArray(static_cast<const char *>(p), sqlite3_column_bytes(s_, c));
    }

private:
    void keep(int rc)
    {
        if (rc_ == SQLITE_OK && rc != SQLITE_OK)
            rc_ = rc;
    }
    sqlite3_stmt *s_ = nullptr;
    int rc_ = SQLITE_OK;
};

bool done(int rc)
{
    return rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW;
}

int exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool damaged_code(int rc)
{
    return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
}

QString sqlite_reason(sqlite3 *db, int rc)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))).arg(rc);
}

qint64 now_ms()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QByteArray paper_fingerprint(const ExamIdentity &id)
{
    QByteArray bytes("velora paper 1\n");
    auto put = [&bytes](quint64 v) {
        char b[8];
        qToLittleEndian(v, b);
        bytes.append(b, 8);
    };
    put(quint64(id.xuan_count));
    put(quint64(id.unxuan_count));
    for (int p = 0; p < id.max_scores.size(); ++p) {
        const double m = id.max_scores[p] + 0.0;  // -0 and 0 are one maximum
        quint64 bits;
        std::memcpy(&bits, &m, sizeof bits);
        put(bits);
        const QByteArray text = id.texts.value(p);
        put(quint64(text.size()));
        bytes += text;
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// A student of a roster: her name, and which of the same names she is (from 1).
using StudentKey = QPair<QByteArray, int>;

QVector<StudentKey> student_keys(const QByteArrayList &names)
{
    QHash<QByteArray, int> seen;
    QVector<StudentKey> keys;
    keys.reserve(names.size());
    for (const QByteArray &n : names)
        keys.append({n, ++seen[n]});
    return keys;
}

// Of the exams of `paper`, the one with most of the roster's students, if at
// least half of them; ties go to the exam marked last. 0: none.
qint64 exam_of_class(sqlite3 *db, qint64 paper, const QSet<StudentKey> &roster, int *common_out)
{
    Stmt q(db,
           "SELECT e.id, s.name, s.repeat FROM exam e JOIN student s ON s.exam_id = e.id WHERE e.paper_id = ?"
           " ORDER BY coalesce(e.marked_ms, e.created_ms) DESC, e.id DESC");
    q.bind(1, paper);
    QVector<qint64> order;
    QHash<qint64, int> common;
    while (q.step()) {
        const qint64 e = q.int64(0);
        if (!common.contains(e)) {
            order << e;
            common[e] = 0;
        }
        if (roster.contains({q.bytes(1), int(q.int64(2))}))
            ++common[e];
    }
    qint64 best = 0;
    int most = 0;
    for (qint64 e : order)
        if (common[e] > most) {
            most = common[e];
            best = e;
        }
    if (most == 0 || 2 * most < roster.size())
        return 0;
    *common_out = most;
    return best;
}

QString free_name(const QString &base)
{
    QString name = base;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

}  // namespace

// An exam's lock: a small database of its own, held exclusively while the
// exam is open. The operating system's lock on it goes with the process.
struct MarkLibrary::Lock {
    sqlite3 *db = nullptr;
    ~Lock() { sqlite3_close(db); }
};

LibraryError LibraryError::of(LibraryFault fault, const QString &path, const QString &detail)
{
    LibraryError e;
    e.fault = fault;
    e.path = path;
    e.detail = detail;
    return e;
}

MarkLibrary::MarkLibrary() = default;

MarkLibrary::~MarkLibrary()
{
    close_exam();
    claimed_.reset();
    sqlite3_close(db_);
}

bool MarkLibrary::in_memory() const
{
    return memory_;
}

QString MarkLibrary::file_path() const
{
    return path_;
}

QString MarkLibrary::journal_mode() const
{
    Stmt q(db_, "PRAGMA journal_mode");
    return q.step() ? QString::fromUtf8(q.bytes(0)) : QString();
}

int MarkLibrary::synchronous() const
{
    Stmt q(db_, "PRAGMA synchronous");
    return q.step() ? int(q.int64(0)) : -1;
}

LibraryError MarkLibrary::open(const QString &folder)
{
    close_exam();
    claimed_.reset();
    claimed_exam_ = 0;
    sqlite3_close(db_);
    db_ = nullptr;
    memory_ = false;
    folder_ = folder;
    path_ = QDir(folder).filePath(QStringLiteral("velora.sqlite3"));
    locks_ = true;
    if (!QDir().mkpath(folder)) {
        move_to_memory(false);
        return LibraryError::of(LibraryFault::open_failed, path_, QStringLiteral("cannot make the folder"));
    }
    LibraryError e = open_file();
    if (e.fault == LibraryFault::damaged) {
        // Set aside with its WAL, so the new library replays none of it.
        sqlite3_close(db_);
        db_ = nullptr;
        const QString aside = free_name(path_ + QStringLiteral(".damaged"));
        bool moved = QFile::rename(path_, aside);
        for (const char *part : {"-wal", "-shm"})
            if (QFileInfo::exists(path_ + QLatin1String(part)))
                moved = QFile::rename(path_ + QLatin1String(part), aside + QLatin1String(part)) && moved;
        if (!moved) {
            move_to_memory(false);
            return LibraryError::of(LibraryFault::open_failed, path_, e.detail);
        }
        const LibraryError again = open_file();
        if (!again.ok())
            return again;
        e.path = aside;
    }
    return e;
}

LibraryError MarkLibrary::open_file()
{
    int rc = sqlite3_open_v2(path_.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = sqlite_reason(db_, rc);
        move_to_memory(false);
        return LibraryError::of(LibraryFault::open_failed, path_, why);
    }
    sqlite3_busy_timeout(db_, busy_ms);
    sqlite3_extended_result_codes(db_, 1);
    // Damage anywhere is found now, before any of it is shown as marks.
    {
        Stmt check(db_, "PRAGMA quick_check");
        const bool row = check.step();
        if (damaged_code(check.rc()) || (row && check.bytes(0) != "ok"))
            return LibraryError::of(LibraryFault::damaged, path_, sqlite_reason(db_, check.rc()));
        if (!row) {
            const QString why = sqlite_reason(db_, check.rc());
            move_to_memory(false);
            return LibraryError::of(LibraryFault::open_failed, path_, why);
        }
    }
    int version = 0;
    {
        Stmt v(db_, "PRAGMA user_version");
        if (v.step())
            version = int(v.int64(0));
    }
    if (version > schema_version) {
        move_to_memory(false);
        return LibraryError::of(LibraryFault::newer, path_, QStringLiteral("user_version %1").arg(version));
    }
    // A press returns only once its mark is on the disk.
    rc = sqlite3_db_readonly(db_, "main") == 1 ? SQLITE_READONLY : SQLITE_OK;
    QString mode;
    if (rc == SQLITE_OK) {
        Stmt wal(db_, "PRAGMA journal_mode=WAL");
        if (wal.step())
            mode = QString::fromUtf8(wal.bytes(0));
        rc = wal.rc();
    }
    if (done(rc) && mode == QLatin1String("wal"))
        rc = exec(db_, "PRAGMA synchronous=FULL");
    else if (done(rc))
        rc = SQLITE_CANTOPEN;
    if (done(rc) && version == 0) {
        rc = exec(db_, "BEGIN IMMEDIATE");
        if (done(rc)) {
            rc = exec(db_, schema);
            if (done(rc))
                rc = exec(db_, "PRAGMA user_version = 1; COMMIT");
            if (!done(rc))
                exec(db_, "ROLLBACK");
        }
    }
    if (!done(rc)) {
        const QString why = sqlite_reason(db_, rc);
        // What it holds stays in view, in memory.
        move_to_memory(version == schema_version);
        return LibraryError::of(LibraryFault::open_failed, path_, why);
    }
    return {};
}

bool MarkLibrary::move_to_memory(bool copy)
{
    sqlite3 *mem = nullptr;
    if (sqlite3_open(":memory:", &mem) != SQLITE_OK) {
        sqlite3_close(mem);
        return false;
    }
    bool copied = false;
    if (copy && db_) {
        sqlite3_backup *b = sqlite3_backup_init(mem, "main", db_, "main");
        copied = b && sqlite3_backup_step(b, -1) == SQLITE_DONE;
        copied = sqlite3_backup_finish(b) == SQLITE_OK && copied;
    }
    if (!copied) {
        sqlite3_close(mem);
        sqlite3_open(":memory:", &mem);
        exec(mem, schema);
        exec(mem, "PRAGMA user_version = 1");
    }
    sqlite3_close(db_);
    db_ = mem;
    memory_ = true;
    // Ids of an empty library are not the file's: another window's lock would be another exam's.
    locks_ = locks_ && copied;
    return copied;
}

LibraryError MarkLibrary::transact(const std::function<int()> &body)
{
    const auto run = [this, &body] {
        int rc = exec(db_, "BEGIN IMMEDIATE");
        if (done(rc)) {
            rc = body();
            if (done(rc))
                rc = exec(db_, "COMMIT");
        }
        if (!done(rc))
            exec(db_, "ROLLBACK");
        return rc;
    };
    const int rc = run();
    if (done(rc))
        return {};
    const LibraryError e = LibraryError::of(LibraryFault::write_failed, path_, sqlite_reason(db_, rc));
    if (!memory_) {
        // The file refuses writes; what it holds comes along into memory, and this write goes there.
        move_to_memory(true);
        run();
    }
    return e;
}

ExamMatch MarkLibrary::match(const ExamIdentity &next)
{
    ExamMatch m;
    if (next.names.isEmpty() || next.unxuan_count <= 0)
        return m;
    m.kind = ExamMatchKind::other;
    QSet<StudentKey> roster;
    for (const StudentKey &k : student_keys(next.names))
        roster.insert(k);
    qint64 exact = 0;
    {
        Stmt q(db_, "SELECT id FROM paper WHERE fingerprint = ?");
        q.bind_blob(1, paper_fingerprint(next));
        if (q.step())
            exact = q.int64(0);
    }
    int common = 0;
    if (exact) {
        if (const qint64 e = exam_of_class(db_, exact, roster, &common)) {
            m.kind = ExamMatchKind::same;
            m.exam = e;
            return m;
        }
    }
    // A mended paper: the same counts and maxima, at least half of the texts as they were.
    Stmt papers(db_, "SELECT id FROM paper WHERE choice_count = ? AND written_count = ? AND id != ?");
    papers.bind(1, next.xuan_count).bind(2, next.unxuan_count).bind(3, exact);
    QVector<qint64> candidates;
    while (papers.step())
        candidates << papers.int64(0);
    const int n = next.xuan_count + next.unxuan_count;
    int best_common = 0, best_unchanged = 0;
    for (qint64 paper : candidates) {
        Stmt q(db_, "SELECT number, max_score, text FROM question WHERE paper_id = ? ORDER BY number");
        q.bind(1, paper);
        QVector<int> changed;
        int rows = 0;
        bool same_shape = true;
        while (q.step()) {
            const int p = int(q.int64(0));
            ++rows;
            if (p != rows || p > n || q.real(1) != next.max_scores.value(p - 1) + 0.0) {
                same_shape = false;
                break;
            }
            if (q.bytes(2) != next.texts.value(p - 1))
                changed << p;
        }
        const int unchanged = n - changed.size();
        if (!same_shape || rows != n || changed.isEmpty() || 2 * unchanged < n)
            continue;
        int c = 0;
        const qint64 e = exam_of_class(db_, paper, roster, &c);
        if (e && (c > best_common || (c == best_common && unchanged > best_unchanged))) {
            best_common = c;
            best_unchanged = unchanged;
            m.kind = ExamMatchKind::mended;
            m.exam = e;
            m.changed = changed;
        }
    }
    if (m.kind == ExamMatchKind::mended) {
        Stmt q(db_, "SELECT paper_name FROM exam WHERE id = ?");
        q.bind(1, m.exam);
        if (q.step())
            m.paper_name = QString::fromUtf8(q.bytes(0));
    }
    return m;
}

std::unique_ptr<MarkLibrary::Lock> MarkLibrary::take_lock(qint64 exam, bool *held_elsewhere) const
{
    *held_elsewhere = false;
    if (!locks_)
        return nullptr;
    const QString dir = QDir(folder_).filePath(QStringLiteral("locks"));
    if (!QDir().mkpath(dir))
        return nullptr;  // no lock possible: marking goes on
    auto lock = std::make_unique<Lock>();
    const QString file = QDir(dir).filePath(QStringLiteral("exam-%1.lock").arg(exam));
    if (sqlite3_open_v2(file.toUtf8().constData(), &lock->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        return nullptr;
    exec(lock->db, "PRAGMA locking_mode = EXCLUSIVE");
    const int rc = exec(lock->db, "BEGIN EXCLUSIVE");
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
        *held_elsewhere = true;
        return nullptr;
    }
    return done(rc) ? std::move(lock) : nullptr;
}

LibraryError MarkLibrary::claim(qint64 exam)
{
    if (exam == exam_ || exam == claimed_exam_)
        return {};
    claimed_.reset();
    claimed_exam_ = 0;
    bool held = false;
    std::unique_ptr<Lock> lock = take_lock(exam, &held);
    if (held)
        return LibraryError::of(LibraryFault::locked, path_);
    claimed_ = std::move(lock);
    claimed_exam_ = exam;
    return {};
}

LibraryError MarkLibrary::begin(const ExamIdentity &exam, const ExamMatch &m)
{
    if (m.kind == ExamMatchKind::none)
        return {};
    const QVector<StudentKey> keys = student_keys(exam.names);
    qint64 id = 0;
    QVector<qint64> students;
    LibraryError e;
    if (m.kind == ExamMatchKind::same) {
        // A reload of an exam whose students are all known writes nothing.
        QHash<StudentKey, qint64> known;
        Stmt q(db_, "SELECT id, name, repeat FROM student WHERE exam_id = ?");
        q.bind(1, m.exam);
        while (q.step())
            known.insert({q.bytes(1), int(q.int64(2))}, q.int64(0));
        for (const StudentKey &k : keys) {
            const qint64 sid = known.value(k);
            if (!sid)
                break;
            students << sid;
        }
        if (students.size() == keys.size())
            id = m.exam;
    }
    if (!id)
        e = transact([&]() -> int {
        students.clear();
        const QByteArray fingerprint = paper_fingerprint(exam);
        qint64 paper = 0;
        {
            Stmt q(db_, "SELECT id FROM paper WHERE fingerprint = ?");
            q.bind_blob(1, fingerprint);
            if (q.step())
                paper = q.int64(0);
            else if (!done(q.rc()))
                return q.rc();
        }
        if (!paper) {
            Stmt ins(db_, "INSERT INTO paper (fingerprint, choice_count, written_count) VALUES (?, ?, ?)");
            int rc = ins.bind_blob(1, fingerprint).bind(2, exam.xuan_count).bind(3, exam.unxuan_count).run();
            if (!done(rc))
                return rc;
            paper = sqlite3_last_insert_rowid(db_);
            Stmt qs(db_, "INSERT INTO question (paper_id, number, max_score, text) VALUES (?, ?, ?, ?)");
            for (int p = 1; p <= exam.max_scores.size(); ++p) {
                qs.reset();
                rc = qs.bind(1, paper).bind(2, p).bind(3, exam.max_scores[p - 1] + 0.0).bind_text(4, exam.texts.value(p - 1)).run();
                if (!done(rc))
                    return rc;
            }
        }
        int rc = SQLITE_OK;
        if (m.kind == ExamMatchKind::other) {
            Stmt ins(db_, "INSERT INTO exam (paper_id, paper_name, class_name, created_ms) VALUES (?, ?, ?, ?)");
            rc = ins.bind(1, paper).bind_text(2, exam.paper_name).bind_text(3, exam.class_name).bind(4, now_ms()).run();
            id = sqlite3_last_insert_rowid(db_);
        } else {
            // A mended paper the teacher called the same exam: the exam takes it.
            id = m.exam;
            Stmt up(db_,
                    "UPDATE exam SET paper_id = ?, paper_name = coalesce(nullif(?, ''), paper_name),"
                    " class_name = coalesce(nullif(?, ''), class_name) WHERE id = ?");
            rc = up.bind(1, paper).bind_text(2, exam.paper_name).bind_text(3, exam.class_name).bind(4, id).run();
        }
        if (!done(rc))
            return rc;
        Stmt add(db_, "INSERT OR IGNORE INTO student (exam_id, name, repeat) VALUES (?, ?, ?)");
        Stmt find(db_, "SELECT id FROM student WHERE exam_id = ? AND name = ? AND repeat = ?");
        for (const StudentKey &k : keys) {
            add.reset();
            rc = add.bind(1, id).bind_text(2, k.first).bind(3, k.second).run();
            if (!done(rc))
                return rc;
            find.reset();
            find.bind(1, id).bind_text(2, k.first).bind(3, k.second);
            if (!find.step())
                return done(find.rc()) ? SQLITE_INTERNAL : find.rc();
            students << find.int64(0);
        }
        return SQLITE_OK;
    });
    if (id != exam_) {
        lock_.reset();
        if (id == claimed_exam_) {
            lock_ = std::move(claimed_);
        } else {
            bool held = false;
            lock_ = take_lock(id, &held);
        }
        claimed_.reset();
        claimed_exam_ = 0;
    }
    exam_ = id;
    written_ = exam.unxuan_count;
    students_ = students;
    values_loaded_ = false;
    return e;
}

ExamMarks MarkLibrary::marks() const
{
    ExamMarks out;
    if (!exam_)
        return out;
    values_.fill(std::numeric_limits<double>::quiet_NaN(), students_.size() * written_);
    out.marks.reserve(values_.size());
    // Student by student along the mark table's key: a student no longer listed keeps hers unread.
    Stmt q(db_, "SELECT question, value, exported, given_ms FROM mark WHERE student_id = ? AND question <= ?");
    for (int s = 1; s <= students_.size(); ++s) {
        q.reset();
        q.bind(1, students_[s - 1]).bind(2, written_);
        while (q.step()) {
            LibraryMark m;
            m.student = s;
            m.question = int(q.int64(0));
            if (m.question < 1)
                continue;
            m.value = q.real(1);
            m.exported = !q.null(2);
            m.exported_value = m.exported ? q.real(2) : 0.0;
            m.given_ms = q.int64(3);
            values_[(s - 1) * written_ + m.question - 1] = m.value;
            if (m.value != m.exported_value)
                ++out.unexported;
            if (m.given_ms >= out.last_mark_ms) {
                out.last_mark_ms = m.given_ms;
                out.last_student = m.student;
                out.last_question = m.question;
            }
            out.marks.append(m);
        }
    }
    values_loaded_ = true;
    return out;
}

LibraryError MarkLibrary::record_mark(int s, int q, double value)
{
    if (!exam_ || s < 1 || s > students_.size() || q < 1 || q > written_)
        return {};
    const qint64 student = students_[s - 1];
    if (!values_loaded_)
        marks();
    double &held = values_[(s - 1) * written_ + q - 1];
    if (held == value)
        return {};  // never true for an item with no mark (NaN)
    const qint64 when = now_ms();
    const LibraryError e = transact([&]() -> int {
        Stmt up(db_,
                "INSERT INTO mark (student_id, question, value, given_ms) VALUES (?, ?, ?, ?)"
                " ON CONFLICT (student_id, question) DO UPDATE SET value = excluded.value, given_ms = excluded.given_ms");
        const int rc = up.bind(1, student).bind(2, q).bind(3, value).bind(4, when).run();
        if (!done(rc))
            return rc;
        Stmt ex(db_, "UPDATE exam SET marked_ms = ? WHERE id = ?");
        return ex.bind(1, when).bind(2, exam_).run();
    });
    held = value;
    return e;
}

LibraryError MarkLibrary::record_export(const QString &path, const QVector<double> &totals, const QVector<bool> &absent)
{
    if (!exam_)
        return {};
    return transact([&]() -> int {
        // Only the students of this workbook are in it.
        Stmt none(db_, "UPDATE student SET exported_total = NULL, exported_absent = NULL WHERE exam_id = ?");
        int rc = none.bind(1, exam_).run();
        if (!done(rc))
            return rc;
        Stmt up(db_, "UPDATE mark SET exported = value WHERE student_id = ? AND question <= ?");
        Stmt total(db_, "UPDATE student SET exported_total = ?, exported_absent = ? WHERE id = ?");
        for (int s = 0; s < students_.size(); ++s) {
            up.reset();
            rc = up.bind(1, students_[s]).bind(2, written_).run();
            if (!done(rc))
                return rc;
            total.reset();
            rc = total.bind(1, totals.value(s)).bind(2, absent.value(s) ? 1 : 0).bind(3, students_[s]).run();
            if (!done(rc))
                return rc;
        }
        Stmt ex(db_, "UPDATE exam SET exported_ms = ?, exported_to = ? WHERE id = ?");
        return ex.bind(1, now_ms()).bind_text(2, QDir::toNativeSeparators(path)).bind(3, exam_).run();
    });
}

LibraryError MarkLibrary::revert_to_exported()
{
    if (!exam_)
        return {};
    const LibraryError e = transact([&]() -> int {
        Stmt up(db_, "UPDATE mark SET value = exported WHERE exported IS NOT NULL"
                     " AND student_id IN (SELECT id FROM student WHERE exam_id = ?)");
        const int rc = up.bind(1, exam_).run();
        if (!done(rc))
            return rc;
        Stmt del(db_, "DELETE FROM mark WHERE exported IS NULL AND student_id IN (SELECT id FROM student WHERE exam_id = ?)");
        return del.bind(1, exam_).run();
    });
    values_loaded_ = false;
    return e;
}

LibraryError MarkLibrary::import_marks(const QVector<LegacyMark> &marks)
{
    if (!exam_)
        return {};
    const LibraryError e = transact([&]() -> int {
        Stmt up(db_,
                "INSERT INTO mark (student_id, question, value, given_ms, exported) VALUES (?, ?, ?, ?, ?)"
                " ON CONFLICT (student_id, question) DO UPDATE SET value = excluded.value,"
                " given_ms = excluded.given_ms, exported = excluded.exported");
        for (const LegacyMark &m : marks) {
            if (m.student < 1 || m.student > students_.size() || m.question < 1 || m.question > written_)
                continue;
            up.reset();
            up.bind(1, students_[m.student - 1]).bind(2, m.question).bind(3, m.value).bind(4, m.given_ms);
            if (m.exported)
                up.bind(5, m.exported_value);
            else
                up.bind_null(5);
            const int rc = up.run();
            if (!done(rc))
                return rc;
        }
        return SQLITE_OK;
    });
    values_loaded_ = false;
    return e;
}

ExamHistory MarkLibrary::history() const
{
    ExamHistory h;
    if (!exam_)
        return h;
    qint64 paper = 0, created = 0;
    {
        Stmt q(db_, "SELECT paper_id, created_ms FROM exam WHERE id = ?");
        q.bind(1, exam_);
        if (!q.step())
            return h;
        paper = q.int64(0);
        created = q.int64(1);
    }
    QHash<StudentKey, int> roster;  // -> position, from 1
    {
        QHash<qint64, int> position;
        for (int s = 0; s < students_.size(); ++s)
            position[students_[s]] = s + 1;
        Stmt q(db_, "SELECT id, name, repeat FROM student WHERE exam_id = ?");
        q.bind(1, exam_);
        while (q.step())
            if (const int at = position.value(q.int64(0)))
                roster[{q.bytes(1), int(q.int64(2))}] = at;
    }
    Stmt exams(db_,
               "SELECT id, paper_id, paper_name, class_name, exported_ms, created_ms FROM exam"
               " WHERE id != ? AND exported_ms IS NOT NULL ORDER BY created_ms, id");
    exams.bind(1, exam_);
    Stmt students(db_, "SELECT name, repeat, exported_total, exported_absent FROM student"
                       " WHERE exam_id = ? AND exported_total IS NOT NULL ORDER BY id");
    Stmt maxima(db_, "SELECT max_score FROM question WHERE paper_id = ?");
    while (exams.step()) {
        const qint64 id = exams.int64(0), its_paper = exams.int64(1), its_created = exams.int64(5);
        PastExam past;
        past.paper_name = QString::fromUtf8(exams.bytes(2));
        past.class_name = QString::fromUtf8(exams.bytes(3));
        past.exported_ms = exams.int64(4);
        students.reset();
        students.bind(1, id);
        int common = 0;
        while (students.step()) {
            PastStudent s;
            s.roster = roster.value({students.bytes(0), int(students.int64(1))});
            s.total = students.real(2);
            s.absent = students.int64(3) != 0;
            common += s.roster > 0;
            past.students << s;
        }
        // At least half of the roster in common is this class; on this paper it would be this exam again.
        const bool same_class = common > 0 && 2 * common >= students_.size();
        if (its_paper == paper) {
            if (!same_class && !past.students.isEmpty())
                h.classes << past;
        } else if (same_class && (its_created < created || (its_created == created && id < exam_))) {
            maxima.reset();
            maxima.bind(1, its_paper);
            QVector<double> max_scores;
            while (maxima.step())
                max_scores << maxima.real(0);
            past.full_marks = full_marks_of(max_scores);
            h.previous = past;  // the latest so far: exams come in the order they began
        }
    }
    return h;
}

void MarkLibrary::close_exam()
{
    lock_.reset();
    exam_ = 0;
    written_ = 0;
    students_.clear();
    values_.clear();
    values_loaded_ = false;
}

namespace {

// The library's messages, translated in the context "velora".
class LibraryText {
    Q_DECLARE_TR_FUNCTIONS(velora)
public:
    static QString message(const LibraryError &e)
    {
        const QString path = QDir::toNativeSeparators(e.path);
        const QString in_memory = tr("此后给出的分数暂时只保存在内存中，velora 关闭后就没有了，请记得及时导出。");
        switch (e.fault) {
        case LibraryFault::none:
            return QString();
        case LibraryFault::open_failed:
            return tr("无法打开或写入成绩库“%1”。").arg(path) + in_memory;
        case LibraryFault::write_failed:
            return tr("无法写入成绩库“%1”，磁盘可能已满或不允许写入。").arg(path) + in_memory;
        case LibraryFault::damaged:
            return tr("成绩库已损坏，其中的评分没有使用；原文件已另存为“%1”，velora 新建了一个成绩库。").arg(path);
        case LibraryFault::newer:
            return tr("成绩库“%1”是更新版本的 velora 建立的，这个版本不能使用它，文件保持原样。").arg(path)
                + in_memory;
        case LibraryFault::locked:
            return tr("另一个 velora 窗口正在为这场考试评分，这次导入没有进行。"
                      "请在那个窗口中继续评分，或者先关闭它再导入。");
        }
        return QString();
    }
};

}  // namespace

QString library_error_message(const LibraryError &e)
{
    return LibraryText::message(e);
}
