// Fuzz target: the .xls writer, as bytes, as a file and through the export
// entry point, with the analysis and the slips. Every workbook is read back
// by the strict BIFF reader and its score sheet compared cell by cell: texts
// with lone surrogates replaced, finite scores bit for bit with the "0.00"
// format; the other sheets must hold every cell laid out and the slips their
// page breaks. Only a text too long for a cell may make it refuse, and a
// refusal leaves the old file as it was.
#include "export/workbook_export.h"
#include "export/xls_writer.h"
#include "fuzz/fuzz_sheet.h"
#include "tests/support/biff_reader.h"

#include <QFileInfo>
#include <QVector>

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Bytes in(data, size);
    const uint8_t flags = in.u8();
    const ScoreSheet sheet = fuzz::sheet_of(in, flags);
    const ClassAnalysis analysis = fuzz::analysis_of(sheet);
    const AnalysisSheet second = analysis_sheet(analysis);
    const SlipSheet third = slip_sheet(analysis);

    QVector<fuzz::WantCell> want;
    bool must_fail = false;
    auto text_cell = [&](int r, int c, const QString &t) {
        must_fail = must_fail || t.size() > 32767;
        if (!t.isEmpty())
            want.append(fuzz::WantCell{r, c, false, xls_text_of(t), 0.0});
    };
    for (int c = 0; c < sheet.headers.size(); ++c)
        text_cell(0, c, sheet.headers.at(c));
    for (int r = 0; r < sheet.rows.size(); ++r)
        for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
            const SheetCell &cell = sheet.rows.at(r).at(c);
            if (fuzz::as_text(cell))
                text_cell(r + 1, c, cell.text);
            else
                want.append(fuzz::WantCell{r + 1, c, true, QString(), cell.value});
        }
    const ExportError limits = check_xls_limits(sheet);
    FUZZ_CHECK(limits.ok() == !must_fail, export_error_message(limits));

    static const QString dir = [] {
        const QString d = fuzz::scratch_dir("xls");
        std::atexit([] { QDir(fuzz::scratch_dir("xls")).removeRecursively(); });
        return d;
    }();
    const int route = flags & 3;
    QByteArray file;
    ExportError result;
    if (route == 3) {
        result = build_xls(sheet, &file, &second, &third);
        FUZZ_CHECK(result == limits, export_error_message(result));
    } else {
        for (const QString &f : fuzz::files_in(dir))
            QFile::remove(dir + QLatin1Char('/') + f);
        const QString target = dir + (route == 2 ? QStringLiteral("/成绩.XLS") : QStringLiteral("/成绩 out.xls"));
        const QByteArray previous("an older file");
        fuzz::write_all(target, previous);
        result = route == 0 ? write_xls(target, sheet, &second, &third) : export_workbook(target, sheet, &analysis);
        FUZZ_CHECK(result == (limits.ok() ? limits : limits.at(target)), export_error_message(result));
        if (route != 0)
            FUZZ_CHECK(fuzz::files_in(dir) == QStringList{QFileInfo(target).fileName()}, fuzz::files_in(dir).join(' '));
        file = fuzz::read_all(target);
        if (!result.ok())
            FUZZ_CHECK(file == previous, export_error_message(result));
    }

    if (!result.ok()) {
        FUZZ_CHECK(must_fail, export_error_message(result));
        FUZZ_CHECK(!export_error_message(result).isEmpty(), QString());
        return 0;
    }
    FUZZ_CHECK(!must_fail, QString());

    BiffBook book;
    QString why;
    FUZZ_CHECK(read_xls(file, &book, &why), why);
    FUZZ_CHECK(book.sheets.size() == 3, QString::number(book.sheets.size()));
    FUZZ_CHECK(book.sheets.at(1).cells.size() == fuzz::cells_in(second.rows), QString());
    FUZZ_CHECK(book.sheets.at(2).cells.size() == fuzz::cells_in(third.rows), QString());
    FUZZ_CHECK(book.sheets.at(2).page_breaks == third.breaks, QString::number(third.breaks.size()));
    FUZZ_CHECK(book.sheets.at(0).page_breaks.isEmpty(), QString());
    FUZZ_CHECK(book.sheets.at(1).page_breaks == second.breaks, QString::number(second.breaks.size()));
    const QVector<BiffCell> &cells = book.sheets.first().cells;
    FUZZ_CHECK(cells.size() == want.size(), QStringLiteral("%1 cells, %2 wanted").arg(cells.size()).arg(want.size()));
    for (int i = 0; i < want.size(); ++i) {
        const BiffCell &got = cells.at(i);
        const fuzz::WantCell &w = want.at(i);
        const QString where = QStringLiteral("cell %1,%2").arg(w.row).arg(w.col);
        FUZZ_CHECK(got.row == w.row && got.col == w.col && got.numeric == w.numeric, where);
        if (w.numeric) {
            FUZZ_CHECK(std::memcmp(&got.value, &w.value, sizeof w.value) == 0, where);
            FUZZ_CHECK(got.format == QLatin1String("0.00"), where + got.format);
        } else {
            FUZZ_CHECK(got.text == w.text, where);
        }
    }
    return 0;
}
