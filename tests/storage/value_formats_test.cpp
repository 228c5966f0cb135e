// The shared text forms: tables of cases, one named row each.
#include "storage/value_formats.h"

#include <gtest/gtest.h>

#include <set>

namespace vendrix {
namespace {

TEST(AmountText, Cases)
{
    struct TCase {
        const char* what;
        TAmount amount;
        int decimals;
        bool blank;
        const char* text;
    };
    const TCase cases[] = {
        {"zero with the blank flag is empty", 0, 2, true, ""},
        {"zero without it, one decimal", 0, 1, false, "0.0"},
        {"two decimals are padded", 12345000, 2, false, "1234.50"},
        {"negative rounds away from zero", -500, 1, false, "-0.1"},
        {"2.25 to one decimal", 22500, 1, false, "2.3"},
        {"-2.25 to one decimal", -22500, 1, false, "-2.3"},
        {"2.2499 to one decimal", 22499, 1, false, "2.2"},
        {"no decimals means no point", 15000, 0, false, "2"},
        {"four decimals are exact", -1, 4, false, "-0.0001"},
        {"a tiny negative rounding to zero has no sign", -4, 2, false, "0.00"},
        {"non-zero with the blank flag prints", 1, 4, true, "0.0001"},
        {"the largest amount", INT64_MAX, 4, false, "922337203685477.5807"},
        {"the smallest amount", INT64_MIN, 4, false, "-922337203685477.5808"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(AmountText(c.amount, c.decimals, c.blank), c.text) << c.what;
}

TEST(TextToAmount, Cases)
{
    constexpr TAmount def = -77;
    struct TCase {
        const char* what;
        const char* text;
        TAmount amount;
    };
    const TCase cases[] = {
        {"comma with blanks around", " 12,5 ", 125000},
        {"two commas are not a number", "1,234,5", def},
        {"point", "0.29", 2900},
        {"sign and exponent", "-1.5e2", -1500000},
        {"plus sign", "+3", 30000},
        {"leading point", ".5", 5000},
        {"trailing point", "5.", 50000},
        {"fifth decimal rounds half to even, down", "0.00005", 0},
        {"fifth decimal rounds half to even, up", "0.00015", 2},
        {"above half rounds up", "0.000051", 1},
        {"negative exponent", "125e-3", 1250},
        {"empty", "", def},
        {"letters", "12a", def},
        {"only a sign", "-", def},
        {"exponent without digits", "1e", def},
        {"overflow", "1e20", def},
        {"largest", "922337203685477.5807", INT64_MAX},
        {"just above the largest", "922337203685477.5808", def},
        {"smallest", "-922337203685477.5808", INT64_MIN},
        {"huge negative exponent is zero", "5e-999999999", 0},
        {"long zeros", "0000000000000000000000000001", 10000},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TextToAmount(c.text, def), c.amount) << c.what;
}

TEST(TextToAmount, RoundTripsAmountText)
{
    const TAmount samples[]
        = {0, 1, -1, 9999, 10000, 123456789, -987654321012, INT64_MAX, INT64_MIN};
    for (TAmount a : samples)
        EXPECT_EQ(TextToAmount(AmountText(a, 4, false), 0), a) << a;
}

TEST(TextToIntAndFloat, Cases)
{
    EXPECT_EQ(TextToInt("7", 0), 7);
    EXPECT_EQ(TextToInt("", 3), 3);
    EXPECT_EQ(TextToInt(" -12 ", 0), -12);
    EXPECT_EQ(TextToInt("+4", 0), 4);
    EXPECT_EQ(TextToInt("1.5", 9), 9);
    EXPECT_EQ(TextToInt("1,5", 9), 9);
    EXPECT_EQ(TextToInt("2147483648", 9), 9);
    EXPECT_EQ(TextToInt("-2147483648", 9), INT32_MIN);
    EXPECT_EQ(TextToInt("--1", 9), 9);
    EXPECT_EQ(TextToInt("++1", 9), 9);
    EXPECT_DOUBLE_EQ(TextToFloat("1,5", 0), 1.5);
    EXPECT_DOUBLE_EQ(TextToFloat("-2.5E1", 0), -25);
    EXPECT_DOUBLE_EQ(TextToFloat("inf", 4), 4);
    EXPECT_DOUBLE_EQ(TextToFloat("nan", 4), 4);
    EXPECT_DOUBLE_EQ(TextToFloat("1e999", 4), 4);
    EXPECT_DOUBLE_EQ(TextToFloat("1,2,3", 4), 4);
}

TEST(Dates, TextToDateCases)
{
    TDate oct25 = 0;
    ASSERT_TRUE(EncodeDate(2009, 10, 25, oct25));
    EXPECT_DOUBLE_EQ(oct25, 40111);
    constexpr TDate def = -1;
    struct TCase {
        const char* what;
        const char* text;
        TDate date;
    };
    const TCase cases[] = {
        {"dots", "25.10.2009", oct25},
        {"slashes", "25/10/2009", oct25},
        {"dashes", "25-10-2009", oct25},
        {"bars and underscores", " 25|10_2009 ", oct25},
        {"stored form is day 2009", "2009-10-25", def},
        {"no such day", "31.02.2009", def},
        {"day number", "40111", 40111},
        {"day number with time", "40111.5", 40111.5},
        {"two-digit year stays below 100", "01.01.09", -690671},
        {"garbage", "abc", def},
        {"empty", "", def},
    };
    for (const TCase& c : cases)
        EXPECT_DOUBLE_EQ(TextToDate(c.text, def), c.date) << c.what;
}

TEST(Dates, DateTextAndEncoding)
{
    EXPECT_EQ(DateText(40111), "\"2009-10-25\"");
    EXPECT_EQ(DateText(40111.99), "\"2009-10-25\"");
    EXPECT_EQ(DateText(0), "\"1899-12-30\"");
    EXPECT_EQ(DateText(2), "\"1900-01-01\"");
    EXPECT_EQ(DateText(Today()).size(), 12u);
    int y = 0, m = 0, d = 0;
    DecodeDate(60675, y, m, d);
    EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({2066, 2, 12}));
    TDate t = 0;
    EXPECT_TRUE(EncodeDate(2024, 2, 29, t));
    EXPECT_FALSE(EncodeDate(2023, 2, 29, t));
    EXPECT_FALSE(EncodeDate(1900, 2, 29, t));
    EXPECT_TRUE(EncodeDate(2000, 2, 29, t));
    EXPECT_FALSE(EncodeDate(0, 1, 1, t));
    EXPECT_FALSE(EncodeDate(2000, 13, 1, t));
}

TEST(Texts, QuotingAndTokens)
{
    EXPECT_EQ(SqlQuote("O'Neil "), "O''Neil");
    EXPECT_EQ(SqlQuote(""), "");
    EXPECT_EQ(SqlQuote("''"), "''''");
    EXPECT_EQ(XmlText(" a\"b\r\nc&<>' "), "a&quot;b  c&amp;&lt;&gt;'");
    EXPECT_EQ(XmlText("\tx\x01y"), "x y");
    EXPECT_EQ(IntText(-42), "-42");
    EXPECT_EQ(Trim("\t\r\n x y \x01"), "x y");

    std::string s = " a . b.c ";
    EXPECT_EQ(NextToken(s, '.'), "a");
    EXPECT_EQ(s, "b.c");
    EXPECT_EQ(NextToken(s, '.'), "b");
    EXPECT_EQ(NextToken(s, '.'), "c");
    EXPECT_EQ(s, "");
    EXPECT_EQ(NextToken(s, '.'), "");
}

TEST(Texts, LeadingInt)
{
    EXPECT_EQ(LeadingInt("17.0"), 17);
    EXPECT_EQ(LeadingInt("17,0"), 17);
    EXPECT_EQ(LeadingInt("-5x"), -5);
    EXPECT_EQ(LeadingInt("+8"), 8);
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt("x1"), 0);
    EXPECT_EQ(LeadingInt("99999999999"), INT32_MAX);
}

TEST(Guids, NewGuidTextFormAndUniqueness)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string g = NewGuidText();
        ASSERT_EQ(g.size(), 36u);
        for (std::size_t k = 0; k < g.size(); ++k) {
            if (k == 8 || k == 13 || k == 18 || k == 23)
                EXPECT_EQ(g[k], '-');
            else
                EXPECT_TRUE(
                    std::isdigit(static_cast<unsigned char>(g[k])) || (g[k] >= 'A' && g[k] <= 'F'))
                    << g;
        }
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 100u);
}

} // namespace
} // namespace vendrix
