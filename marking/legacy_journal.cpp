// Reading a journal of velora 1.0.0 and setting it aside.
#include "marking/legacy_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <cstring>

namespace {

constexpr quint32 format_version = 1;
constexpr int frame_bytes = 9;                // length, type, crc
constexpr int mark_payload = 24;              // student, question, value, time
constexpr int export_payload = 8;             // time
constexpr quint32 max_payload = 1024 * 1024;  // a header of 1000 names stays far below it
constexpr qint64 max_journal = 64 * 1024 * 1024;

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

template <typename T> T get(const char *p)
{
    return qFromLittleEndian<T>(p);
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

// Whether a record checks anywhere from `pos` on: then the failed one before
// it was not the last one written. Only where a record may start, so a
// crafted file is read in one pass.
bool record_behind(const QByteArray &data, int pos)
{
    for (; pos <= data.size() - frame_bytes; ++pos) {
        const char t = data.at(pos + 4);
        Frame f;
        if ((t == 'M' || t == 'E') && frame_at(data, pos, &f))
            return true;
    }
    return false;
}

quint32 item_key(int s, int q)
{
    return quint32(s) << 8 | quint32(q);
}

// The marks, or false where the journal is damaged or of another exam.
bool read_records(const QByteArray &data, const ExamIdentity &id, QVector<LegacyMark> *out)
{
    const QByteArray canonical = id.canonical();
    QHash<quint32, LegacyMark> marks;
    QVector<quint32> order;
    bool exported = false;
    int pos = 0;
    while (pos < data.size()) {
        Frame f;
        if (!frame_at(data, pos, &f)) {
            if (pos == 0 || record_behind(data, pos + 1))
                return false;
            break;  // a torn tail
        }
        if (pos == 0) {
            if (f.type != 'H' || f.length < 4 || get<quint32>(f.payload) != format_version
                || QByteArray::fromRawData(f.payload + 4, f.length - 4) != canonical)
                return false;
        } else if (f.type == 'M' && f.length == mark_payload) {
            const int s = get<qint32>(f.payload);
            const int q = get<qint32>(f.payload + 4);
            if (s < 1 || s > id.names.size() || q < 1 || q > id.unxuan_count)
                return false;
            const quint64 bits = get<quint64>(f.payload + 8);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            const quint32 key = item_key(s, q);
            if (!marks.contains(key)) {
                order << key;
                marks[key].exported = exported;  // exported as 0
            }
            LegacyMark &m = marks[key];
            m.student = s;
            m.question = q;
            m.value = value;
            m.given_ms = get<qint64>(f.payload + 16);
        } else if (f.type == 'E' && f.length == export_payload) {
            exported = true;
            for (LegacyMark &m : marks) {
                m.exported = true;
                m.exported_value = m.value;
            }
        } else {
            return false;
        }
        pos += f.size;
    }
    for (quint32 key : order)
        out->append(marks.value(key));
    return true;
}

QString free_name(const QString &base, const QString &suffix)
{
    QString name = base + suffix;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
    return name;
}

bool rename_to(LegacyJournal &j, const QString &suffix)
{
    const QFileInfo info(j.path);
    const QString aside = free_name(info.absoluteDir().filePath(info.completeBaseName()), suffix);
    if (!QFile::rename(j.path, aside))
        return false;
    j.path = aside;
    return true;
}

}  // namespace

LegacyJournal read_legacy_journal(const QString &folder, const ExamIdentity &id)
{
    LegacyJournal j;
    if (folder.isEmpty())
        return j;
    j.path = QDir(folder).filePath(id.key() + QStringLiteral(".journal"));
    QFile f(j.path);
    if (!QFileInfo(j.path).isFile())
        return LegacyJournal();
    if (!f.open(QIODevice::ReadOnly) || f.size() > max_journal) {
        j.state = LegacyState::unreadable;
        return j;
    }
    const QByteArray data = f.readAll();
    f.close();
    if (!read_records(data, id, &j.marks)) {
        j.marks.clear();
        j.state = LegacyState::damaged;
        rename_to(j, QStringLiteral(".damaged"));
        return j;
    }
    j.state = LegacyState::found;
    return j;
}

bool set_aside_legacy_journal(LegacyJournal &j)
{
    return rename_to(j, QStringLiteral(".imported"));
}
