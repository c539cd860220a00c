// The mark journal: framing and checking records, reading a journal back,
// appending durably under the exam's lock, and the journal's messages.
#include "marking/mark_journal.h"

#include "marking/durable_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QtEndian>

#include <cstring>

namespace {

constexpr quint32 format_version = 1;
constexpr int frame_bytes = 9;                // length, type, crc
constexpr int mark_payload = 24;              // student, question, value, time
constexpr int export_payload = 8;             // time
constexpr quint32 max_payload = 1024 * 1024;  // a header of 1000 names stays far below it

struct CrcTable {
    quint32 entry[256] = {};
    constexpr CrcTable()
    {
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[n] = c;
        }
    }
};
constexpr CrcTable crc_table;

quint32 crc32_of(const char *data, int size)
{
    quint32 c = 0xFFFFFFFFu;
    for (int i = 0; i < size; ++i)
        c = crc_table.entry[(c ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

template <typename T> void put(QByteArray &out, T v)
{
    char b[sizeof(T)];
    qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

template <typename T> T get(const char *p)
{
    return qFromLittleEndian<T>(p);
}

QByteArray frame(char type, const QByteArray &payload)
{
    QByteArray out;
    put(out, quint32(payload.size()));
    out += type;
    out += payload;
    put(out, crc32_of(out.constData(), out.size()));
    return out;
}

QByteArray mark_record(int s, int q, double value, qint64 ms)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray payload;
    put(payload, qint32(s));
    put(payload, qint32(q));
    put(payload, bits);
    put(payload, ms);
    return frame('M', payload);
}

quint32 item_key(int s, int q)
{
    return quint32(s) << 8 | quint32(q);  // q <= limits::written < 256
}

struct Frame {
    char type = 0;
    const char *payload = nullptr;
    int length = 0;
    int size = 0;  // with the frame
};

// The record starting at `pos`, if one is there whole and checks.
bool frame_at(const QByteArray &data, int pos, Frame *out)
{
    if (data.size() - pos < frame_bytes)
        return false;
    const char *p = data.constData() + pos;
    const quint32 length = get<quint32>(p);
    if (length > max_payload || quint32(data.size() - pos - frame_bytes) < length)
        return false;
    const int body = 5 + int(length);
    if (get<quint32>(p + body) != crc32_of(p, body))
        return false;
    out->type = p[4];
    out->payload = p + 5;
    out->length = int(length);
    out->size = body + 4;
    return true;
}

// Whether any record checks anywhere from `pos` on: then a failed record
// before it was not the last one written.
bool record_behind(const QByteArray &data, int pos)
{
    Frame f;
    for (; pos <= data.size() - frame_bytes; ++pos)
        if (frame_at(data, pos, &f))
            return true;
    return false;
}

enum class ReadOutcome { ok, damaged, other_exam };

struct ReadState {
    QMap<quint32, double> values;
    QMap<quint32, double> exported;
    JournalReplay replay;
    qint64 good_size = 0;
};

ReadOutcome read_records(const QByteArray &data, const QByteArray &canonical, int students, int written, ReadState *st)
{
    int pos = 0;
    while (pos < data.size()) {
        Frame f;
        if (!frame_at(data, pos, &f)) {
            if (record_behind(data, pos + 1))
                return ReadOutcome::damaged;
            st->replay.torn_tail = true;
            break;
        }
        if (pos == 0) {
            if (f.type != 'H' || f.length < 4)
                return ReadOutcome::damaged;
            if (get<quint32>(f.payload) != format_version)
                return ReadOutcome::damaged;
            if (QByteArray::fromRawData(f.payload + 4, f.length - 4) != canonical)
                return ReadOutcome::other_exam;
        } else if (f.type == 'M' && f.length == mark_payload) {
            const int s = get<qint32>(f.payload);
            const int q = get<qint32>(f.payload + 4);
            if (s < 1 || s > students || q < 1 || q > written)
                return ReadOutcome::damaged;
            const quint64 bits = get<quint64>(f.payload + 8);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            st->values[item_key(s, q)] = value;
            st->replay.last_mark_ms = get<qint64>(f.payload + 16);
            st->replay.last_student = s;
            st->replay.last_question = q;
        } else if (f.type == 'E' && f.length == export_payload) {
            st->exported = st->values;
        } else {
            return ReadOutcome::damaged;
        }
        pos += f.size;
    }
    st->good_size = pos;
    return ReadOutcome::ok;
}

int count_unexported(const QMap<quint32, double> &values, const QMap<quint32, double> &exported)
{
    int n = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (it.value() != exported.value(it.key(), 0.0))
            ++n;
    return n;
}

// A name for the set-aside file that nothing holds yet.
QString free_damaged_name(const QString &folder, const QString &key)
{
    QString name = QDir(folder).filePath(key + QStringLiteral(".damaged"));
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QDir(folder).filePath(QStringLiteral("%1-%2.damaged").arg(key).arg(n));
    return name;
}

QString lock_reason(QLockFile::LockError e)
{
    switch (e) {
    case QLockFile::PermissionError:
        return QStringLiteral("permission denied");
    case QLockFile::LockFailedError:
        return QStringLiteral("held by another process");
    default:
        return QStringLiteral("unknown error");
    }
}

}  // namespace

JournalError JournalError::of(JournalFault fault, const QString &path, const QString &detail)
{
    JournalError e;
    e.fault = fault;
    e.path = path;
    e.detail = detail;
    return e;
}

MarkJournal::MarkJournal(FileMaker make_file) : make_file_(std::move(make_file)) { }

MarkJournal::~MarkJournal()
{
    close();
}

JournalError MarkJournal::open(const QString &folder, const ExamIdentity &id)
{
    close();
    const QString key = id.key();
    folder_ = folder;
    path_ = QDir(folder).filePath(key + QStringLiteral(".journal"));
    made_folder_ = !QFileInfo(folder).isDir();
    if (!QDir().mkpath(folder))
        return JournalError::of(JournalFault::folder_failed, folder);

    const QString lock_path = QDir(folder).filePath(key + QStringLiteral(".lock"));
    auto lock = std::make_unique<QLockFile>(lock_path);
    // A live holder keeps its lock however long it marks; only a dead one loses it.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        const QLockFile::LockError e = lock->error();
        return JournalError::of(e == QLockFile::LockFailedError ? JournalFault::locked : JournalFault::folder_failed,
                                lock_path, lock_reason(e));
    }

    QByteArray data;
    QFile existing(path_);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return JournalError::of(JournalFault::read_failed, path_, existing.errorString());
        data = existing.readAll();
        if (existing.error() != QFileDevice::NoError)
            return JournalError::of(JournalFault::read_failed, path_, existing.errorString());
        existing.close();
    }

    QByteArray header_payload;
    put(header_payload, format_version);
    header_payload += id.canonical();
    header_ = frame('H', header_payload);
    students_ = id.names.size();
    written_ = id.unxuan_count;
    lock_ = std::move(lock);

    ReadState st;
    const ReadOutcome outcome = read_records(data, id.canonical(), students_, written_, &st);
    if (outcome != ReadOutcome::ok) {
        const JournalError e
            = set_aside(outcome == ReadOutcome::damaged ? JournalFault::damaged : JournalFault::other_exam);
        if (e.fault == JournalFault::read_failed)
            close();
        else
            open_ = true;
        return e;
    }
    values_ = st.values;
    exported_ = st.exported;
    good_size_ = st.good_size;
    replay_ = st.replay;
    for (auto it = values_.cbegin(); it != values_.cend(); ++it)
        replay_.marks.append({int(it.key() >> 8), int(it.key() & 0xFF), it.value()});
    replay_.unexported = count_unexported(values_, exported_);
    open_ = true;
    return {};
}

