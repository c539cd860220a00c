// Shared reading machinery of the three loaders: one input per file, read in
// text mode (byte-order mark skipped, CR LF read as LF), numbers and tokens by
// formatted extraction, and delimited texts running from "@" to the next "$".
// Also the staging arena that holds parsed texts until a load is committed, and
// the path and file-opening helpers the loaders share.
#pragma once

#include "exam/exam_store.h"
#include "exam/loaders.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class QFile;

// White space as formatted extraction skips it in the C locale.
inline bool is_space_byte(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One file's bytes, read front to back in chunks. A UTF-8 byte-order mark at
// the very start is skipped and every CR LF pair is delivered as one LF (a lone
// CR stays), so every platform sees the same bytes. A read error ends the input
// and is remembered in failed().
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
    bool failed() const { return error_; }

    // Bulk access for the text reader: ensure() makes at least one byte
    // available (false at end), pos()/limit() bound the available bytes.
    bool ensure() { return cur_ != end_ || fill(); }
    const char *pos() const { return cur_; }
    const char *limit() const { return end_; }
    void consume(std::size_t n) { cur_ += n; }

private:
    bool fill();
    long long read_raw(char *to, long long max);

    std::unique_ptr<QIODevice> owned_;  // the buffer over in-memory bytes
    QIODevice *device_;
    std::unique_ptr<char[]> buf_;
    const char *cur_ = nullptr;
    const char *end_ = nullptr;
    bool started_ = false;
    bool pending_cr_ = false;  // a CR at a chunk's end waits for the next chunk
    bool at_eof_ = false;
    bool error_ = false;
};

enum class ReadStatus {
    ok,
    end,           // end of input (or a read error) before anything was found
    malformed,     // not a number
    out_of_range,  // a number the type cannot hold
    too_long,      // a token longer than the room given
};

// Formatted extraction: skip white space, then the longest run of bytes that
// can continue the number; the byte that stops it is not consumed. Accepts what
// `istream >> int` / `>> double` accept in the C locale: sign, digits, and for
// reals an optional fraction and exponent. Independent of the C locale.
ReadStatus read_int(TextInput &in, int32_t &value);
ReadStatus read_real(TextInput &in, double &value);

// Formatted string extraction: skip white space, then the longest run of bytes
// that are not white space. buf has room for cap bytes and a 0 byte, which is
// written after the token; a token longer than cap is refused as too_long.
ReadStatus read_token(TextInput &in, char *buf, int cap, int32_t &len);

enum class TextStatus {
    ok,
    no_start,      // input ended before an "@"
    unterminated,  // input ended before the closing "$"
    too_long,      // more than limits::text_bytes bytes before the "$"
    read_error,    // the file could not be read to its end
};

// Reads one delimited text from the current input: every byte up to and
// including the next "@" is skipped, then every byte up to the next "$" is
// stored unchanged into cell (room for limits::text_bytes bytes and a 0 byte),
// followed by a 0 byte; len gets the number of text bytes. On anything but ok
// the cell holds at most limits::text_bytes bytes of the partial text and len
// their number; nothing is written past the cell.
TextStatus read_delimited_text(TextInput &in, char *cell, int32_t &len);

// Parsed texts waiting for a load to be committed. Blocks never move, so the
// pointers handed out stay valid for the arena's lifetime.
class TextArena {
public:
    // Room for one text cell (limits::text_bytes bytes and a 0 byte).
    char *cell();
    // Keeps the first len bytes of the cell last handed out.
    void keep(int32_t len) { used_ += static_cast<std::size_t>(len); }

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t block_size_ = 0;
    std::size_t used_ = 0;
    std::size_t prefaulted_ = 0;
};

// A text kept for a later commit.
struct StagedText {
    const char *bytes = nullptr;
    int32_t len = 0;
};

// Makes the pages under [p, p + n) resident and writable in one request, as
// writing them would. A load writes ~10^5 separate cells; one request per cell
// costs far less than a page fault per page, above all under virtualisation.
// Best effort: where the system cannot do it, the writes fault the pages in.
void prefault_for_write(void *p, std::size_t n);

// Writes a text into a store cell: its bytes and one 0 byte, nothing more, so
// the rest of the cell keeps its page untouched.
void put_text(char *cell, int32_t &len_counter, const StagedText &t);

// A path field's text as the store keeps it: the local 8-bit bytes.
QByteArray local_path_bytes(const QString &typed);

// Why a path of a `kind` of file (e.g. "试题文件") cannot be used: empty, a 0
// byte in it, or longer than limits::path_bytes. A full message, or an empty
// string when the path can be used.
QString path_problem(const QString &kind, const QString &typed, const QByteArray &local);

enum class OpenStatus { ok, missing, not_a_file, unreadable };

// Opens the file named by local 8-bit path bytes for reading. Anything but a
// regular file (a directory, a device, a pipe) is refused before it is opened,
// so a load never waits on a pipe or reads an endless device.
OpenStatus open_input_file(QFile &file, const QByteArray &path);

// Why a `kind` of file at `typed` could not be opened, as a full message.
QString open_problem(const QString &kind, const QString &typed, OpenStatus status);

// A refused load and its message.
LoadResult refused(const QString &error);

// The common start of every load of a `kind` of file: check the typed path,
// open the file (or take bytes already in memory), then hand the input and the
// path's local 8-bit bytes to `load`.
using LoadInput = std::function<LoadResult(TextInput &in, const QByteArray &local)>;
LoadResult load_from_file(const QString &kind, const QString &typed, const LoadInput &load);
LoadResult load_from_bytes(const QString &kind, const QString &typed, const QByteArray &content,
                           const LoadInput &load);

// The loaders' messages pass through the window's translation context.
QString velora_tr(const char *source_text);
