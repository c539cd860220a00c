// Export of the score table to a workbook file: picks the format from the file
// name and replaces the target only once the new file is complete.
#pragma once

#include "export/export_error.h"
#include "export/score_sheet.h"
#include "marking/analysis.h"

class QString;

// The file export_workbook() writes for `path`: `path` itself when it ends in
// ".xlsx" or ".xls" (any letter case), else `path` with ".xlsx" appended.
QString workbook_target(const QString &path);

// Writes `sheet` to `path`. An empty path does nothing and succeeds. A file
// name that does not end in ".xlsx" or ".xls" (any letter case) gets ".xlsx"
// appended, after any trailing dots are dropped; a ".xls" suffix gives the old
// binary format. A failure leaves any existing file untouched and no temporary
// file behind; the error is said of the file the workbook was for. An
// analysis, when given, becomes the second sheet "成绩分析" and its slips the
// third, "成绩条".
ExportError export_workbook(const QString &path, const ScoreSheet &sheet, const ClassAnalysis *analysis = nullptr);
