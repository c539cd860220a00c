// Export entry point: settles the target name and format, writes the workbook
// into a temporary file beside the target and moves it over the target only
// once it is complete, so a failed export never costs the user a file.
#include "export/workbook_export.h"

#include "export/xls_writer.h"
#include "export/xlsx_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>

#include <cerrno>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString temp_name(const QString &dir)
{
    // Short and fixed in length, so a long target name cannot make it too long.
    return QDir(dir).filePath(QStringLiteral(".velora-export-%1.tmp")
                                  .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar('0')));
}

// What replaces what: the new file is written as `tmp` beside `file` (the
// target with its links followed) and renamed over it, taking the old file's
// mode, owner and group, or for a new file 0666 less the umask.
struct Replacement {
    QString file;
    QString tmp;
    bool existed = false;
    unsigned mode = 0;
    unsigned owner = 0;
    unsigned group = 0;
};

#ifndef Q_OS_WIN

// Follows symbolic links from `path` to the file they lead to, which need not
// exist yet: a link to nowhere is followed to where it points.
ExportError follow_links(const QString &path, QString *file)
{
    QString p = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QByteArray name = QFile::encodeName(p);
        struct stat st;
        if (::lstat(name.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *file = p;  // what is missing shows when the temporary file is made
            return ExportError();
        }
        QByteArray to(int(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n;
        while ((n = ::readlink(name.constData(), to.data(), size_t(to.size()))) == ssize_t(to.size()))
            to.resize(2 * to.size());  // the link grew since lstat
        if (n < 0)
            return ExportError::from_errno(errno);
        to.truncate(int(n));
        const QString next = QFile::decodeName(to);
        p = QDir::isAbsolutePath(next) ? next : QFileInfo(p).path() + QLatin1Char('/') + next;
    }
    return ExportError::of(ExportFault::LinkLoop);
}

// What the replaced file must keep. Anything but a plain file (a device, a
// pipe) is refused: renaming over it would destroy it.
ExportError read_old_file(Replacement *r)
{
    struct stat st;
    if (::stat(QFile::encodeName(r->file).constData(), &st) != 0)
        return errno == ENOENT ? ExportError() : ExportError::from_errno(errno);
    if (S_ISDIR(st.st_mode))
        return ExportError::of(ExportFault::IsFolder);
    if (!S_ISREG(st.st_mode))
        return ExportError::of(ExportFault::NotRegularFile);
    r->existed = true;
    r->mode = st.st_mode & 0777;
    r->owner = st.st_uid;
    r->group = st.st_gid;
    return ExportError();
}

// Creates an empty file of a fresh name beside the file, readable by its
// owner alone until it is complete. open() applies the umask to 0666, which
// is the mode a new file gets; it goes to r->mode when nothing existed.
ExportError create_temp(Replacement *r)
{
    const QString dir = QFileInfo(r->file).absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            // /proc and the like exist as directories but take no new files.
            if (e == ENOENT)
                return ExportError::of(QFileInfo(dir).isDir() ? ExportFault::CannotCreateHere : ExportFault::NoDirectory);
            return ExportError::from_errno(e);
        }
        struct stat st;
        const bool ok = ::fstat(fd, &st) == 0 && ::fchmod(fd, 0600) == 0;
        const int e = errno;
        ::close(fd);
        if (!ok) {
            ::unlink(QFile::encodeName(name).constData());
            return ExportError::from_errno(e);
        }
        r->tmp = name;
        if (!r->existed)
            r->mode = st.st_mode & 0777;
        return ExportError();
    }
    return ExportError::of(ExportFault::NoTemporaryName);
}

// Gives the written file the old file's owner and group where the process
// may, then its mode (after chown, which may clear bits), and makes sure its
// contents reached the disk before it replaces anything.
ExportError settle(const Replacement &r)
{
    const int fd = ::open(QFile::encodeName(r.tmp).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ExportError::from_errno(errno);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && r.existed && (st.st_uid != r.owner || st.st_gid != r.group)) {
        // Only root may give a file away; anyone may keep a group they belong
        // to. Neither is required of the export.
        const bool kept = ::fchown(fd, r.owner, r.group) == 0 || ::fchown(fd, uid_t(-1), r.group) == 0;
        Q_UNUSED(kept)
    }
    ok = ok && ::fchmod(fd, mode_t(r.mode)) == 0 && ::fsync(fd) == 0;
    const int e = errno;
    ::close(fd);
    return ok ? ExportError() : ExportError::from_errno(e);
}

ExportError replace_file(const Replacement &r)
{
    if (::rename(QFile::encodeName(r.tmp).constData(), QFile::encodeName(r.file).constData()) != 0)
        return ExportError::from_errno(errno);
    // Make the new name itself durable; a failure here loses nothing already written.
    const int dfd = ::open(QFile::encodeName(QFileInfo(r.file).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return ExportError();
}

#else  // Windows: no modes or owners to keep, links are not followed; MoveFileEx replaces where rename() would not.

const wchar_t *wide(const QString &native) { return reinterpret_cast<const wchar_t *>(native.utf16()); }

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
        return ExportError::of(ExportFault::IsFolder);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return ExportError::of(ExportFault::ReadOnlyFile);
    r->existed = true;
    return ExportError();
}

ExportError create_temp(Replacement *r)
{
    const QString dir = QFileInfo(r->file).absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = _wopen(wide(QDir::toNativeSeparators(name)),
                              _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            if (e == ENOENT)
                return ExportError::of(QFileInfo(dir).isDir() ? ExportFault::CannotCreateHere : ExportFault::NoDirectory);
            return ExportError::from_errno(e);
        }
        _close(fd);
        r->tmp = name;
        return ExportError();
    }
    return ExportError::of(ExportFault::NoTemporaryName);
}

