// The strict .xls reader used by the tests: compound file first, then the BIFF8
// records of the workbook globals and of each worksheet.
#include "biff_reader.h"

#include <QHash>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr quint32 difsect = 0xFFFFFFFC;
constexpr quint32 fatsect = 0xFFFFFFFD;
constexpr quint32 endofchain = 0xFFFFFFFE;
constexpr quint32 freesect = 0xFFFFFFFF;
constexpr quint32 nostream = 0xFFFFFFFF;

// Bounds-checked little-endian reads; a read past the end yields 0 and sets ok false.
class Cursor {
public:
    explicit Cursor(const QByteArray &data, qint64 pos = 0) : d(&data), pos(pos) { }
    bool has(qint64 n) const { return n >= 0 && pos >= 0 && pos + n <= d->size(); }
    qint64 left() const { return d->size() - pos; }
    quint8 u8() { return take(1) ? quint8(d->at(int(pos - 1))) : 0; }
    quint16 u16() { return take(2) ? qFromLittleEndian<quint16>(d->constData() + pos - 2) : 0; }
    quint32 u32() { return take(4) ? qFromLittleEndian<quint32>(d->constData() + pos - 4) : 0; }
    quint64 u64() { return take(8) ? qFromLittleEndian<quint64>(d->constData() + pos - 8) : 0; }
    double f64()
    {
        const quint64 bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    void skip(qint64 n) { take(n); }
    bool take(qint64 n)
    {
        if (!ok || !has(n)) {
            ok = false;
            return false;
        }
        pos += n;
        return true;
    }

    const QByteArray *d;
    qint64 pos;
    bool ok = true;
};

quint32 at32(const QByteArray &d, qint64 pos)
{
    Cursor c(d, pos);
    return c.u32();
}

struct Entry {
    QString name;
    quint8 type = 0;
    quint32 left = nostream, right = nostream, child = nostream;
    quint32 start = 0;
    quint64 size = 0;
};

class CfbReader {
public:
    CfbReader(const QByteArray &file, CfbContents *out) : file(file), out(out) { }

