#pragma once
// Bytes written as hex text in a test ("AA0107..."); blanks between bytes are allowed.
#include <QByteArray>

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}
