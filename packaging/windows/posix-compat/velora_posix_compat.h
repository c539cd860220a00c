/* Forced into the Windows build of the tests and fuzz replays only (never into velora.exe): the few
   POSIX calls their fixtures make, failing the way a POSIX system without them would. */
#ifndef VELORA_POSIX_COMPAT_H
#define VELORA_POSIX_COMPAT_H
#ifdef _WIN32
#include <errno.h>

/* Windows has no FIFOs: a fixture that makes one sees it fail and says so. */
static inline int mkfifo(const char *path, unsigned mode)
{
    (void)path;
    (void)mode;
    errno = ENOSYS;
    return -1;
}

#ifndef _SC_PAGESIZE
#define _SC_PAGESIZE 30
#endif
static inline long sysconf(int name) { return name == _SC_PAGESIZE ? 4096 : -1; }

#endif
#endif
