// The one UTF-8 decoder and its rule for broken bytes, as every reader of text sees it: the
// characters of well-formed text, one broken span for a complete but ill-formed sequence, one
// broken byte for anything else, and broken bytes that never pass for a letter.
#include "platform/platform.h"
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vendrix::platform {
namespace {

// How a text reads: each character's code point, or "B" and the byte count of a broken span.
std::string Reading(std::string_view text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t from = at;
        const char32_t cp = NextCodePoint(text, at);
        char item[32];
        if (IsBrokenUtf8(cp))
            std::snprintf(item, sizeof item, "B%zu ", at - from);
        else
            std::snprintf(item, sizeof item, "U+%04X ", static_cast<unsigned>(cp));
        out += item;
    }
    return out;
}

TEST(Utf8, ReadsCharactersAndBrokenSpans)
{
    struct TCase {
        const char* what;
        std::string text;
        const char* reading;
        bool valid;
    };
    const std::vector<TCase> cases = {
        {"empty", "", "", true},
        {"ASCII, Cyrillic, euro, emoji", "AЖ€😀", "U+0041 U+0416 U+20AC U+1F600 ", true},
        {"the highest and the lowest of each length", "\x7F\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
            "U+007F U+0080 U+FFFF U+10FFFF ", true},
        {"an overlong zero: leads of no sequence", "\xC0\x80", "B1 B1 ", false},
        {"an overlong form of three bytes", "\xE0\x80\x80|", "B3 U+007C ", false},
        {"a UTF-16 surrogate", "\xED\xA0\x80|", "B3 U+007C ", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80|", "B4 U+007C ", false},
        {"a byte that leads nothing", "\xF5\x80|", "B1 B1 U+007C ", false},
        {"cut short before a letter", "\xE2\x82|", "B1 B1 U+007C ", false},
        {"cut short at the end", "a\xD0", "U+0061 B1 ", false},
        {"stray continuation bytes", "\x80\xBF", "B1 B1 ", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Reading(c.text), c.reading) << c.what;
        EXPECT_EQ(IsUtf8(c.text), c.valid) << c.what;
    }
}

TEST(Utf8, BrokenBytesEqualOnlyTheSameBytes)
{
    const auto read = [](std::string_view text) {
        std::size_t at = 0;
        return NextCodePoint(text, at);
    };
    // A broken lead byte is not the Latin letter of the same number.
    EXPECT_NE(read("\xC3"), U'\u00C3');
    EXPECT_EQ(read("\xE0\x80\x80"), read("\xE0\x80\x80"));
    EXPECT_NE(read("\xE0\x80\x80"), read("\xE0\x80\x81"));
    EXPECT_NE(read("\xE0\x80\x80"), read("\xE0"));
    EXPECT_NE(read("\xF0\x80\x80\x80"), read("\xF4\x90\x80\x80"));
}

TEST(Utf8, PrefixMatchingReadsBrokenBytesAsThemselves)
{
    EXPECT_TRUE(StartsWithIgnoreCase("a\xFF"
                                     "b",
        "A\xFF"));
    EXPECT_FALSE(StartsWithIgnoreCase("\xC3x", "ã")) << "a broken byte is no letter";
    EXPECT_FALSE(
        StartsWithIgnoreCase(std::string_view("\xE0\x80\x80", 3), std::string_view("\0", 1)))
        << "an overlong form is not the character it spells";
    EXPECT_TRUE(StartsWithIgnoreCase("\xE0\x80\x80"
                                     "Ж",
        "\xE0\x80\x80"
        "ж"));
    EXPECT_FALSE(StartsWithIgnoreCase("\xE0\x80\x81", "\xE0\x80\x80"));
}

} // namespace
} // namespace vendrix::platform
