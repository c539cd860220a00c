// The .xlsx writer: header row and score rows into the first sheet of a new
// workbook, the analysis with its chart into a second, through libxlsxwriter,
// checking every result it returns.
#include "export/xlsx_writer.h"

#include "export/file_replace.h"
#include "export/sheet_layout.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

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

ExportError error_of(lxw_error rc)
{
    switch (rc) {
    case LXW_NO_ERROR:
        return ExportError();
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return ExportError::of(ExportFault::out_of_memory);
    case LXW_ERROR_CREATING_XLSX_FILE:
        return ExportError::of(ExportFault::cannot_create_file);
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return ExportError::of(ExportFault::temporary_file_failed);
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return ExportError::of(ExportFault::write_failed);
    case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE:
        return ExportError::sheet_over_limit(ExportFault::sheet_over_limit, LXW_ROW_MAX, LXW_COL_MAX);
    default:
        return ExportError::library(rc);
    }
}

// Writes one text cell; an empty text leaves the cell empty, as typing nothing does.
ExportError put_text(lxw_worksheet *ws, int row, int col, const QString &text, lxw_format *format = nullptr)
{
    if (text.isEmpty())
        return ExportError();
    if (text.size() > max_cell_chars)
        return ExportError::text_over_limit(row, col, max_cell_chars);
    const QByteArray utf8 = cell_utf8(text);
    const lxw_error rc = worksheet_write_string(ws, lxw_row_t(row), lxw_col_t(col), utf8.constData(), format);
    if (rc == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)  // escapes made it longer than the library takes
        return ExportError::text_over_limit(row, col, max_cell_chars);
    return error_of(rc);
}

// The cell formats by NumberFormat, and those of texts.
struct Formats {
    lxw_format *score = nullptr;
    lxw_format *rate = nullptr;
    lxw_format *count = nullptr;
    lxw_format *centred = nullptr;  // a text
    lxw_format *title = nullptr;    // a text
    lxw_format *cut = nullptr;      // an empty cell
    lxw_format *of(NumberFormat f) const
    {
        return f == NumberFormat::score ? score : f == NumberFormat::rate ? rate : count;
    }
};

ExportError put_cell(lxw_worksheet *ws, int row, int col, const SheetCell &cell, const Formats &formats)
{
    if (cell.cut && !cell.numeric && cell.text.isEmpty())
        return error_of(worksheet_write_blank(ws, lxw_row_t(row), lxw_col_t(col), formats.cut));
    // A non-finite number has no spreadsheet form, and one beyond Excel's largest
    // is written with 16 digits that may round past the largest double; keep
    // what the table shows instead.
    if (!cell.numeric || !std::isfinite(cell.value) || std::fabs(cell.value) > max_cell_number)
        return put_text(ws, row, col, cell.text,
                        cell.centred ? formats.centred
                            : cell.title ? formats.title
                                         : nullptr);
    return error_of(worksheet_write_number(ws, lxw_row_t(row), lxw_col_t(col), cell.value, formats.of(cell.format)));
}

ExportError put_cells(lxw_worksheet *ws, const ScoreSheet &sheet, const Formats &formats)
{
    for (int c = 0; c < sheet.headers.size(); ++c) {
        const ExportError e = put_text(ws, 0, c, sheet.headers.at(c));
        if (!e.ok())
            return e;
    }
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QVector<SheetCell> &row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            const ExportError e = put_cell(ws, r + 1, c, row.at(c), formats);
            if (!e.ok())
                return e;
        }
    }
    return ExportError();
}

// Header row and name column frozen and printed on every page, landscape A4
// (the paper Chinese schools print on; the .xls writes the same),
// columns as wide as their texts.
ExportError set_widths(lxw_worksheet *ws, const ScoreSheet &sheet)
{
    worksheet_set_landscape(ws);
    worksheet_set_paper(ws, 9);
    const QVector<double> widths = column_widths(sheet);
    for (int c = 0; c < widths.size(); ++c) {
        if (widths.at(c) <= 0)
            continue;
        const ExportError e = error_of(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), widths.at(c), nullptr));
        if (!e.ok())
            return e;
    }
    return ExportError();
}

