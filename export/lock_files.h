// The lock files a spreadsheet keeps beside a workbook while it has it open.
// A workbook replaced under it goes on showing the old table there, and a
// save there would put the old marks back, so the export asks first.
#pragma once

#include <QStringList>

// The lock files of `file_name` (a name, no folder): LibreOffice's
// ".~lock.<name>#", Excel's and WPS's "~$<name>".
QStringList lock_file_names(const QString &file_name);

// The paths of the lock files standing beside the workbook that
// export_workbook(path) would replace; none when no workbook is there yet.
QStringList lock_files_beside(const QString &path);
