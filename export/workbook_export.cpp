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
#include <string>
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

#ifndef Q_OS_WIN

using FileMode = mode_t;

// Creates an empty file of a fresh name in dir. open() applies the umask to
// 0666, which is the mode the finished file should have; it is returned in *mode.
ExportError create_temp(const QString &dir, QString *tmp, FileMode *mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            // /proc and the like exist as directories but take no new files.
            return e == ENOENT ? ExportError::of(ExportFault::CannotCreateHere) : ExportError::from_errno(e);
        }
        struct stat st;
        const bool ok = ::fstat(fd, &st) == 0;
        const int e = errno;
        ::close(fd);
        if (!ok) {
            ::unlink(QFile::encodeName(name).constData());
            return ExportError::from_errno(e);
        }
        *tmp = name;
        *mode = st.st_mode & 07777;
        return ExportError();
    }
    return ExportError::of(ExportFault::NoTemporaryName);
}

// Gives the written file its ordinary mode back (a writer may have replaced it)
// and makes sure its contents reached the disk before it replaces anything.
ExportError settle(const QString &tmp, FileMode mode)
{
    const int fd = ::open(QFile::encodeName(tmp).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ExportError::from_errno(errno);
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && ((st.st_mode & 07777) == mode || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
    const int e = errno;
    ::close(fd);
    return ok ? ExportError() : ExportError::from_errno(e);
}

ExportError replace_target(const QString &tmp, const QString &target)
{
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(target).constData()) != 0)
        return ExportError::from_errno(errno);
    // Make the new name itself durable; a failure here loses nothing already written.
    const int dfd = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return ExportError();
}

#else  // Windows: no umask or fsync to mind; MoveFileEx replaces where rename() would not.

using FileMode = int;

ExportError create_temp(const QString &dir, QString *tmp, FileMode *mode)
{
    *mode = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = _wopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(name).utf16()),
                              _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            return e == ENOENT ? ExportError::of(ExportFault::CannotCreateHere) : ExportError::from_errno(e);
        }
        _close(fd);
        *tmp = name;
        return ExportError();
    }
    return ExportError::of(ExportFault::NoTemporaryName);
}

ExportError settle(const QString &, FileMode) { return ExportError(); }

ExportError replace_target(const QString &tmp, const QString &target)
{
    const std::wstring from = QDir::toNativeSeparators(tmp).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(target).toStdWString();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ExportError e = ExportError::of(ExportFault::ReplaceBlocked);
        e.system_error = int(GetLastError());
        return e;
    }
    return ExportError();
}

#endif

// The file the export goes to, or why the path cannot be one.
ExportError settle_target(const QString &path, QString *target)
{
    *target = path;
    // A NUL would cut the name short and an unencodable character would name a
    // different file, so such a path is never handed to the file system.
    if (path.contains(QChar(0)) || QFile::decodeName(QFile::encodeName(path)) != path)
        return ExportError::of(ExportFault::UnusableCharacters);
    const QString file_name = QFileInfo(path).fileName();
    if (file_name.isEmpty())
        return ExportError::of(QFileInfo(path).isDir() ? ExportFault::IsFolder : ExportFault::NoFileName);
    if (!file_name.contains(QLatin1Char('.')))
        *target += QStringLiteral(".xlsx");

    const QFileInfo info(*target);
    if (info.isDir())
        return ExportError::of(ExportFault::IsFolder);
    if (!QFileInfo(info.absolutePath()).isDir())
        return ExportError::of(ExportFault::NoDirectory);
    if (info.exists() && !info.isWritable())
        return ExportError::of(ExportFault::ReadOnlyFile);
    return ExportError();
}

}  // namespace

ExportError export_workbook(const QString &path, const ScoreSheet &sheet)
{
    if (path.isEmpty())
        return ExportError();
    QString target;
    const ExportError bad_target = settle_target(path, &target);
    if (!bad_target.ok())
        return bad_target.at(target);

    const QFileInfo info(target);
    const bool xls = info.suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;
    QString tmp;
    FileMode mode = 0;
    const ExportError no_temp = create_temp(info.absolutePath(), &tmp, &mode);
    if (!no_temp.ok())
        return no_temp.at(target);

    ExportError e = xls ? write_xls(tmp, sheet) : write_xlsx(tmp, sheet);
    if (e.ok())
        e = settle(tmp, mode);
    if (e.ok())
        e = replace_target(tmp, target);
    if (!e.ok())
        QFile::remove(tmp);
    return e.ok() ? e : e.at(target);
}
