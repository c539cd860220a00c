#include "export/page_layout.h"

namespace {

// A4 in points.
constexpr double a4_short = 595.3, a4_long = 841.9;

// What a page may lose to rounding of the row heights and to the spreadsheet's own arithmetic.
constexpr double slack = 4.0;

}  // namespace

double page_width(bool landscape)
{
    return (landscape ? a4_long : a4_short) - 2 * print_side_margin * 72 - slack;
}

double page_height(bool landscape)
{
    return (landscape ? a4_short : a4_long) - 2 * print_end_margin * 72 - slack;
}

// Ten pixels a character (Excel's Calibri takes seven; LibreOffice, where
// neither Calibri nor a font of its metrics is installed, about 9.5) and
// five of padding, at 96 pixels to the inch.
double column_points(double chars)
{
    return (chars * 10.0 + 5.0) * 0.75;
}

double columns_points(const QVector<double> &widths)
{
    double wide = 0.0;
    for (double w : widths)
        wide += column_points(w > 0 ? w : default_column_width);
    return wide;
}
