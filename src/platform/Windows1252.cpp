#include "platform/Windows1252.h"

#include <array>

namespace {

// 0x80 to 0x9F; the other bytes are their own Unicode values.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Every byte's character, so that a report's lines are decoded by lookup.
constexpr std::array<char16_t, 256> kDecoded = [] {
    std::array<char16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        table[std::size_t(byte)] = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t(byte);
    return table;
}();

} // namespace

namespace Windows1252 {

QChar decodeByte(unsigned char byte)
{
    return QChar(kDecoded[byte]);
}

QString decode(const QByteArray &bytes)
{
    QString text;
    decodeInto(bytes, text);
    return text;
}

void decodeInto(QByteArrayView bytes, QString &text)
{
    text.resize(bytes.size());
    QChar *out = text.data();
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(kDecoded[in[i]]);
}

unsigned char encodeChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<unsigned char>(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u)
            return static_cast<unsigned char>(0x80 + i);
    return 0;
}

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        const unsigned char b = encodeChar(c);
        bytes.append((b == 0 && c.unicode() != 0) ? '?' : static_cast<char>(b));
    }
    return bytes;
}

} // namespace Windows1252
