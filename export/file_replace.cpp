// The order of a safe file replacement and the temporary name, the same on
// every platform; the platform's steps are in file_replace_<platform>.cpp.
#include "export/file_replace.h"

#include "export/file_replace_platform.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

namespace {

using platform::Replacement;

QString temp_name(const QString &dir)
{
    // Short and fixed in length, so a long target name cannot make it too long.
    return QDir(dir).filePath(
        QStringLiteral(".velora-export-%1.tmp").arg(QRandomGenerator::global()->generate64(), 16, 16, QChar('0')));
}

// Creates an empty file of a fresh name beside the file.
ExportError create_temp(Replacement *r)
{
    const QString dir = QFileInfo(r->file).absolutePath();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = temp_name(dir);
        const int fd = platform::open_new_file(name);
        if (fd < 0) {
            const int e = errno;
            if (e == EEXIST)
                continue;
            // /proc and the like exist as directories but take no new files.
            if (e == ENOENT)
                return ExportError::of(QFileInfo(dir).isDir() ? ExportFault::cannot_create_here
                                                              : ExportFault::no_directory);
            return ExportError::from_errno(e);
        }
        const ExportError kept = platform::keep_temporary(fd, name, r);
        if (kept.ok())
            r->tmp = name;
        return kept;
    }
    return ExportError::of(ExportFault::no_temporary_name);
}

}  // namespace

ExportError replace_file(const QString &target, const FileWriter &write)
{
    Replacement r;
    ExportError e = platform::follow_links(target, &r.file);
    if (e.ok())
        e = platform::read_old_file(&r);
    if (e.ok())
        e = create_temp(&r);
    if (!e.ok())
        return e;
    e = write(r.tmp);
    if (e.ok())
        e = platform::settle(r);
    if (e.ok())
        e = platform::move_over(r);
    if (!e.ok())
        platform::remove_temporary(r.tmp);
    return e;
}
