// Code page conversion: every byte a database or an office file may hold survives a round trip.
#include "storage/codepage.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace vendrix {
namespace {

TEST(CodePage, EveryCp1251ByteRoundTrips)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
    EXPECT_EQ(Utf8Length(utf8), all.size());
}

TEST(CodePage, KnownLetters)
{
    EXPECT_EQ(Utf8ToCp1251("Иванов"), "\xC8\xE2\xE0\xED\xEE\xE2");
    EXPECT_EQ(Cp1251ToUtf8("\xB8\xA8"), "ёЁ");
    EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xC2\x98");
    EXPECT_EQ(Cp866ToUtf8("\x8F\xE0\xA8\xA2\xA5\xE2"), "Привет");
    EXPECT_EQ(Utf8ToCp866("Привет"), "\x8F\xE0\xA8\xA2\xA5\xE2");
}

TEST(CodePage, UnmappableAndBrokenTextBecomesQuestionMarks)
{
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                           "b"),
        "a?b"); // a Chinese letter
    EXPECT_EQ(Utf8ToCp1251("a\xFF"
                           "b"),
        "a?b"); // not UTF-8 at all
    EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?"); // cut-off sequence at the end
    EXPECT_EQ(Utf8ToCp1251("\xD0"
                           "Ж"),
        "?\xC6"); // a broken lead keeps the next letter
}

TEST(CodePage, BrokenSequencesOfEveryKindBecomeQuestionMarks)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\xC0\x80", "??"}, // an overlong zero: a lead that never starts a character
        {"\xE0\x80\x80|", "?|"}, // an overlong form of three bytes
        {"\xED\xA0\x80|", "?|"}, // a UTF-16 surrogate
        {"\xF4\x90\x80\x80|", "?|"}, // above U+10FFFF
        {"\xF5\x80|", "??|"}, // a lead byte of no sequence
        {"\xE2\x82|", "??|"}, // cut short: each byte, and the next character is kept
        {"\x80\x80", "??"}, // stray continuation bytes
    };
    for (const auto& [utf8, cp1251] : cases)
        EXPECT_EQ(Utf8ToCp1251(utf8), cp1251) << utf8;
}

// iconv's own answer for one text, or nothing when iconv refuses it.
std::string ByIconv(const char* to, const char* from, const std::string& text, bool& ok)
{
    const iconv_t cd = iconv_open(to, from);
    char* src = const_cast<char*>(text.data());
    std::size_t srcLeft = text.size();
    char buffer[16];
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    return std::string(buffer, static_cast<std::size_t>(dst - buffer));
}

std::string Utf8Of(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return s;
}

// The conversion keeps glibc's mappings exactly: every byte decodes as iconv decodes it, and
// every character encodes as iconv encodes it ("?" where iconv has no byte), in both pages.
TEST(CodePage, AgreesWithIconvOnEveryByteAndEveryCharacter)
{
    struct TPage {
        const char* name;
        std::string (*decode)(std::string_view);
        std::string (*encode)(std::string_view);
    };
    const TPage pages[]
        = {{"WINDOWS-1251", Cp1251ToUtf8, Utf8ToCp1251}, {"CP866", Cp866ToUtf8, Utf8ToCp866}};
    for (const TPage& page : pages) {
        SCOPED_TRACE(page.name);
        for (int b = 0x80; b < 0x100; ++b) {
            bool ok = false;
            const std::string byte(1, static_cast<char>(b));
            const std::string expected = ByIconv("UTF-8", page.name, byte, ok);
            if (ok) {
                EXPECT_EQ(page.decode(byte), expected) << b;
            }
        }
        for (char32_t cp = 0x80; cp < 0x110000; ++cp) {
            if (cp >= 0xD800 && cp < 0xE000)
                continue;
            bool ok = false;
            const std::string utf8 = Utf8Of(cp);
            std::string expected = ByIconv(page.name, "UTF-8", utf8, ok);
            // glibc drops the language tags (U+E0000 on) without a trace; they have no form
            // in either page, so they become "?" as every other such character does.
            if (!ok || expected.empty())
                expected = cp == 0x98 && page.decode == Cp1251ToUtf8 ? "\x98" : "?";
            ASSERT_EQ(page.encode(utf8), expected) << std::hex << static_cast<unsigned>(cp);
        }
    }
}

} // namespace
} // namespace vendrix
