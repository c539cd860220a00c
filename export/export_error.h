// What can go wrong in an export, as a value: the kind of fault and where it
// happened. Writers return it; only the window turns it into a message.
#pragma once

#include <QString>

enum class ExportFault {
    none,
    // The path itself.
    invalid_path,         // empty or holding a NUL, given to a writer
    unusable_characters,  // a NUL or a character the file system cannot name
    no_file_name,
    is_folder,
    no_directory,
    read_only_file,
    not_regular,  // a device, a pipe: replacing it would destroy it
    link_loop,    // symbolic links that lead round in a circle or too far
    // The file system, mostly from a system error.
    cannot_create_here,  // the directory takes no new files
    no_temporary_name,
    no_permission,
    read_only_location,
    disk_full,
    name_over_limit,
    disk_error,
    system_error,     // any other system error
    replace_blocked,  // the target is held open by another program
    // The sheet against the format's limits.
    text_over_limit,       // one cell; row, column and max_chars say which and how long
    sheet_over_limit,      // .xlsx; max_rows and max_columns
    xls_sheet_over_limit,  // .xls; max_rows and max_columns
    xls_file_over_limit,   // the whole file outgrows the container
    invalid_stream_name,   // a compound file stream name that is empty or too long
    // Writing the workbook.
    out_of_memory,
    cannot_create_file,
    temporary_file_failed,  // libxlsxwriter's own temporary files
    no_work_folder,         // .xlsx on Windows: no folder the ANSI code page can spell for libxlsxwriter
    write_failed,
    library_error,  // any other libxlsxwriter error, in library_error; stays last
};

struct ExportError {
    ExportFault fault = ExportFault::none;
    QString path;           // the file the export was for; empty when no file is involved
    int system_error = 0;   // errno (or the Windows error code) behind the fault, 0 if none
    int library_error = 0;  // libxlsxwriter's lxw_error, 0 if none
    int row = -1;           // the cell, 0-based, for text_over_limit
    int column = -1;
    int max_chars = 0;  // the limits the sheet ran into
    int max_rows = 0;
    int max_columns = 0;

    bool ok() const { return fault == ExportFault::none; }

    static ExportError of(ExportFault fault);
    // The kind follows the errno where it names a known fault, else system_error.
    static ExportError from_errno(int e);
    static ExportError text_over_limit(int row, int column, int max_chars);
    // `fault` says which format's limits: sheet_over_limit or xls_sheet_over_limit.
    static ExportError sheet_over_limit(ExportFault fault, int max_rows, int max_columns);
    static ExportError library(int lxw_error);
    // The same error, said of `file`.
    ExportError at(const QString &file) const;
};

bool operator==(const ExportError &a, const ExportError &b);
inline bool operator!=(const ExportError &a, const ExportError &b)
{
    return !(a == b);
}

// The Chinese message for the teacher, through the translation context
// "velora": "无法导出到“path”：reason" when a path is known, else the reason
// alone; empty for no error.
QString export_error_message(const ExportError &error);
