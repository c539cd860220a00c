// The printed A4 pages of the sheets velora lays out for paper, the analysis
// and the slips. Spreadsheets drop manual page breaks from a sheet fitted to
// pages, so velora works out the scale and the breaks itself, from column
// widths and row heights that both writers set exactly.
#pragma once

#include <QVector>

// Both writers print these sheets with these margins, in inches.
constexpr double print_side_margin = 0.7, print_end_margin = 0.75;

// The narrowest print scale spreadsheets take, in percent.
constexpr int least_print_scale = 10;

// Excel's default column, in characters, for a column velora leaves alone.
constexpr double default_column_width = 8.43;

// The room inside the margins of an A4 page, in points as printed, less a
// little so that rounding never overfills a page.
double page_width(bool landscape);
double page_height(bool landscape);

// A column of `chars` characters as wide as any default font draws it, in points.
double column_points(double chars);

// The columns' printed width at 100 %, a width of 0 being the default column.
double columns_points(const QVector<double> &widths);
