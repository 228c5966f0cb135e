// Text conversion between the UTF-8 the program works in and the 8-bit code pages of the
// devices: windows-1251 for the database and the exchange files, cp866 for ZIP entry names.
#pragma once

#include <string>
#include <string_view>

namespace vendrix {

/// UTF-8 to windows-1251. A character with no windows-1251 form, or a broken UTF-8 byte,
/// becomes "?". U+0098 becomes byte 0x98, so every byte the database may hold survives.
std::string Utf8ToCp1251(std::string_view utf8);
/// windows-1251 to UTF-8; lossless for every byte (0x98, which has no character, is U+0098).
std::string Cp1251ToUtf8(std::string_view cp1251);
/// The same, appended to `out`: a UTF-8 form is at most three bytes a character.
void AppendCp1251AsUtf8(std::string_view cp1251, std::string& out);
/// The same, written at `out`, which has room for three bytes a character; returns the end of
/// what was written.
char* WriteCp1251AsUtf8(std::string_view cp1251, char* out);
/// cp866 (DOS Cyrillic, used for ZIP entry names) to UTF-8; lossless.
std::string Cp866ToUtf8(std::string_view cp866);
/// UTF-8 to cp866; unmappable characters become "?".
std::string Utf8ToCp866(std::string_view utf8);

/// Number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view utf8);
/// True when every byte is below 0x80 (then no conversion is needed).
bool IsAscii(std::string_view text);

} // namespace vendrix
