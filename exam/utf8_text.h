// The texts of the store as the window shows them. The store keeps UTF-8 bytes
// as they came from the files, GBK and damaged bytes included. One source per
// Qt version decodes them: utf8_text_qt5.cpp or utf8_text_qt6.cpp, chosen by CMake.
#pragma once

#include <QString>

#include <cstddef>

// The bytes of a NUL-padded field of `capacity` bytes, up to its first NUL:
// a leading byte-order mark is dropped, every byte that is not UTF-8 shows as
// U+FFFD, and so does a sequence cut off at the end.
QString utf8_text(const char *bytes, std::size_t capacity);
