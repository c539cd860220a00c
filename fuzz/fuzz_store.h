// Shared machinery of the loader fuzz targets: one blank store per process,
// compared page by page with a prefilled reference after every load and
// brought back to it, and a small model of the reading rules the loaders
// follow, so that a target checks results and not only survival.
#pragma once

#include "exam/answer_loader.h"
#include "exam/exam_store.h"
#include "exam/problem_loader.h"
#include "exam/roster_loader.h"
#include "fuzz/fuzz_check.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/store_checksum.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

// The store bookkeeping walks a gigabyte of page flags per input; coverage
// of that walk tells the fuzzer nothing and costs most of its time.
#if defined(__clang__)
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_NO_COVERAGE
#endif

namespace fuzz {

// Where each member of the store lies, to name the fields a load changed.
struct FieldSpan {
    const char *name;
    std::size_t offset, size;
};
#define VELORA_SPAN(f)                                                                                                 \
    FieldSpan                                                                                                          \
    {                                                                                                                  \
#f, offsetof(ExamStore, f), sizeof(ExamStore::f)                                                               \
    }
inline const FieldSpan spans[] = {
    VELORA_SPAN(xuan_count), VELORA_SPAN(unxuan_count), VELORA_SPAN(stu_count), VELORA_SPAN(pro_score),
    VELORA_SPAN(pro_text),   VELORA_SPAN(pro_len),      VELORA_SPAN(ans_key),   VELORA_SPAN(ans_text),
    VELORA_SPAN(ans_len),    VELORA_SPAN(stu_name),     VELORA_SPAN(stu_xuan),  VELORA_SPAN(stu_text),
    VELORA_SPAN(stu_len),    VELORA_SPAN(stu_score),    VELORA_SPAN(stu_total), VELORA_SPAN(stu_marked), VELORA_SPAN(cur_stu),
    VELORA_SPAN(cur_pro),    VELORA_SPAN(mark_steps),   VELORA_SPAN(pro_path),  VELORA_SPAN(ans_path),
    VELORA_SPAN(stu_path),   VELORA_SPAN(tongji_done),
};
#undef VELORA_SPAN

// The working store and the prefilled reference it is brought back to.
struct Stores {
    ExamStorePtr work;
    ExamStorePtr ref;
    std::vector<std::size_t> ref_pages;  // pages of the reference that hold anything
    StoreFingerprint ref_fingerprint;
    std::size_t page = 4096, pages = 0;
    std::vector<unsigned char> resident;  // mincore scratch
    unsigned long inputs = 0;
};

inline Stores &stores()
{
    static Stores *s = [] {
        // Names become file names through the locale's codec; make it UTF-8 whatever the caller's.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        auto *n = new Stores;
        n->ref = prefilled_store();
        n->work = prefilled_store();
        n->page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        n->pages = (sizeof(ExamStore) + n->page - 1) / n->page;
        n->resident.assign(n->pages, 1);
        const auto *r = reinterpret_cast<const unsigned char *>(n->ref.get());
        if (mincore(const_cast<unsigned char *>(r), n->pages * n->page, n->resident.data()) != 0)
            n->resident.assign(n->pages, 1);
        for (std::size_t i = 0; i < n->pages; ++i)
            if (n->resident[i] & 1)
                n->ref_pages.push_back(i);
        n->ref_fingerprint = store_fingerprint(*n->ref);
        return n;
    }();
    return *s;
}

// Pages of the working store that differ from the reference. Untouched pages
// read as zero, and a page the reference leaves untouched is zero there too,
// so only pages resident in either store can differ.
FUZZ_NO_COVERAGE inline std::vector<std::size_t> changed_pages()
{
    Stores &s = stores();
    auto *w = reinterpret_cast<unsigned char *>(s.work.get());
    const auto *r = reinterpret_cast<const unsigned char *>(s.ref.get());
    if (mincore(w, s.pages * s.page, s.resident.data()) != 0)
        s.resident.assign(s.pages, 1);
    for (std::size_t i : s.ref_pages)
        s.resident[i] |= 1;
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < s.pages; ++i) {
        if (!(s.resident[i] & 1))
            continue;
        const std::size_t off = i * s.page;
        const std::size_t n = std::min(s.page, sizeof(ExamStore) - off);
        if (std::memcmp(w + off, r + off, n) != 0)
            out.push_back(i);
    }
    return out;
}

