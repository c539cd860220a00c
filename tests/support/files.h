// Small helpers for tests that write input files.
#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to a file, creating missing directories; false on failure.
bool write_file(const QString &path, const QByteArray &bytes);
