// Text in GBK, as older Chinese tools save it. One source per Qt version:
// gbk_qt5.cpp or gbk_qt6.cpp, chosen by CMake.
#pragma once

#include <QByteArray>
#include <QString>

// The bytes of the text in GBK; empty when this Qt has no GBK encoder.
QByteArray gbk(const QString &text);