    bool read()
    {
        if (file.size() < 512)
            return fail("file shorter than a compound file header");
        static const char signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
        if (std::memcmp(file.constData(), signature, 8) != 0)
            return fail("no compound file signature");
        Cursor h(file, 24);
        const quint16 minor = h.u16(), major = h.u16(), order = h.u16(), shift = h.u16(), mini_shift = h.u16();
        Q_UNUSED(minor);
        if (major != 3 || order != 0xFFFE || shift != 9 || mini_shift != 6)
            return fail("unsupported header (version, byte order or sector size)");
        if ((file.size() - 512) % 512 != 0)
            return fail("file size is not a whole number of sectors");
        nsec = quint32((file.size() - 512) / 512);
        const quint32 num_dir = at32(file, 40), num_fat = at32(file, 44), dir_start = at32(file, 48);
        const quint32 cutoff = at32(file, 56), mini_fat_start = at32(file, 60), num_mini_fat = at32(file, 64);
        const quint32 difat_start = at32(file, 68), num_difat = at32(file, 72);
        if (num_dir != 0 || cutoff != 4096)
            return fail("bad directory sector count or mini stream cutoff");
        if (num_fat == 0 || num_fat > nsec || num_difat > nsec)
            return fail("impossible FAT or DIFAT sector count");
        owner.assign(nsec, 0);

        // The FAT's sectors: 109 in the header, the rest in the DIFAT chain.
        QVector<quint32> fat_list;
        for (int i = 0; i < 109; ++i) {
            const quint32 s = at32(file, 76 + 4 * i);
            if (quint32(i) < num_fat)
                fat_list.append(s);
            else if (s != freesect)
                return fail("unused header DIFAT entry is not free");
        }
        quint32 next = difat_start;
        for (quint32 d = 0; d < num_difat; ++d) {
            if (!claim(next, 2))
                return fail("DIFAT chain leaves the file or loops");
            const qint64 pos = offset(next);
            for (int i = 0; i < 127; ++i) {
                const quint32 s = at32(file, pos + 4 * i);
                if (quint32(fat_list.size()) < num_fat)
                    fat_list.append(s);
                else if (s != freesect)
                    return fail("unused DIFAT entry is not free");
            }
            next = at32(file, pos + 508);
        }
        if (next != endofchain || quint32(fat_list.size()) != num_fat)
            return fail("DIFAT does not list exactly the FAT's sectors");
        for (quint32 s : fat_list) {
            if (!claim(s, 1))
                return fail("FAT sector outside the file or used twice");
            for (int i = 0; i < 128; ++i)
                fat.append(at32(file, offset(s) + 4 * i));
        }
        if (quint32(fat.size()) < nsec)
            return fail("FAT too short for the file");
        for (quint32 i = 0; i < nsec; ++i) {
            const bool is_fat = owner[i] == 1, is_difat = owner[i] == 2;
            if (is_fat != (fat.at(int(i)) == fatsect) || is_difat != (fat.at(int(i)) == difsect))
                return fail("FAT and DIFAT sectors are not marked as such");
        }
        for (int i = int(nsec); i < fat.size(); ++i)
            if (fat.at(i) != freesect)
                return fail("FAT describes sectors past the end of the file");

        // Directory.
        QByteArray dir;
        if (!chain(dir_start, 3, -1, &dir))
            return false;
        QVector<Entry> entries;
        for (int p = 0; p + 128 <= dir.size(); p += 128) {
            Cursor c(dir, p + 64);
            Entry e;
            const quint16 name_len = c.u16();
            e.type = c.u8();
            c.u8();
            e.left = c.u32();
            e.right = c.u32();
            e.child = c.u32();
            c.skip(16 + 4 + 16);
            e.start = c.u32();
            e.size = c.u64();
            if (e.type != 0) {
                if (name_len < 2 || name_len > 64 || name_len % 2)
                    return fail("directory entry name length out of range");
                for (int i = 0; i < name_len / 2 - 1; ++i)
                    e.name.append(QChar(qFromLittleEndian<quint16>(dir.constData() + p + 2 * i)));
                if (e.size >> 32)
                    return fail("stream size too large for a version 3 file");
            }
            entries.append(e);
        }
        if (entries.isEmpty() || entries.at(0).type != 5)
            return fail("first directory entry is not the root");

        // The mini stream lives in the root's chain, the mini FAT in its own.
        const Entry &root = entries.at(0);
        if (root.size > 0) {
            if (!chain(root.start, 5, qint64(root.size), &mini_stream))
                return false;
        } else if (root.start != endofchain && root.start != 0) {
            return fail("empty mini stream with a start sector");
        }
        if (num_mini_fat > 0) {
            QByteArray mf;
            if (!chain(mini_fat_start, 4, -1, &mf))
                return false;
            if (quint32(mf.size() / 512) != num_mini_fat)
                return fail("mini FAT sector count does not match its chain");
            for (int i = 0; i + 4 <= mf.size(); i += 4)
                mini_fat.append(at32(mf, i));
        } else if (mini_fat_start != endofchain) {
            return fail("no mini FAT sectors but a mini FAT start");
        }
        mini_owner.assign(size_t(mini_stream.size() / 64), false);

        // Walk the tree below the root; every reachable stream is read.
        QSet<quint32> seen;
        QVector<quint32> todo{root.child};
        while (!todo.isEmpty()) {
            const quint32 id = todo.takeLast();
            if (id == nostream)
                continue;
            if (id >= quint32(entries.size()) || seen.contains(id) || id == 0)
                return fail("directory tree points outside itself or loops");
            seen.insert(id);
            const Entry &e = entries.at(int(id));
            if (e.type != 1 && e.type != 2)
                return fail("directory tree reaches an unused entry");
            todo << e.left << e.right << e.child;
            if (e.type != 2)
                continue;
            if (e.child != nostream)
                return fail("a stream has children");
            if (out->streams.contains(e.name))
                return fail("two streams with one name");
            QByteArray data;
            if (e.size == 0) {
                if (e.start != endofchain && e.start != 0)
                    return fail("empty stream with a start sector");
            } else if (e.size < 4096) {
                if (!mini_chain(e.start, e.size, &data))
                    return false;
                out->in_mini_stream.append(e.name);
            } else if (!chain(e.start, 6, qint64(e.size), &data)) {
                return false;
            }
            out->streams.insert(e.name, data);
        }
        for (int i = 1; i < entries.size(); ++i)
            if (entries.at(i).type != 0 && !seen.contains(quint32(i)))
                return fail("directory entry not reachable from the root");

        for (quint32 i = 0; i < nsec; ++i)
            if ((owner[i] != 0) != (fat.at(int(i)) != freesect))
                return fail(QStringLiteral("sector %1 is marked used but belongs to nothing").arg(i));
        for (size_t i = 0; i < mini_owner.size(); ++i)
            if (!mini_owner[i] && i < size_t(mini_fat.size()) && mini_fat.at(int(i)) != freesect)
                return fail("mini sector marked used but belongs to nothing");
        out->fat_sectors = int(num_fat);
        out->difat_sectors = int(num_difat);
        return true;
    }