JournalError MarkJournal::set_aside(JournalFault fault)
{
    const QString key = QFileInfo(path_).completeBaseName();
    const QString aside = free_damaged_name(folder_, key);
    QFile f(path_);
    if (!f.rename(aside))
        return JournalError::of(JournalFault::read_failed, path_, f.errorString());
    return JournalError::of(fault, aside);
}

bool MarkJournal::is_open() const
{
    return open_ && broken_.ok();
}

int MarkJournal::unexported() const
{
    return count_unexported(values_, exported_);
}

JournalError MarkJournal::fail(const JournalError &e)
{
    broken_ = e;
    return e;
}

JournalError MarkJournal::append(const QByteArray &record)
{
    if (!broken_.ok())
        return broken_;
    if (!open_)
        return JournalError::of(JournalFault::write_failed, path_, QStringLiteral("journal not open"));
    bool created = false;
    if (!file_) {
        file_ = make_file_ ? make_file_() : std::make_unique<QFile>();
        file_->setFileName(path_);
        created = !file_->exists();
        if (!file_->open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            return fail(JournalError::of(JournalFault::write_failed, path_, file_->errorString()));
    }
    // A torn tail, or a record cut short by a failed write, goes first.
    if (file_->size() != good_size_ && !file_->resize(good_size_))
        return fail(JournalError::of(JournalFault::write_failed, path_, file_->errorString()));
    if (!file_->seek(good_size_))
        return fail(JournalError::of(JournalFault::write_failed, path_, file_->errorString()));
    const QByteArray bytes = good_size_ == 0 ? header_ + record : record;
    if (file_->write(bytes) != bytes.size()) {
        const QString reason = file_->errorString();
        file_->resize(good_size_);
        return fail(JournalError::of(JournalFault::write_failed, path_, reason));
    }
    QString reason;
    if (!sync_file(*file_, &reason))
        return fail(JournalError::of(JournalFault::sync_failed, path_, reason));
    if (created) {
        if (!sync_folder(folder_, &reason))
            return fail(JournalError::of(JournalFault::sync_failed, folder_, reason));
        const QString parent = QFileInfo(folder_).absolutePath();
        if (made_folder_ && !sync_folder(parent, &reason))
            return fail(JournalError::of(JournalFault::sync_failed, parent, reason));
        made_folder_ = false;
    }
    good_size_ += bytes.size();
    return {};
}

JournalError MarkJournal::record_mark(int s, int q, double value)
{
    if (!broken_.ok() || !open_)
        return append(QByteArray());
    if (s < 1 || s > students_ || q < 1 || q > written_)
        return {};
    const quint32 key = item_key(s, q);
    if (values_.value(key, 0.0) == value)
        return {};
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const JournalError e = append(mark_record(s, q, value, now));
    if (e.ok())
        values_[key] = value;
    return e;
}

JournalError MarkJournal::record_export()
{
    if (!broken_.ok())
        return broken_;
    if (good_size_ > 0) {
        QByteArray payload;
        put(payload, QDateTime::currentMSecsSinceEpoch());
        const JournalError e = append(frame('E', payload));
        if (!e.ok())
            return e;
    }
    exported_ = values_;
    return {};
}

JournalError MarkJournal::discard()
{
    if (!open_)
        return {};  // without the lock the file is not ours to delete
    file_.reset();
    values_.clear();
    exported_.clear();
    replay_ = JournalReplay();
    good_size_ = 0;
    QFile f(path_);
    if (f.exists() && !f.remove())
        return JournalError::of(JournalFault::remove_failed, path_, f.errorString());
    return {};
}

JournalError MarkJournal::remove()
{
    const JournalError e = open_ ? discard() : JournalError();
    close();
    return e;
}

void MarkJournal::close()
{
    file_.reset();
    lock_.reset();  // unlocks: the lock file goes with it
    open_ = false;
    broken_ = JournalError();
    values_.clear();
    exported_.clear();
    replay_ = JournalReplay();
    good_size_ = 0;
    students_ = written_ = 0;
}

namespace {

// The journal's messages, translated in the context "velora".
class JournalText {
    Q_DECLARE_TR_FUNCTIONS(velora)
public:
    static QString message(const JournalError &e)
    {
        const QString path = QDir::toNativeSeparators(e.path);
        switch (e.fault) {
        case JournalFault::none:
            return QString();
        case JournalFault::folder_failed:
            return tr("无法建立评分记录的文件夹“%1”。本次给出的分数只保留到 velora 关闭为止，请记得及时导出。")
                .arg(path);
        case JournalFault::locked:
            return tr("另一个 velora 窗口正在为这场考试评分（评分记录“%1”已被占用），这次导入没有进行。"
                      "请在那个窗口中继续评分，或者先关闭它再导入。")
                .arg(path);
        case JournalFault::read_failed:
            return tr("无法读取评分记录“%1”，其中的分数没有恢复。本次给出的分数只保留到 velora 关闭为止，"
                      "请记得及时导出。")
                .arg(path);
        case JournalFault::damaged:
            return tr("这场考试的评分记录已损坏，其中的分数没有恢复；原文件已另存为“%1”。").arg(path);
        case JournalFault::other_exam:
            return tr("这场考试名下的评分记录属于另一场考试，其中的分数没有恢复；原文件已另存为“%1”。").arg(path);
        case JournalFault::write_failed:
            return tr("无法写入评分记录“%1”，磁盘可能已满。此后给出的分数只保留到 velora 关闭为止，"
                      "请记得及时导出。")
                .arg(path);
        case JournalFault::sync_failed:
            return tr("评分记录“%1”无法写入磁盘。此后给出的分数只保留到 velora 关闭为止，请记得及时导出。").arg(path);
        case JournalFault::remove_failed:
            return tr("无法删除评分记录“%1”。").arg(path);
        }
        return QString();
    }
};

}  // namespace

void restore_marks(ExamStore &st, const JournalReplay &r)
{
    for (const JournalMark &m : r.marks) {
        if (m.student >= 1 && m.student <= st.stu_count && m.question >= 1 && m.question <= st.unxuan_count)
            st.stu_score[m.student][st.xuan_count + m.question] = m.value;
    }
    if (r.last_student >= 1 && r.last_student <= st.stu_count && r.last_question >= 1
        && r.last_question <= st.unxuan_count) {
        st.cur_stu = r.last_student;
        st.cur_pro = r.last_question;
    }
}

QString journal_error_message(const JournalError &e)
{
    return JournalText::message(e);
}
