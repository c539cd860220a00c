// The staging arena that holds parsed texts until a load is committed, and the
// writes that put them into store cells touching no more pages than needed.
#pragma once

#include "exam/exam_store.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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
void put_staged_text(char *cell, int32_t &len_counter, const StagedText &t);
