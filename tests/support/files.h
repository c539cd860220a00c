// Small helpers for tests of input files: writing them, their encodings, and
// what a decoder still holds of one.
#pragma once

#include "tests/support/gbk.h"

#include <QByteArray>
#include <QString>

class TextInput;

// Writes bytes to a file, creating missing directories; false on failure.
bool write_file(const QString &path, const QByteArray &bytes);

// The text as Notepad's "Unicode" saves it: a byte-order mark, then UTF-16
// code units, little-endian unless big_endian.
QByteArray utf16_file(const QString &text, bool big_endian = false);

// Every byte the input still delivers.
QByteArray drain(TextInput &in);

// Puts the per-user data folder, where windows keep their mark library, and
// the teacher's settings in test locations, and empties both.
void isolate_user_data();

// A record of a velora 1.0.0 journal (checksummed with zlib's crc32()), and
// its mark record for student s's written question q.
QByteArray journal_record(char type, const QByteArray &payload);
QByteArray journal_mark(int s, int q, double value);
