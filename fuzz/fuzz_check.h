// The check every fuzz target uses: a broken promise prints what and where and
// aborts, so libFuzzer keeps the input and the replay test fails.
#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "contract violated: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(cond, detail)                                                                                       \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::fuzz::fail(#cond, detail);                                                                               \
    } while (0)
