// The .xls writer: lays the score sheet out as BIFF8 records (workbook globals
// with the shared string table, then the score worksheet and, when there is
// an analysis, its worksheet) and packs them into a compound file.
#include "export/xls_writer.h"

#include "export/compound_file.h"
#include "export/sheet_layout.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QVector>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

constexpr int max_rows = 65536;
constexpr int max_cols = 256;
constexpr int max_record_data = 8224;  // longest record body; longer data goes on in CONTINUE records
constexpr int rows_per_block = 32;     // rows per DBCELL block

constexpr quint16 xf_text = 15;     // the default cell format, general: texts
constexpr quint16 xf_score = 16;    // general cell format with number format "0.00"
constexpr quint16 xf_rate = 17;     // ... with number format "0.0%"
constexpr quint16 xf_centred = 18;  // general, centred: a short text beside a number
constexpr quint16 xf_count = 19;    // ... with number format "0": a whole number
constexpr quint16 xf_title = 20;    // general, bold
constexpr quint16 xf_cut = 21;      // general, a thin dashed bottom border
constexpr quint16 fmt_count = 1;    // built-in number format "0"
constexpr quint16 fmt_score = 2;    // built-in number format "0.00"
constexpr quint16 font_bold = 6;    // the sixth FONT record: readers skip index 4
constexpr quint16 fmt_rate = 164;   // the first number format a workbook defines itself

enum Rec : quint16 {
    rec_precision = 0x000E,
    rec_eof = 0x000A,
    rec_calccount = 0x000C,
    rec_calcmode = 0x000D,
    rec_refmode = 0x000F,
    rec_delta = 0x0010,
    rec_iteration = 0x0011,
    rec_protect = 0x0012,
    rec_password = 0x0013,
    rec_header = 0x0014,
    rec_footer = 0x0015,
    rec_hpagebreaks = 0x001B,
    rec_leftmargin = 0x0026,
    rec_rightmargin = 0x0027,
    rec_topmargin = 0x0028,
    rec_bottommargin = 0x0029,
    rec_windowprotect = 0x0019,
    rec_date1904 = 0x0022,
    rec_printheaders = 0x002A,
    rec_printgridlines = 0x002B,
    rec_font = 0x0031,
    rec_format = 0x041E,
    rec_externsheet = 0x0017,
    rec_name = 0x0018,
    rec_selection = 0x001D,
    rec_continue = 0x003C,
    rec_window1 = 0x003D,
    rec_backup = 0x0040,
    rec_codepage = 0x0042,
    rec_pane = 0x0041,
    rec_defcolwidth = 0x0055,
    rec_colinfo = 0x007D,
    rec_writeaccess = 0x005C,
    rec_saverecalc = 0x005F,
    rec_guts = 0x0080,
    rec_wsbool = 0x0081,
    rec_gridset = 0x0082,
    rec_hcenter = 0x0083,
    rec_vcenter = 0x0084,
    rec_boundsheet = 0x0085,
    rec_country = 0x008C,
    rec_hideobj = 0x008D,
    rec_setup = 0x00A1,
    rec_mms = 0x00C1,
    rec_dbcell = 0x00D7,
    rec_bookbool = 0x00DA,
    rec_xf = 0x00E0,
    rec_interfacehdr = 0x00E1,
    rec_interfaceend = 0x00E2,
    rec_sst = 0x00FC,
    rec_labelsst = 0x00FD,
    rec_extsst = 0x00FF,
    rec_tabid = 0x013D,
    rec_useselfs = 0x0160,
    rec_dsf = 0x0161,
    rec_prot4rev = 0x01AF,
    rec_supbook = 0x01AE,
    rec_refreshall = 0x01B7,
    rec_prot4revpass = 0x01BC,
    rec_dimensions = 0x0200,
    rec_blank = 0x0201,
    rec_number = 0x0203,
    rec_row = 0x0208,
    rec_index = 0x020B,
    rec_defaultrowheight = 0x0225,
    rec_window2 = 0x023E,
    rec_style = 0x0293,
    rec_bof = 0x0809,
};

