// Packs one stream into an OLE2 compound file (version 3, 512-byte sectors),
// the container the .xls format lives in.
#pragma once

#include <QByteArray>
#include <QString>

// A compound file whose root storage holds exactly one stream named `name`
// (at most 31 UTF-16 units) with the bytes of `data`. Streams shorter than
// 4096 bytes go into the mini stream as readers expect. Returns an empty array
// when the name is empty or too long, or the data too large for the format.
QByteArray build_compound_file(const QString &name, const QByteArray &data);
