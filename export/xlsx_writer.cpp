// The .xlsx writer: header row and score rows into the first sheet of a new
// workbook, through libxlsxwriter, checking every result it returns.
#include "export/xlsx_writer.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <xlsxwriter.h>

#include <cmath>
#include <memory>

namespace {

// Excel's limit on the length of one cell's text, in UTF-16 code units.
constexpr int max_cell_chars = 32767;
// Excel's largest number; a larger one does not read back.
constexpr double max_cell_number = 9.99999999999999e307;

struct WorkbookFree {
    void operator()(lxw_workbook *book) const { lxw_workbook_free(book); }
};
using WorkbookPtr = std::unique_ptr<lxw_workbook, WorkbookFree>;

bool is_hex(ushort u)
{
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// An underscore that a reader would take as the start of an "_xHHHH_" escape.
bool escape_like(const QChar *d, int n, int i)
{
    if (i + 5 >= n || d[i + 1].unicode() != 'x')
        return false;
    for (int k = i + 2; k < i + 6; ++k)
        if (!is_hex(d[k].unicode()))
            return false;
    return true;
}

// Code units XML 1.0 cannot carry: C0 controls but tab and newline (a carriage
// return would be read back as a newline), U+FFFE, U+FFFF and, handled apart,
// lone surrogates.
bool needs_escape(ushort u)
{
    return (u < 0x20 && u != '\t' && u != '\n') || u >= 0xFFFE;
}

// The cell text as UTF-8 for the shared-string table. Characters XML cannot
// hold become Excel's "_xHHHH_" escapes and an underscore that would read as
// such an escape becomes "_x005F_", so readers get back exactly the QString.
// libxlsxwriter escapes only some control characters and never underscores.
QByteArray cell_utf8(const QString &text)
{
    const QChar *d = text.constData();
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const ushort u = d[i].unicode();
        if (needs_escape(u) || u == '_' || QChar::isSurrogate(u))
            break;
        ++i;
    }
    if (i == n)
        return text.toUtf8();

    QString out;
    out.reserve(n + 32);
    out.append(d, i);
    for (; i < n; ++i) {
        const ushort u = d[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(d[i + 1].unicode())) {
            out.append(d + i, 2);
            ++i;
        } else if (needs_escape(u) || QChar::isSurrogate(u) || (u == '_' && escape_like(d, n, i))) {
            out.append(QString::asprintf("_x%04X_", unsigned(u)));
        } else {
            out.append(d[i]);
        }
    }
    return out.toUtf8();
}

QString cell_name(int row, int col)
{
    char name[32];  // room for any int row and column, not only the sheet's limits
    lxw_rowcol_to_cell(name, lxw_row_t(row), lxw_col_t(col));
    return QString::fromLatin1(name);
}

QString too_long(int row, int col)
{
    return QStringLiteral("单元格%1的文字超过%2个字符，工作簿无法保存这么长的文字。")
        .arg(cell_name(row, col))
        .arg(max_cell_chars);
}

QString reason_for(lxw_error rc)
{
    switch (rc) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("内存不足。");
    case LXW_ERROR_CREATING_XLSX_FILE:
        return QStringLiteral("无法创建文件，可能没有写入权限或目录不存在。");
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("无法使用临时文件，临时目录可能已满或不可写。");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("写入文件时出错，磁盘可能已满。");
    case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
        return QStringLiteral("表格超出了工作簿的大小上限（%1行、%2列）。")
            .arg(LXW_ROW_MAX)
            .arg(LXW_COL_MAX);
    default:
        return QStringLiteral("写入工作簿失败（%1）。").arg(QString::fromUtf8(lxw_strerror(rc)));
    }
}

// Writes one text cell; an empty text leaves the cell empty, as typing nothing does.
lxw_error put_text(lxw_worksheet *ws, int row, int col, const QString &text, QString *reason)
{
    if (text.isEmpty())
        return LXW_NO_ERROR;
    if (text.size() > max_cell_chars) {
        *reason = too_long(row, col);
        return LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED;
    }
    const QByteArray utf8 = cell_utf8(text);
    const lxw_error rc = worksheet_write_string(ws, lxw_row_t(row), lxw_col_t(col), utf8.constData(), nullptr);
    if (rc == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)  // escapes made it longer than the library takes
        *reason = too_long(row, col);
    else if (rc != LXW_NO_ERROR)
        *reason = reason_for(rc);
    return rc;
}

lxw_error put_cell(lxw_worksheet *ws, int row, int col, const SheetCell &cell, lxw_format *score,
                   QString *reason)
{
    // A non-finite number has no spreadsheet form, and one beyond Excel's largest
    // is written with 16 digits that may round past the largest double; keep
    // what the table shows instead.
    if (!cell.numeric || !std::isfinite(cell.value) || std::fabs(cell.value) > max_cell_number)
        return put_text(ws, row, col, cell.text, reason);
    const lxw_error rc = worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(col), cell.value, score);
    if (rc != LXW_NO_ERROR)
        *reason = reason_for(rc);
    return rc;
}

}  // namespace

bool write_xlsx(const QString &path, const ScoreSheet &sheet, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // An embedded NUL would silently cut the name short.
    if (path.isEmpty() || path.contains(QChar(0)))
        return fail(QStringLiteral("文件路径无效。"));

    const QByteArray name = QFile::encodeName(path);
    const bool existed = QFileInfo::exists(path);

    WorkbookPtr book(workbook_new(name.constData()));
    if (!book)
        return fail(reason_for(LXW_ERROR_MEMORY_MALLOC_FAILED));
    lxw_worksheet *ws = workbook_add_worksheet(book.get(), nullptr);
    lxw_format *score = workbook_add_format(book.get());
    if (!ws || !score)
        return fail(reason_for(LXW_ERROR_MEMORY_MALLOC_FAILED));
    format_set_num_format(score, "0.00");

    QString reason;
    for (int c = 0; c < sheet.headers.size(); ++c)
        if (put_text(ws, 0, c, sheet.headers.at(c), &reason) != LXW_NO_ERROR)
            return fail(reason);
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QVector<SheetCell> &row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c)
            if (put_cell(ws, r + 1, c, row.at(c), score, &reason) != LXW_NO_ERROR)
                return fail(reason);
    }

    // workbook_close frees the workbook whatever it returns.
    const lxw_error rc = workbook_close(book.release());
    if (rc != LXW_NO_ERROR) {
        if (!existed)
            QFile::remove(path);
        return fail(reason_for(rc));
    }
    return true;
}
