// The loaders' byte reader: chunked text-mode input, formatted extraction of
// numbers and tokens, and delimited texts.
#include "exam/text_reader.h"

#include <QBuffer>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

constexpr long long chunk_bytes = 256 * 1024;

// No real count or score is this long; a longer run of digits is refused
// instead of being collected without bound.
constexpr int max_number_chars = 400;

bool skip_space(TextInput &in)
{
    for (;;) {
        const int c = in.peek();
        if (c < 0)
            return false;
        if (!is_space_byte(c))
            return true;
        in.get();
    }
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Moves digits from the input into text; false when there are too many.
bool take_digits(TextInput &in, char *text, int &n, bool &any)
{
    while (is_digit(in.peek())) {
        if (n == max_number_chars)
            return false;
        text[n++] = static_cast<char>(in.get());
        any = true;
    }
    return true;
}

template <typename T>
ReadStatus convert(const char *text, int n, T &value)
{
    const char *first = text;
    if (*first == '+')  // from_chars takes no plus sign
        ++first;
    T v{};
    const auto r = std::from_chars(first, text + n, v);
    if (r.ec == std::errc::result_out_of_range)
        return ReadStatus::out_of_range;
    if (r.ec != std::errc() || r.ptr != text + n)
        return ReadStatus::malformed;
    value = v;
    return ReadStatus::ok;
}

}  // namespace

TextInput::TextInput(QIODevice &device) : device_(&device) {}

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
        buf_.reset(new char[chunk_bytes + 1]);
    for (;;) {
        if (at_eof_) {
            cur_ = end_ = buf_.get();
            if (pending_cr_ && !error_) {
                pending_cr_ = false;
                buf_[0] = '\r';
                end_ = cur_ + 1;
                return true;
            }
            return false;
        }
        // Slot 0 stays free for a CR held back from the previous chunk.
        char *begin = buf_.get() + 1;
        const long long n = read_raw(begin, chunk_bytes);
        if (error_)
            at_eof_ = true;
        if (n <= 0) {
            at_eof_ = true;
            continue;
        }
        char *stop = begin + n;
        if (!started_) {
            started_ = true;
            if (n >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
                begin += 3;
        } else if (pending_cr_) {
            pending_cr_ = false;
            if (*begin != '\n')
                *--begin = '\r';  // a lone CR stays
        }
        stop = collapse_crlf(begin, stop);
        if (begin == stop)
            continue;
        cur_ = begin;
        end_ = stop;
        return true;
    }
}

ReadStatus read_int(TextInput &in, int32_t &value)
{
    if (!skip_space(in))
        return ReadStatus::end;
    char text[max_number_chars];
    int n = 0;
    const int c = in.peek();
    if (c == '+' || c == '-')
        text[n++] = static_cast<char>(in.get());
    bool any = false;
    if (!take_digits(in, text, n, any))
        return ReadStatus::out_of_range;
    if (!any)
        return ReadStatus::malformed;
    return convert(text, n, value);
}

ReadStatus read_real(TextInput &in, double &value)
{
    if (!skip_space(in))
        return ReadStatus::end;
    char text[max_number_chars];
    int n = 0;
    int c = in.peek();
    if (c == '+' || c == '-')
        text[n++] = static_cast<char>(in.get());
    bool mantissa = false;
    if (!take_digits(in, text, n, mantissa))
        return ReadStatus::out_of_range;
    if (in.peek() == '.') {
        if (n == max_number_chars)
            return ReadStatus::out_of_range;
        text[n++] = static_cast<char>(in.get());
        if (!take_digits(in, text, n, mantissa))
            return ReadStatus::out_of_range;
    }
    if (!mantissa)
        return ReadStatus::malformed;
    c = in.peek();
    if (c == 'e' || c == 'E') {
        // Like the stream, an exponent mark without digits spoils the number.
        if (n + 2 >= max_number_chars)
            return ReadStatus::out_of_range;
        text[n++] = static_cast<char>(in.get());
        c = in.peek();
        if (c == '+' || c == '-')
            text[n++] = static_cast<char>(in.get());
        bool exponent = false;
        if (!take_digits(in, text, n, exponent))
            return ReadStatus::out_of_range;
        if (!exponent)
            return ReadStatus::malformed;
    }
    return convert(text, n, value);
}

ReadStatus read_token(TextInput &in, char *buf, int cap, int32_t &len)
{
    len = 0;
    buf[0] = 0;
    if (!skip_space(in))
        return ReadStatus::end;
    for (;;) {
        const int c = in.peek();
        if (c < 0 || is_space_byte(c))
            break;
        if (len == cap) {
            buf[len] = 0;
            return ReadStatus::too_long;
        }
        buf[len++] = static_cast<char>(in.get());
    }
    buf[len] = 0;
    return ReadStatus::ok;
}

TextStatus read_delimited_text(TextInput &in, char *cell, int32_t &len)
{
    len = 0;
    for (;;) {
        if (!in.ensure())
            return in.failed() ? TextStatus::read_error : TextStatus::no_start;
        const std::size_t avail = in.limit() - in.pos();
        const char *at = static_cast<const char *>(std::memchr(in.pos(), '@', avail));
        if (at) {
            in.consume(at - in.pos() + 1);
            break;
        }
        in.consume(avail);
    }
    for (;;) {
        if (!in.ensure())
            return in.failed() ? TextStatus::read_error : TextStatus::unterminated;
        const std::size_t avail = in.limit() - in.pos();
        const std::size_t room = limits::text_bytes - static_cast<std::size_t>(len);
        // Looking one byte past the room tells an overlong text from a full one.
        const std::size_t look = std::min(avail, room + 1);
        const char *dollar = static_cast<const char *>(std::memchr(in.pos(), '$', look));
        const std::size_t take = dollar ? static_cast<std::size_t>(dollar - in.pos()) : look;
        if (take > room) {
            std::memcpy(cell + len, in.pos(), room);
            in.consume(room);
            len = limits::text_bytes;
            cell[len] = 0;
            return TextStatus::too_long;
        }
        std::memcpy(cell + len, in.pos(), take);
        len += static_cast<int32_t>(take);
        if (dollar) {
            in.consume(take + 1);
            cell[len] = 0;
            return TextStatus::ok;
        }
        in.consume(take);
    }
}
