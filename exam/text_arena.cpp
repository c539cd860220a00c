// The staging arena of parsed texts and the writes that commit them to the store.
#include "exam/text_arena.h"

#include <algorithm>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t cell_bytes = limits::text_bytes + 1;
constexpr std::size_t first_block_bytes = 256 * 1024;
constexpr std::size_t max_block_bytes = 64 * 1024 * 1024;
constexpr std::size_t prefault_step = 1024 * 1024;

}  // namespace

char *TextArena::cell()
{
    if (blocks_.empty() || block_size_ - used_ < cell_bytes) {
        // Growing blocks keep small loads small and large ones few in blocks.
        block_size_ = blocks_.empty() ? first_block_bytes : std::min(block_size_ * 2, max_block_bytes);
        blocks_.emplace_back(new char[block_size_]);
        used_ = 0;
        prefaulted_ = 0;
    }
    char *block = blocks_.back().get();
    if (used_ + cell_bytes > prefaulted_) {
        const std::size_t to = std::min(block_size_, used_ + cell_bytes + prefault_step);
        prefault_for_write(block + prefaulted_, to - prefaulted_);
        prefaulted_ = to;
    }
    return block + used_;
}

void prefault_for_write(void *p, std::size_t n)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (n == 0 || page == 0 || (page & (page - 1)) != 0)
        return;
    const auto b = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
    const auto e = (reinterpret_cast<std::uintptr_t>(p) + n + page - 1) & ~(page - 1);
    // Fails harmlessly on kernels without it (before 5.14).
    (void)madvise(reinterpret_cast<void *>(b), e - b, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)n;
#endif
}

void put_staged_text(char *cell, int32_t &len_counter, const StagedText &t)
{
    prefault_for_write(cell, static_cast<std::size_t>(t.len) + 1);
    if (t.len > 0)
        std::memcpy(cell, t.bytes, static_cast<std::size_t>(t.len));
    cell[t.len] = 0;
    len_counter = t.len;
}
