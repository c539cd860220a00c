// The .xlsx reader: zip container by its central directory, inflated with
// zlib, and the two XML parts that hold the cells read with QXmlStreamReader.
#include "tests/support/xlsx_reader.h"

#include <QSet>
#include <QXmlStreamReader>
#include <QtEndian>

#include <zlib.h>

namespace {

constexpr quint32 sig_end = 0x06054b50;
constexpr quint32 sig_central = 0x02014b50;
constexpr quint32 sig_local = 0x04034b50;
constexpr qint64 max_entry_bytes = 256ll * 1024 * 1024;  // far beyond any score table

quint16 u16(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 u32(const QByteArray &b, qint64 at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool inflate_raw(const QByteArray &in, qint64 size, QByteArray *out)
{
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    // One spare byte tells a stream that is longer than it claims.
    QByteArray buf(int(size) + 1, '\0');
    z.next_out = reinterpret_cast<Bytef *>(buf.data());
    z.avail_out = uInt(buf.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = rc == Z_STREAM_END && z.total_out == uLong(size) && z.avail_in == 0;
    inflateEnd(&z);
    if (ok)
        *out = buf.left(int(size));
    return ok;
}

bool is_hex(ushort u)
{
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// "A1" -> (0, 0); false for anything else.
bool parse_ref(const QString &ref, int *row, int *col)
{
    int i = 0;
    qint64 c = 0;
    while (i < ref.size() && ref[i] >= QLatin1Char('A') && ref[i] <= QLatin1Char('Z') && i < 3)
        c = c * 26 + (ref[i++].unicode() - 'A' + 1);
    if (c == 0 || i == ref.size() || ref[i] == QLatin1Char('0'))
        return false;
    qint64 r = 0;
    for (; i < ref.size(); ++i) {
        if (ref[i] < QLatin1Char('0') || ref[i] > QLatin1Char('9') || r > 1048576)
            return false;
        r = r * 10 + (ref[i].unicode() - '0');
    }
    if (r < 1 || r > 1048576 || c > 16384)
        return false;
    *row = int(r - 1);
    *col = int(c - 1);
    return true;
}

// The text of an <si> or <is> element: its <t> children, rich runs included,
// phonetic runs left out.
bool string_item(QXmlStreamReader &x, QString *text)
{
    const QString end = x.name().toString();
    int depth = 0;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement()) {
            ++depth;
            if (x.name() == QLatin1String("rPh")) {
                x.skipCurrentElement();
                --depth;
            } else if (x.name() == QLatin1String("t")) {
                text->append(x.readElementText());
                --depth;
            }
        } else if (x.isEndElement()) {
            if (depth == 0)
                return x.name() == end;
            --depth;
        }
    }
    return false;
}

bool read_shared(const QByteArray &xml, QVector<QString> *shared, QString *error)
{
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        x.readNext();
        if (x.isStartElement() && x.name() == QLatin1String("si")) {
            QString t;
            if (!string_item(x, &t))
                return fail(error, QStringLiteral("sharedStrings: broken <si>"));
            shared->append(xlsx_unescape(t));
        }
    }
    if (x.hasError())
        return fail(error, QStringLiteral("sharedStrings: ") + x.errorString());
    return true;
}

bool read_sheet(const QByteArray &xml, const QVector<QString> &shared, QVector<XlsxCell> *cells, QVector<int> *breaks,
                QString *error)
{
    QXmlStreamReader x(xml);
    bool in_data = false, in_breaks = false;
    while (!x.atEnd()) {
        x.readNext();
        if (x.isEndElement() && x.name() == QLatin1String("sheetData"))
            in_data = false;
        if (x.isEndElement() && x.name() == QLatin1String("rowBreaks"))
            in_breaks = false;
        if (!x.isStartElement())
            continue;
        if (x.name() == QLatin1String("sheetData")) {
            in_data = true;
            continue;
        }
        if (x.name() == QLatin1String("rowBreaks")) {
            in_breaks = true;
            continue;
        }
        if (in_breaks && x.name() == QLatin1String("brk")) {
            bool ok = false;
            const int row = x.attributes().value(QLatin1String("id")).toInt(&ok);
            if (!ok || row <= 0 || (!breaks->isEmpty() && row <= breaks->last()))
                return fail(error, QStringLiteral("sheet: page break out of order"));
            breaks->append(row);
            continue;
        }
        if (!in_data || x.name() != QLatin1String("c"))
            continue;
        XlsxCell cell;
        const QXmlStreamAttributes a = x.attributes();
        if (!parse_ref(a.value(QLatin1String("r")).toString(), &cell.row, &cell.col))
            return fail(error, QStringLiteral("sheet: bad cell reference \"%1\"").arg(a.value(QLatin1String("r"))));
        cell.style = a.value(QLatin1String("s")).toInt();
        const QString type = a.value(QLatin1String("t")).toString();
        QString v;
        bool has_v = false;
        while (x.readNextStartElement()) {
            if (x.name() == QLatin1String("v")) {
                v = x.readElementText();
                has_v = true;
            } else {
                x.skipCurrentElement();
            }
        }
        if (!has_v && type.isEmpty() && a.hasAttribute(QLatin1String("s")))
            continue;  // blank: a format without a value
        if (!has_v)
            return fail(error, QStringLiteral("sheet: cell without value"));
        if (type == QLatin1String("s")) {
            bool ok = false;
            const int i = v.toInt(&ok);
            if (!ok || i < 0 || i >= shared.size())
                return fail(error, QStringLiteral("sheet: bad shared-string index %1").arg(v));
            cell.text = shared.at(i);
        } else if (type.isEmpty() || type == QLatin1String("n")) {
            bool ok = false;
            cell.value = v.toDouble(&ok);
            if (!ok)
                return fail(error, QStringLiteral("sheet: bad number %1").arg(v));
            cell.numeric = true;
        } else {
            return fail(error, QStringLiteral("sheet: unexpected cell type %1").arg(type));
        }
        if (!cells->isEmpty()) {
            const XlsxCell &p = cells->last();
            if (p.row > cell.row || (p.row == cell.row && p.col >= cell.col))
                return fail(error, QStringLiteral("sheet: cells out of order"));
        }
        cells->append(cell);
    }
    if (x.hasError())
        return fail(error, QStringLiteral("sheet: ") + x.errorString());
    return true;
}

}  // namespace

bool read_zip(const QByteArray &file, QMap<QString, QByteArray> *entries, QString *error)
{
    const qint64 n = file.size();
    qint64 end = -1;
    for (qint64 at = n - 22; at >= 0 && at >= n - 22 - 65535; --at) {
        if (u32(file, at) == sig_end && at + 22 + u16(file, at + 20) == n) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return fail(error, QStringLiteral("zip: no end of central directory"));
    if (u16(file, end + 4) != 0 || u16(file, end + 6) != 0 || u16(file, end + 8) != u16(file, end + 10))
        return fail(error, QStringLiteral("zip: multi-disk archive"));
    const qint64 count = u16(file, end + 10);
    const qint64 cd_size = u32(file, end + 12);
    const qint64 cd_at = u32(file, end + 16);
    if (cd_at + cd_size != end)
        return fail(error, QStringLiteral("zip: central directory does not end at the end record"));

    QSet<QString> names;
    qint64 at = cd_at;
    qint64 data_end = 0;  // entries must lie one after another before the directory
    for (qint64 i = 0; i < count; ++i) {
        if (at + 46 > end || u32(file, at) != sig_central)
            return fail(error, QStringLiteral("zip: bad central directory entry %1").arg(i));
        const quint16 flags = u16(file, at + 8);
        const quint16 method = u16(file, at + 10);
        const quint32 crc = u32(file, at + 16);
        const qint64 csize = u32(file, at + 20);
        const qint64 usize = u32(file, at + 24);
        const qint64 nlen = u16(file, at + 28), xlen = u16(file, at + 30), clen = u16(file, at + 32);
        const qint64 local = u32(file, at + 42);
        if (at + 46 + nlen + xlen + clen > end)
            return fail(error, QStringLiteral("zip: central directory entry %1 runs over").arg(i));
        const QString name = QString::fromUtf8(file.constData() + at + 46, int(nlen));
        at += 46 + nlen + xlen + clen;
        if (flags & 1)
            return fail(error, QStringLiteral("zip: %1 is encrypted").arg(name));
        if (names.contains(name))
            return fail(error, QStringLiteral("zip: %1 twice").arg(name));
        names.insert(name);
        if (local < data_end || local + 30 > cd_at || u32(file, local) != sig_local)
            return fail(error, QStringLiteral("zip: bad local header of %1").arg(name));
        const qint64 data = local + 30 + u16(file, local + 26) + u16(file, local + 28);
        if (data + csize > cd_at || usize > max_entry_bytes)
            return fail(error, QStringLiteral("zip: %1 runs over").arg(name));
        data_end = data + csize;
        const QByteArray raw = file.mid(int(data), int(csize));
        QByteArray bytes;
        if (method == 0) {
            if (csize != usize)
                return fail(error, QStringLiteral("zip: stored %1 changes size").arg(name));
            bytes = raw;
        } else if (method == 8) {
            if (!inflate_raw(raw, usize, &bytes))
                return fail(error, QStringLiteral("zip: %1 does not inflate to its size").arg(name));
        } else {
            return fail(error, QStringLiteral("zip: %1 uses method %2").arg(name).arg(method));
        }
        const uLong got
            = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.constData()), uInt(bytes.size()));
        if (got != crc)
            return fail(error, QStringLiteral("zip: CRC of %1 does not match").arg(name));
        entries->insert(name, bytes);
    }
    if (at != end)
        return fail(error, QStringLiteral("zip: central directory size does not match its entries"));
    return true;
}

