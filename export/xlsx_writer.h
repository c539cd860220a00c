// Writes a score sheet as an .xlsx workbook (Office Open XML) with libxlsxwriter.
#pragma once

#include "export/analysis_sheet.h"
#include "export/export_error.h"
#include "export/score_sheet.h"
#include "export/slip_sheet.h"

class QString;

// Writes the sheet into a new workbook at exactly `path`, replacing whatever is
// there. Row 1 holds the headers as text, rows 2.. the table rows; scores are
// numbers shown with "0.00" (a score that is not finite or beyond Excel's
// largest number is written as its text), everything else text exactly as
// given. The header row and the name column are frozen and printed on every
// (landscape) page, and every column is as wide as its texts. An analysis,
// when given, becomes a second sheet with its chart, and slips, when given
// as well, a third. A failure is said of `path`; a file this call created but
// could not finish is removed again.
ExportError write_xlsx(const QString &path, const ScoreSheet &sheet, const AnalysisSheet *analysis = nullptr,
                       const SlipSheet *slips = nullptr);
