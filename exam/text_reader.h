// The byte reader the three loaders share, over the decoded input: numbers
// and tokens by formatted extraction, and delimited texts running from "@" to
// the next "$".
#pragma once

#include "exam/exam_store.h"
#include "exam/text_input.h"

#include <cstdint>

// White space as formatted extraction skips it in the C locale.
inline bool is_space_byte(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class ReadStatus {
    ok,
    end,           // end of input (or a read error) before anything was found
    malformed,     // not a number
    out_of_range,  // a number the type cannot hold
    over_limit,    // a token longer than the room given
};

// Formatted extraction: skip white space, then the longest run of bytes that
// can continue the number; the byte that stops it is not consumed. Accepts what
// `istream >> int` / `>> double` accept in the C locale: sign, digits, and for
// reals an optional fraction and exponent. Independent of the C locale.
ReadStatus read_int(TextInput &in, int32_t &value);
ReadStatus read_real(TextInput &in, double &value);

// Formatted string extraction: skip white space, then the longest run of bytes
// that are not white space. buf has room for cap bytes and a 0 byte, which is
// written after the token; a token longer than cap is refused as over_limit.
ReadStatus read_token(TextInput &in, char *buf, int cap, int32_t &len);

enum class TextStatus {
    ok,
    no_start,      // input ended before an "@"
    unterminated,  // input ended before the closing "$"
    over_limit,    // more than limits::text_bytes bytes before the "$"
    read_failed,   // the file could not be read to its end
};

// Reads one delimited text from the current input: every byte up to and
// including the next "@" is skipped, then every byte up to the next "$" is
// stored unchanged into cell (room for limits::text_bytes bytes and a 0 byte),
// followed by a 0 byte; len gets the number of text bytes. On anything but ok
// the cell holds at most limits::text_bytes bytes of the partial text and len
// their number; nothing is written past the cell.
TextStatus read_delimited_text(TextInput &in, char *cell, int32_t &len);
