// The steps of a file replacement that each platform takes its own way;
// file_replace.cpp runs them in order. One source per platform implements
// them: file_replace_posix.cpp or file_replace_windows.cpp.
#pragma once

#include "export/export_error.h"

#include <QString>

namespace platform {

// What replaces what: the new file is written as `tmp` beside `file` (the
// target with its links followed) and moved over it, keeping what the old
// file had: mode, owner and group (POSIX only).
struct Replacement {
    QString file;
    QString tmp;
    bool existed = false;
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
};

// Sets *file to the file `path` leads to, which need not exist yet.
ExportError follow_links(const QString &path, QString *file);

// Notes what the existing file must keep, or refuses a file that must not be
// replaced. A missing file is no error: it shows when the temporary file is made.
ExportError read_old_file(Replacement *r);

// Creates `name` as a new, empty file and returns its descriptor, or -1 with
// errno set (EEXIST when the name is taken).
int open_new_file(const QString &name);

// Readies the new temporary file `name`, open as `fd`, and closes it; on
// failure removes it again.
ExportError keep_temporary(int fd, const QString &name, Replacement *r);

// Gives the written temporary file what it must keep and makes sure its
// contents reached the disk before it replaces anything.
ExportError settle(const Replacement &r);

// Moves the temporary file over the file.
ExportError move_over(const Replacement &r);

// Removes the temporary file of a failed replacement.
void remove_temporary(const QString &tmp);

}  // namespace platform
