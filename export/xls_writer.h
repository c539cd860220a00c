// Writes a score sheet as an Excel 97-2003 workbook (.xls): BIFF8 records in
// the "Workbook" stream of an OLE2 compound file, built entirely in memory.
#pragma once

#include "export/score_sheet.h"

#include <QByteArray>

class QString;

// Why `sheet` cannot be stored in an .xls workbook (more than 65536 rows or
// 256 columns, a text longer than 32767 characters), or an empty string when
// it can.
QString xls_problem(const ScoreSheet &sheet);

// The whole .xls file for `sheet`, or an empty array when xls_problem() is not
// empty. Row 1 holds the headers, rows 2.. the table rows; texts are shared
// strings (a lone surrogate becomes U+FFFD, an empty text leaves the cell
// empty), scores are numbers shown with the "0.00" format; a score whose value
// is not finite is written as its text.
QByteArray build_xls(const ScoreSheet &sheet);

// Writes the workbook to exactly `path`, replacing whatever is there. On
// failure returns false and sets *error (if given) to a plain Chinese reason
// without the path; a file this call created but could not finish is removed.
bool write_xls(const QString &path, const ScoreSheet &sheet, QString *error);
