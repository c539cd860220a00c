// Writes a score sheet as an Excel 97-2003 workbook (.xls): BIFF8 records in
// the "Workbook" stream of an OLE2 compound file, built entirely in memory.
#pragma once

#include "export/analysis_sheet.h"
#include "export/export_error.h"
#include "export/score_sheet.h"
#include "export/slip_sheet.h"

#include <QByteArray>

class QString;

// Why `sheet` cannot be stored in an .xls workbook (xls_sheet_over_limit beyond
// 65536 rows or 256 columns, text_over_limit for a text longer than 32767
// characters), or no error when it can.
ExportError check_xls_limits(const ScoreSheet &sheet);

// Sets *file to the whole .xls file for `sheet`, or refuses as
// check_xls_limits() does and leaves *file as it was. Row 1 holds the headers,
// rows 2.. the table rows; texts are shared strings (a lone surrogate becomes
// U+FFFD, an empty text leaves the cell empty), scores are numbers shown with
// the "0.00" format; a score whose value is not finite is written as its text.
// An analysis, when given, becomes a second worksheet, and slips, when given
// as well, a third.
ExportError build_xls(const ScoreSheet &sheet, QByteArray *file, const AnalysisSheet *analysis = nullptr,
                      const SlipSheet *slips = nullptr);

// Writes the workbook to exactly `path`, replacing whatever is there. A
// failure is said of `path`; a file this call created but could not finish is
// removed.
ExportError write_xls(const QString &path, const ScoreSheet &sheet, const AnalysisSheet *analysis = nullptr,
                      const SlipSheet *slips = nullptr);
