// The path and file helpers the loaders share: the path field's bytes, their
// checks, and opening a file for reading without waiting on pipes or devices.
#pragma once

#include "exam/load_error.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A path field's text as the store keeps it: the local 8-bit bytes.
QByteArray local_path_bytes(const QString &typed);

// Refuses a path that is empty, holds a 0 byte or is longer than
// limits::path_bytes; ok otherwise.
LoadError check_path(InputKind kind, const QString &typed, const QByteArray &local);

enum class OpenStatus { ok, missing, not_a_file, unreadable };

// Opens the file of that name for reading. Anything but a regular file (a
// directory, a device, a pipe) is refused before it is opened, so a load never
// waits on a pipe or reads an endless device. By the Unicode name, not the
// local 8-bit bytes: where the local code page cannot spell a name (a Chinese
// name on a Western Windows), those bytes name no file.
OpenStatus open_input_file(QFile &file, const QString &name);

// One of the three input files, opened for reading.
struct InputFile {
    QByteArray local;  // the path's local 8-bit bytes
    QFile file;
};

// Checks the typed path and opens the file it names (by its text; out.local
// keeps the bytes the store records).
LoadError open_input(InputKind kind, const QString &typed, InputFile &out);

// A parse step's error, told which file it came from.
LoadError in_file(LoadError e, InputKind kind, const QString &typed, const QFile *file = nullptr);
