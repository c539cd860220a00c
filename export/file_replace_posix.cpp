// File replacement on POSIX systems: links are followed to the file they lead
// to, the replaced file's mode, owner and group are kept, and rename() swaps
// the complete file in.
#include "export/file_replace.h"
#include "export/file_replace_platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// A link to nowhere is followed to where it points.
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
    return ExportError::of(ExportFault::link_loop);
}

// Anything but a plain file (a device, a pipe) is refused: renaming over it
// would destroy it.
ExportError read_old_file(Replacement *r)
{
    struct stat st;
    if (::stat(QFile::encodeName(r->file).constData(), &st) != 0)
        return errno == ENOENT ? ExportError() : ExportError::from_errno(errno);
    if (S_ISDIR(st.st_mode))
        return ExportError::of(ExportFault::is_folder);
    if (!S_ISREG(st.st_mode))
        return ExportError::of(ExportFault::not_regular);
    r->existed = true;
    r->mode = st.st_mode & 0777;
    r->owner = st.st_uid;
    r->group = st.st_gid;
    return ExportError();
}

// open() applies the umask to 0666, which is the mode a new file gets.
int open_new_file(const QString &name)
{
    return ::open(QFile::encodeName(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// The temporary file is readable by its owner alone until it is complete; the
// mode it was made with goes to r->mode when nothing existed.
ExportError keep_temporary(int fd, const QString &name, Replacement *r)
{
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && ::fchmod(fd, 0600) == 0;
    const int e = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(QFile::encodeName(name).constData());
        return ExportError::from_errno(e);
    }
    if (!r->existed)
        r->mode = st.st_mode & 0777;
    return ExportError();
}

// The old file's owner and group where the process may, then its mode (after
// chown, which may clear bits).
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

ExportError move_over(const Replacement &r)
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

void remove_temporary(const QString &tmp)
{
    ::unlink(QFile::encodeName(tmp).constData());
}

}  // namespace platform

bool encodable_path(const QString &path)
{
    return QFile::decodeName(QFile::encodeName(path)) == path;
}

ExportError check_file_name(const QString &)
{
    return ExportError();
}

ExportError narrow_target(const QString &path, NarrowTarget *target)
{
    target->file = QFile::encodeName(path);
    return ExportError();
}

ExportError place_written(const NarrowTarget &, const QString &)
{
    return ExportError();
}