// A little-endian byte buffer for record bodies and for the stream itself.
class Bytes {
public:
    Bytes &u8(quint8 v)
    {
        data.append(char(v));
        return *this;
    }
    Bytes &u16(quint16 v)
    {
        uchar b[2];
        qToLittleEndian(v, b);
        data.append(reinterpret_cast<const char *>(b), 2);
        return *this;
    }
    Bytes &u32(quint32 v)
    {
        uchar b[4];
        qToLittleEndian(v, b);
        data.append(reinterpret_cast<const char *>(b), 4);
        return *this;
    }
    Bytes &f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        uchar b[8];
        qToLittleEndian(bits, b);
        data.append(reinterpret_cast<const char *>(b), 8);
        return *this;
    }
    Bytes &bytes(const QByteArray &b)
    {
        data.append(b);
        return *this;
    }
    // UTF-16 code units: one byte each when all are below 0x100, else two.
    Bytes &chars(const QString &s, int from, int count, bool wide)
    {
        for (int i = from; i < from + count; ++i) {
            if (wide)
                u16(s.at(i).unicode());
            else
                u8(quint8(s.at(i).unicode()));
        }
        return *this;
    }

    void patch32(int pos, quint32 v) { qToLittleEndian(v, reinterpret_cast<uchar *>(data.data() + pos)); }
    void patch16(int pos, quint16 v) { qToLittleEndian(v, reinterpret_cast<uchar *>(data.data() + pos)); }
    int size() const { return data.size(); }

    QByteArray data;
};

bool needs_wide(const QString &s)
{
    for (const QChar c : s)
        if (c.unicode() > 0xFF)
            return true;
    return false;
}

// A string with a 1-byte length (sheet and font names).
QByteArray short_string(const QString &s)
{
    const bool wide = needs_wide(s);
    Bytes b;
    b.u8(quint8(s.size())).u8(wide ? 1 : 0).chars(s, 0, s.size(), wide);
    return b.data;
}

// A string with a 2-byte length.
QByteArray long_string(const QString &s)
{
    const bool wide = needs_wide(s);
    Bytes b;
    b.u16(quint16(s.size())).u8(wide ? 1 : 0).chars(s, 0, s.size(), wide);
    return b.data;
}

void record(Bytes &out, quint16 id, const QByteArray &body = QByteArray())
{
    Q_ASSERT(body.size() <= max_record_data);
    out.u16(id).u16(quint16(body.size())).bytes(body);
}