ExportError set_page_layout(lxw_worksheet *ws, const ScoreSheet &sheet)
{
    worksheet_freeze_panes(ws, 1, 1);
    ExportError e = set_widths(ws, sheet);
    if (e.ok())
        e = error_of(worksheet_repeat_rows(ws, 0, 0));
    return e.ok() ? error_of(worksheet_repeat_columns(ws, 0, 0)) : e;
}

// The UTF-8 texts the library keeps pointers to until the workbook is closed.
struct ChartTexts {
    QByteArray sheet, title, categories, values;
};

// A column chart of the band counts, beside the band block, as tall as it.
ExportError add_chart(lxw_workbook *book, lxw_worksheet *ws, const AnalysisSheet &analysis, ChartTexts &texts)
{
    lxw_chart *chart = workbook_add_chart(book, LXW_CHART_COLUMN);
    lxw_chart_series *series = chart ? chart_add_series(chart, nullptr, nullptr) : nullptr;
    if (!series)
        return ExportError::of(ExportFault::out_of_memory);
    const lxw_row_t first = lxw_row_t(analysis.bands_header_row + 1);
    const lxw_row_t last = lxw_row_t(analysis.bands_header_row + analysis_bands);
    texts.title = analysis_chart_title().toUtf8();
    texts.categories = analysis.rows.at(analysis.bands_header_row).at(0).text.toUtf8();
    texts.values = analysis.rows.at(analysis.bands_header_row).at(1).text.toUtf8();
    chart_series_set_categories(series, texts.sheet.constData(), first, 0, last, 0);
    chart_series_set_values(series, texts.sheet.constData(), first, 1, last, 1);
    chart_title_set_name(chart, texts.title.constData());
    chart_axis_set_name(chart->x_axis, texts.categories.constData());
    chart_axis_set_name(chart->y_axis, texts.values.constData());
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    // Whole students on the value axis, at most about ten steps.
    int most = 0;
    for (int k = 1; k <= analysis_bands; ++k)
        most = std::max(most, int(analysis.rows.at(analysis.bands_header_row + k).at(1).value));
    chart_axis_set_min(chart->y_axis, 0);
    chart_axis_set_major_unit(chart->y_axis, std::max(1, (most + 9) / 10));
    lxw_chart_options options = {};
    options.x_offset = 8;
    options.y_scale = 0.8;  // eleven default rows: the block's height
    return error_of(worksheet_insert_chart_opt(ws, lxw_row_t(analysis.bands_header_row), 3, chart, &options));
}

// Rows of cells from row 1.
ExportError put_rows(lxw_worksheet *ws, const QVector<QVector<SheetCell>> &rows, const Formats &formats)
{
    for (int r = 0; r < rows.size(); ++r) {
        const QVector<SheetCell> &row = rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            const ExportError e = put_cell(ws, r, c, row.at(c), formats);
            if (!e.ok())
                return e;
        }
    }
    return ExportError();
}

// A4 at velora's own scale, with its margins and breaks: a sheet fitted to
// pages would lose its page breaks. Every row as high as given.
ExportError set_pages(lxw_worksheet *ws, bool landscape, int scale, const QVector<int> &breaks,
                      const QVector<double> &heights)
{
    for (int r = 0; r < heights.size(); ++r) {
        const ExportError e = error_of(worksheet_set_row(ws, lxw_row_t(r), heights.at(r), nullptr));
        if (!e.ok())
            return e;
    }
    worksheet_set_paper(ws, 9);
    if (landscape)
        worksheet_set_landscape(ws);
    else
        worksheet_set_portrait(ws);
    worksheet_set_margins(ws, print_side_margin, print_side_margin, print_end_margin, print_end_margin);
    worksheet_set_print_scale(ws, uint16_t(scale));
    if (breaks.isEmpty())
        return ExportError();
    // The library keeps its own copy; a 0 ends the list.
    QVector<lxw_row_t> rows;
    for (int row : breaks)
        rows.append(lxw_row_t(row));
    rows.append(0);
    return error_of(worksheet_set_h_pagebreaks(ws, rows.data()));
}

