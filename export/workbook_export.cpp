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

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString failure_text(const QString &path, const QString &reason)
{
    return QStringLiteral("无法导出到“%1”：%2").arg(QDir::toNativeSeparators(path), reason);
}

QString temp_name(const QString &dir)
{
    // Short and fixed in length, so a long target name cannot make it too long.
    return QDir(dir).filePath(QStringLiteral(".velora-export-%1.tmp")
                                  .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar('0')));
}

#ifndef Q_OS_WIN

using FileMode = mode_t;

QString errno_reason(int e)
{
    switch (e) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有在该位置写入的权限。");
    case EROFS:
        return QStringLiteral("该位置是只读的。");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足。");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("目录不存在。");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长。");
    case EISDIR:
        return QStringLiteral("该路径是一个文件夹。");
    case EIO:
        return QStringLiteral("磁盘读写出错。");
    default:
        return QStringLiteral("系统错误（%1）。").arg(QString::fromLocal8Bit(std::strerror(e)));
    }
}

// Creates an empty file of a fresh name in dir. open() applies the umask to
// 0666, which is the mode the finished file should have; it is returned in *mode.
bool create_temp(const QString &dir, QString *tmp, FileMode *mode, QString *reason)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            // /proc and the like exist as directories but take no new files.
            *reason = e == ENOENT ? QStringLiteral("无法在该位置创建文件。") : errno_reason(e);
            return false;
        }
        struct stat st;
        const bool ok = ::fstat(fd, &st) == 0;
        ::close(fd);
        if (!ok) {
            *reason = errno_reason(errno);
            ::unlink(QFile::encodeName(name).constData());
            return false;
        }
        *tmp = name;
        *mode = st.st_mode & 07777;
        return true;
    }
    *reason = QStringLiteral("无法在该位置创建临时文件。");
    return false;
}

// Gives the written file its ordinary mode back (a writer may have replaced it)
// and makes sure its contents reached the disk before it replaces anything.
bool settle(const QString &tmp, FileMode mode, QString *reason)
{
    const QByteArray name = QFile::encodeName(tmp);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = errno_reason(errno);
        return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && ((st.st_mode & 07777) == mode || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
    if (!ok)
        *reason = errno_reason(errno);
    ::close(fd);
    return ok;
}

bool replace_target(const QString &tmp, const QString &target, QString *reason)
{
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(target).constData()) != 0) {
        *reason = errno_reason(errno);
        return false;
    }
    // Make the new name itself durable; a failure here loses nothing already written.
    const int dfd = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

#else  // Windows: no umask or fsync to mind; MoveFileEx replaces where rename() would not.

using FileMode = int;

bool create_temp(const QString &dir, QString *tmp, FileMode *mode, QString *reason)
{
    *mode = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QFile file(temp_name(dir));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.close();
            *tmp = file.fileName();
            return true;
        }
        if (!file.exists()) {
            *reason = QStringLiteral("无法在该位置创建文件（%1）。").arg(file.errorString());
            return false;
        }
    }
    *reason = QStringLiteral("无法在该位置创建临时文件。");
    return false;
}

bool settle(const QString &, FileMode, QString *) { return true; }

bool replace_target(const QString &tmp, const QString &target, QString *reason)
{
    const std::wstring from = QDir::toNativeSeparators(tmp).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(target).toStdWString();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *reason = QStringLiteral("无法替换文件，它可能正被其他程序使用。");
        return false;
    }
    return true;
}

#endif

}  // namespace

ExportResult export_workbook(const QString &path, const ScoreSheet &sheet)
{
    ExportResult result;
    if (path.isEmpty())
        return result;

    QString target = path;
    auto refuse = [&result, &target](const QString &reason) {
        result.ok = false;
        result.error = failure_text(target, reason);
        return result;
    };

    // A NUL would cut the name short and an unencodable character would name a
    // different file, so such a path is never handed to the file system.
    if (path.contains(QChar(0)) || QFile::decodeName(QFile::encodeName(path)) != path)
        return refuse(QStringLiteral("路径中含有无法用作文件名的字符。"));
    const QString file_name = QFileInfo(path).fileName();
    if (file_name.isEmpty())
        return refuse(QFileInfo(path).isDir() ? QStringLiteral("该路径是一个文件夹。")
                                              : QStringLiteral("路径中缺少文件名。"));
    if (!file_name.contains(QLatin1Char('.')))
        target += QStringLiteral(".xlsx");

    const QFileInfo info(target);
    if (info.isDir())
        return refuse(QStringLiteral("该路径是一个文件夹。"));
    const QString dir = info.absolutePath();
    if (!QFileInfo(dir).isDir())
        return refuse(QStringLiteral("目录不存在。"));
    if (info.exists() && !info.isWritable())
        return refuse(QStringLiteral("没有写入该文件的权限，它可能是只读的。"));
    const bool xls = info.suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;

    QString tmp;
    FileMode mode = 0;
    QString reason;
    if (!create_temp(dir, &tmp, &mode, &reason))
        return refuse(reason);

    const bool written = xls ? write_xls(tmp, sheet, &reason) : write_xlsx(tmp, sheet, &reason);
    if (!written || !settle(tmp, mode, &reason) || !replace_target(tmp, target, &reason)) {
        QFile::remove(tmp);
        return refuse(reason.isEmpty() ? QStringLiteral("写入失败。") : reason);
    }
    return result;
}
