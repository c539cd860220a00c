// Field-wise fingerprints of an exam store that read only resident pages.
#include "tests/support/store_checksum.h"

#include <cstring>
#include <set>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#define VELORA_HAVE_MINCORE 1
#endif

namespace {

constexpr std::size_t block = 64;  // fingerprint granule; divides every page size

#ifdef VELORA_HAVE_MINCORE
// mincore's address and vector types differ between platforms.
template <typename A, typename V>
int call_mincore(int (*fn)(A, size_t, V *), std::uintptr_t addr, std::size_t len, unsigned char *vec)
{
    return fn(reinterpret_cast<A>(addr), len, reinterpret_cast<V *>(vec));
}
#endif

// Residency of the pages under a range; without mincore every page counts as
// resident, which is slower but gives the same fingerprints.
class Residency {
public:
    Residency(const void *begin, std::size_t size)
    {
        const auto b = reinterpret_cast<std::uintptr_t>(begin);
#ifdef VELORA_HAVE_MINCORE
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
        if (page_ == 0)
            page_ = 4096;
        first_ = b / page_;
        const std::size_t pages = size == 0 ? 0 : (b + size - 1) / page_ - first_ + 1;
        resident_.assign(pages, 1);
#ifdef VELORA_HAVE_MINCORE
        if (pages > 0 && call_mincore(&mincore, first_ * page_, pages * page_, resident_.data()) != 0)
            resident_.assign(pages, 1);
        for (auto &r : resident_)
            r &= 1;
#endif
    }
    bool resident(std::uintptr_t addr) const
    {
        return resident_[addr / page_ - first_] != 0;
    }
    std::size_t page() const
    {
        return page_;
    }
    std::size_t count() const
    {
        std::size_t n = 0;
        for (unsigned char r : resident_)
            n += r;
        return n;
    }

private:
    std::size_t page_ = 0;
    std::uintptr_t first_ = 0;
    std::vector<unsigned char> resident_;
};

uint64_t mix(uint64_t h, uint64_t w)
{
    h ^= w;
    h = (h << 31) | (h >> 33);
    return h * 0x9E3779B97F4A7C15ull;
}

// Hash of the non-zero 64-byte blocks of [begin, begin + size), each with its
// offset from begin; bytes on pages that are not resident read as zero.
uint64_t hash_range(const Residency &res, const unsigned char *begin, std::size_t size)
{
    static const unsigned char zeros[block] = {};
    uint64_t h = 0x243F6A8885A308D3ull ^ size;
    std::size_t off = 0;
    while (off < size) {
        const auto addr = reinterpret_cast<std::uintptr_t>(begin + off);
        if (!res.resident(addr)) {
            // Skip to the block that reaches into the next page.
            const std::uintptr_t next_page = (addr / res.page() + 1) * res.page();
            const std::size_t to = (next_page - reinterpret_cast<std::uintptr_t>(begin)) / block * block;
            if (to > off) {
                off = to;
                continue;
            }
        }
        const std::size_t n = size - off < block ? size - off : block;
        unsigned char buf[block] = {};
        for (std::size_t i = 0; i < n;) {
            const auto a = reinterpret_cast<std::uintptr_t>(begin + off + i);
            std::size_t run = (a / res.page() + 1) * res.page() - a;  // bytes left on this page
            if (run > n - i)
                run = n - i;
            if (res.resident(a))
                std::memcpy(buf + i, begin + off + i, run);
            i += run;
        }
        if (std::memcmp(buf, zeros, block) != 0) {
            h = mix(h, off);
            for (std::size_t i = 0; i < block; i += 8) {
                uint64_t w;
                std::memcpy(&w, buf + i, 8);
                h = mix(h, w);
            }
        }
        off += block;
    }
    return mix(h, size);
}

}  // namespace

bool StoreFingerprint::operator==(const StoreFingerprint &o) const
{
    if (whole != o.whole || fields.size() != o.fields.size())
        return false;
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].hash != o.fields[i].hash)
            return false;
    return true;
}

StoreFingerprint store_fingerprint(const ExamStore &st)
{
    const auto *base = reinterpret_cast<const unsigned char *>(&st);
    const Residency res(base, sizeof st);
    StoreFingerprint fp;
    auto add = [&](const char *name, const void *field, std::size_t size) {
        fp.fields.push_back({name, hash_range(res, static_cast<const unsigned char *>(field), size)});
    };
#define VELORA_FIELD(f) add(#f, &st.f, sizeof st.f)
    VELORA_FIELD(xuan_count);
    VELORA_FIELD(unxuan_count);
    VELORA_FIELD(stu_count);
    VELORA_FIELD(pro_score);
    VELORA_FIELD(pro_text);
    VELORA_FIELD(pro_len);
    VELORA_FIELD(ans_key);
    VELORA_FIELD(ans_text);
    VELORA_FIELD(ans_len);
    VELORA_FIELD(stu_name);
    VELORA_FIELD(stu_xuan);
    VELORA_FIELD(stu_text);
    VELORA_FIELD(stu_len);
    VELORA_FIELD(stu_score);
    VELORA_FIELD(stu_total);
    VELORA_FIELD(stu_marked);
    VELORA_FIELD(cur_stu);
    VELORA_FIELD(cur_pro);
    VELORA_FIELD(mark_steps);
    VELORA_FIELD(pro_path);
    VELORA_FIELD(ans_path);
    VELORA_FIELD(stu_path);
    VELORA_FIELD(tongji_done);
#undef VELORA_FIELD
    fp.whole = hash_range(res, base, sizeof st);
    return fp;
}

QStringList changed_fields(const StoreFingerprint &before, const StoreFingerprint &after)
{
    QStringList changed;
    for (int i = 0; i < before.fields.size() && i < after.fields.size(); ++i)
        if (before.fields[i].hash != after.fields[i].hash)
            changed << QString::fromLatin1(before.fields[i].name);
    if (changed.isEmpty() && before.whole != after.whole)
        changed << QStringLiteral("(padding)");
    return changed;
}

uint64_t range_fingerprint(const void *begin, std::size_t size)
{
    const Residency res(begin, size);
    return hash_range(res, static_cast<const unsigned char *>(begin), size);
}

std::size_t resident_pages(const void *begin, std::size_t size)
{
    return Residency(begin, size).count();
}

std::size_t pages_covering(const std::vector<std::pair<const void *, std::size_t>> &ranges)
{
    std::set<std::uintptr_t> pages;
    for (const auto &r : ranges) {
        if (r.second == 0)
            continue;
        const Residency res(r.first, 1);
        const auto b = reinterpret_cast<std::uintptr_t>(r.first);
        for (std::uintptr_t p = b / res.page(); p <= (b + r.second - 1) / res.page(); ++p)
            pages.insert(p);
    }
    return pages.size();
}
