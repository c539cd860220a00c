// Lays out the "成绩条" sheet and where its printed pages break, from the
// column widths a spreadsheet gives the slips.
#include "export/slip_sheet.h"

#include "export/sheet_layout.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// A4 in points.
constexpr double a4_short = 595.3, a4_long = 841.9;
constexpr double side_margins = 2 * slip_side_margin * 72, end_margins = 2 * slip_end_margin * 72;

// Taller than the row any spreadsheet draws for one line of 11-point text,
// CJK fallback fonts included (about 16 pt), so a page is never overfilled.
constexpr double row_points = 20.0;

// The narrowest print scale spreadsheets take, in percent.
constexpr int least_scale = 10;

constexpr int rows_per_slip = 3;  // header, scores, blank

// Excel's default column, in characters, for a column velora leaves alone.
constexpr double default_width = 8.43;

// A column of `chars` characters as wide as any default font draws it:
// ten pixels a character (Excel's Calibri takes seven; LibreOffice, where
// neither Calibri nor a font of its metrics is installed, about 9.5) and
// five of padding, at 96 pixels to the inch.
double column_points(double chars)
{
    return (chars * 10.0 + 5.0) * 0.75;
}

SheetCell text(const QString &t)
{
    return SheetCell{t, false, 0.0, NumberFormat::score};
}

SheetCell number(double v, NumberFormat format)
{
    const QString shown = format == NumberFormat::score ? QString::asprintf("%.2f", v) : QString::number(v);
    return SheetCell{shown, true, v, format};
}

// The scale that brings the slips' width onto one page, and page breaks
// after as many whole slips as a page holds at that scale.
void set_pages(SlipSheet &s)
{
    double wide = 0.0;
    for (double w : s.widths)
        wide += column_points(w > 0 ? w : default_width);
    s.landscape = wide > a4_short - side_margins;
    const double across = (s.landscape ? a4_long : a4_short) - side_margins;
    const double down = (s.landscape ? a4_short : a4_long) - end_margins;
    s.scale = std::clamp(int(std::floor(100.0 * across / std::max(wide, 1.0))), least_scale, 100);
    const int rows_per_page = int(down / (row_points * s.scale / 100.0));
    const int slips_per_page = std::max(1, rows_per_page / rows_per_slip);
    for (int row = slips_per_page * rows_per_slip; row < s.rows.size() && s.breaks.size() < max_page_breaks;
         row += slips_per_page * rows_per_slip)
        s.breaks.append(row);
}

}  // namespace

QString slip_sheet_name()
{
    return QCoreApplication::translate("velora", "成绩条");
}

SlipSheet slip_sheet(const ClassAnalysis &a)
{
    SlipSheet s;
    QVector<SheetCell> header
        = {text(QCoreApplication::translate("velora", "学生信息")), text(QCoreApplication::translate("velora", "总分")),
           text(QCoreApplication::translate("velora", "名次"))};
    for (const QuestionAnalysis &q : a.questions)
        header.append(text(q.label));
    for (const StudentResult &r : a.roster) {
        if (!s.rows.isEmpty())
            s.rows.append(QVector<SheetCell>());
        s.rows.append(header);
        QVector<SheetCell> row
            = {text(r.name), number(r.total, NumberFormat::score), number(r.rank, NumberFormat::count)};
        for (double v : r.scores)
            row.append(number(v, NumberFormat::score));
        s.rows.append(row);
    }
    ScoreSheet cells;
    cells.rows = s.rows;
    s.widths = column_widths(cells);
    set_pages(s);
    return s;
}
