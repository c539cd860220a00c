// Benchmark of the workbook export: a full table (1000 students, 200 questions)
// through export_workbook to .xlsx and .xls, each with its layout (frozen
// header row and name column, fitted column widths, print titles, landscape),
// against a bare libxlsxwriter program writing the same cells without any
// layout, which is as fast as .xlsx can be had here; then the same exports
// with the analysis sheet of a class of that size, and the analysis alone.
#include "exam/exam_store.h"
#include "export/workbook_export.h"
#include "marking/analysis.h"
#include "marking/scoring.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QVector>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>

namespace {

constexpr int students = 1000;
constexpr int questions = 200;  // 100 choice, 100 written
constexpr int repetitions = 5;

ScoreSheet full_sheet()
{
    ScoreSheet s;
    s.headers << QStringLiteral("学生信息") << QStringLiteral("总分");
    for (int k = 1; k <= questions / 2; ++k)
        s.headers << QStringLiteral("选择题%1").arg(k);
    for (int k = 1; k <= questions / 2; ++k)
        s.headers << QStringLiteral("非选择题%1").arg(k);
    s.rows.reserve(students);
    for (int r = 0; r < students; ++r) {
        QVector<SheetCell> row(questions + 2);
        row[0].text = QStringLiteral("学生%1").arg(r + 1, 4, 10, QChar('0'));
        double total = 0.0;
        for (int q = 0; q < questions; ++q) {
            const double v = ((r * 31 + q * 17) % 1001) / 100.0;  // 0.00 .. 10.00
            total += v;
            row[q + 2] = SheetCell{QString::asprintf("%.2f", v), true, v};
        }
        row[1] = SheetCell{QString::asprintf("%.2f", total), true, total};
        s.rows.append(row);
    }
    return s;
}

// A store holding the same class: 100 choice questions of 10 points against
// a key, 100 written ones marked as in full_sheet().
ExamStorePtr full_store()
{
    ExamStorePtr st = make_blank_store();
    st->xuan_count = questions / 2;
    st->unxuan_count = questions / 2;
    st->stu_count = students;
    for (int p = 1; p <= questions; ++p)
        st->pro_score[p] = 10;
    for (int i = 0; i < questions / 2; ++i)
        st->ans_key[i] = char('A' + i % 4);
    for (int s = 1; s <= students; ++s)
        for (int i = 0; i < questions / 2; ++i) {
            st->stu_xuan[s][i] = "ABCDEa "[(s * 13 + i * 7) % 7];
            st->stu_score[s][questions / 2 + i + 1] = ((s * 31 + i * 17) % 1001) / 100.0;
        }
    compute_scores(*st);
    return st;
}

// The floor: the same cells straight into libxlsxwriter from prepared UTF-8.
bool bare_xlsx(const QByteArray &path, const QVector<QByteArray> &headers, const QVector<QByteArray> &names,
               const ScoreSheet &s)
{
    lxw_workbook *wb = workbook_new(path.constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
    lxw_format *fmt = workbook_add_format(wb);
    format_set_num_format(fmt, "0.00");
    for (int c = 0; c < headers.size(); ++c)
        worksheet_write_string(ws, 0, lxw_col_t(c), headers[c].constData(), nullptr);
    for (int r = 0; r < s.rows.size(); ++r) {
        worksheet_write_string(ws, lxw_row_t(r + 1), 0, names[r].constData(), nullptr);
        for (int c = 1; c < s.rows[r].size(); ++c)
            worksheet_write_number(ws, lxw_row_t(r + 1), lxw_col_t(c), s.rows[r][c].value, fmt);
    }
    return workbook_close(wb) == LXW_NO_ERROR;
}

// Best wall time in milliseconds over the repetitions; negative if a run failed.
double best_ms(const std::function<bool()> &run)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer t;
        t.start();
        if (!run())
            return -1.0;
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    const ScoreSheet sheet = full_sheet();
    QVector<QByteArray> headers, names;
    for (const QString &h : sheet.headers)
        headers.append(h.toUtf8());
    for (const auto &row : sheet.rows)
        names.append(row[0].text.toUtf8());

    const ExamStorePtr store = full_store();
    ClassAnalysis analysis;
    const double analyse = best_ms([&] {
        analysis = analyse_class(*store);
        return analysis.students == students;
    });

    QString error;
    auto exporter = [&](const QString &name, const ClassAnalysis *with = nullptr) {
        return [&, name, with] {
            const ExportError res = export_workbook(dir.filePath(name), sheet, with);
            error = export_error_message(res);
            return res.ok();
        };
    };
    const QByteArray floor_path = QFile::encodeName(dir.filePath(QStringLiteral("floor.xlsx")));
    const double floor = best_ms([&] { return bare_xlsx(floor_path, headers, names, sheet); });
    const double xlsx = best_ms(exporter(QStringLiteral("scores.xlsx")));
    const double xls = best_ms(exporter(QStringLiteral("scores.xls")));
    const double xlsx_analysed = best_ms(exporter(QStringLiteral("analysed.xlsx"), &analysis));
    const double xls_analysed = best_ms(exporter(QStringLiteral("analysed.xls"), &analysis));

    std::printf("export of %d students x %d columns, best of %d runs\n", students, questions + 2, repetitions);
    std::printf("  bare libxlsxwriter (floor):      %8.1f ms\n", floor);
    std::printf("  export_workbook .xlsx, laid out: %8.1f ms  (%.2fx the floor, target <= 1.5x)\n", xlsx, xlsx / floor);
    std::printf("  export_workbook .xls, laid out:  %8.1f ms  (%.2fx the .xlsx floor)\n", xls, xls / floor);
    std::printf("  analyse_class, %d x %d:       %8.1f ms\n", students, questions, analyse);
    std::printf("  .xlsx with the analysis sheet:   %8.1f ms  (%.2fx the floor, +%.1f ms)\n", xlsx_analysed,
                xlsx_analysed / floor, xlsx_analysed - xlsx);
    std::printf("  .xls with the analysis sheet:    %8.1f ms  (%.2fx the .xlsx floor, +%.1f ms)\n", xls_analysed,
                xls_analysed / floor, xls_analysed - xls);
    if (floor < 0 || xlsx < 0 || xls < 0 || analyse < 0 || xlsx_analysed < 0 || xls_analysed < 0) {
        std::fprintf(stderr, "a run failed: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
