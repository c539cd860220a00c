// Column widths for the workbook writers: what a text needs, counted the way
// a spreadsheet's default fonts draw it.
#include "export/sheet_layout.h"

#include <algorithm>
#include <iterator>

namespace {

// Room beside the text, so neither a number's digits nor a name touch the grid.
constexpr int padding = 2;

struct Range {
    uint first, last;
};

// East Asian wide and full-width characters, and the emoji drawn as wide.
const Range wide_ranges[] = {
    {0x1100, 0x115F},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x18AFF}, {0x1B000, 0x1B2FF}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool is_wide(uint u)
{
    const Range *end = std::end(wide_ranges);
    const Range *r
        = std::lower_bound(std::begin(wide_ranges), end, u, [](const Range &range, uint v) { return range.last < v; });
    return r != end && r->first <= u;
}

}  // namespace

int text_width(const QString &text)
{
    int width = 0;
    const QChar *d = text.constData();
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        uint u = d[i].unicode();
        if (u < 0x1100) {  // nothing below is wide: the common case stays cheap
            ++width;
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && d[i + 1].isLowSurrogate()) {
            u = QChar::surrogateToUcs4(d[i], d[i + 1]);
            ++i;
        }
        width += is_wide(u) ? 2 : 1;
    }
    return width;
}

QVector<double> column_widths(const ScoreSheet &sheet)
{
    int columns = sheet.headers.size();
    for (const QVector<SheetCell> &row : sheet.rows)
        columns = std::max(columns, int(row.size()));
    QVector<int> need(columns, 0);
    for (int c = 0; c < sheet.headers.size(); ++c)
        need[c] = text_width(sheet.headers.at(c));
    // A title runs on into the columns beside it rather than widen its own.
    for (const QVector<SheetCell> &row : sheet.rows)
        for (int c = 0; c < row.size(); ++c)
            if (!row.at(c).title)
                need[c] = std::max(need[c], text_width(row.at(c).text));

    QVector<double> widths(columns, 0.0);
    for (int c = 0; c < columns; ++c)
        if (need[c] > 0)
            widths[c] = std::min(max_column_width, double(need[c] + padding));
    return widths;
}
