// Small helpers for tests that write input files.
#include "tests/support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool write_file(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
