#include "export/lock_files.h"

#include "export/workbook_export.h"

#include <QDir>
#include <QFileInfo>

QStringList lock_file_names(const QString &file_name)
{
    return {QStringLiteral(".~lock.") + file_name + QLatin1Char('#'), QStringLiteral("~$") + file_name};
}

QStringList lock_files_beside(const QString &path)
{
    QStringList found;
    if (path.isEmpty())
        return found;
    const QFileInfo workbook(workbook_target(path));
    if (!workbook.isFile())
        return found;
    for (const QString &name : lock_file_names(workbook.fileName())) {
        const QString lock = workbook.dir().filePath(name);
        if (QFileInfo::exists(lock))
            found << lock;
    }
    return found;
}
