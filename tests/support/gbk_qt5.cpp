// GBK through Qt 5's codecs.
#include "tests/support/gbk.h"

#include <QTextCodec>

QByteArray gbk(const QString &text)
{
    QTextCodec *codec = QTextCodec::codecForName("GBK");
    return codec ? codec->fromUnicode(text) : QByteArray();
}
