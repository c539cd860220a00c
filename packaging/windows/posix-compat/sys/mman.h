/* Windows build of the tests and fuzz replays only (never velora.exe): mincore from the working
   set, which is what "resident" means there, and madvise(MADV_DONTNEED) as its contents promise:
   the range reads as zero afterwards (it stays resident, which callers only count against). */
#ifndef VELORA_COMPAT_SYS_MMAN_H
#define VELORA_COMPAT_SYS_MMAN_H
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <psapi.h>

static inline int mincore(void *addr, size_t length, unsigned char *vec)
{
    const size_t page = 4096;
    /* As POSIX: the start must be page-aligned, and vec has one byte per page of length. */
    if ((uintptr_t)addr % page != 0) {
        errno = EINVAL;
        return -1;
    }
    const uintptr_t first = (uintptr_t)addr;
    const size_t pages = (length + page - 1) / page;
    PSAPI_WORKING_SET_EX_INFORMATION *info =
        (PSAPI_WORKING_SET_EX_INFORMATION *)calloc(pages ? pages : 1, sizeof *info);
    if (!info) {
        errno = ENOMEM;
        return -1;
    }
    for (size_t i = 0; i < pages; ++i)
        info[i].VirtualAddress = (PVOID)(first + i * page);
    const BOOL ok = QueryWorkingSetEx(GetCurrentProcess(), info, (DWORD)(pages * sizeof *info));
    for (size_t i = 0; ok && i < pages; ++i)
        vec[i] = (unsigned char)(info[i].VirtualAttributes.Valid ? 1 : 0);
    free(info);
    if (!ok) {
        errno = ENOSYS;
        return -1;
    }
    return 0;
}

#define MADV_DONTNEED 4
static inline int madvise(void *addr, size_t length, int advice)
{
    if (advice == MADV_DONTNEED)
        memset(addr, 0, length);
    return 0;
}
#endif
