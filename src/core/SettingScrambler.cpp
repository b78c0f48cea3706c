#include "core/SettingScrambler.h"

#include "platform/Windows1252.h"

#include <array>

namespace SettingScrambler {

namespace {

// Position i (from 1) uses byte (i mod 32) of this table, counted from 1;
// a remainder of 0 uses no key byte, so the last entry is never used.
constexpr std::array<unsigned char, 32> kKey = {
    0x5A, 0xC3, 0x17, 0x9E, 0x42, 0xB8, 0x6D, 0x21, 0xF4, 0x0B, 0x93, 0x7C, 0xE6, 0x38, 0xA5, 0x1F,
    0xD2, 0x64, 0x8B, 0x2E, 0xC9, 0x50, 0x07, 0xBD, 0x76, 0xEA, 0x3C, 0x91, 0x4F, 0xA8, 0x15, 0x00,
};

unsigned char keyFor(qsizetype position)
{
    const qsizetype r = position % 32;
    return r == 0 ? 0 : kKey[size_t(r - 1)];
}

constexpr char kDigits[] = "0123456789ABCDEF";

} // namespace

QString EncodeSetting(const QString &text)
{
    const QByteArray bytes = Windows1252::encode(text);
    QString result;
    result.reserve(bytes.size() * 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes.at(i)) ^ keyFor(i + 1);
        result += QLatin1Char(kDigits[b >> 4]);
        result += QLatin1Char(kDigits[b & 0x0F]);
    }
    return result;
}

QString DecodeSetting(const QString &text)
{
    if (text.size() % 2 != 0)
        return QLatin1String(kInvalid);
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const QChar a = text.at(i);
        const QChar b = text.at(i + 1);
        if (a < u'0' || a > u'F' || b < u'0' || b > u'F')
            return QLatin1String(kInvalid);
        const int value = HexToInt(text.mid(i, 2));
        bytes.append(char(static_cast<unsigned char>(value) ^ keyFor(bytes.size() + 1)));
    }
    return Windows1252::decode(bytes);
}

int HexToInt(const QString &text)
{
    int result = 0;
    int weight = 1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        QChar c = text.at(i);
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
        const char *found = c.unicode() < 128 && c.unicode() != 0 ? strchr(kDigits, char(c.unicode())) : nullptr;
        const int digit = found ? int(found - kDigits) : 0;
        result += weight * digit;
        weight *= 16;
    }
    return result;
}

bool isUsable(const QString &clearText)
{
    return !clearText.isEmpty() && clearText != QLatin1String(kInvalid);
}

} // namespace SettingScrambler
