// Small helpers for tests of input files.
#include "tests/support/files.h"

#include "exam/text_input.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QtEndian>

#include <zlib.h>

#include <cstring>

bool write_file(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray utf16_file(const QString &text, bool big_endian)
{
    QByteArray out = big_endian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xFF);
        out += big_endian ? QByteArray{&hi, 1} + QByteArray{&lo, 1} : QByteArray{&lo, 1} + QByteArray{&hi, 1};
    }
    return out;
}

QByteArray drain(TextInput &in)
{
    QByteArray out;
    for (int c; (c = in.get()) >= 0;)
        out += static_cast<char>(c);
    return out;
}

void isolate_user_data()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)).removeRecursively();
    // The teacher's settings too: each test begins with none.
    const QString settings = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("velora-tests"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    QSettings(QStringLiteral("velora"), QStringLiteral("velora")).clear();
}

QByteArray journal_record(char type, const QByteArray &payload)
{
    QByteArray r(4, '\0');
    qToLittleEndian(quint32(payload.size()), r.data());
    r += type;
    r += payload;
    char crc[4];
    qToLittleEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(r.constData()), uInt(r.size()))), crc);
    return r + QByteArray(crc, 4);
}

QByteArray journal_mark(int s, int q, double value)
{
    QByteArray p(24, '\0');
    qToLittleEndian(qint32(s), p.data());
    qToLittleEndian(qint32(q), p.data() + 4);
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian(bits, p.data() + 8);
    qToLittleEndian(qint64(1700000000000), p.data() + 16);
    return journal_record('M', p);
}
