// The keypad's rules without its window: the key filter case by case, reading the entry, the
// running sum and the two layouts.
#include "documents/amounts.h"
#include "documents/keypad.h"

#include <gtest/gtest.h>

namespace vendrix {
namespace {

struct TFilterCase {
    const char* name;
    const char* entry;
    char32_t typed;
    TKeyAction action;
    char32_t inserted;
};

class KeyFilter : public ::testing::TestWithParam<TFilterCase> { };

TEST_P(KeyFilter, LetsThroughDigitsOnePointAndThreeDecimals)
{
    const TFilterCase& c = GetParam();
    const TKeyFilterResult r = FilterKey(c.entry, c.typed);
    EXPECT_EQ(r.action, c.action);
    if (c.action == TKeyAction::Insert) {
        EXPECT_EQ(r.character, c.inserted);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyFilter,
    ::testing::Values(TFilterCase {"DigitIntoEmpty", "", '5', TKeyAction::Insert, '5'},
        TFilterCase {"DigitOverTwoDecimals", "0.00", '5', TKeyAction::Insert, '5'},
        TFilterCase {"ThirdDecimal", "12.34", '5', TKeyAction::Insert, '5'},
        TFilterCase {"FourthDecimalRefused", "12.345", '6', TKeyAction::Drop, 0},
        TFilterCase {"CommaBecomesPoint", "1", ',', TKeyAction::Insert, '.'},
        TFilterCase {"SecondPointRefused", "1.5", '.', TKeyAction::Drop, 0},
        TFilterCase {"CommaAfterPointRefused", "1.5", ',', TKeyAction::Drop, 0},
        TFilterCase {"PointOverWholeSelectedTextRefused", "0.00", '.', TKeyAction::Drop, 0},
        TFilterCase {"PointFirst", "", '.', TKeyAction::Insert, '.'},
        TFilterCase {"LetterRefused", "1", 'a', TKeyAction::Drop, 0},
        TFilterCase {"CyrillicRefused", "1", U'б', TKeyAction::Drop, 0},
        TFilterCase {"MinusRefused", "1", '-', TKeyAction::Drop, 0},
        TFilterCase {"BlankRefused", "1", ' ', TKeyAction::Drop, 0},
        TFilterCase {"BackspaceAlwaysPasses", "12.345", 8, TKeyAction::Insert, 8},
        TFilterCase {"EnterPressesOk", "12.345", 13, TKeyAction::PressOk, 13}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeypadEntry, ReadsDecimalTextOrNothing)
{
    struct TCase {
        const char* entry;
        std::optional<TAmount> value;
    } const cases[] = {
        {"5", 50000},
        {"1.5", 15000},
        {" \t2", 20000},
        {".5", 5000},
        {"5.", 50000},
        {"12.345", 123450},
        {"0", 0},
        {"-3", -30000},
        {"", std::nullopt},
        {".", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1a", std::nullopt},
        {"1 ", std::nullopt},
        {"1,5", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ParseKeypadEntry(c.entry), c.value) << '"' << c.entry << '"';
}

TEST(Keypad, RunningSumFollowsReadableEntriesOnly)
{
    TKeypad k(0, 125000); // price 12.50
    EXPECT_TRUE(k.ShowPrice());
    EXPECT_EQ(k.InitialEntry(), "0.00");
    EXPECT_EQ(k.PriceLine(), "Цена  12.50");
    EXPECT_EQ(k.SumLine(), "Сумма 0.00");
    k.EntryChanged("3");
    EXPECT_EQ(k.SumLine(), "Сумма 37.50");
    EXPECT_EQ(k.Value(), 30000);
    k.EntryChanged("");
    EXPECT_EQ(k.SumLine(), "Сумма 37.50") << "an empty entry keeps the last sum";
    EXPECT_FALSE(k.Confirm("")) << "the keypad stays open";
    EXPECT_TRUE(k.Confirm("1.005"));
    EXPECT_EQ(k.Value(), 10050);
    k.Cancel();
    EXPECT_EQ(k.Value(), 0);
}

TEST(Keypad, NegativePriceHidesTheLinesZeroShowsThem)
{
    TKeypad hidden(15000, -10000);
    EXPECT_FALSE(hidden.ShowPrice());
    hidden.EntryChanged("7");
    EXPECT_EQ(hidden.Value(), 15000) << "without a price only OK takes the entry";
    EXPECT_TRUE(hidden.Confirm("7"));
    EXPECT_EQ(hidden.Value(), 70000);

    TKeypad free(20000, 0);
    EXPECT_TRUE(free.ShowPrice());
    EXPECT_EQ(free.PriceLine(), "Цена  0.00");
    EXPECT_EQ(free.SumLine(), "Сумма 0.00");
}

// A sum beyond what an order line holds is never shown cut to the amount range.
TEST(Keypad, HugeSumsAreNeverShownCut)
{
    TKeypad k(0, std::numeric_limits<TAmount>::max());
    k.EntryChanged("999999999");
    EXPECT_EQ(k.SumLine(), "Сумма слишком велика");
    EXPECT_EQ(k.Value(), 0) << "the value stays the last one taken";
}

TEST(KeypadLayout, PortraitPutsTheKeysUnderTheEntry)
{
    const TKeypadLayout l = KeypadLayout(240, 320, true);
    EXPECT_TRUE(l.portrait);
    EXPECT_EQ(l.dialog.left, 20);
    EXPECT_EQ(l.dialog.top, 35);
    EXPECT_EQ(l.dialog.width, 200);
    EXPECT_EQ(l.dialog.height, 250);
    EXPECT_EQ(l.panel.left, 7);
    EXPECT_EQ(l.panel.top, 35);
    EXPECT_EQ(l.entry.width, 146);
    EXPECT_EQ(l.ok.top, 147);
    EXPECT_EQ(l.cancel.left, 103);
    EXPECT_EQ(l.priceLine.top, 179);
    EXPECT_EQ(l.sumLine.top, 203);

    struct TKey {
        const char* caption;
        int left, top, width;
    } const keys[] = {{"C", 1, 0, 61}, {"<--", 62, 0, 122}, {"7", 1, 21, 61}, {"8", 62, 21, 61},
        {"9", 123, 21, 61}, {"4", 1, 43, 61}, {"2", 62, 65, 61}, {"0", 1, 87, 122},
        {".", 123, 87, 61}};
    for (const TKey& k : keys) {
        const auto it = std::find_if(l.keys.begin(), l.keys.end(),
            [&](const TKeypadKeyPlace& p) { return std::string(p.caption) == k.caption; });
        ASSERT_NE(it, l.keys.end()) << k.caption;
        EXPECT_EQ(it->place.left, k.left) << k.caption;
        EXPECT_EQ(it->place.top, k.top) << k.caption;
        EXPECT_EQ(it->place.width, k.width) << k.caption;
        EXPECT_LE(it->place.top + it->place.height, l.panel.height) << k.caption;
    }
}

TEST(KeypadLayout, LandscapePutsTheKeysOnTheRight)
{
    const TKeypadLayout l = KeypadLayout(320, 240, false);
    EXPECT_FALSE(l.portrait);
    EXPECT_EQ(l.dialog.left, 5);
    EXPECT_EQ(l.dialog.top, 47);
    EXPECT_EQ(l.dialog.width, 310);
    EXPECT_EQ(l.dialog.height, 145);
    EXPECT_EQ(l.panel.left, 196);
    EXPECT_EQ(l.panel.top, 6);
    EXPECT_EQ(l.entry.width, 183) << "no unit: the entry takes its room";
    EXPECT_EQ(l.ok.top, 35);
    EXPECT_EQ(l.priceLine.top, 67);
    EXPECT_EQ(l.sumLine.top, 91);
    for (const TKeypadKeyPlace& k : l.keys) {
        const bool wide = std::string(k.caption) == "0" || std::string(k.caption) == "<--";
        EXPECT_EQ(k.place.width, wide ? 68 : 34) << k.caption;
        EXPECT_LE(l.panel.left + k.place.left + k.place.width, l.dialog.width) << k.caption;
    }
    EXPECT_EQ(l.keys[4].place.left, 69) << "the third column starts at 2w + 1";
    // A square screen counts as landscape.
    EXPECT_FALSE(KeypadLayout(300, 300, true).portrait);
}

TEST(SkuCounts, KeypadWorksOnWholeNumbers)
{
    EXPECT_EQ(CountToKeypadValue("3"), 30000);
    EXPECT_EQ(CountToKeypadValue("x"), 0);
    EXPECT_EQ(CountToKeypadValue(""), 0);
    EXPECT_EQ(CountToKeypadValue("2,5"), 25000);
    EXPECT_EQ(KeypadValueToCount(49000), "4");
    EXPECT_EQ(KeypadValueToCount(27000), "2");
    EXPECT_EQ(KeypadValueToCount(0), "0");
}

} // namespace
} // namespace vendrix

namespace vendrix {
namespace {

// What an order line holds: quantities and sums up to 9 999 999 999 999.99, which the database
// gives back digit for digit. Beyond that the keypad refuses the entry and says why.
TEST(Keypad, RefusesAQuantityOrASumAnOrderLineCannotHold)
{
    struct TCase {
        const char* name;
        const char* entry;
        TAmount price; // negative: no sum
        TEntryCheck check;
        const char* sumLine; // after the entry was typed; nullptr: no price shown
    } const cases[] = {
        {"the largest sum at 56.00", "178571428571", 560000, TEntryCheck::Taken,
            "Сумма 9999999999976.00"},
        {"one more piece at 56.00", "178571428572", 560000, TEntryCheck::SumTooLarge,
            "Сумма слишком велика"},
        {"fourteen digits at 56.00", "99999999999999", 560000, TEntryCheck::QuantityTooLarge,
            "Сумма слишком велика"},
        {"fifteen digits, beyond any amount", "999999999999999", 560000,
            TEntryCheck::QuantityTooLarge, "Сумма слишком велика"},
        {"the largest quantity, free", "9999999999999.99", 0, TEntryCheck::Taken, "Сумма 0.00"},
        {"a thousandth more, free", "9999999999999.991", 0, TEntryCheck::QuantityTooLarge,
            "Сумма слишком велика"},
        {"the largest quantity, no price", "9999999999999.99", -10000, TEntryCheck::Taken, nullptr},
        {"fifteen digits, no price", "999999999999999", -1, TEntryCheck::QuantityTooLarge, nullptr},
        {"nothing typed", "", 560000, TEntryCheck::Unreadable, "Сумма 0.00"},
        {"a point alone", ".", -1, TEntryCheck::Unreadable, nullptr},
        {"zero at the largest price", "0", std::numeric_limits<TAmount>::max(), TEntryCheck::Taken,
            "Сумма 0.00"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckKeypadEntry(c.entry, c.price), c.check);
        TKeypad k(0, c.price);
        k.EntryChanged(c.entry);
        if (c.sumLine) {
            EXPECT_EQ(k.SumLine(), c.sumLine);
        }
        EXPECT_EQ(k.Confirm(c.entry), c.check == TEntryCheck::Taken);
        if (c.check != TEntryCheck::Taken) {
            EXPECT_EQ(k.Value(), 0) << "a refused entry leaves the value";
        }
    }
    EXPECT_EQ(EntryRefusal(TEntryCheck::SumTooLarge),
        "Слишком большое количество: сумма строки не помещается.");
    EXPECT_EQ(EntryRefusal(TEntryCheck::QuantityTooLarge), "Слишком большое количество.");
    EXPECT_EQ(EntryRefusal(TEntryCheck::Unreadable), "") << "an empty entry is refused silently";
    EXPECT_EQ(EntryRefusal(TEntryCheck::Taken), "");

    // A value the keypad opens with is held to the same rule.
    EXPECT_EQ(TKeypad(kMaxOrderAmount, 20000).SumLine(), "Сумма слишком велика");
}

TEST(LineSum, ExactUpToWhatAnOrderLineHoldsNothingBeyond)
{
    EXPECT_EQ(LineSum(30000, 125000), 375000) << "3 x 12.50";
    EXPECT_EQ(LineSum(kMaxOrderAmount, kAmountScale), kMaxOrderAmount);
    EXPECT_EQ(LineSum(-kMaxOrderAmount, kAmountScale), -kMaxOrderAmount);
    EXPECT_EQ(LineSum(kMaxOrderAmount + 1, kAmountScale), std::nullopt);
    EXPECT_EQ(LineSum(-kMaxOrderAmount - 1, kAmountScale), std::nullopt);
    constexpr TAmount kMost = std::numeric_limits<TAmount>::max();
    EXPECT_EQ(LineSum(kMost, kMost), std::nullopt) << "beyond the amount range too";
    EXPECT_EQ(LineSum(std::numeric_limits<TAmount>::min(), kMost), std::nullopt);
    EXPECT_TRUE(QuantityFits(kMaxOrderAmount));
    EXPECT_FALSE(QuantityFits(kMaxOrderAmount + 1));
    EXPECT_FALSE(QuantityFits(-kMaxOrderAmount - 1));
}

} // namespace
} // namespace vendrix
