// Storage of the process-wide exam store and of blank stores for tests.
#include "exam/exam_store.h"

#include <cstdlib>
#include <new>

#if defined(__unix__)
#include <sys/mman.h>
#endif

ExamStore exam_store;  // zero-initialised static storage

// Anonymous mappings come zero-filled and stay unbacked until written, and
// sanitizers do not repaint a gigabyte of shadow on every free as they do for heap blocks.
void ExamStoreDeleter::operator()(ExamStore *s) const
{
#if defined(__unix__)
    munmap(s, sizeof(ExamStore));
#else
    std::free(s);
#endif
}

ExamStorePtr make_blank_store()
{
#if defined(__unix__)
    void *p
        = mmap(nullptr, sizeof(ExamStore), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
#else
    void *p = std::calloc(1, sizeof(ExamStore));
    if (!p)
        throw std::bad_alloc();
#endif
    return ExamStorePtr(static_cast<ExamStore *>(p));
}
