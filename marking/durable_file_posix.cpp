// Durable writes on POSIX systems: fdatasync where there is one (it still
// syncs the size an append changes), else fsync; a folder is synced through a
// descriptor of its own.
#include "marking/durable_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

int sync_descriptor(int fd)
{
#if defined(__linux__)
    return ::fdatasync(fd);
#else
    return ::fsync(fd);
#endif
}

}  // namespace

bool sync_file(QFile &file, QString *reason)
{
    if (!file.flush()) {
        *reason = file.errorString();
        return false;
    }
    int r;
    do
        r = sync_descriptor(file.handle());
    while (r != 0 && errno == EINTR);
    if (r == 0)
        return true;
    *reason = qt_error_string(errno);
    return false;
}

bool sync_folder(const QString &folder, QString *reason)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *reason = qt_error_string(errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    const int e = errno;
    ::close(fd);
    if (!ok)
        *reason = qt_error_string(e);
    return ok;
}
