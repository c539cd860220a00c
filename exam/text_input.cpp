// The decoder of input files: chunked reading, byte-order marks, UTF-16 to
// UTF-8, CR LF to LF; and the UTF-8 check.
#include "exam/text_input.h"

#include <QBuffer>

#include <cstring>

namespace {

constexpr long long chunk_bytes = 256 * 1024;
// A chunk and the held-back CR; a UTF-16 chunk grows by at most half as UTF-8.
constexpr long long buffer_bytes = 1 + chunk_bytes / 2 * 3 + 8;

}  // namespace

TextInput::TextInput(QIODevice &device) : device_(&device) { }

TextInput::TextInput(const QByteArray &bytes)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);  // shares the bytes, no copy
    buffer->open(QIODevice::ReadOnly);
    device_ = buffer.get();
    owned_ = std::move(buffer);
}

TextInput::~TextInput() = default;

long long TextInput::read_raw(char *to, long long max)
{
    long long got = 0;
    // A short read is not the end; only 0 is.
    while (got < max) {
        const qint64 n = device_->read(to + got, max - got);
        if (n < 0) {
            error_ = true;  // what came before still counts; the input ends here
            break;
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

char *TextInput::collapse_crlf(char *begin, char *stop)
{
    char *w = static_cast<char *>(std::memchr(begin, '\r', stop - begin));
    if (!w)
        return stop;
    const char *r = w;
    while (r < stop) {
        const char c = *r++;
        if (c == '\r') {
            if (r == stop) {
                pending_cr_ = true;  // its LF may open the next chunk
                break;
            }
            if (*r == '\n')
                continue;  // CR LF: keep only the LF
        }
        *w++ = c;
    }
    return w;
}

bool TextInput::fill()
{
    if (!buf_)
        buf_.reset(new char[buffer_bytes]);
    for (;;) {
        if (at_eof_) {
            cur_ = end_ = buf_.get();
            if (pending_cr_ && !failed()) {
                pending_cr_ = false;
                buf_[0] = '\r';
                end_ = cur_ + 1;
                return true;
            }
            return false;
        }
        // Slot 0 stays free for a CR held back from the previous chunk.
        char *begin = buf_.get() + 1;
        long long n = 0;
        if (!started_) {
            started_ = true;
            n = read_raw(begin, chunk_bytes);
            const auto *b = reinterpret_cast<const unsigned char *>(begin);
            if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
                utf16_ = true;
                big_endian_ = b[0] == 0xFE;
                raw_.reset(new unsigned char[chunk_bytes]);
                carry_ = n - 2;
                std::memcpy(raw_.get(), begin + 2, static_cast<std::size_t>(carry_));
                n = convert_utf16(begin, carry_, n < chunk_bytes);
            } else if (n >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) {
                begin += 3;
                n -= 3;
            }
        } else {
            n = utf16_ ? read_utf16(begin) : read_raw(begin, chunk_bytes);
            if (pending_cr_ && n > 0) {
                pending_cr_ = false;
                if (*begin != '\n') {
                    *--begin = '\r';  // a lone CR stays
                    ++n;
                }
            }
        }
        if (failed())
            at_eof_ = true;
        if (n <= 0) {
            at_eof_ = true;
            continue;
        }
        char *stop = collapse_crlf(begin, begin + n);
        if (begin == stop)
            continue;
        cur_ = begin;
        end_ = stop;
        return true;
    }
}

long long TextInput::read_utf16(char *to)
{
    for (;;) {
        const long long room = chunk_bytes - carry_;
        const long long got = read_raw(reinterpret_cast<char *>(raw_.get()) + carry_, room);
        // read_raw stops short only at the end of the file or at an error.
        const bool end = got < room;
        const long long n = convert_utf16(to, carry_ + got, end);
        if (n > 0 || end || failed())
            return n;
    }
}

long long TextInput::convert_utf16(char *to, long long have, bool end)
{
    const unsigned char *r = raw_.get();
    auto *w = reinterpret_cast<unsigned char *>(to);
    long long i = 0;
    for (; i + 1 < have; i += 2) {
        unsigned u = big_endian_ ? (unsigned(r[i]) << 8 | r[i + 1]) : (unsigned(r[i + 1]) << 8 | r[i]);
        const bool is_high = u >= 0xD800 && u <= 0xDBFF, is_low = u >= 0xDC00 && u <= 0xDFFF;
        if (high_ != 0) {
            if (!is_low) {
                damage_ = Utf16Damage::unpaired_surrogate;
                break;
            }
            u = 0x10000 + ((high_ - 0xD800) << 10) + (u - 0xDC00);
            high_ = 0;
        } else if (is_high) {
            high_ = u;
            continue;
        } else if (is_low) {
            damage_ = Utf16Damage::unpaired_surrogate;
            break;
        }
        if (u < 0x80) {
            *w++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *w++ = static_cast<unsigned char>(0xC0 | u >> 6);
            *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *w++ = static_cast<unsigned char>(0xE0 | u >> 12);
            *w++ = static_cast<unsigned char>(0x80 | (u >> 6 & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else {
            *w++ = static_cast<unsigned char>(0xF0 | u >> 18);
            *w++ = static_cast<unsigned char>(0x80 | (u >> 12 & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | (u >> 6 & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        }
    }
    if (damage_ == Utf16Damage::none && !error_) {
        carry_ = have - i;  // 0 or 1
        if (carry_ != 0)
            raw_[0] = r[i];
        if (end && carry_ != 0)
            damage_ = Utf16Damage::odd_length;
        else if (end && high_ != 0)
            damage_ = Utf16Damage::unpaired_surrogate;
    }
    return w - reinterpret_cast<unsigned char *>(to);
}

void TextInput::check_to_end()
{
    // The byte-order mark shows on the first read, which a load with nothing to read never made.
    if (!started_)
        ensure();
    if (!utf16_)
        return;
    while (fill())
        cur_ = end_;
}

bool is_utf8(const char *bytes, std::size_t n)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                lo = 0xA0;  // overlong
            else if (c == 0xED)
                hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                lo = 0x90;  // overlong
            else if (c == 0xF4)
                hi = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (n - i <= static_cast<std::size_t>(more))
            return false;
        if (p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (int k = 2; k <= more; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}
