// Export of the score table to a workbook file: picks the format from the file
// name and replaces the target only once the new file is complete.
#pragma once

#include "export/export_error.h"
#include "export/score_sheet.h"
#include "marking/analysis.h"

class QString;

// Writes `sheet` to `path`. An empty path does nothing and succeeds. A file
// name without a "." gets ".xlsx" appended; a ".xls" suffix (any letter case)
// gives the old binary format, anything else .xlsx. A failure leaves any
// existing file untouched and no temporary file behind; the error is said of
// the target path. An analysis, when given, becomes the second sheet "成绩分析".
ExportError export_workbook(const QString &path, const ScoreSheet &sheet, const ClassAnalysis *analysis = nullptr);
