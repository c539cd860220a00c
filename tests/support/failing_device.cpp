// A device whose reading fails after its bytes.
#include "tests/support/failing_device.h"

#include <cstring>

FailingDevice::FailingDevice(const QByteArray &bytes) : bytes_(bytes)
{
    open(QIODevice::ReadOnly);
}

qint64 FailingDevice::readData(char *data, qint64 max)
{
    if (pos_ >= bytes_.size())
        return -1;
    const qint64 n = qMin<qint64>(max, bytes_.size() - pos_);
    std::memcpy(data, bytes_.constData() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}