// Lone surrogates are not UTF-16 and break readers that decode the strings.
QString clean_text(const QString &text)
{
    QString out = text;
    const int n = out.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

struct Cell {
    quint16 col;
    bool number;
    quint32 isst;  // text: index into the shared strings
    double value;  // number
    quint16 xf;
    bool blank = false;  // no value, only its format
};

struct Grid {
    QVector<QVector<Cell>> rows;  // sheet rows from row 1
    QVector<double> widths;       // per column, in characters; 0 keeps the default
    bool titles = false;          // row 1 and column A frozen, the sheet selected
    bool fit = false;             // printed one page wide by the spreadsheet
    bool landscape = true;
    int scale = 100;       // print scale in percent, when not fitted
    QVector<int> breaks;   // rows that begin a printed page
    bool margins = false;  // velora's print margins, not the spreadsheet's own
    QVector<double> heights;    // per row, in points; none keeps the spreadsheet's
    double default_height = 0;  // of rows without cells, in points; 0 keeps the spreadsheet's
};

struct Layout {
    QVector<Grid> sheets;      // the score sheet, then the analysis and the slips if any
    QVector<QString> strings;  // unique, in order of first use
    QHash<QString, quint32> index;
    quint32 references = 0;  // text cells
};

void add_text(Layout &l, QVector<Cell> &row, int col, const QString &text, quint16 xf = xf_text)
{
    if (text.isEmpty())  // as if nothing had been typed
        return;
    const QString s = clean_text(text);
    auto it = l.index.find(s);
    if (it == l.index.end()) {
        it = l.index.insert(s, quint32(l.strings.size()));
        l.strings.append(s);
    }
    row.append(Cell{quint16(col), false, it.value(), 0.0, xf});
    ++l.references;
}

void add_cells(Layout &l, QVector<Cell> &row, const QVector<SheetCell> &src)
{
    for (int c = 0; c < src.size(); ++c) {
        const SheetCell &cell = src.at(c);
        const quint16 xf = cell.format == NumberFormat::score ? xf_score
            : cell.format == NumberFormat::rate               ? xf_rate
                                                              : xf_count;
        // A non-finite number has no spreadsheet form; keep what the table shows instead.
        if (cell.numeric && std::isfinite(cell.value))
            row.append(Cell{quint16(c), true, 0, cell.value, xf});
        else if (cell.cut && cell.text.isEmpty())
            row.append(Cell{quint16(c), false, 0, 0.0, xf_cut, true});
        else
            add_text(l, row, c, cell.text, cell.centred ? xf_centred : cell.title ? xf_title : xf_text);
    }
}

Grid grid_of(Layout &l, const QVector<QVector<SheetCell>> &rows)
{
    Grid g;
    g.rows.resize(rows.size());
    ScoreSheet cells;
    cells.rows = rows;
    g.widths = column_widths(cells);
    for (int r = 0; r < rows.size(); ++r)
        add_cells(l, g.rows[r], rows.at(r));
    return g;
}

Layout lay_out(const ScoreSheet &sheet, const AnalysisSheet *analysis, const SlipSheet *slips)
{
    Layout l;
    Grid scores;
    scores.titles = true;
    scores.rows.resize(1 + sheet.rows.size());
    scores.widths = column_widths(sheet);
    for (int c = 0; c < sheet.headers.size(); ++c)
        add_text(l, scores.rows[0], c, sheet.headers.at(c));
    for (int r = 0; r < sheet.rows.size(); ++r)
        add_cells(l, scores.rows[r + 1], sheet.rows.at(r));
    l.sheets.append(scores);
    if (analysis) {
        Grid g = grid_of(l, analysis->rows);
        g.landscape = analysis->landscape;
        g.scale = analysis->scale;
        g.breaks = analysis->breaks;
        g.margins = true;
        g.heights = QVector<double>(analysis->rows.size(), analysis_row_height);
        g.default_height = analysis_row_height;
        l.sheets.append(g);
    }
    if (analysis && slips) {
        Grid g = grid_of(l, slips->rows);
        g.widths = slips->widths;  // the title overflows into the next columns, it does not widen its own
        g.landscape = slips->landscape;
        g.scale = slips->scale;
        g.breaks = slips->breaks;
        g.margins = true;
        g.heights = slips->heights;
        l.sheets.append(g);
    }
    return l;
}

// Writes a record whose data may exceed one record's limit, continuing it in
// CONTINUE records.
class ContinuedRecord {
public:
    ContinuedRecord(Bytes &out, quint16 id) : out(out) { begin(id); }
    int space() const { return max_record_data - (out.size() - start - 4); }
    int record_start() const { return start; }
    void next()
    {
        finish();
        begin(rec_continue);
    }
    void finish() { out.patch16(start + 2, quint16(out.size() - start - 4)); }

private:
    void begin(quint16 id)
    {
        start = out.size();
        out.u16(id).u16(0);
    }
    Bytes &out;
    int start = 0;
};

// SST followed by EXTSST. A string's length and flags never straddle two
// records; its characters may, and the continuation then restarts with a
// flags byte of its own. A surrogate pair is never cut: readers decode each
// record's part of a string on its own and refuse half a character.
void write_shared_strings(Bytes &out, const Layout &l)
{
    const quint32 unique = quint32(l.strings.size());
    // At most 128 buckets of equal size; the size field has 16 bits.
    const quint32 per_bucket = qBound<quint32>(8, unique / 128 + 1, 0xFFFF);
    Bytes ext;
    ext.u16(quint16(per_bucket));

    ContinuedRecord sst(out, rec_sst);
    out.u32(l.references).u32(unique);
    for (quint32 i = 0; i < unique; ++i) {
        const QString &s = l.strings.at(int(i));
        const bool wide = needs_wide(s);
        const int unit = wide ? 2 : 1;
        const int first = s.isEmpty() ? 0 : s.at(0).isHighSurrogate() ? 2 : 1;  // code units of the first character
        if (sst.space() < 3 + first * unit)
            sst.next();
        if (i % per_bucket == 0)
            ext.u32(quint32(out.size())).u16(quint16(out.size() - sst.record_start())).u16(0);
        out.u16(quint16(s.size())).u8(wide ? 1 : 0);
        int done = 0;
        for (;;) {
            int take = qMin(s.size() - done, sst.space() / unit);
            if (done + take < s.size() && take > 0 && s.at(done + take - 1).isHighSurrogate())
                --take;  // the pair goes on whole in the next record
            out.chars(s, done, take, wide);
            done += take;
            if (done == s.size())
                break;
            sst.next();
            out.u8(wide ? 1 : 0);
        }
    }
    sst.finish();
    record(out, rec_extsst, ext.data);
}

QByteArray xf(quint16 font, quint16 format, quint16 type, quint8 used, quint8 align = 0x20, bool dashed_bottom = false)
{
    Bytes b;
    b.u16(font).u16(format).u16(type);
    b.u8(align);  // 0x20: general alignment, bottom
    b.u8(0).u8(0).u8(used);
    // Line styles, then colours: a dashed bottom line (style 3) in the window text colour (64).
    b.u32(dashed_bottom ? 0x3000 : 0).u32(dashed_bottom ? 64 << 7 : 0);
    b.u16(0x20C0);  // default pattern colours
    return b.data;
}

// Settings of the workbook as a whole, up to its fonts.
void write_book_settings(Bytes &out, int sheets)
{
    record(out, rec_bof, Bytes().u16(0x0600).u16(0x0005).u16(0x0DBB).u16(0x07CC).u32(0).u32(6).data);
    record(out, rec_interfacehdr, Bytes().u16(1200).data);
    record(out, rec_mms, Bytes().u16(0).data);
    record(out, rec_interfaceend);
    QByteArray user = long_string(QStringLiteral("velora"));
    user.append(QByteArray(112 - user.size(), ' '));
    record(out, rec_writeaccess, user);
    record(out, rec_codepage, Bytes().u16(1200).data);  // UTF-16
    record(out, rec_dsf, Bytes().u16(0).data);
    Bytes tabs;
    for (int i = 1; i <= sheets; ++i)
        tabs.u16(quint16(i));
    record(out, rec_tabid, tabs.data);
    record(out, rec_windowprotect, Bytes().u16(0).data);
    record(out, rec_protect, Bytes().u16(0).data);
    record(out, rec_password, Bytes().u16(0).data);
    record(out, rec_prot4rev, Bytes().u16(0).data);
    record(out, rec_prot4revpass, Bytes().u16(0).data);
    record(out, rec_window1,
           Bytes().u16(0).u16(0).u16(0x25BC).u16(0x1572).u16(0x0038).u16(0).u16(0).u16(1).u16(0x0258).data);
    record(out, rec_backup, Bytes().u16(0).data);
    record(out, rec_hideobj, Bytes().u16(0).data);
    record(out, rec_date1904, Bytes().u16(0).data);
    record(out, rec_precision, Bytes().u16(1).data);
    record(out, rec_refreshall, Bytes().u16(0).data);
    record(out, rec_bookbool, Bytes().u16(0).data);
}

void write_styles(Bytes &out)
{
    // Six fonts; readers number them 0-3, 5 and 6.
    const QByteArray font_name = short_string(QStringLiteral("宋体"));
    for (int i = 0; i < 6; ++i) {
        Bytes f;
        const quint16 weight = i == 5 ? 700 : 400;  // the last is font_bold
        f.u16(220).u16(0).u16(0x7FFF).u16(weight).u16(0).u8(0).u8(0).u8(0x86).u8(0).bytes(font_name);
        record(out, rec_font, f.data);
    }
    record(out, rec_format, Bytes().u16(fmt_rate).bytes(long_string(QStringLiteral("0.0%"))).data);

    // Fifteen style formats, the default cell format, then velora's own.
    record(out, rec_xf, xf(0, 0, 0xFFF5, 0x00));
    for (quint16 i = 1; i < 15; ++i)
        record(out, rec_xf, xf(i <= 2 ? 1 : i <= 4 ? 2 : 0, 0, 0xFFF5, 0xF4));
    record(out, rec_xf, xf(0, 0, 0x0001, 0x00));
    record(out, rec_xf, xf(0, fmt_score, 0x0001, 0x04));
    record(out, rec_xf, xf(0, fmt_rate, 0x0001, 0x04));
    record(out, rec_xf, xf(0, 0, 0x0001, 0x10, 0x22));  // centred, bottom
    record(out, rec_xf, xf(0, fmt_count, 0x0001, 0x04));
    record(out, rec_xf, xf(font_bold, 0, 0x0001, 0x08));
    record(out, rec_xf, xf(0, 0, 0x0001, 0x20, 0x20, true));
    record(out, rec_style, Bytes().u16(0x8000).u8(0).u8(0xFF).data);  // built-in "Normal"
    record(out, rec_useselfs, Bytes().u16(0).data);
}

// An absolute reference to rows first_row..last_row, columns
// first_col..last_col of the sheet behind EXTERNSHEET entry 0.
void area3d(Bytes &f, quint16 first_row, quint16 last_row, quint16 first_col, quint16 last_col)
{
    f.u8(0x3B).u16(0).u16(first_row).u16(last_row).u16(first_col).u16(last_col);  // tArea3d
}

// The links a sheet-level built-in name needs: SUPBOOK for this workbook, an
// EXTERNSHEET entry for its first sheet, then the name Print_Titles, which
// repeats column A and row 1 of the score sheet on every printed page.
void write_print_titles(Bytes &out, int sheets)
{
    record(out, rec_supbook, Bytes().u16(quint16(sheets)).u16(0x0401).data);  // this workbook
    record(out, rec_externsheet, Bytes().u16(1).u16(0).u16(0).u16(0).data);

    Bytes refs;
    area3d(refs, 0, quint16(max_rows - 1), 0, 0);  // $A:$A
    area3d(refs, 0, 0, 0, quint16(max_cols - 1));  // $1:$1
    refs.u8(0x10);                                 // tList: both areas
    Bytes formula;
    formula.u8(0x29).u16(quint16(refs.size())).bytes(refs.data);  // tMemFunc around the list

    Bytes name;
    name.u16(0x0020);  // built-in
    name.u8(0).u8(1).u16(quint16(formula.size())).u16(0);
    name.u16(1);  // the first sheet's own name
    name.u8(0).u8(0).u8(0).u8(0);
    name.u8(0).u8(0x07);  // name: Print_Titles, 8-bit
    name.bytes(formula.data);
    record(out, rec_name, name.data);
}

// Workbook globals; *sheet_pos_at receives where each sheet's stream position
// goes, known only once these records are complete.
QByteArray workbook_globals(const Layout &l, QVector<int> *sheet_pos_at)
{
    Bytes out;
    write_book_settings(out, l.sheets.size());
    write_styles(out);
    const QString names[] = {QStringLiteral("Sheet1"), analysis_sheet_name(), slip_sheet_name()};
    for (int i = 0; i < l.sheets.size(); ++i) {
        sheet_pos_at->append(out.size() + 4);
        record(out, rec_boundsheet, Bytes().u32(0).u8(0).u8(0).bytes(short_string(names[i])).data);
    }
    record(out, rec_country, Bytes().u16(86).u16(86).data);
    write_print_titles(out, l.sheets.size());
    write_shared_strings(out, l);
    record(out, rec_eof);
    return out.data;
}

// Extent of the written cells, and the 32-row blocks that hold any.
struct Extent {
    quint32 rw_mic = 0, rw_mac = 0;  // first row, one past the last
    quint16 col_mic = 0, col_mac = 0;
    QVector<int> blocks;
};

Extent extent_of(const Grid &l)
{
    Extent x;
    int first_row = -1, last_row = -1, first_col = max_cols, last_col = -1;
    for (int r = 0; r < l.rows.size(); ++r) {
        const QVector<Cell> &row = l.rows.at(r);
        if (row.isEmpty())
            continue;
        if (first_row < 0)
            first_row = r;
        last_row = r;
        first_col = qMin<int>(first_col, row.first().col);
        last_col = qMax<int>(last_col, row.last().col);
        if (x.blocks.isEmpty() || x.blocks.last() != r / rows_per_block)
            x.blocks.append(r / rows_per_block);
    }
    if (first_row >= 0) {
        x.rw_mic = quint32(first_row);
        x.rw_mac = quint32(last_row + 1);
        x.col_mic = quint16(first_col);
        x.col_mac = quint16(last_col + 1);
    }
    return x;
}

// The worksheet substream as it is written: `base` is its position in the
// Workbook stream, `index_at` where its INDEX record lies.
struct SheetStream {
    Bytes out;
    quint32 base = 0;
    int index_at = 0;
    quint32 pos() const { return base + quint32(out.size()); }
};

// INDEX points at records further on; it is filled in once they are placed.
void write_index(SheetStream &s, const Extent &x)
{
    s.index_at = s.out.size();
    Bytes index;
    index.u32(0).u32(x.rw_mic).u32(x.rw_mac).u32(0);
    for (int i = 0; i < x.blocks.size(); ++i)
        index.u32(0);
    record(s.out, rec_index, index.data);
}

// Calculation settings, print setup (A4), column widths and the extent.
void write_fixed_records(SheetStream &s, const Grid &l, const Extent &x)
{
    Bytes &out = s.out;
    record(out, rec_calcmode, Bytes().u16(1).data);
    record(out, rec_calccount, Bytes().u16(100).data);
    record(out, rec_refmode, Bytes().u16(1).data);
    record(out, rec_iteration, Bytes().u16(0).data);
    record(out, rec_delta, Bytes().f64(0.001).data);
    record(out, rec_saverecalc, Bytes().u16(1).data);
    record(out, rec_printheaders, Bytes().u16(0).data);
    record(out, rec_printgridlines, Bytes().u16(0).data);
    record(out, rec_gridset, Bytes().u16(1).data);
    record(out, rec_guts, Bytes().u16(0).u16(0).u16(0).u16(0).data);
    // Rows without cells as high as the rest where velora sets the heights (flag: not the font's).
    if (l.default_height > 0)
        record(out, rec_defaultrowheight, Bytes().u16(1).u16(quint16(std::lround(l.default_height * 20))).data);
    else
        record(out, rec_defaultrowheight, Bytes().u16(0).u16(0x00FF).data);
    record(out, rec_wsbool, Bytes().u16(l.fit ? 0x05C1 : 0x04C1).data);
    if (!l.breaks.isEmpty()) {
        // Each break spans every column, above its row.
        Bytes breaks;
        breaks.u16(quint16(l.breaks.size()));
        for (int row : l.breaks)
            breaks.u16(quint16(row)).u16(0).u16(quint16(max_cols - 1));
        record(out, rec_hpagebreaks, breaks.data);
    }
    record(out, rec_header);
    record(out, rec_footer);
    record(out, rec_hcenter, Bytes().u16(0).data);
    record(out, rec_vcenter, Bytes().u16(0).data);
    if (l.margins) {
        record(out, rec_leftmargin, Bytes().f64(print_side_margin).data);
        record(out, rec_rightmargin, Bytes().f64(print_side_margin).data);
        record(out, rec_topmargin, Bytes().f64(print_end_margin).data);
        record(out, rec_bottommargin, Bytes().f64(print_end_margin).data);
    }
    record(out, rec_setup,
           Bytes()
               .u16(9)
               .u16(quint16(l.scale))
               .u16(1)
               .u16(1)
               .u16(l.fit ? 0 : 1)
               .u16(l.landscape ? 0x0000 : 0x0002)
               .u16(600)
               .u16(600)
               .f64(0.5)
               .f64(0.5)
               .u16(1)
               .data);
    s.out.patch32(s.index_at + 4 + 12, s.pos());  // DEFCOLWIDTH
    record(out, rec_defcolwidth, Bytes().u16(8).data);
    for (int c = 0; c < l.widths.size(); ++c)
        if (l.widths.at(c) > 0)  // width in 1/256 of a character
            record(out, rec_colinfo,
                   Bytes()
                       .u16(quint16(c))
                       .u16(quint16(c))
                       .u16(quint16(l.widths.at(c) * 256))
                       .u16(xf_text)
                       .u16(0)
                       .u16(0)
                       .data);
    record(out, rec_dimensions, Bytes().u32(x.rw_mic).u32(x.rw_mac).u16(x.col_mic).u16(x.col_mac).u16(0).data);
}

// A height of velora's own is in twips and flagged as not the font's.
void write_row_record(Bytes &out, int i, const QVector<Cell> &row, double height)
{
    record(out, rec_row,
           Bytes()
               .u16(quint16(i))
               .u16(row.first().col)
               .u16(quint16(row.last().col + 1))
               .u16(height > 0 ? quint16(std::lround(height * 20)) : 0x00FF)
               .u16(0)
               .u16(0)
               .u16(height > 0 ? 0x0140 : 0x0100)
               .u16(xf_text)
               .data);
}

// One cell block: the ROW records of up to 32 rows, their cells, then a
// DBCELL locating both; the INDEX learns where the DBCELL is.
void write_cell_block(SheetStream &s, const Grid &l, int block, int nth)
{
    const int begin = block * rows_per_block;
    const int end = qMin(begin + rows_per_block, l.rows.size());
    QVector<int> used;
    quint32 first_row_pos = 0;
    for (int i = begin; i < end; ++i) {
        if (l.rows.at(i).isEmpty())
            continue;
        if (used.isEmpty())
            first_row_pos = s.pos();
        used.append(i);
        write_row_record(s.out, i, l.rows.at(i), l.heights.value(i));
    }
    QVector<quint32> first_cell_pos;
    for (int i : used) {
        first_cell_pos.append(s.pos());
        for (const Cell &c : l.rows.at(i)) {
            if (c.blank)
                record(s.out, rec_blank, Bytes().u16(quint16(i)).u16(c.col).u16(c.xf).data);
            else if (c.number)
                record(s.out, rec_number, Bytes().u16(quint16(i)).u16(c.col).u16(c.xf).f64(c.value).data);
            else
                record(s.out, rec_labelsst, Bytes().u16(quint16(i)).u16(c.col).u16(c.xf).u32(c.isst).data);
        }
    }
    Bytes db;
    db.u32(s.pos() - first_row_pos);
    for (int k = 0; k < first_cell_pos.size(); ++k) {
        const quint32 from = k == 0 ? first_row_pos + 20 : first_cell_pos.at(k - 1);
        db.u16(quint16(first_cell_pos.at(k) - from));
    }
    s.out.patch32(s.index_at + 4 + 16 + 4 * nth, s.pos());
    record(s.out, rec_dbcell, db.data);
}

// The window with row 1 and column A frozen (the split at B2), the cursor in
// the lower right pane.
void write_frozen_window(Bytes &out)
{
    // Grid lines, headers, zeros and outline symbols shown; panes frozen and
    // not split; the sheet selected.
    record(out, rec_window2, Bytes().u16(0x07BE).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0).data);
    record(out, rec_pane, Bytes().u16(1).u16(1).u16(1).u16(1).u8(0).u8(0).data);
    record(out, rec_selection, Bytes().u8(0).u16(1).u16(1).u16(0).u16(1).u16(1).u16(1).u8(1).u8(1).data);
}