    QString error;

private:
    bool fail(const QString &why)
    {
        error = why;
        return false;
    }
    qint64 offset(quint32 s) const { return 512 + qint64(s) * 512; }
    bool claim(quint32 s, int who)
    {
        if (s >= nsec || owner[s] != 0)
            return false;
        owner[s] = who;
        return true;
    }
    // Reads a FAT chain; with size >= 0 the chain must have exactly the sectors that size needs.
    bool chain(quint32 start, int who, qint64 size, QByteArray *data)
    {
        quint32 s = start;
        while (s != endofchain) {
            if (!claim(s, who))
                return fail(QStringLiteral("chain runs out of the file, loops or crosses another at sector %1").arg(s));
            data->append(file.constData() + offset(s), 512);
            s = fat.at(int(s));
        }
        if (size >= 0) {
            if ((size + 511) / 512 != data->size() / 512)
                return fail("stream size does not match its chain");
            data->truncate(int(size));
        }
        return true;
    }
    bool mini_chain(quint32 start, quint64 size, QByteArray *data)
    {
        quint32 s = start;
        while (s != endofchain) {
            if (s >= mini_owner.size() || s >= quint32(mini_fat.size()) || mini_owner[s])
                return fail("mini chain runs out of the mini stream or loops");
            mini_owner[s] = true;
            data->append(mini_stream.constData() + qint64(s) * 64, 64);
            s = mini_fat.at(int(s));
        }
        if ((size + 63) / 64 != quint64(data->size() / 64))
            return fail("mini stream size does not match its chain");
        data->truncate(int(size));
        return true;
    }

    const QByteArray &file;
    CfbContents *out;
    quint32 nsec = 0;
    std::vector<int> owner;  // 0 free, 1 FAT, 2 DIFAT, 3 directory, 4 mini FAT, 5 mini stream, 6 streams
    QVector<quint32> fat;
    QVector<quint32> mini_fat;
    QByteArray mini_stream;
    std::vector<bool> mini_owner;
};

// ---------------------------------------------------------------- BIFF8

constexpr int max_record_data = 8224;

struct Record {
    quint16 id = 0;
    qint64 pos = 0;  // of the header, in the stream
    QByteArray body;
};

QString builtin_format(int ifmt)
{
    switch (ifmt) {
    case 0:
        return QStringLiteral("General");
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 49:
        return QStringLiteral("@");
    default:
        return QString();
    }
}

// Characters of a string body: one byte each (Latin-1) or UTF-16.
QString read_chars(Cursor &c, int count, bool wide)
{
    QString s;
    if (!c.has(qint64(count) * (wide ? 2 : 1))) {
        c.ok = false;
        return s;
    }
    s.reserve(count);
    for (int i = 0; i < count; ++i)
        s.append(QChar(wide ? c.u16() : c.u8()));
    return s;
}

QString read_string(Cursor &c, int len_bytes)
{
    const int n = len_bytes == 1 ? c.u8() : c.u16();
    const quint8 flags = c.u8();
    if (flags & 0x0C)  // rich text or phonetic data: never written here
        c.ok = false;
    return read_chars(c, n, flags & 1);
}

class BiffReader {
public:
    BiffReader(BiffBook *out) : out(out), s(out->stream) { }

