// Fingerprints of an exam store, field by field, to prove that an operation
// changed nothing, or only the fields it owns. Only pages the process has
// touched are read: untouched pages hold zeros and zero blocks never enter a
// fingerprint, so fingerprinting a 1 GB store costs what its written part costs
// and makes no page resident.
#pragma once

#include "exam/exam_store.h"

#include <QStringList>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct StoreFingerprint {
    struct Field {
        const char *name;
        uint64_t hash;
    };
    QVector<Field> fields;  // every member of ExamStore, in declaration order
    uint64_t whole = 0;     // all bytes of the store, padding included

    bool operator==(const StoreFingerprint &o) const;
    bool operator!=(const StoreFingerprint &o) const { return !(*this == o); }
};

StoreFingerprint store_fingerprint(const ExamStore &st);

// Names of the fields whose fingerprints differ ("(padding)" when only bytes
// outside every field do), for readable test failures.
QStringList changed_fields(const StoreFingerprint &before, const StoreFingerprint &after);

// Fingerprint of any byte range, same rules; equal contents give equal hashes
// wherever the range lies.
uint64_t range_fingerprint(const void *begin, std::size_t size);

// How many pages of a range are resident: a probe that loads write only the
// cells they fill and leave the rest of the store untouched.
std::size_t resident_pages(const void *begin, std::size_t size);

// How many distinct pages the byte ranges cover: what resident_pages() may
// report at most when exactly those bytes were written.
std::size_t pages_covering(const std::vector<std::pair<const void *, std::size_t>> &ranges);
