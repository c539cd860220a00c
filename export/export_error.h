// What can go wrong in an export, as a value: the kind of fault and where it
// happened. Writers return it; only the window turns it into a message.
#pragma once

#include <QString>

enum class ExportFault {
    None,
    // The path itself.
    InvalidPath,         // empty or holding a NUL, given to a writer
    UnusableCharacters,  // a NUL or a character the file system cannot name
    NoFileName,
    IsFolder,
    NoDirectory,
    ReadOnlyFile,
    NotRegularFile,  // a device, a pipe: replacing it would destroy it
    LinkLoop,        // symbolic links that lead round in a circle or too far
    // The file system, mostly from a system error.
    CannotCreateHere,  // the directory takes no new files
    NoTemporaryName,
    NoPermission,
    ReadOnlyLocation,
    DiskFull,
    NameTooLong,
    DiskError,
    SystemError,    // any other system error
    ReplaceBlocked, // the target is held open by another program
    // The sheet against the format's limits.
    TextTooLong,          // one cell; row, column and max_chars say which and how long
    SheetTooLarge,        // .xlsx; max_rows and max_columns
    XlsSheetTooLarge,     // .xls; max_rows and max_columns
    XlsFileTooLarge,      // the whole file outgrows the container
    InvalidStreamName,    // a compound file stream name that is empty or too long
    // Writing the workbook.
    OutOfMemory,
    CannotCreateFile,
    TemporaryFileFailed,  // libxlsxwriter's own temporary files
    WriteFailed,
    LibraryError,         // any other libxlsxwriter error, in library_error; stays last
};

struct ExportError {
    ExportFault fault = ExportFault::None;
    QString path;           // the file the export was for; empty when no file is involved
    int system_error = 0;   // errno (or the Windows error code) behind the fault, 0 if none
    int library_error = 0;  // libxlsxwriter's lxw_error, 0 if none
    int row = -1;           // the cell, 0-based, for TextTooLong
    int column = -1;
    int max_chars = 0;  // the limits the sheet ran into
    int max_rows = 0;
    int max_columns = 0;

    bool ok() const { return fault == ExportFault::None; }

    static ExportError of(ExportFault fault);
    // The kind follows the errno where it names a known fault, else SystemError.
    static ExportError from_errno(int e);
    static ExportError text_too_long(int row, int column, int max_chars);
    static ExportError too_large(ExportFault fault, int max_rows, int max_columns);
    static ExportError library(int lxw_error);
    // The same error, said of `file`.
    ExportError at(const QString &file) const;
};

bool operator==(const ExportError &a, const ExportError &b);
inline bool operator!=(const ExportError &a, const ExportError &b) { return !(a == b); }

// The Chinese message for the teacher, through the translation context
// "velora": "无法导出到“path”：reason" when a path is known, else the reason
// alone; empty for no error.
QString export_error_message(const ExportError &error);
