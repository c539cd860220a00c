// File replacement on Windows: no modes or owners to keep and links are not
// followed; MoveFileEx replaces where rename() would not. Also the names
// Windows refuses and the short names that reach a folder the ANSI code page
// cannot spell.
#include "export/file_replace.h"
#include "export/file_replace_platform.h"

#include <QDir>
#include <QFileInfo>

#include <string>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

const wchar_t *wide(const QString &native) { return reinterpret_cast<const wchar_t *>(native.utf16()); }

}  // namespace

namespace platform {

ExportError follow_links(const QString &path, QString *file)
{
    *file = path;
    return ExportError();
}

// A read-only workbook is refused before anything is written, as MoveFileEx
// would refuse to replace it only at the end.
ExportError read_old_file(Replacement *r)
{
    const DWORD attributes = GetFileAttributesW(wide(QDir::toNativeSeparators(r->file)));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ExportError();  // what is missing shows when the temporary file is made
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ExportError::of(ExportFault::is_folder);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ExportError::of(ExportFault::read_only_file);
    r->existed = true;
    return ExportError();
}

int open_new_file(const QString &name)
{
    return _wopen(wide(QDir::toNativeSeparators(name)), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

ExportError keep_temporary(int fd, const QString &, Replacement *)
{
    _close(fd);
    return ExportError();
}

ExportError settle(const Replacement &r)
{
    const HANDLE h = CreateFileW(wide(QDir::toNativeSeparators(r.tmp)), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ExportError e = ExportError::of(ExportFault::write_failed);
        e.system_error = int(GetLastError());
        return e;
    }
    const bool flushed = FlushFileBuffers(h);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (flushed)
        return ExportError();
    ExportError e = ExportError::of(ExportFault::disk_error);
    e.system_error = int(code);
    return e;
}

ExportError move_over(const Replacement &r)
{
    if (MoveFileExW(wide(QDir::toNativeSeparators(r.tmp)), wide(QDir::toNativeSeparators(r.file)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ExportError();
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide(QDir::toNativeSeparators(r.file)));
    // Made read-only since it was looked at.
    ExportError e = ExportError::of(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                                        ? ExportFault::read_only_file
                                    : code == ERROR_DISK_FULL            ? ExportFault::disk_full
                                    : code == ERROR_FILENAME_EXCED_RANGE ? ExportFault::name_over_limit
                                                                         : ExportFault::replace_blocked);
    e.system_error = int(code);
    return e;
}

}  // namespace platform

bool encodable_path(const QString &path)
{
    return QString::fromUtf8(path.toUtf8()) == path;  // no unpaired surrogate
}

// Caught here, as the replace would fail only at the end.
ExportError check_file_name(const QString &file_name)
{
    for (const QChar c : file_name)
        if (c.unicode() < 32 || QStringLiteral("<>:\"|?*").contains(c))
            return ExportError::of(ExportFault::unusable_characters);
    if (file_name.size() > 255)  // the longest name NTFS and FAT keep
        return ExportError::of(ExportFault::name_over_limit);
    return ExportError();
}

// Built with MinGW, libxlsxwriter opens through the C library's narrow calls,
// which take the ANSI code page; where that cannot spell the folder (a Chinese
// folder on a Western Windows), its short name can.
QByteArray narrow_file_name(const QString &path)
{
    const QByteArray local = path.toLocal8Bit();
    if (QString::fromLocal8Bit(local) == path)
        return local;
    const QFileInfo info(path);
    const QString dir = QDir::toNativeSeparators(info.absolutePath());
    const QString file_name = info.fileName();
    if (QString::fromLocal8Bit(file_name.toLocal8Bit()) != file_name)
        return QByteArray();
    std::wstring short_dir(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(wide(dir), &short_dir[0], DWORD(short_dir.size()));
    if (n >= short_dir.size()) {
        short_dir.resize(n);
        n = GetShortPathNameW(wide(dir), &short_dir[0], DWORD(short_dir.size()));
    }
    if (n == 0 || n >= short_dir.size())
        return QByteArray();
    const QString narrow = QString::fromWCharArray(short_dir.data(), int(n)) + QLatin1Char('\\') + file_name;
    const QByteArray bytes = narrow.toLocal8Bit();
    return QString::fromLocal8Bit(bytes) == narrow ? bytes : QByteArray();
}
