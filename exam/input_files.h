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

// Opens the file named by local 8-bit path bytes for reading. Anything but a
// regular file (a directory, a device, a pipe) is refused before it is opened,
// so a load never waits on a pipe or reads an endless device.
OpenStatus open_input_file(QFile &file, const QByteArray &path);

// One of the three input files, opened for reading.
struct InputFile {
    QByteArray local;  // the path's local 8-bit bytes
    QFile file;
};

// Checks the typed path and opens the file it names.
LoadError open_input(InputKind kind, const QString &typed, InputFile &out);

// A parse step's error, told which file it came from.
LoadError in_file(LoadError e, InputKind kind, const QString &typed, const QFile *file = nullptr);