// Names of the fields whose bytes differ on the given pages.
FUZZ_NO_COVERAGE inline QStringList fields_on(const std::vector<std::size_t> &pages)
{
    Stores &s = stores();
    const auto *w = reinterpret_cast<const unsigned char *>(s.work.get());
    const auto *r = reinterpret_cast<const unsigned char *>(s.ref.get());
    QStringList names;
    for (std::size_t i : pages) {
        const std::size_t b = i * s.page, e = std::min(b + s.page, sizeof(ExamStore));
        for (const FieldSpan &f : spans) {
            const std::size_t fb = std::max(b, f.offset), fe = std::min(e, f.offset + f.size);
            if (fb >= fe)
                continue;
            if (std::memcmp(w + fb, r + fb, fe - fb) != 0 && !names.contains(QLatin1String(f.name)))
                names << QLatin1String(f.name);
        }
    }
    if (names.isEmpty() && !pages.empty())
        names << QStringLiteral("(padding)");
    return names;
}

// Brings the working store back to the reference: pages the reference leaves
// zero are dropped (zero-filled again when next touched), the others copied.
FUZZ_NO_COVERAGE inline void restore(const std::vector<std::size_t> &pages)
{
    Stores &s = stores();
    auto *w = reinterpret_cast<unsigned char *>(s.work.get());
    const auto *r = reinterpret_cast<const unsigned char *>(s.ref.get());
    static const std::vector<unsigned char> zeros(s.page, 0);
    for (std::size_t i : pages) {
        const std::size_t off = i * s.page;
        const std::size_t n = std::min(s.page, sizeof(ExamStore) - off);
        if (n == s.page && std::memcmp(r + off, zeros.data(), n) == 0)
            madvise(w + off, n, MADV_DONTNEED);
        else
            std::memcpy(w + off, r + off, n);
    }
}

// After a load over the store the caller set up from the reference (counts
// set to choice/written): a refusal must have a message and leave the store as
// it was; a success may change only the fields the loader owns. The store is
// the reference again afterwards, but for owned fields of a success, which
// stay until finish(). Returns whether the load succeeded.
struct Outcome {
    bool ok;
    std::vector<std::size_t> pages;  // what finish() must put back
};

inline Outcome check_outcome(const LoadError &r, int32_t choice, int32_t written, const QStringList &owned)
{
    Stores &s = stores();
    ExamStore &w = *s.work;
    // The counts the caller set must still be there, unless the loader owns them.
    if (!owned.contains(QLatin1String("xuan_count"))) {
        FUZZ_CHECK(w.xuan_count == choice && w.unxuan_count == written, QStringLiteral("counts changed"));
        w.xuan_count = s.ref->xuan_count;
        w.unxuan_count = s.ref->unxuan_count;
    }
    Outcome out{r.ok(), changed_pages()};
    const QStringList changed = fields_on(out.pages);
    const QString message = load_error_message(r);
    if (!r.ok()) {
        FUZZ_CHECK(!message.isEmpty(), QStringLiteral("refused without a message"));
        if (!changed.isEmpty())
            fail("a refused load changed the store:", changed.join(QLatin1Char(',')));
    } else {
        FUZZ_CHECK(message.isEmpty(), message);
        for (const QString &f : changed)
            FUZZ_CHECK(owned.contains(f), f);
    }
    return out;
}

inline void finish(const Outcome &o)
{
    Stores &s = stores();
    restore(o.pages);
    // Now and then prove the restore exact with the field-wise fingerprint.
    if (++s.inputs % 512 == 0) {
        const StoreFingerprint now = store_fingerprint(*s.work);
        if (now != s.ref_fingerprint)
            fail("restore left a difference:", changed_fields(s.ref_fingerprint, now).join(QLatin1Char(',')));
    }
}

// A 0-terminated field: the terminator lies within its room.
inline bool terminated(const char *p, std::size_t room)
{
    return std::memchr(p, 0, room) != nullptr;
}

// A stored text cell: its length within capacity, its 0 byte in place.
inline void check_cell(const char *cell, int32_t len)
{
    FUZZ_CHECK(len >= 0 && len <= limits::text_bytes, QString::number(len));
    FUZZ_CHECK(cell[len] == 0, QString::number(len));
}

// ---- The reading rules, modelled plainly. ----

// A file that starts with a UTF-16 byte-order mark, as UTF-8: the text up to
// the first damage (an unpaired surrogate, an odd last byte), and whether
// there was any.
inline QByteArray from_utf16(const QByteArray &raw, bool &damaged)
{
    const bool big = static_cast<unsigned char>(raw[0]) == 0xFE;
    const int units = (raw.size() - 2) / 2;
    auto unit = [&](int i) {
        const auto a = static_cast<unsigned char>(raw[2 + 2 * i]), b = static_cast<unsigned char>(raw[3 + 2 * i]);
        return static_cast<char16_t>(big ? (a << 8 | b) : (b << 8 | a));
    };
    QString text;
    damaged = raw.size() % 2 != 0;
    for (int i = 0; i < units; ++i) {
        const QChar c(unit(i));
        if (c.isHighSurrogate() && i + 1 < units && QChar(unit(i + 1)).isLowSurrogate()) {
            text += c;
            text += QChar(unit(++i));
        } else if (c.isSurrogate()) {
            damaged = true;
            break;
        } else {
            text += c;
        }
    }
    return text.toUtf8();
}

