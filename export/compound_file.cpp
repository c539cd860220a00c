// The OLE2 compound file writer: header, FAT with its DIFAT, one directory
// sector, an optional mini FAT and the stream's sectors, laid out in that order.
#include "export/compound_file.h"

#include <QtEndian>

#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int sector_size = 512;
constexpr int mini_sector_size = 64;
constexpr int mini_stream_cutoff = 4096;
constexpr int ids_per_sector = sector_size / 4;  // FAT, mini FAT
constexpr int difat_in_header = 109;
constexpr int ids_per_difat_sector = ids_per_sector - 1;  // the last one links to the next

constexpr quint32 difsect = 0xFFFFFFFC;
constexpr quint32 fatsect = 0xFFFFFFFD;
constexpr quint32 endofchain = 0xFFFFFFFE;
constexpr quint32 freesect = 0xFFFFFFFF;
constexpr quint32 nostream = 0xFFFFFFFF;

qint64 ceil_div(qint64 a, qint64 b)
{
    return (a + b - 1) / b;
}

using Buffer = std::vector<uchar>;

void put16(Buffer &out, qint64 pos, quint16 v)
{
    qToLittleEndian(v, out.data() + pos);
}

void put32(Buffer &out, qint64 pos, quint32 v)
{
    qToLittleEndian(v, out.data() + pos);
}

struct DirEntry {
    QString name;
    quint8 type = 0;  // 0 unused, 2 stream, 5 root storage
    quint32 child = nostream;
    quint32 start = endofchain;
    quint32 size = 0;
};

void put_dir_entry(Buffer &out, qint64 pos, const DirEntry &e)
{
    // An unused entry is all zero except its three links.
    for (int i = 0; i < e.name.size(); ++i)
        put16(out, pos + 2 * i, e.name.at(i).unicode());
    put16(out, pos + 64, e.type == 0 ? 0 : quint16(2 * (e.name.size() + 1)));
    out[size_t(pos + 66)] = e.type;
    out[size_t(pos + 67)] = e.type == 0 ? 0 : 1;  // black: a one-node tree is trivially valid
    put32(out, pos + 68, nostream);
    put32(out, pos + 72, nostream);
    put32(out, pos + 76, e.child);
    if (e.type != 0) {
        put32(out, pos + 116, e.start);
        put32(out, pos + 120, e.size);  // the high half stays zero in version 3
    }
}

// Chains `count` consecutive sectors from `first` in the FAT.
void chain(std::vector<quint32> &fat, quint32 first, quint32 count)
{
    for (quint32 i = 0; i < count; ++i)
        fat[first + i] = i + 1 < count ? first + i + 1 : endofchain;
}

// Where everything goes: sectors are numbered from the one after the header,
// FAT first, then DIFAT, directory, mini FAT and the payload.
struct SectorPlan {
    qint64 size = 0;  // of the stream
    bool mini = false;
    qint64 mini_sectors = 0;
    qint64 payload = 0;  // bytes of the payload sectors' contents
    qint64 payload_sectors = 0;
    qint64 mini_fat_sectors = 0;
    qint64 fat_sectors = 1;
    qint64 difat_sectors = 0;
    quint32 first_difat = 0;
    quint32 dir_sector = 0;
    quint32 mini_fat_start = 0;
    quint32 payload_start = 0;
    qint64 file_size = 0;
};

SectorPlan plan_sectors(qint64 n)
{
    SectorPlan p;
    p.size = n;
    // An empty stream owns no sectors at all; a short one lives in the mini stream.
    p.mini = n > 0 && n < mini_stream_cutoff;
    p.mini_sectors = p.mini ? ceil_div(n, mini_sector_size) : 0;
    p.payload = p.mini ? p.mini_sectors * mini_sector_size : n;
    p.payload_sectors = ceil_div(p.payload, sector_size);
    p.mini_fat_sectors = ceil_div(p.mini_sectors, ids_per_sector);
    const qint64 others = 1 + p.mini_fat_sectors + p.payload_sectors;  // directory, mini FAT, payload

    // The FAT must also describe its own sectors and the DIFAT's; grow both
    // until they cover everything. Each pass can only increase them.
    for (;;) {
        const qint64 total = others + p.fat_sectors + p.difat_sectors;
        const qint64 f = ceil_div(total, ids_per_sector);
        const qint64 x = f > difat_in_header ? ceil_div(f - difat_in_header, ids_per_difat_sector) : 0;
        if (f <= p.fat_sectors && x <= p.difat_sectors)
            break;
        p.fat_sectors = qMax(f, p.fat_sectors);
        p.difat_sectors = qMax(x, p.difat_sectors);
    }
    p.file_size = sector_size * (1 + others + p.fat_sectors + p.difat_sectors);
    p.first_difat = quint32(p.fat_sectors);
    p.dir_sector = quint32(p.fat_sectors + p.difat_sectors);
    p.mini_fat_start = p.dir_sector + 1;
    p.payload_start = p.mini_fat_start + quint32(p.mini_fat_sectors);
    return p;
}

