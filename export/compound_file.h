// Packs one stream into an OLE2 compound file (version 3, 512-byte sectors),
// the container the .xls format lives in.
#pragma once

#include "export/export_error.h"

#include <QByteArray>
#include <QString>

// Sets *file to a compound file whose root storage holds exactly one stream
// named `name` (at most 31 UTF-16 units) with the bytes of `data`. Streams
// shorter than 4096 bytes go into the mini stream as readers expect. Refuses
// (invalid_stream_name, xls_file_over_limit) an empty or too long name, or data too
// large for the format, leaving *file as it was.
ExportError build_compound_file(const QString &name, const QByteArray &data, QByteArray *file);
