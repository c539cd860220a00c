// Qt 5's UTF-8 codec for the texts of the store.
#include "exam/utf8_text.h"

#include <QTextCodec>

#include <cstring>

QString utf8_text(const char *bytes, std::size_t capacity)
{
    static QTextCodec *const utf8 = QTextCodec::codecForName("UTF-8");
    return utf8->toUnicode(bytes, int(strnlen(bytes, capacity)));
}