// The window of a sheet without frozen panes, not selected.
void write_plain_window(Bytes &out)
{
    // Grid lines, headers, zeros and outline symbols shown.
    record(out, rec_window2, Bytes().u16(0x00B6).u16(0).u16(0).u16(64).u16(0).u16(0).u16(0).u32(0).data);
}

// The worksheet substream, starting at stream position `base`.
QByteArray worksheet(const Grid &l, quint32 base)
{
    const Extent x = extent_of(l);
    SheetStream s;
    s.base = base;
    record(s.out, rec_bof, Bytes().u16(0x0600).u16(0x0010).u16(0x0DBB).u16(0x07CC).u32(0).u32(6).data);
    write_index(s, x);
    write_fixed_records(s, l, x);
    for (int b = 0; b < x.blocks.size(); ++b)
        write_cell_block(s, l, x.blocks.at(b), b);
    if (l.titles)
        write_frozen_window(s.out);
    else
        write_plain_window(s.out);
    record(s.out, rec_eof);
    return s.out.data;
}

}  // namespace

ExportError check_xls_limits(const ScoreSheet &sheet)
{
    bool too_big = 1 + qint64(sheet.rows.size()) > max_rows || sheet.headers.size() > max_cols;
    for (const QVector<SheetCell> &row : sheet.rows)
        too_big = too_big || row.size() > max_cols;
    if (too_big)
        return ExportError::sheet_over_limit(ExportFault::xls_sheet_over_limit, max_rows, max_cols);

    for (int c = 0; c < sheet.headers.size(); ++c)
        if (sheet.headers.at(c).size() > max_cell_chars)
            return ExportError::text_over_limit(0, c, max_cell_chars);
    for (int r = 0; r < sheet.rows.size(); ++r) {
        const QVector<SheetCell> &row = sheet.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            const SheetCell &cell = row.at(c);
            const bool as_text = !cell.numeric || !std::isfinite(cell.value);
            if (as_text && cell.text.size() > max_cell_chars)
                return ExportError::text_over_limit(r + 1, c, max_cell_chars);
        }
    }
    return ExportError();
}

