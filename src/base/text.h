// Text helpers shared by the subsystems. Texts are byte strings (UTF-8 on Linux);
// the ZIP component works with UTF-16 names and converts at its edges with these.
#pragma once

#include <string>
#include <string_view>

namespace kestrova {

/// Converts UTF-8 to UTF-16. Bytes that are not valid UTF-8 are taken as Windows-1252
/// characters, so no input is ever lost or rejected.
std::u16string Utf8ToUtf16(std::string_view text);
/// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

/// Converts UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

/// The UTF-8 byte order mark an editor may put in front of a text file.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

/// Removes blanks (space, tab, CR, LF, VT, FF) at both ends.
std::string_view TrimBlanks(std::string_view text);

/// The value of a hexadecimal digit, or -1 for any other character.
int HexDigitValue(char c);

/// Compares ASCII letters without regard to case; other bytes must match exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
/// Whether `text` begins with `prefix`, ASCII letters compared without regard to case.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace kestrova
