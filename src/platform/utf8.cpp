// The one UTF-8 decoder of the program: strict about what is a character, and exact about what
// is not, so that every caller can decide for itself what a broken byte becomes.
#include "platform/utf8.h"

#include <cstdint>

namespace vendrix::platform {

namespace {

// Length of the sequence that `lead` begins; 1 for a byte that begins none.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return lead <= 0xF4 ? 4 : 1;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

// The value standing for a broken span: a mark above U+10FFFF, the length, the lead
// byte and the six payload bits of each continuation byte, so distinct spans never collide.
char32_t BrokenValue(std::string_view span)
{
    std::uint32_t value = 0x80000000u | (static_cast<std::uint32_t>(span.size()) << 26)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(span[0])) << 18);
    for (std::size_t i = 1; i < span.size(); ++i)
        value |= (static_cast<std::uint32_t>(static_cast<unsigned char>(span[i])) & 0x3F)
            << (6 * (i - 1));
    return value;
}

} // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    const std::size_t n = SequenceLength(lead);
    bool complete = n > 1 && text.size() - at >= n;
    for (std::size_t i = 1; complete && i < n; ++i)
        complete = (byte(i) & 0xC0) == 0x80;
    if (!complete)
        return BrokenValue(text.substr(at++, 1));
    // The second byte rules out overlong forms, surrogates and values above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    const std::string_view span = text.substr(at, n);
    at += n;
    const auto second = static_cast<unsigned char>(span[1]);
    if (second < low || second > high)
        return BrokenValue(span);
    char32_t cp = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(span[i]) & 0x3F);
    return cp;
}

bool IsUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        if (IsBrokenUtf8(NextCodePoint(text, at)))
            return false;
    }
    return true;
}

} // namespace vendrix::platform
