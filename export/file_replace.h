// Safe replacement of the file an export goes to: the new contents are written
// into a temporary file beside the target and moved over it only once they are
// complete and on the disk, so a failed export never costs the user a file.
// The platform's part lives in file_replace_posix.cpp or file_replace_windows.cpp,
// whichever the build picks.
#pragma once

#include "export/export_error.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Writes the new contents into the temporary file it is given.
using FileWriter = std::function<ExportError(const QString &temporary)>;

// Replaces `target`, following symbolic links to the file they lead to, with
// what `write` puts into a fresh temporary file beside it. A replaced file
// keeps its mode, owner and group where the platform has them; a new one gets
// the mode a new file gets. A folder, a device or a pipe is refused before
// anything is written. A failure leaves the target untouched and no temporary
// file behind.
ExportError replace_file(const QString &target, const FileWriter &write);

// Whether the file system can name `path`, which holds no NUL, exactly: on
// Windows any UTF-16 name without an unpaired surrogate, elsewhere a name
// that survives the local 8-bit encoding.
bool encodable_path(const QString &path);

// Why the platform names no file `file_name`, or no error: Windows takes no
// control characters, none of <>:"|?* and no name beyond 255 characters.
ExportError check_file_name(const QString &file_name);

// Where a library that opens files by narrow names writes a file meant for
// `path`: libxlsxwriter, whose narrow calls on Windows take the ANSI code page.
struct NarrowTarget {
    QByteArray file;    // the narrow name the library writes the file under
    QByteArray tmpdir;  // the folder for its own temporary files; empty: the library's choice
    QString staged;     // where `file` lies when it is not `path`; place_written() moves it there
};

// The narrow names for writing `path`, or why there are none. On Windows the
// library's temporary files go to a folder the ANSI code page can spell (the
// temporary folder, by its name or its short name, the export's folder, or
// Windows' own temporary folder), never to whatever TMP, TEMP or the current
// folder happen to be; where it cannot spell the export's folder, the library
// writes into that folder and the file is moved into `path` with wide calls.
ExportError narrow_target(const QString &path, NarrowTarget *target);

// Puts the file a library wrote at target.staged into `path` (which exists),
// with wide calls; removes the staged file whatever happens. Nothing to do
// when nothing was staged.
ExportError place_written(const NarrowTarget &target, const QString &path);
