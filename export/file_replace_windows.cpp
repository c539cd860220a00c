// File replacement on Windows: no modes or owners to keep and links are not
// followed; MoveFileEx replaces where rename() would not, and brief locks by
// scanners, indexers and sync clients are waited out. Also the names Windows
// refuses and where libxlsxwriter's narrow calls may write.
#include "export/file_replace.h"
#include "export/file_replace_platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <string>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace {

const wchar_t *wide(const QString &native)
{
    return reinterpret_cast<const wchar_t *>(native.utf16());
}

// Antivirus scanners, indexers and sync clients open a new or replaced file
// for a moment; what they cause is tried again for about two seconds. A file
// kept open (a workbook in a spreadsheet program) still fails after that.
constexpr int lock_wait_ms = 2000;
constexpr DWORD lock_retry_ms = 50;

bool brief_lock(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

// Runs `attempt` until it succeeds, fails otherwise than by a lock, or the
// wait is over; 0 on success, else the last error code.
template <typename Attempt> DWORD retried(Attempt attempt)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (attempt())
            return 0;
        const DWORD code = GetLastError();
        if (!brief_lock(code) || waited.elapsed() >= lock_wait_ms)
            return code;
        Sleep(lock_retry_ms);
    }
}

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
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD code = retried([&] {
        h = CreateFileW(wide(QDir::toNativeSeparators(r.tmp)), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    if (h == INVALID_HANDLE_VALUE) {
        ExportError e = ExportError::of(ExportFault::write_failed);
        e.system_error = int(code);
        return e;
    }
    const bool flushed = FlushFileBuffers(h);
    code = GetLastError();
    CloseHandle(h);
    if (flushed)
        return ExportError();
    ExportError e = ExportError::of(ExportFault::disk_error);
    e.system_error = int(code);
    return e;
}

ExportError move_over(const Replacement &r)
{
    const QString from = QDir::toNativeSeparators(r.tmp);
    const QString to = QDir::toNativeSeparators(r.file);
    const DWORD code = retried(
        [&] { return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; });
    if (code == 0)
        return ExportError();
    const DWORD attributes = GetFileAttributesW(wide(to));
    // Made read-only since it was looked at.
    ExportError e = ExportError::of(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                                        ? ExportFault::read_only_file
                                        : code == ERROR_DISK_FULL            ? ExportFault::disk_full
                                        : code == ERROR_FILENAME_EXCED_RANGE ? ExportFault::name_over_limit
                                                                             : ExportFault::replace_blocked);
    e.system_error = int(code);
    return e;
}

// A scanner may still hold the new file; it is waited for, so nothing is left behind.
void remove_temporary(const QString &tmp)
{
    const QString name = QDir::toNativeSeparators(tmp);
    retried([&] { return DeleteFileW(wide(name)) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND; });
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

namespace {

// The bytes the C library's narrow calls reach `path` by, or empty where the
// ANSI code page cannot spell it.
QByteArray ansi_name(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const QByteArray local = native.toLocal8Bit();
    return !native.isEmpty() && QString::fromLocal8Bit(local) == native ? local : QByteArray();
}

// The 8.3 name of a folder, or empty: short names are often off on data
// drives and never exist on exFAT.
QString short_name(const QString &dir)
{
    const QString native = QDir::toNativeSeparators(dir);
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(wide(native), &buffer[0], DWORD(buffer.size()));
    if (n >= buffer.size()) {
        buffer.resize(n);
        n = GetShortPathNameW(wide(native), &buffer[0], DWORD(buffer.size()));
    }
    return n == 0 || n >= buffer.size() ? QString() : QString::fromWCharArray(buffer.data(), int(n));
}

// Whether a new file can be made in `dir`, tried with one.
bool takes_new_files(const QString &dir)
{
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("velora-XXXXXX.tmp")));
    return probe.open();
}

QString windows_temp_folder()
{
    wchar_t buffer[MAX_PATH + 1];
    const UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    return n == 0 || n > MAX_PATH ? QString() : QString::fromWCharArray(buffer, int(n)) + QStringLiteral("\\Temp");
}

// A folder libxlsxwriter may work in, by a narrow name it can use, and the
// same folder by its wide name; empty when there is none.
QByteArray work_folder(const QString &export_folder, QString *wide_name)
{
    const QStringList folders{QDir::tempPath(), export_folder, windows_temp_folder()};
    for (const QString &folder : folders) {
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            continue;
        QByteArray narrow = ansi_name(folder);
        if (narrow.isEmpty())
            narrow = ansi_name(short_name(folder));
        if (!narrow.isEmpty() && takes_new_files(folder)) {
            *wide_name = folder;
            return narrow;
        }
    }
    return QByteArray();
}

}  // namespace

ExportError narrow_target(const QString &path, NarrowTarget *target)
{
    QString folder;
    target->tmpdir = work_folder(QFileInfo(path).absolutePath(), &folder);
    if (target->tmpdir.isEmpty())
        return ExportError::of(ExportFault::no_work_folder);
    target->file = ansi_name(path);
    if (!target->file.isEmpty())
        return ExportError();
    // A folder the ANSI code page cannot spell (a Chinese folder on a Western
    // Windows): the library writes in its work folder, and the file is moved
    // into place by wide calls alone.
    const QString name
        = QStringLiteral("velora-%1.xlsx").arg(QRandomGenerator::global()->generate64(), 16, 16, QChar('0'));
    target->staged = QDir(folder).filePath(name);
    target->file = target->tmpdir + '\\' + name.toLatin1();
    return ExportError();
}

// The bytes are copied into `path`, which was made in its own folder and so
// has that folder's permissions; a moved file would keep the temporary
// folder's, readable by the teacher alone.
ExportError place_written(const NarrowTarget &target, const QString &path)
{
    if (target.staged.isEmpty())
        return ExportError();
    QFile from(target.staged);
    QFile to(path);
    ExportError e;
    if (!from.open(QIODevice::ReadOnly)) {
        e = ExportError::of(ExportFault::temporary_file_failed);
    } else if (!to.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        e = ExportError::of(ExportFault::cannot_create_file);
    } else {
        const QByteArray bytes = from.readAll();
        if (from.error() != QFileDevice::NoError)
            e = ExportError::of(ExportFault::temporary_file_failed);
        else if (to.write(bytes) != bytes.size() || !to.flush())
            e = ExportError::of(ExportFault::write_failed);
    }
    from.close();
    to.close();
    platform::remove_temporary(target.staged);
    return e;
}
