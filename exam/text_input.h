// The decoder every loader reads a file through: one file's bytes as the
// loaders see them (byte-order mark skipped, UTF-16 turned into UTF-8, CR LF
// read as LF), read front to back in chunks; and the check whether bytes are
// UTF-8, behind the notices of texts in another encoding.
#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

class QIODevice;

// Bytes that form valid UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF, no sequence cut short).
bool is_utf8(const char *bytes, std::size_t n);

// Why a file that starts with a UTF-16 byte-order mark cannot be read.
enum class Utf16Damage { none, odd_length, unpaired_surrogate };

// A UTF-8 byte-order mark at the very start is skipped; a file that starts
// with a UTF-16 one (FF FE or FE FF) is delivered as the UTF-8 bytes of the
// same text, the mark dropped. Then every CR LF pair is delivered as one LF (a
// lone CR stays), so every platform sees the same bytes. A read error or
// damaged UTF-16 ends the input and is remembered in failed().
class TextInput {
public:
    explicit TextInput(QIODevice &device);        // device open for reading
    explicit TextInput(const QByteArray &bytes);  // the same bytes held in memory
    ~TextInput();
    TextInput(const TextInput &) = delete;
    TextInput &operator=(const TextInput &) = delete;

    // Next byte (0 … 255), or -1 at end of input.
    int get()
    {
        if (cur_ == end_ && !fill())
            return -1;
        return static_cast<unsigned char>(*cur_++);
    }
    int peek()
    {
        if (cur_ == end_ && !fill())
            return -1;
        return static_cast<unsigned char>(*cur_);
    }
    bool failed() const { return error_ || damage_ != Utf16Damage::none; }
    Utf16Damage damage() const { return damage_; }

    // A UTF-16 file is checked to its end even where a parse stops reading
    // early, so a damaged one is refused however far it was read.
    void check_to_end();

    // Bulk access for the text reader: ensure() makes at least one byte
    // available (false at end), pos()/limit() bound the available bytes.
    bool ensure() { return cur_ != end_ || fill(); }
    const char *pos() const { return cur_; }
    const char *limit() const { return end_; }
    void consume(std::size_t n) { cur_ += n; }

private:
    bool fill();
    // Drops the CR of every CR LF pair in [begin, stop) and returns the new end.
    char *collapse_crlf(char *begin, char *stop);
    long long read_raw(char *to, long long max);
    long long read_utf16(char *to);
    // Converts the have raw bytes in raw_ into UTF-8 at to; end: the file ends after them.
    long long convert_utf16(char *to, long long have, bool end);

    std::unique_ptr<QIODevice> owned_;  // the buffer over in-memory bytes
    QIODevice *device_;
    std::unique_ptr<char[]> buf_;
    const char *cur_ = nullptr;
    const char *end_ = nullptr;
    bool started_ = false;
    bool pending_cr_ = false;  // a CR at a chunk's end waits for the next chunk
    bool at_eof_ = false;
    bool error_ = false;
    // UTF-16 input: raw bytes, an odd byte and a high surrogate kept for the next chunk.
    bool utf16_ = false;
    bool big_endian_ = false;
    std::unique_ptr<unsigned char[]> raw_;
    long long carry_ = 0;
    unsigned high_ = 0;
    Utf16Damage damage_ = Utf16Damage::none;
};
