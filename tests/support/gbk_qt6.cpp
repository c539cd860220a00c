// GBK through Qt 6's encoders, which know it by name where Qt is built with ICU.
#include "tests/support/gbk.h"

#include <QStringEncoder>

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK", QStringEncoder::Flag::Stateless);
    return encoder.isValid() ? QByteArray(encoder(text)) : QByteArray();
}