    bool read()
    {
        Record r;
        qint64 pos = 0;
        if (!next(pos, &r) || r.id != 0x0809)
            return fail("workbook stream does not start with BOF");
        Cursor bof(r.body);
        if (bof.u16() != 0x0600 || bof.u16() != 0x0005)
            return fail("not a BIFF8 workbook globals BOF");

        struct Sheet {
            quint32 pos;
            QString name;
        };
        QVector<Sheet> sheets;
        int fonts = 0;
        QVector<QPair<quint16, quint16>> xf_font_format;
        bool have_sst = false, have_extsst = false;
        QVector<qint64> string_pos;
        QVector<qint64> string_record;
        for (;;) {
            if (!next(pos, &r))
                return fail("workbook globals end without EOF");
            if (r.id == 0x000A)
                break;
            Cursor c(r.body);
            switch (r.id) {
            case 0x0042:
                out->codepage = c.u16();
                break;
            case 0x0031:
                ++fonts;
                break;
            case 0x041E: {
                const quint16 ifmt = c.u16();
                const QString f = read_string(c, 2);
                if (!c.ok)
                    return fail("bad FORMAT record");
                formats.insert(ifmt, f);
                break;
            }
            case 0x00E0: {
                if (r.body.size() != 20)
                    return fail("XF record of wrong length");
                const quint16 font = c.u16(), ifmt = c.u16();
                xf_font_format.append({font, ifmt});
                break;
            }
            case 0x0085: {
                Sheet sh;
                sh.pos = c.u32();
                c.u8();
                const quint8 type = c.u8();
                sh.name = read_string(c, 1);
                if (!c.ok || c.pos != r.body.size() || type != 0)
                    return fail("bad BOUNDSHEET record");
                sheets.append(sh);
                break;
            }
            case 0x00FC: {
                if (have_sst)
                    return fail("two SST records");
                have_sst = true;
                QVector<Record> parts{r};
                qint64 p = pos;
                Record cont;
                while (next(p, &cont) && cont.id == 0x003C) {
                    parts.append(cont);
                    pos = p;
                }
                out->sst_continues = parts.size() - 1;
                if (!read_sst(parts, &string_pos, &string_record))
                    return false;
                break;
            }
            case 0x00FF:
                if (!have_sst || have_extsst)
                    return fail("EXTSST without SST or twice");
                have_extsst = true;
                if (!check_extsst(r.body, string_pos, string_record))
                    return false;
                break;
            case 0x003C:
                return fail("CONTINUE after a record that takes none");
            default:
                break;
            }
        }
        if (!have_sst || !have_extsst)
            return fail("no SST and EXTSST");
        if (fonts < 5)
            return fail("fewer than 5 FONT records");
        if (xf_font_format.size() < 16)
            return fail("fewer than 16 XF records");
        for (const auto &ff : xf_font_format) {
            const int font = ff.first;
            if (font == 4 || (font < 4 ? font >= fonts : font - 1 >= fonts))
                return fail("XF refers to a missing font");
            const QString f = formats.contains(ff.second) ? formats.value(ff.second) : builtin_format(ff.second);
            if (f.isEmpty())
                return fail(QStringLiteral("XF refers to unknown number format %1").arg(ff.second));
            xf_formats.append(f);
        }
        if (sheets.isEmpty())
            return fail("no sheet");

        quint32 label_cells = 0;
        for (const Sheet &sh : sheets) {
            BiffSheet bs;
            bs.name = sh.name;
            if (!read_sheet(sh.pos, &bs, &label_cells))
                return false;
            out->sheets.append(bs);
        }
        if (label_cells != out->sst_total)
            return fail(
                QStringLiteral("SST counts %1 references, the sheets have %2").arg(out->sst_total).arg(label_cells));
        return true;
    }

    QString error;

private:
    bool fail(const QString &why)
    {
        error = why;
        return false;
    }

    bool next(qint64 &pos, Record *r)
    {
        Cursor c(s, pos);
        r->pos = pos;
        r->id = c.u16();
        const quint16 len = c.u16();
        if (!c.ok || len > max_record_data || !c.has(len))
            return false;
        r->body = s.mid(int(c.pos), len);
        pos = c.pos + len;
        return true;
    }

