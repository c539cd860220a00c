// The loaders' byte reader: formatted extraction of numbers and tokens, and
// delimited texts, over the decoded input.
#include "exam/text_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <type_traits>

namespace {

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

bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

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

// What every number starts with: white space skipped, an optional sign, then
// digits; end at the end of input, out_of_range when they overflow the buffer.
ReadStatus take_sign_and_digits(TextInput &in, char *text, int &n, bool &any)
{
    if (!skip_space(in))
        return ReadStatus::end;
    const int c = in.peek();
    if (c == '+' || c == '-')
        text[n++] = static_cast<char>(in.get());
    return take_digits(in, text, n, any) ? ReadStatus::ok : ReadStatus::out_of_range;
}

template <typename T> ReadStatus convert(const char *text, int n, T &value)
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

namespace {

// The longest run that can continue the number: for reals also a fraction and
// an exponent, as `istream >> double` takes them.
template <typename T> ReadStatus read_number(TextInput &in, T &value)
{
    char text[max_number_chars];
    int n = 0;
    bool mantissa = false;
    const ReadStatus s = take_sign_and_digits(in, text, n, mantissa);
    if (s != ReadStatus::ok)
        return s;
    if constexpr (std::is_floating_point_v<T>) {
        if (in.peek() == '.') {
            if (n == max_number_chars)
                return ReadStatus::out_of_range;
            text[n++] = static_cast<char>(in.get());
            if (!take_digits(in, text, n, mantissa))
                return ReadStatus::out_of_range;
        }
    }
    if (!mantissa)
        return ReadStatus::malformed;
    if constexpr (std::is_floating_point_v<T>) {
        int c = in.peek();
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
    }
    return convert(text, n, value);
}

}  // namespace

ReadStatus read_int(TextInput &in, int32_t &value)
{
    return read_number(in, value);
}

ReadStatus read_real(TextInput &in, double &value)
{
    return read_number(in, value);
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
            return ReadStatus::over_limit;
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
            return in.failed() ? TextStatus::read_failed : TextStatus::no_start;
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
            return in.failed() ? TextStatus::read_failed : TextStatus::unterminated;
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
            return TextStatus::over_limit;
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
