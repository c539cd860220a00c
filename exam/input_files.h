// The path and file helpers the loaders share: the path field's bytes, their
// checks, opening a file for reading without waiting on pipes or devices, and
// the way a roster load opens its sheets.
#pragma once

#include "exam/load_error.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>

// A path field's text as the store keeps it: the local 8-bit bytes.
QByteArray local_path_bytes(const QString &typed);

// Refuses a path that is empty, holds a 0 byte or is longer than
// limits::path_bytes; ok otherwise.
LoadError check_path(const QString &typed, const QByteArray &local);

enum class OpenStatus { ok, missing, not_regular, unopenable };

// Opens the file of that name for reading. Anything but a regular file (a
// directory, a device, a pipe) is refused before it is opened, so a load never
// waits on a pipe or reads an endless device. By the Unicode name, not the
// local 8-bit bytes: where the local code page cannot spell a name (a Chinese
// name on a Western Windows), those bytes name no file.
OpenStatus open_input_file(QFile &file, const QString &name);

// The refusal for a file that could not be opened; file: the one tried.
LoadError open_error(OpenStatus status, const QFile &file);

// A student's answer sheet, opened for reading, or why it could not be.
struct OpenedSheet {
    OpenStatus status = OpenStatus::missing;
    std::unique_ptr<QIODevice> device;  // open for reading when status is ok
};

// How a roster load opens a sheet, by its path as text: the file system, or
// in tests sheets held in memory.
using SheetOpener = std::function<OpenedSheet(const QString &name)>;

// The sheet from the file system, through open_input_file().
OpenedSheet open_sheet_file(const QString &name);
