// The mark journals velora 1.0.0 kept, one file per exam: read once so that
// their marks can be offered to the mark library, then set aside.
//
// A journal is <key>.journal in the per-user data folder, <key> being
// ExamIdentity::key() of its exam: the roster's names in order, the question
// counts and maxima. Its records, integers little-endian:
//   u32 length, u8 type, `length` bytes of payload, u32 CRC-32 (IEEE 802.3)
//   of length, type and payload.
//   'H'  u32 format version (1), then ExamIdentity::canonical(): first record only
//   'M'  i32 student, i32 written question (both from 1), f64 mark, i64 ms since 1970
//   'E'  i64 ms since 1970: a workbook exported then holds every mark before it
// A torn last record (nothing valid behind it) is dropped; any other damage,
// or a header of another exam, makes the whole journal unusable.
#pragma once

#include "exam/exam_identity.h"

#include <QString>
#include <QVector>

struct LegacyMark {
    int student = 0;   // roster position, from 1
    int question = 0;  // written question, from 1
    double value = 0;
    bool exported = false;  // a workbook was exported after the journal began
    double exported_value = 0;  // what that workbook holds (0 for a mark given after it)
    qint64 given_ms = 0;
};

enum class LegacyState {
    none,     // no journal of this exam
    found,    // read: marks holds its marks
    damaged,  // unusable; set aside, nothing to apply
    unreadable,
};

struct LegacyJournal {
    LegacyState state = LegacyState::none;
    QString path;  // the journal; after set_aside(), where it went
    QVector<LegacyMark> marks;
};

// The 1.0.0 journal of the exam `id`, read from `folder`; a damaged one is set aside at once.
LegacyJournal read_legacy_journal(const QString &folder, const ExamIdentity &id);
// Renames the journal to <key>.imported (-2, -3 … where taken), so it is offered once; false if it stays.
bool set_aside_legacy_journal(LegacyJournal &j);
