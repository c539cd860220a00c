// Export entry point: settles the target name and format and has the workbook
// written through a safe replacement of the target, so a failed export never
// costs the user a file.
#include "export/workbook_export.h"

#include "export/file_replace.h"
#include "export/xls_writer.h"
#include "export/xlsx_writer.h"

#include <QFileInfo>
#include <QString>

namespace {

// The file the export goes to, or why the path cannot be one.
ExportError settle_target(const QString &path, QString *target)
{
    *target = path;
    // A NUL would cut the name short and an unencodable character would name a
    // different file, so such a path is never handed to the file system.
    if (path.contains(QChar(0)) || !encodable_path(path))
        return ExportError::of(ExportFault::unusable_characters);
    const QString file_name = QFileInfo(path).fileName();
    if (file_name.isEmpty())
        return ExportError::of(QFileInfo(path).isDir() ? ExportFault::is_folder : ExportFault::no_file_name);
    if (!file_name.contains(QLatin1Char('.')))
        *target += QStringLiteral(".xlsx");
    const ExportError refused = check_file_name(QFileInfo(*target).fileName());
    if (!refused.ok())
        return refused;

    const QFileInfo info(*target);
    if (info.isDir())
        return ExportError::of(ExportFault::is_folder);
    if (!QFileInfo(info.absolutePath()).isDir())
        return ExportError::of(ExportFault::no_directory);
    if (info.exists() && !info.isWritable())
        return ExportError::of(ExportFault::read_only_file);
    return ExportError();
}

}  // namespace

ExportError export_workbook(const QString &path, const ScoreSheet &sheet)
{
    if (path.isEmpty())
        return ExportError();
    QString target;
    ExportError e = settle_target(path, &target);
    if (e.ok()) {
        // The format is the one the name the teacher gave asks for.
        const bool xls = QFileInfo(target).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;
        e = replace_file(target, [&](const QString &temporary) {
            return xls ? write_xls(temporary, sheet) : write_xlsx(temporary, sheet);
        });
    }
    return e.ok() ? e : e.at(target);
}