    // Strings may run on across CONTINUE records; the continuation then starts
    // with its own flags byte. The length and flags themselves never straddle.
    bool read_sst(const QVector<Record> &parts, QVector<qint64> *string_pos, QVector<qint64> *string_record)
    {
        int part = 0;
        Cursor c(parts.at(0).body);
        out->sst_total = c.u32();
        const quint32 unique = c.u32();
        if (!c.ok || unique > quint32(s.size()))
            return fail("bad SST header");
        for (quint32 i = 0; i < unique; ++i) {
            if (!c.has(1) && part + 1 < parts.size()) {
                ++part;
                c = Cursor(parts.at(part).body);
            }
            if (!c.has(3))
                return fail(QStringLiteral("SST string %1: header missing or split").arg(i));
            string_pos->append(parts.at(part).pos + 4 + c.pos);
            string_record->append(parts.at(part).pos);
            const int n = c.u16();
            quint8 flags = c.u8();
            if (flags & ~0x0D)
                return fail("SST string with unknown flags");
            const int runs = (flags & 0x08) ? c.u16() : 0;
            const qint64 ext = (flags & 0x04) ? qint64(c.u32()) : 0;
            if (runs || ext)
                return fail("SST string with rich text or phonetic data");
            QString str;
            bool split = false;
            while (str.size() < n) {
                const int unit = (flags & 1) ? 2 : 1;
                const int avail = int(qMin<qint64>(n - str.size(), c.left() / unit));
                str.append(read_chars(c, avail, flags & 1));
                if (str.size() == n)
                    break;
                if (c.left() != 0)
                    return fail("SST string character split across records");
                // Readers decode each record's part alone: half a pair is a broken string.
                if (!str.isEmpty() && str.at(str.size() - 1).isHighSurrogate())
                    return fail("SST string surrogate pair split across records");
                if (++part >= parts.size())
                    return fail("SST ends inside a string");
                c = Cursor(parts.at(part).body);
                split = true;
                flags = c.u8();
                if (!c.ok || (flags & ~0x01))
                    return fail("bad flags byte at the start of a CONTINUE");
            }
            if (split) {
                ++out->split_strings;
                if (flags & 1)
                    ++out->split_wide_strings;
            }
            out->sst.append(str);
        }
        if (c.has(1) || part + 1 != parts.size())
            return fail("bytes left over after the last SST string");
        return true;
    }

    bool check_extsst(const QByteArray &body, const QVector<qint64> &string_pos, const QVector<qint64> &string_record)
    {
        const int unique = out->sst.size();
        Cursor c(body);
        const int per_bucket = c.u16();
        if (per_bucket != std::max(unique / 128 + 1, 8))
            return fail("EXTSST bucket size is not the documented one");
        const int buckets = (unique + per_bucket - 1) / per_bucket;
        if (body.size() != 2 + 8 * buckets)
            return fail("EXTSST has the wrong number of buckets");
        for (int b = 0; b < buckets; ++b) {
            const quint32 ib = c.u32();
            const quint16 offset = c.u16();
            c.u16();
            const int first = b * per_bucket;
            if (ib != string_pos.at(first) || offset != string_pos.at(first) - string_record.at(first))
                return fail(QStringLiteral("EXTSST bucket %1 points at the wrong place").arg(b));
        }
        out->extsst_buckets = buckets;
        return true;
    }