// What the loaders see of a file: a leading UTF-8 byte-order mark dropped, or
// a UTF-16 file as the UTF-8 bytes of its text (damaged tells it could not be
// read whole); then every CR LF pair read as one LF.
inline QByteArray text_mode(const QByteArray &raw, bool *damaged = nullptr)
{
    bool bad = false;
    QByteArray in;
    if (raw.startsWith("\xFF\xFE") || raw.startsWith("\xFE\xFF"))
        in = from_utf16(raw, bad);
    else
        in = raw.startsWith("\xEF\xBB\xBF") ? raw.mid(3) : raw;
    if (damaged)
        *damaged = bad;
    QByteArray out;
    out.reserve(in.size());
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n')
            continue;
        out.append(in[i]);
    }
    return out;
}

inline bool space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class Got { ok, end, bad, unsure };  // unsure: a value at the edge of double's range

struct Reader {
    QByteArray s;
    int pos = 0;

    bool skip_space()
    {
        while (pos < s.size() && space(s[pos]))
            ++pos;
        return pos < s.size();
    }
    int digits(QByteArray &text)
    {
        int n = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            text.append(s[pos++]);
            ++n;
        }
        return n;
    }
    // A count: sign, digits; a 32-bit value; at most 400 characters.
    Got integer(int32_t &v)
    {
        if (!skip_space())
            return Got::end;
        QByteArray t;
        if (s[pos] == '+' || s[pos] == '-')
            t.append(s[pos++]);
        if (digits(t) == 0)
            return Got::bad;
        if (t.size() > 400)
            return Got::bad;
        // Without sign and leading zeros, more than ten digits never fit.
        const bool negative = t.startsWith('-');
        QByteArray d = (t.startsWith('+') || negative) ? t.mid(1) : t;
        while (d.size() > 1 && d[0] == '0')
            d.remove(0, 1);
        if (d.size() > 10)
            return Got::bad;
        const qlonglong x = (negative ? -1 : 1) * d.toLongLong();
        if (x < INT32_MIN || x > INT32_MAX)
            return Got::bad;
        v = static_cast<int32_t>(x);
        return Got::ok;
    }
    // A score: sign, digits, fraction, exponent as the stream takes them.
    Got real(double &v)
    {
        if (!skip_space())
            return Got::end;
        QByteArray t;
        if (s[pos] == '+' || s[pos] == '-')
            t.append(s[pos++]);
        int mant = digits(t);
        if (pos < s.size() && s[pos] == '.') {
            t.append(s[pos++]);
            mant += digits(t);
        }
        if (mant == 0)
            return Got::bad;
        if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
            t.append(s[pos++]);
            if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
                t.append(s[pos++]);
            if (digits(t) == 0)
                return Got::bad;
        }
        if (t.size() > 398)
            return Got::unsure;  // near the reader's length limit
        const QByteArray body = t.startsWith('+') ? t.mid(1) : t;
        errno = 0;
        char *endp = nullptr;
        v = std::strtod(body.constData(), &endp);
        if (errno == ERANGE)
            return Got::unsure;
        return Got::ok;
    }
    // A token: the longest run of non-space bytes.
    Got token(QByteArray &tok)
    {
        if (!skip_space())
            return Got::end;
        const int b = pos;
        while (pos < s.size() && !space(s[pos]))
            ++pos;
        tok = s.mid(b, pos - b);
        return Got::ok;
    }
    enum class Text { ok, no_start, unterminated, over_limit };
    // A delimited text: after the next "@", everything up to the next "$".
    Text text(QByteArray &t)
    {
        const int at = s.indexOf('@', pos);
        if (at < 0) {
            pos = s.size();
            return Text::no_start;
        }
        const int dollar = s.indexOf('$', at + 1);
        const int stop = dollar < 0 ? s.size() : dollar;
        if (stop - (at + 1) > limits::text_bytes) {
            pos = s.size();
            return Text::over_limit;
        }
        t = s.mid(at + 1, stop - at - 1);
        pos = dollar < 0 ? s.size() : dollar + 1;
        return dollar < 0 ? Text::unterminated : Text::ok;
    }
};

inline QByteArray cell_bytes(const char *cell, int32_t len)
{
    return QByteArray(cell, len);
}

}  // namespace fuzz
