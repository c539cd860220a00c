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
    // "." and ".." name folders; a name of dots alone would leave nothing to name the workbook.
    // Windows drops trailing dots, so there "..." would name its folder too: it is told
    // the same everywhere.
    if (file_name.count(QLatin1Char('.')) == file_name.size()) {
        const bool folder = file_name.size() <= 2 && QFileInfo(path).isDir();
        return ExportError::of(folder ? ExportFault::is_folder : ExportFault::no_file_name);
    }
    *target = workbook_target(path);
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

// A dot inside the name ("高一.3班") or another suffix ("名单.txt") must never
// leave a workbook that will not open by its name. Trailing dots go first
// ("成绩." gives "成绩.xlsx"); Windows would drop them anyway.
QString workbook_target(const QString &path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive))
        return path;
    QString target = path;
    while (target.endsWith(QLatin1Char('.')))
        target.chop(1);
    return target + QStringLiteral(".xlsx");
}

ExportError export_workbook(const QString &path, const ScoreSheet &sheet, const ClassAnalysis *analysis)
{
    if (path.isEmpty())
        return ExportError();
    QString target;
    ExportError e = settle_target(path, &target);
    if (e.ok()) {
        // The format is the one the name the teacher gave asks for.
        const bool xls = QFileInfo(target).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0;
        const AnalysisSheet laid_out = analysis ? analysis_sheet(*analysis) : AnalysisSheet();
        const AnalysisSheet *second = analysis ? &laid_out : nullptr;
        const SlipSheet slips = analysis ? slip_sheet(*analysis) : SlipSheet();
        const SlipSheet *third = analysis ? &slips : nullptr;
        e = replace_file(target, [&](const QString &temporary) {
            return xls ? write_xls(temporary, sheet, second, third) : write_xlsx(temporary, sheet, second, third);
        });
    }
    return e.ok() ? e : e.at(target);
}