ExportError build_xls(const ScoreSheet &sheet, QByteArray *file, const AnalysisSheet *analysis, const SlipSheet *slips)
{
    const ExportError refused = check_xls_limits(sheet);
    if (!refused.ok())
        return refused;
    const Layout l = lay_out(sheet, analysis, slips);
    QVector<int> sheet_pos_at;
    QByteArray stream = workbook_globals(l, &sheet_pos_at);
    for (int i = 0; i < l.sheets.size(); ++i) {
        const quint32 sheet_pos = quint32(stream.size());
        qToLittleEndian(sheet_pos, reinterpret_cast<uchar *>(stream.data() + sheet_pos_at.at(i)));
        stream.append(worksheet(l.sheets.at(i), sheet_pos));
    }
    return build_compound_file(QStringLiteral("Workbook"), stream, file);
}

ExportError write_xls(const QString &path, const ScoreSheet &sheet, const AnalysisSheet *analysis,
                      const SlipSheet *slips)
{
    // An embedded NUL would silently cut the name short.
    if (path.isEmpty() || path.contains(QChar(0)))
        return ExportError::of(ExportFault::invalid_path).at(path);
    QByteArray bytes;
    const ExportError refused = build_xls(sheet, &bytes, analysis, slips);
    if (!refused.ok())
        return refused.at(path);

    const bool existed = QFileInfo::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return ExportError::of(ExportFault::cannot_create_file).at(path);
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        if (!existed)
            QFile::remove(path);
        return ExportError::of(ExportFault::write_failed).at(path);
    }
    return ExportError();
}
