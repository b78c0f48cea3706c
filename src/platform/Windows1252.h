#pragma once

#include <QByteArray>
#include <QString>

// The Windows-1252 code page, one byte per character. Bytes 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D (unassigned) map to the control characters of the same
// value, so decoding then encoding gives back every byte unchanged.
namespace Windows1252 {

QString decode(const QByteArray &bytes);
// The same into text, whose storage is reused when it is its own.
void decodeInto(QByteArrayView bytes, QString &text);
QChar decodeByte(unsigned char byte);
// Characters outside the code page become '?'.
QByteArray encode(const QString &text);
// The byte of one character, or 0 when the code page has none for it.
unsigned char encodeChar(QChar c);

} // namespace Windows1252
