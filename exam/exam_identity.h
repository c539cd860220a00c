// What a load would make of the exam: the roster's student names in roster
// order, the problem's question counts, maximum scores and texts, and the
// names the files give the class and the paper. The mark library decides from
// it which exam the marks belong to; canonical() and key() cover the names,
// counts and maxima only, as the journals of velora 1.0.0 were named by them.
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
    QByteArrayList texts;        // pro_text[1 .. xuan_count + unxuan_count], raw bytes
    QString paper_name;          // the problem file's base name
    QString class_name;          // the roster's folder name

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

// The name a problem file gives its paper (its base name, "2026秋季期中物理")
// and a roster its class (its folder's name, "高一（3）班物理").
QString paper_name_of(const QString &problem_path);
QString class_name_of(const QString &roster_path);