    bool read_sheet(quint32 start, BiffSheet *sheet, quint32 *label_cells)
    {
        qint64 pos = start;
        Record r;
        if (!next(pos, &r) || r.id != 0x0809)
            return fail("BOUNDSHEET does not point at a BOF");
        Cursor bof(r.body);
        if (bof.u16() != 0x0600 || bof.u16() != 0x0010)
            return fail("sheet BOF is not a BIFF8 worksheet");

        bool have_index = false, have_dims = false, have_window2 = false;
        quint32 idx_first = 0, idx_end = 0, idx_defcol = 0;
        QVector<quint32> idx_dbcells;
        qint64 defcol_pos = -1;
        struct RowRec {
            quint16 first, end;
            qint64 pos;
        };
        QMap<int, RowRec> rows;
        QHash<int, qint64> first_cell_at;  // row -> position of its first cell record
        QVector<Record> dbcells;
        QSet<quint32> cell_keys;
        for (;;) {
            if (!next(pos, &r))
                return fail("sheet ends without EOF");
            if (r.id == 0x000A)
                break;
            Cursor c(r.body);
            switch (r.id) {
            case 0x020B:
                have_index = true;
                c.u32();
                idx_first = c.u32();
                idx_end = c.u32();
                idx_defcol = c.u32();
                while (c.has(4))
                    idx_dbcells.append(c.u32());
                if (c.has(1))
                    return fail("bad INDEX length");
                break;
            case 0x0055:
                defcol_pos = r.pos;
                break;
            case 0x001B: {
                if (have_dims || !sheet->page_breaks.isEmpty())
                    return fail("HORIZONTALPAGEBREAKS after DIMENSIONS or twice");
                const int n = c.u16();
                if (n == 0 || r.body.size() != 2 + 6 * n)
                    return fail("bad HORIZONTALPAGEBREAKS length");
                for (int i = 0; i < n; ++i) {
                    const int row = c.u16();
                    const int first_col = c.u16(), last_col = c.u16();
                    if (row == 0 || (i > 0 && row <= sheet->page_breaks.last()) || first_col != 0 || last_col != 255)
                        return fail("page break out of order or not across the sheet");
                    sheet->page_breaks.append(row);
                }
                break;
            }
            case 0x0200:
                have_dims = true;
                sheet->first_row = c.u32();
                sheet->end_row = c.u32();
                sheet->first_col = c.u16();
                sheet->end_col = c.u16();
                if (r.body.size() != 14)
                    return fail("bad DIMENSIONS length");
                break;
            case 0x0208: {
                if (r.body.size() != 16)
                    return fail("bad ROW length");
                const int rw = c.u16();
                RowRec rr;
                rr.first = c.u16();
                rr.end = c.u16();
                rr.pos = r.pos;
                if (rows.contains(rw))
                    return fail("two ROW records for one row");
                rows.insert(rw, rr);
                break;
            }
            case 0x00FD:
            case 0x0203:
            case 0x0201: {
                BiffCell cell;
                cell.row = c.u16();
                cell.col = c.u16();
                const int ixf = c.u16();
                if (r.id == 0x00FD) {
                    const quint32 isst = c.u32();
                    if (isst >= quint32(out->sst.size()))
                        return fail("LABELSST refers past the SST");
                    cell.text = out->sst.at(int(isst));
                    ++*label_cells;
                } else if (r.id == 0x0203) {
                    cell.numeric = true;
                    cell.value = c.f64();
                }
                if (!c.ok || c.has(1))
                    return fail("bad cell record length");
                if (ixf >= xf_formats.size())
                    return fail("cell refers to a missing XF");
                cell.format = xf_formats.at(ixf);
                if (cell.col > 255 || !have_dims)
                    return fail("cell before DIMENSIONS or past column IV");
                const quint32 key = quint32(cell.row) << 8 | quint32(cell.col);
                if (cell_keys.contains(key))
                    return fail("two cells at one place");
                cell_keys.insert(key);
                if (!first_cell_at.contains(cell.row))
                    first_cell_at.insert(cell.row, r.pos);
                (r.id == 0x0201 ? sheet->blanks : sheet->cells).append(cell);
                break;
            }
            case 0x00D7:
                dbcells.append(r);
                break;
            case 0x023E:
                have_window2 = true;
                break;
            case 0x0006:
            case 0x0204:
            case 0x027E:
            case 0x00BD:
            case 0x00BE:
            case 0x0205:
                return fail(QStringLiteral("unexpected cell record 0x%1").arg(r.id, 4, 16, QChar('0')));
            default:
                break;
            }
        }
        if (!have_index || !have_dims || !have_window2)
            return fail("sheet lacks INDEX, DIMENSIONS or WINDOW2");

        const auto in_order = [](const BiffCell &a, const BiffCell &b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        };
        std::sort(sheet->cells.begin(), sheet->cells.end(), in_order);
        // DIMENSIONS must be exactly the extent of the cells, blank ones included.
        QVector<BiffCell> all = sheet->cells + sheet->blanks;
        std::sort(all.begin(), all.end(), in_order);
        quint32 fr = 0, er = 0;
        quint16 fc = 0, ec = 0;
        if (!all.isEmpty()) {
            fr = quint32(all.first().row);
            er = quint32(all.last().row) + 1;
            fc = 255;
            for (const BiffCell &cell : all) {
                fc = std::min<quint16>(fc, quint16(cell.col));
                ec = std::max<quint16>(ec, quint16(cell.col + 1));
            }
        }
        if (fr != sheet->first_row || er != sheet->end_row || fc != sheet->first_col || ec != sheet->end_col)
            return fail("DIMENSIONS do not match the cells");
        if (!sheet->page_breaks.isEmpty() && quint32(sheet->page_breaks.last()) >= er)
            return fail("page break below the last row");
        if (idx_first != fr || idx_end != er || qint64(idx_defcol) != defcol_pos)
            return fail("INDEX rows or DEFCOLWIDTH position wrong");

        // Every row with cells has a ROW record spanning exactly its cells.
        QMap<int, QPair<int, int>> spans;
        for (const BiffCell &cell : all) {
            auto it = spans.find(cell.row);
            if (it == spans.end())
                spans.insert(cell.row, {cell.col, cell.col + 1});
            else
                it->second = cell.col + 1;
        }
        for (auto it = spans.begin(); it != spans.end(); ++it) {
            if (!rows.contains(it.key()))
                return fail(QStringLiteral("row %1 has cells but no ROW record").arg(it.key()));
            const RowRec rr = rows.value(it.key());
            if (rr.first != it->first || rr.end != it->second)
                return fail(QStringLiteral("ROW record %1 spans the wrong columns").arg(it.key()));
        }

        // INDEX lists the DBCELLs; each points back at its block's first ROW
        // and at the first cell of every row in the block.
        if (idx_dbcells.size() != dbcells.size())
            return fail("INDEX and DBCELL counts differ");
        QMap<qint64, int> row_at;
        for (auto it = rows.begin(); it != rows.end(); ++it)
            row_at.insert(it->pos, it.key());
        QSet<int> rows_covered;
        for (int b = 0; b < dbcells.size(); ++b) {
            const Record &db = dbcells.at(b);
            if (idx_dbcells.at(b) != db.pos)
                return fail("INDEX points at the wrong DBCELL");
            Cursor c(db.body);
            const qint64 first_row_pos = db.pos - c.u32();
            if (!row_at.contains(first_row_pos))
                return fail("DBCELL does not point at a ROW");
            // The block's rows are the ROW records from there to the DBCELL.
            QVector<int> block;
            for (auto it = row_at.find(first_row_pos); it != row_at.end() && it.key() < db.pos; ++it)
                block.append(it.value());
            qint64 cell_pos = first_row_pos + 20;
            for (int k = 0; k < block.size(); ++k) {
                cell_pos += c.u16();
                if (!c.ok || first_cell_at.value(block.at(k), -1) != cell_pos)
                    return fail(QStringLiteral("DBCELL offset %1 misses the first cell of its row").arg(k));
                if (block.at(k) / 32 != block.at(0) / 32)
                    return fail("DBCELL block spans more than 32 rows");
                rows_covered.insert(block.at(k));
            }
            if (c.has(1))
                return fail("DBCELL has more offsets than rows");
        }
        if (rows_covered.size() != rows.size())
            return fail("ROW records outside every DBCELL block");
        out->dbcells += dbcells.size();
        return true;
    }

    BiffBook *out;
    const QByteArray &s;
    QHash<int, QString> formats;
    QVector<QString> xf_formats;
};

}  // namespace

bool read_compound_file(const QByteArray &file, CfbContents *out, QString *error)
{
    *out = CfbContents();
    CfbReader r(file, out);
    if (r.read())
        return true;
    if (error)
        *error = r.error;
    return false;
}

bool read_xls(const QByteArray &file, BiffBook *out, QString *error)
{
    *out = BiffBook();
    QString why;
    if (!read_compound_file(file, &out->container, &why)) {
        if (error)
            *error = QStringLiteral("compound file: ") + why;
        return false;
    }
    if (!out->container.streams.contains(QStringLiteral("Workbook"))) {
        if (error)
            *error = QStringLiteral("no Workbook stream");
        return false;
    }
    out->stream = out->container.streams.value(QStringLiteral("Workbook"));
    BiffReader r(out);
    if (r.read())
        return true;
    if (error)
        *error = r.error;
    return false;
}

QString xls_text_of(QString text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text;
}
