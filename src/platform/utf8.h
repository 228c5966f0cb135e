// Reading UTF-8 text one character at a time, with one rule for bytes that are not UTF-8. The
// code-page converter of the database and the exchange files, the quick search of the reference
// lists and the check of ZIP entry names all read text through here, so a broken byte in a name
// the office sent counts the same way everywhere.
#pragma once

#include <cstddef>
#include <string_view>

namespace vendrix::platform {

/// True for the values NextCodePoint gives for broken bytes: they lie above U+10FFFF, where no
/// character is, so a broken byte never passes for a letter.
constexpr bool IsBrokenUtf8(char32_t value)
{
    return value > 0x10FFFF;
}

/// The character of UTF-8 `text` that starts at byte `at` (below text.size()), moving `at`
/// past it. A well-formed sequence gives its code point; overlong forms, UTF-16 surrogates and
/// values above U+10FFFF are not well-formed. Broken bytes give a value that IsBrokenUtf8
/// accepts, made of the bytes themselves, so it equals only the value of the same bytes: a lead
/// byte followed by all its continuation bytes is read as one broken span; any other broken
/// byte (a stray continuation byte, a byte that leads no sequence, a sequence cut short) is
/// read alone, so the character after it is never swallowed.
char32_t NextCodePoint(std::string_view text, std::size_t& at);

/// True when the whole of `text` is well-formed UTF-8 (the empty text is).
bool IsUtf8(std::string_view text);

} // namespace vendrix::platform
