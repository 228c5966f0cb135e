// Code page conversion: every byte a database or an office file may hold survives a round trip.
#include "storage/codepage.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace vendrix