qint64 sector_pos(quint32 s)
{
    return qint64(sector_size) * (s + 1);
}

void write_header(Buffer &out, const SectorPlan &p)
{
    static const uchar signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(out.data(), signature, sizeof signature);
    put16(out, 24, 0x003E);  // minor version
    put16(out, 26, 0x0003);  // major version: 512-byte sectors
    put16(out, 28, 0xFFFE);  // little-endian
    put16(out, 30, 9);       // sector shift
    put16(out, 32, 6);       // mini sector shift
    put32(out, 44, quint32(p.fat_sectors));
    put32(out, 48, p.dir_sector);
    put32(out, 56, mini_stream_cutoff);
    put32(out, 60, p.mini ? p.mini_fat_start : endofchain);
    put32(out, 64, quint32(p.mini_fat_sectors));
    put32(out, 68, p.difat_sectors ? p.first_difat : endofchain);
    put32(out, 72, quint32(p.difat_sectors));
    for (int i = 0; i < difat_in_header; ++i)
        put32(out, 76 + 4 * i, i < p.fat_sectors ? quint32(i) : freesect);
}

// The FAT, then the DIFAT sectors: the FAT sector numbers past the header's
// 109, each sector ending with the number of the next one.
void write_allocation_tables(Buffer &out, const SectorPlan &p)
{
    std::vector<quint32> fat(size_t(p.fat_sectors * ids_per_sector), freesect);
    for (quint32 i = 0; i < p.fat_sectors; ++i)
        fat[i] = fatsect;
    for (quint32 i = 0; i < p.difat_sectors; ++i)
        fat[p.first_difat + i] = difsect;
    chain(fat, p.dir_sector, 1);
    chain(fat, p.mini_fat_start, quint32(p.mini_fat_sectors));
    chain(fat, p.payload_start, quint32(p.payload_sectors));
    for (size_t i = 0; i < fat.size(); ++i)
        put32(out, sector_pos(0) + qint64(4 * i), fat[i]);

    for (qint64 d = 0; d < p.difat_sectors; ++d) {
        const qint64 pos = sector_pos(p.first_difat + quint32(d));
        for (int i = 0; i < ids_per_difat_sector; ++i) {
            const qint64 f = difat_in_header + d * ids_per_difat_sector + i;
            put32(out, pos + 4 * i, f < p.fat_sectors ? quint32(f) : freesect);
        }
        put32(out, pos + 4 * ids_per_difat_sector,
              d + 1 < p.difat_sectors ? p.first_difat + quint32(d) + 1 : endofchain);
    }

    if (p.mini) {
        const qint64 pos = sector_pos(p.mini_fat_start);
        for (int i = 0; i < ids_per_sector; ++i) {
            quint32 v = freesect;
            if (i < p.mini_sectors)
                v = i + 1 < p.mini_sectors ? quint32(i + 1) : endofchain;
            put32(out, pos + 4 * i, v);
        }
    }
}

// Root, the stream, two unused entries.
void write_directory(Buffer &out, const SectorPlan &p, const QString &name)
{
    DirEntry root;
    root.name = QStringLiteral("Root Entry");
    root.type = 5;
    root.child = 1;
    if (p.mini) {
        root.start = p.payload_start;
        root.size = quint32(p.payload);
    }
    DirEntry stream;
    stream.name = name;
    stream.type = 2;
    stream.start = p.size == 0 ? endofchain : p.mini ? 0 : p.payload_start;
    stream.size = quint32(p.size);
    const qint64 dir_pos = sector_pos(p.dir_sector);
    put_dir_entry(out, dir_pos, root);
    put_dir_entry(out, dir_pos + 128, stream);
    put_dir_entry(out, dir_pos + 256, DirEntry());
    put_dir_entry(out, dir_pos + 384, DirEntry());
}

}  // namespace

ExportError build_compound_file(const QString &name, const QByteArray &data, QByteArray *file)
{
    if (name.isEmpty() || name.size() > 31)
        return ExportError::of(ExportFault::invalid_stream_name);
    const SectorPlan plan = plan_sectors(data.size());
    if (plan.file_size > std::numeric_limits<int>::max() || plan.size > std::numeric_limits<quint32>::max())
        return ExportError::of(ExportFault::xls_file_over_limit);

    Buffer out(size_t(plan.file_size), 0);
    write_header(out, plan);
    write_allocation_tables(out, plan);
    write_directory(out, plan, name);
    if (plan.size > 0)
        std::memcpy(out.data() + sector_pos(plan.payload_start), data.constData(), size_t(plan.size));
    *file = QByteArray(reinterpret_cast<const char *>(out.data()), int(out.size()));
    return ExportError();
}
