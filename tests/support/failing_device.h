// A device that delivers its bytes, then reports a read error instead of the end.
#pragma once

#include <QByteArray>
#include <QIODevice>

class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(const QByteArray &bytes);

protected:
    qint64 readData(char *data, qint64 max) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 pos_ = 0;
};
