// The process's resident memory, for the tests and benchmarks that check a
// full class stays in bounds. Linux only: elsewhere it answers -1.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

inline long resident_kib()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