ExportError put_analysis(lxw_workbook *book, const AnalysisSheet &analysis, const Formats &formats, ChartTexts &texts)
{
    texts.sheet = analysis_sheet_name().toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(book, texts.sheet.constData());
    if (!ws)
        return ExportError::of(ExportFault::out_of_memory);
    const ExportError put = put_rows(ws, analysis.rows, formats);
    if (!put.ok())
        return put;
    ScoreSheet cells;
    cells.rows = analysis.rows;
    ExportError e = set_widths(ws, cells);
    // Printed as wide as one page: its blocks are read down, not across.
    if (e.ok())
        e = set_pages(ws, analysis.landscape, analysis.scale, analysis.breaks,
                      QVector<double>(analysis.rows.size(), analysis_row_height));
    if (e.ok() && analysis.chart)
        e = add_chart(book, ws, analysis, texts);
    return e;
}

// The slips, as wide as their texts, on the pages laid out.
ExportError put_slips(lxw_workbook *book, const SlipSheet &slips, const Formats &formats, QByteArray &name)
{
    name = slip_sheet_name().toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(book, name.constData());
    if (!ws)
        return ExportError::of(ExportFault::out_of_memory);
    ExportError e = put_rows(ws, slips.rows, formats);
    for (int c = 0; e.ok() && c < slips.widths.size(); ++c)
        if (slips.widths.at(c) > 0)
            e = error_of(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), slips.widths.at(c), nullptr));
    return e.ok() ? set_pages(ws, slips.landscape, slips.scale, slips.breaks, slips.heights) : e;
}

}  // namespace

ExportError write_xlsx(const QString &path, const ScoreSheet &sheet, const AnalysisSheet *analysis,
                       const SlipSheet *slips)
{
    // An embedded NUL would silently cut the name short.
    if (path.isEmpty() || path.contains(QChar(0)))
        return ExportError::of(ExportFault::invalid_path).at(path);

    // libxlsxwriter opens its files by narrow names.
    NarrowTarget target;
    const ExportError placed = narrow_target(path, &target);
    if (!placed.ok())
        return placed.at(path);
    const bool existed = QFileInfo::exists(path);

    lxw_workbook_options options = {};
    options.tmpdir = target.tmpdir.isEmpty() ? nullptr : target.tmpdir.data();
    WorkbookPtr book(workbook_new_opt(target.file.constData(), &options));
    if (!book)
        return ExportError::of(ExportFault::out_of_memory).at(path);
    lxw_worksheet *ws = workbook_add_worksheet(book.get(), nullptr);
    Formats formats;
    formats.score = workbook_add_format(book.get());
    formats.rate = workbook_add_format(book.get());
    formats.count = workbook_add_format(book.get());
    formats.centred = workbook_add_format(book.get());
    formats.title = workbook_add_format(book.get());
    formats.cut = workbook_add_format(book.get());
    if (!ws || !formats.score || !formats.rate || !formats.count || !formats.centred || !formats.title || !formats.cut)
        return ExportError::of(ExportFault::out_of_memory).at(path);
    format_set_num_format(formats.score, "0.00");
    format_set_num_format(formats.rate, "0.0%");
    format_set_num_format(formats.count, "0");
    format_set_align(formats.centred, LXW_ALIGN_CENTER);
    format_set_bold(formats.title);
    format_set_bottom(formats.cut, LXW_BORDER_DASHED);

    ExportError e = put_cells(ws, sheet, formats);
    if (e.ok())
        e = set_page_layout(ws, sheet);
    ChartTexts texts;
    if (e.ok() && analysis)
        e = put_analysis(book.get(), *analysis, formats, texts);
    QByteArray slips_name;
    if (e.ok() && slips)
        e = put_slips(book.get(), *slips, formats, slips_name);
    if (!e.ok())
        return e.at(path);

    // workbook_close frees the workbook whatever it returns.
    const lxw_error rc = workbook_close(book.release());
    if (rc != LXW_NO_ERROR) {
        if (!target.staged.isEmpty())
            QFile::remove(target.staged);
        else if (!existed)
            QFile::remove(path);
        return error_of(rc).at(path);
    }
    e = place_written(target, path);
    return e.ok() ? e : e.at(path);
}