QString xlsx_unescape(const QString &s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    QString out;
    out.reserve(s.size());
    const int n = s.size();
    for (int i = 0; i < n; ++i) {
        if (s[i] == QLatin1Char('_') && i + 6 < n && s[i + 1] == QLatin1Char('x') && s[i + 6] == QLatin1Char('_')
            && is_hex(s[i + 2].unicode()) && is_hex(s[i + 3].unicode()) && is_hex(s[i + 4].unicode())
            && is_hex(s[i + 5].unicode())) {
            out.append(QChar(ushort(s.mid(i + 2, 4).toUInt(nullptr, 16))));
            i += 6;
        } else {
            out.append(s[i]);
        }
    }
    return out;
}

bool read_xlsx(const QByteArray &file, XlsxBook *out, QString *error)
{
    XlsxBook book;
    if (!read_zip(file, &book.entries, error))
        return false;
    for (const char *part : {"[Content_Types].xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml"})
        if (!book.entries.contains(QLatin1String(part)))
            return fail(error, QStringLiteral("xlsx: no %1").arg(QLatin1String(part)));
    const auto sst = book.entries.constFind(QStringLiteral("xl/sharedStrings.xml"));
    if (sst != book.entries.constEnd() && !read_shared(sst.value(), &book.shared, error))
        return false;
    for (int n = 1;; ++n) {
        const auto xml = book.entries.constFind(QStringLiteral("xl/worksheets/sheet%1.xml").arg(n));
        if (xml == book.entries.constEnd())
            break;
        book.sheets.append(QVector<XlsxCell>());
        book.row_breaks.append(QVector<int>());
        if (!read_sheet(xml.value(), book.shared, &book.sheets.last(), &book.row_breaks.last(), error))
            return false;
    }
    book.cells = book.sheets.first();
    if (out)
        *out = book;
    return true;
}
