#pragma once

#include <QString>

// The scrambled form of configuration values and of the access code sent by
// the maker's web server: the Windows-1252 bytes of the clear text, each
// XORed with a key byte chosen by its position, written as two upper-case
// hexadecimal digits per byte (so the stored text is always INI-safe).
// Positions that are multiples of 32 are stored unchanged.
namespace SettingScrambler {

// TfMain.EncodeSetting: empty for an empty text.
QString EncodeSetting(const QString &text);
// TfMain.DecodeSetting: "_" when the text is not a scrambled text, empty for
// an empty text.
QString DecodeSetting(const QString &text);
// The value of a hexadecimal text; characters outside 0-9, A-F (a-f taken
// as upper case) count as the digit 0; empty gives 0.
int HexToInt(const QString &text);

// The text DecodeSetting gives for a text that is not a scrambled text.
inline constexpr char kInvalid[] = "_";
// A deciphered access code or password that can be used: not empty and
// not the mark of a text that did not decipher.
bool isUsable(const QString &clearText);

} // namespace SettingScrambler
