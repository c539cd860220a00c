// Qt 6's UTF-8 decoder for the texts of the store. Stateless, so a sequence cut
// off at the end shows as U+FFFD, as Qt 5's codec shows it, and is not held
// back for bytes that never come.
#include "exam/utf8_text.h"

#include <QStringDecoder>

#include <cstring>

QString utf8_text(const char *bytes, std::size_t capacity)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    return utf8(QByteArrayView(bytes, qsizetype(strnlen(bytes, capacity))));
}