// The written file's contents reach the disk before it replaces anything.
ExportError settle(const Replacement &r)
{
    const HANDLE h = CreateFileW(wide(QDir::toNativeSeparators(r.tmp)), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ExportError e = ExportError::of(ExportFault::WriteFailed);
        e.system_error = int(GetLastError());
        return e;
    }
    const bool flushed = FlushFileBuffers(h);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (flushed)
        return ExportError();
    ExportError e = ExportError::of(ExportFault::DiskError);
    e.system_error = int(code);
    return e;
}

ExportError replace_file(const Replacement &r)
{
    if (MoveFileExW(wide(QDir::toNativeSeparators(r.tmp)), wide(QDir::toNativeSeparators(r.file)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ExportError();
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide(QDir::toNativeSeparators(r.file)));
    // Made read-only since it was looked at.
    ExportError e = ExportError::of(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                                        ? ExportFault::ReadOnlyFile
                                    : code == ERROR_DISK_FULL            ? ExportFault::DiskFull
                                    : code == ERROR_FILENAME_EXCED_RANGE ? ExportFault::NameTooLong
                                                                         : ExportFault::ReplaceBlocked);
    e.system_error = int(code);
    return e;
}

#endif

// Whether the file system can name the path exactly: Windows takes any UTF-16
// name, elsewhere it must survive the local 8-bit encoding.
bool usable_path(const QString &path)
{
    if (path.contains(QChar(0)))
        return false;
#ifdef Q_OS_WIN
    return QString::fromUtf8(path.toUtf8()) == path;  // no unpaired surrogate
#else
    return QFile::decodeName(QFile::encodeName(path)) == path;
#endif
}

// The name the workbook is written under: one ending in .xlsx or .xls (any
// letter case) as it is, any other with ".xlsx" appended, so a dot inside the
// name ("高一.3班") or another suffix ("名单.txt") never leaves a workbook
// that will not open by its name. Trailing dots go first ("成绩." gives
// "成绩.xlsx"); Windows would drop them anyway.
QString workbook_path(const QString &path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) || path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive))
        return path;
    QString target = path;
    while (target.endsWith(QLatin1Char('.')))
        target.chop(1);
    return target + QStringLiteral(".xlsx");
}

// The file the export goes to, or why the path cannot be one.
ExportError settle_target(const QString &path, QString *target)
{
    *target = path;
    // A NUL would cut the name short and an unencodable character would name a
    // different file, so such a path is never handed to the file system.
    if (!usable_path(path))
        return ExportError::of(ExportFault::UnusableCharacters);
    const QString file_name = QFileInfo(path).fileName();
#ifdef Q_OS_WIN
    // Windows names no file with these; the replace would fail only at the end.
    for (const QChar c : file_name)
        if (c.unicode() < 32 || QStringLiteral("<>:\"|?*").contains(c))
            return ExportError::of(ExportFault::UnusableCharacters);
#endif
    // "." and ".." name folders; a name of dots alone would leave nothing to name the workbook.
    if (file_name.count(QLatin1Char('.')) == file_name.size())
        return ExportError::of(QFileInfo(path).isDir() ? ExportFault::IsFolder : ExportFault::NoFileName);
    *target = workbook_path(path);
#ifdef Q_OS_WIN
    if (QFileInfo(*target).fileName().size() > 255)  // the longest name NTFS and FAT keep
        return ExportError::of(ExportFault::NameTooLong);
#endif

    const QFileInfo info(*target);
    if (info.isDir())
        return ExportError::of(ExportFault::IsFolder);
    if (!QFileInfo(info.absolutePath()).isDir())
        return ExportError::of(ExportFault::NoDirectory);
    if (info.exists() && !info.isWritable())
        return ExportError::of(ExportFault::ReadOnlyFile);
    return ExportError();
}

// Writes the workbook beside the file and moves it over the file once complete.
ExportError replace_with_workbook(Replacement &r, bool xls, const ScoreSheet &sheet)
{
    ExportError e = read_old_file(&r);
    if (e.ok())
        e = create_temp(&r);
    if (!e.ok())
        return e;
    e = xls ? write_xls(r.tmp, sheet) : write_xlsx(r.tmp, sheet);
    if (e.ok())
        e = settle(r);
    if (e.ok())
        e = replace_file(r);
    if (!e.ok())
        QFile::remove(r.tmp);
    return e;
}

}  // namespace

ExportError export_workbook(const QString &path, const ScoreSheet &sheet)
{
    if (path.isEmpty())
        return ExportError();
    QString target;
    ExportError e = settle_target(path, &target);
    Replacement r;
    if (e.ok())
        e = follow_links(target, &r.file);
    if (e.ok()) {
        // The format is the one the name the teacher gave asks for.
        const bool xls = QFileInfo(target).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;
        e = replace_with_workbook(r, xls, sheet);
    }
    return e.ok() ? e : e.at(target);
}
