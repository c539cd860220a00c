// Fuzz target: the .xlsx writer, directly and through the export entry point,
// with the analysis and the slips. Every workbook written is read back and
// its score sheet compared cell by cell: texts come back exactly (escapes
// undone), finite scores as numbers; the other sheets must hold every cell
// laid out and the slips their page breaks. A refusal must be for a text too
// long for a cell and must leave the old file as it was.
#include "export/workbook_export.h"
#include "export/xlsx_writer.h"
#include "fuzz/fuzz_sheet.h"
#include "tests/support/xlsx_reader.h"

#include <QFileInfo>
#include <QVector>

#include <cstdio>

namespace {

bool is_hex(ushort u)
{
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// Characters the cell text takes once written with Excel's "_xHHHH_" escapes
// for what XML cannot carry and for underscores that would read as escapes.
qsizetype escaped_length(const QString &s)
{
    qsizetype n = 0;
    for (int i = 0; i < s.size(); ++i) {
        const ushort u = s[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            ++i;
            ++n;
        } else if ((u < 0x20 && u != '\t' && u != '\n') || u >= 0xFFFE || QChar::isSurrogate(u)) {
            n += 7;
        } else if (u == '_' && i + 5 < s.size() && s[i + 1] == QLatin1Char('x') && is_hex(s[i + 2].unicode())
                   && is_hex(s[i + 3].unicode()) && is_hex(s[i + 4].unicode()) && is_hex(s[i + 5].unicode())) {
            n += 7;
        } else {
            ++n;
        }
    }
    return n;
}

// Scores go in as numbers when finite and within Excel's range, else as their text.
bool as_number(const SheetCell &c)
{
    return c.numeric && std::isfinite(c.value) && std::fabs(c.value) <= 9.99999999999999e307;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Bytes in(data, size);
    const uint8_t flags = in.u8();
    const ScoreSheet sheet = fuzz::sheet_of(in, flags);
    const ClassAnalysis analysis = fuzz::analysis_of(sheet);
    const AnalysisSheet second = analysis_sheet(analysis);
    const SlipSheet third = slip_sheet(analysis);

    // What must come back, and whether the writer may or must refuse.
    QVector<fuzz::WantCell> want;
    bool must_fail = false, may_fail = false;
    auto text_cell = [&](int r, int c, const QString &t) {
        must_fail = must_fail || t.size() > 32767;
        may_fail = may_fail || escaped_length(t) > 32767;
        if (!t.isEmpty())
            want.append(fuzz::WantCell{r, c, false, t, 0.0});
    };
    for (int c = 0; c < sheet.headers.size(); ++c)
        text_cell(0, c, sheet.headers.at(c));
    for (int r = 0; r < sheet.rows.size(); ++r)
        for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
            const SheetCell &cell = sheet.rows.at(r).at(c);
            if (as_number(cell))
                want.append(fuzz::WantCell{r + 1, c, true, QString(), cell.value});
            else
                text_cell(r + 1, c, cell.text);
        }

    static const QString dir = [] {
        const QString d = fuzz::scratch_dir("xlsx");
        std::atexit([] { QDir(fuzz::scratch_dir("xlsx")).removeRecursively(); });
        return d;
    }();
    for (const QString &f : fuzz::files_in(dir))
        QFile::remove(dir + QLatin1Char('/') + f);
    const int route = flags & 3;
    const QString target = dir + (route == 2 ? QStringLiteral("/成绩.xlsx") : QStringLiteral("/成绩 out.xlsx"));
    const QByteArray previous("an older file");
    fuzz::write_all(target, previous);

    ExportError result;
    if (route == 0) {
        result = write_xlsx(target, sheet);
    } else if (route == 3) {
        result = write_xlsx(target, sheet, &second, &third);
    } else {
        result = export_workbook(route == 2 ? dir + QStringLiteral("/成绩") : target, sheet, &analysis);
        // Only the finished file may be there: no temporary is left behind.
        FUZZ_CHECK(fuzz::files_in(dir) == QStringList{QFileInfo(target).fileName()}, fuzz::files_in(dir).join(' '));
    }

    const QString error = export_error_message(result);
    if (!result.ok()) {
        FUZZ_CHECK(!error.isEmpty(), QString());
        FUZZ_CHECK(result.path == target, result.path);
        FUZZ_CHECK(result.fault == ExportFault::text_over_limit, error);
        FUZZ_CHECK(may_fail, error);
        if (route == 1 || route == 2)
            FUZZ_CHECK(fuzz::read_all(target) == previous, error);
        return 0;
    }
    FUZZ_CHECK(!must_fail, QString());
    FUZZ_CHECK(error.isEmpty(), error);

    XlsxBook book;
    QString why;
    FUZZ_CHECK(read_xlsx(fuzz::read_all(target), &book, &why), why);
    FUZZ_CHECK(book.sheets.size() == (route == 0 ? 1 : 3), QString::number(book.sheets.size()));
    if (route != 0) {
        FUZZ_CHECK(book.sheets.at(1).size() == fuzz::cells_in(second.rows), QString());
        FUZZ_CHECK(book.sheets.at(2).size() == fuzz::cells_in(third.rows), QString());
        FUZZ_CHECK(book.row_breaks.at(1) == second.breaks, QString::number(second.breaks.size()));
        FUZZ_CHECK(book.row_breaks.at(2) == third.breaks, QString::number(third.breaks.size()));
    }
    FUZZ_CHECK(book.cells.size() == want.size(),
               QStringLiteral("%1 cells, %2 wanted").arg(book.cells.size()).arg(want.size()));
    for (int i = 0; i < want.size(); ++i) {
        const XlsxCell &got = book.cells.at(i);
        const fuzz::WantCell &w = want.at(i);
        const QString where = QStringLiteral("cell %1,%2").arg(w.row).arg(w.col);
        FUZZ_CHECK(got.row == w.row && got.col == w.col && got.numeric == w.numeric, where);
        if (w.numeric) {
            // Written as printf's "%.16G" gives it, or exactly.
            char digits[64];
            std::snprintf(digits, sizeof digits, "%.16G", w.value);
            const double rounded = std::strtod(digits, nullptr);
            FUZZ_CHECK(got.value == w.value || got.value == rounded,
                       where
                           + QStringLiteral(": read %1, wrote %2").arg(got.value, 0, 'g', 17).arg(w.value, 0, 'g', 17));
            FUZZ_CHECK(got.style > 0, where);
        } else {
            FUZZ_CHECK(got.text == w.text, where);
        }
    }
    return 0;
}
