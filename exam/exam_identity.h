// The exam a set of marks belongs to: the roster's student names in roster
// order and the problem's question counts and maximum scores. Texts, answers
// and paths are not part of it, so reloading the same roster or the same
// problem file with a mended text keeps the exam, and its marks.
#pragma once

#include "exam/exam_store.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QVector>

struct ExamIdentity {
    QByteArrayList names;        // raw bytes, up to each name's first 0 byte, in roster order
    int xuan_count = 0;          // choice questions
    int unxuan_count = 0;        // written questions
    QVector<double> max_scores;  // pro_score[1 .. xuan_count + unxuan_count]

    // One byte string per identity, the same on every platform: a version
    // tag, then little-endian 32-bit counts, each maximum as its IEEE 754
    // bits (64-bit little-endian), and each name as its length and bytes.
    QByteArray canonical() const;
    // Lowercase hex of the SHA-256 of canonical(): 64 characters, usable as a file name.
    QString key() const;
};

bool operator==(const ExamIdentity &a, const ExamIdentity &b);
inline bool operator!=(const ExamIdentity &a, const ExamIdentity &b)
{
    return !(a == b);
}

// The exam the store holds now; counts outside the store's tables are taken
// as far as the tables reach.
ExamIdentity exam_identity(const ExamStore &st);

// The bytes of a stored name: up to its first 0 byte, at most limits::name_bytes.
QByteArray identity_name(const char *name);
