// The period selection: recognition of a period in use, recalculation for each choice, the
// stepping limits, which controls are usable, and the journal period's date check.
#include "shell/period.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

using test::Day;

constexpr TDate kToday = 40111; // 25 October 2009

struct TRecognition {
    const char* name;
    TDate start, end;
    TPeriodChoice choice;
    bool fromYear, fromQuarter, fromMonth;
    TDate shownStart, shownEnd; // the period the dialog then holds
};

std::ostream& operator<<(std::ostream& out, const TRecognition& r)
{
    return out << r.name;
}

class PeriodRecognition : public ::testing::TestWithParam<TRecognition> { };

TEST_P(PeriodRecognition, OpensOnTheChoiceThatGivesTheSamePeriod)
{
    const TRecognition& r = GetParam();
    TPeriodSelection p;
    p.Load(r.start, r.end, kToday);
    EXPECT_EQ(p.Choice(), r.choice);
    EXPECT_EQ(p.FromYearStart(), r.fromYear);
    EXPECT_EQ(p.FromQuarterStart(), r.fromQuarter);
    EXPECT_EQ(p.FromMonthStart(), r.fromMonth);
    EXPECT_EQ(p.Start(), r.shownStart);
    EXPECT_EQ(p.End(), r.shownEnd);
}

using C = TPeriodChoice;
INSTANTIATE_TEST_SUITE_P(Table, PeriodRecognition,
    ::testing::Values(TRecognition {"all documents show today", 0, 0, C::All, false, false, false,
                          kToday, kToday},
        TRecognition {"a whole year", Day(2009, 1, 1), Day(2009, 12, 31), C::Year, false, false,
            false, Day(2009, 1, 1), Day(2009, 12, 31)},
        TRecognition {"the fourth quarter", Day(2009, 10, 1), Day(2009, 12, 31), C::Quarter, false,
            false, false, Day(2009, 10, 1), Day(2009, 12, 31)},
        TRecognition {"the second quarter", Day(2009, 4, 1), Day(2009, 6, 30), C::Quarter, false,
            false, false, Day(2009, 4, 1), Day(2009, 6, 30)},
        TRecognition {"first quarter comes back from the year's start", Day(2009, 1, 1),
            Day(2009, 3, 31), C::Quarter, true, false, false, Day(2009, 1, 1), Day(2009, 3, 31)},
        TRecognition {"January to October is a day from the year's start", Day(2009, 1, 1),
            Day(2009, 10, 31), C::Day, true, false, false, Day(2009, 1, 1), Day(2009, 10, 31)},
        TRecognition {"a free interval", Day(2009, 10, 15), Day(2009, 10, 20), C::Interval, false,
            false, false, Day(2009, 10, 15), Day(2009, 10, 20)},
        TRecognition {"a day from the month's start", Day(2009, 11, 1), Day(2009, 11, 20), C::Day,
            false, false, true, Day(2009, 11, 1), Day(2009, 11, 20)},
        TRecognition {"1 October begins a quarter", Day(2009, 10, 1), Day(2009, 10, 20), C::Day,
            false, true, false, Day(2009, 10, 1), Day(2009, 10, 20)},
        TRecognition {"crossing a year end", Day(2009, 12, 20), Day(2010, 1, 10), C::Interval,
            false, false, false, Day(2009, 12, 20), Day(2010, 1, 10)},
        TRecognition {"a whole month", Day(2009, 5, 1), Day(2009, 5, 31), C::Month, false, false,
            false, Day(2009, 5, 1), Day(2009, 5, 31)},
        TRecognition {"January alone is a month", Day(2009, 1, 1), Day(2009, 1, 31), C::Month,
            false, false, false, Day(2009, 1, 1), Day(2009, 1, 31)},
        TRecognition {"the quarter's first month", Day(2009, 4, 1), Day(2009, 4, 30), C::Month,
            false, false, false, Day(2009, 4, 1), Day(2009, 4, 30)},
        TRecognition {"December alone, though it ends the year", Day(2009, 12, 1),
            Day(2009, 12, 31), C::Month, false, false, false, Day(2009, 12, 1), Day(2009, 12, 31)},
        TRecognition {"leap February", Day(2008, 2, 1), Day(2008, 2, 29), C::Month, false, false,
            false, Day(2008, 2, 1), Day(2008, 2, 29)},
        TRecognition {"February 28 of a leap year is no month end", Day(2008, 2, 1),
            Day(2008, 2, 28), C::Day, false, false, true, Day(2008, 2, 1), Day(2008, 2, 28)},
        TRecognition {"one day", Day(2009, 10, 25), Day(2009, 10, 25), C::Day, false, false, false,
            Day(2009, 10, 25), Day(2009, 10, 25)},
        TRecognition {"1 January alone", Day(2009, 1, 1), Day(2009, 1, 1), C::Day, false, false,
            false, Day(2009, 1, 1), Day(2009, 1, 1)},
        TRecognition {"1 April alone", Day(2009, 4, 1), Day(2009, 4, 1), C::Day, false, false,
            false, Day(2009, 4, 1), Day(2009, 4, 1)},
        TRecognition {"two quarters that start on a quarter", Day(2009, 7, 1), Day(2009, 12, 31),
            C::Interval, false, false, false, Day(2009, 7, 1), Day(2009, 12, 31)},
        TRecognition {"half a year from January", Day(2009, 1, 1), Day(2009, 6, 30), C::Day, true,
            false, false, Day(2009, 1, 1), Day(2009, 6, 30)},
        TRecognition {"time of day is dropped", Day(2009, 10, 1) + 0.75, Day(2009, 12, 31) + 0.5,
            C::Quarter, false, false, false, Day(2009, 10, 1), Day(2009, 12, 31)}));

TEST(PeriodSelection, DisplaysFollowTheEndDate)
{
    TPeriodSelection p;
    p.Load(Day(2009, 10, 1), Day(2009, 12, 31), kToday);
    EXPECT_EQ(p.YearText(), "2009 г.");
    EXPECT_EQ(p.QuarterText(), "4 кв. 2009 г.");
    EXPECT_EQ(p.MonthText(), "Декабрь 2009 г.");
    p.Load(Day(2009, 1, 1), Day(2009, 10, 31), kToday);
    EXPECT_EQ(p.MonthText(), "Октябрь 2009 г.");
}

TEST(PeriodSelection, SteppingStopsAtTheFirstAndLastYear)
{
    TPeriodSelection p;
    p.Load(Day(1981, 1, 1), Day(1981, 1, 31), kToday);
    ASSERT_EQ(p.Choice(), C::Month);
    p.MonthPrev();
    EXPECT_EQ(p.MonthText(), "Декабрь 1980 г.");
    EXPECT_EQ(p.Start(), Day(1980, 12, 1));
    EXPECT_EQ(p.End(), Day(1980, 12, 31));
    for (int i = 0; i < 11; ++i)
        p.MonthPrev();
    EXPECT_EQ(p.MonthText(), "Январь 1980 г.");
    p.MonthPrev();
    EXPECT_EQ(p.MonthText(), "Январь 1980 г.");
    EXPECT_EQ(p.Start(), Day(1980, 1, 1));

    p.Load(Day(2999, 1, 1), Day(2999, 12, 31), kToday);
    ASSERT_EQ(p.Choice(), C::Year);
    p.YearNext();
    EXPECT_EQ(p.YearText(), "3000 г.");
    p.YearNext();
    EXPECT_EQ(p.YearText(), "3000 г.");
    EXPECT_EQ(p.End(), Day(3000, 12, 31));
    p.Load(Day(1981, 1, 1), Day(1981, 12, 31), kToday);
    p.YearPrev();
    p.YearPrev();
    EXPECT_EQ(p.YearText(), "1980 г.");

    p.Load(Day(3000, 12, 1), Day(3000, 12, 31), kToday);
    p.MonthNext();
    EXPECT_EQ(p.MonthText(), "Декабрь 3000 г.");
    p.Load(Day(3000, 10, 1), Day(3000, 12, 31), kToday);
    p.QuarterNext();
    EXPECT_EQ(p.QuarterText(), "4 кв. 3000 г.");
    p.Load(Day(1980, 1, 1), Day(1980, 3, 31), kToday);
    p.QuarterPrev();
    EXPECT_EQ(p.QuarterText(), "1 кв. 1980 г.");
}

TEST(PeriodSelection, QuarterSteppingCrossesTheYear)
{
    TPeriodSelection p;
    p.Load(Day(2009, 10, 1), Day(2009, 12, 31), kToday);
    p.QuarterNext();
    EXPECT_EQ(p.QuarterText(), "1 кв. 2010 г.");
    EXPECT_EQ(p.Start(), Day(2010, 1, 1));
    EXPECT_EQ(p.End(), Day(2010, 3, 31));
    p.QuarterPrev();
    EXPECT_EQ(p.QuarterText(), "4 кв. 2009 г.");
    EXPECT_EQ(p.Start(), Day(2009, 10, 1));
}

TEST(PeriodSelection, MonthSteppingRespectsLeapYearsAndTheStartOptions)
{
    TPeriodSelection p;
    p.Load(Day(2008, 1, 1), Day(2008, 1, 31), kToday);
    p.MonthNext();
    EXPECT_EQ(p.End(), Day(2008, 2, 29));
    p.SetFromYearStart(true);
    EXPECT_EQ(p.Start(), Day(2008, 1, 1));
    p.SetFromYearStart(false);
    p.MonthNext();
    p.MonthNext(); // April
    p.SetFromQuarterStart(true);
    EXPECT_EQ(p.Start(), Day(2008, 4, 1));
    p.MonthNext();
    EXPECT_EQ(p.Start(), Day(2008, 4, 1));
    EXPECT_EQ(p.End(), Day(2008, 5, 31));
}

TEST(PeriodSelection, ChoosingARadioButtonRecalculatesFromTheEnd)
{
    TPeriodSelection p;
    p.Load(0, 0, kToday); // every document; the other controls show 25 October 2009
    p.Choose(C::Day);
    EXPECT_EQ(p.Start(), kToday);
    EXPECT_EQ(p.End(), kToday);
    p.Choose(C::Quarter);
    EXPECT_EQ(p.Start(), Day(2009, 10, 1));
    EXPECT_EQ(p.End(), Day(2009, 12, 31));
    p.Choose(C::Interval);
    EXPECT_EQ(p.Start(), Day(2009, 10, 1));
    EXPECT_EQ(p.End(), Day(2009, 12, 31));
    p.Choose(C::Month);
    EXPECT_EQ(p.MonthText(), "Декабрь 2009 г.");
    p.Choose(C::Year);
    EXPECT_EQ(p.Start(), Day(2009, 1, 1));
    p.Choose(C::Day);
    EXPECT_EQ(p.Start(), Day(2009, 12, 31)); // the end is the anchor
    p.SetDay(Day(2009, 11, 20));
    p.SetFromMonthStart(true);
    EXPECT_EQ(p.Start(), Day(2009, 11, 1));
    p.SetFromQuarterStart(true); // greys out the month option
    EXPECT_EQ(p.Start(), Day(2009, 10, 1));
}

TEST(PeriodSelection, UsabilityFollowsChoiceAndTicks)
{
    TPeriodSelection p;
    p.Load(0, 0, kToday);
    TPeriodUsability u = p.Usability();
    EXPECT_FALSE(u.yearRow || u.quarterRow || u.monthRow || u.dayPicker || u.intervalPickers);
    EXPECT_FALSE(u.fromYearStart || u.fromQuarterStart || u.fromMonthStart);

    p.Choose(C::Quarter);
    u = p.Usability();
    EXPECT_TRUE(u.quarterRow && u.fromYearStart);
    EXPECT_FALSE(u.fromQuarterStart || u.fromMonthStart);

    p.Choose(C::Month);
    u = p.Usability();
    EXPECT_TRUE(u.monthRow && u.fromYearStart && u.fromQuarterStart);
    EXPECT_FALSE(u.fromMonthStart);

    p.Choose(C::Day);
    u = p.Usability();
    EXPECT_TRUE(u.dayPicker && u.fromYearStart && u.fromQuarterStart && u.fromMonthStart);
    p.SetFromQuarterStart(true);
    EXPECT_FALSE(p.Usability().fromMonthStart);
    p.SetFromYearStart(true);
    u = p.Usability();
    EXPECT_FALSE(u.fromQuarterStart || u.fromMonthStart);

    p.Choose(C::Interval);
    u = p.Usability();
    EXPECT_TRUE(u.intervalPickers);
    EXPECT_FALSE(u.fromYearStart);
    p.Choose(C::Year);
    EXPECT_FALSE(p.Usability().fromYearStart);
}

TEST(PeriodSelection, AGreyedTickDoesNotMoveTheStart)
{
    // Ticked "С начала квартала", then "С начала года": the year's start is what shows ticked
    // and usable, so the year's start is what the agent gets, in Day and in Month.
    TPeriodSelection p;
    p.Load(Day(2009, 11, 20), Day(2009, 11, 20), kToday);
    p.SetFromQuarterStart(true);
    p.SetFromYearStart(true);
    EXPECT_EQ(p.Start(), Day(2009, 1, 1));
    p.Choose(C::Month);
    EXPECT_EQ(p.Start(), Day(2009, 1, 1));
    EXPECT_EQ(p.End(), Day(2009, 11, 30));
}

TEST(PeriodSelection, ResultOfEveryDocumentAndOfABackwardInterval)
{
    TDate s = 5, e = 6;
    TPeriodSelection p;
    p.Load(0, 0, kToday);
    p.Result(s, e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 0);

    p.Load(Day(2009, 10, 15), Day(2009, 10, 20), kToday);
    p.SetFrom(Day(2009, 10, 28) + 0.5);
    p.Result(s, e);
    EXPECT_EQ(s, Day(2009, 10, 20));
    EXPECT_EQ(e, Day(2009, 10, 28));
}

TEST(JournalPeriod, DateChangeIsAskedOncePerDay)
{
    test::TProgramFolder folder;
    TJournalPeriod period(kToday);
    period.CheckDate(kToday + 0.4);
    EXPECT_TRUE(folder.ui.shown.empty());

    folder.ui.answers.push_back(TAnswer::No);
    period.CheckDate(kToday + 1);
    period.CheckDate(kToday + 1.5);
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Сменилась дата. Установить новую дату в журнале?"});
    EXPECT_EQ(period.start, kToday);
    EXPECT_EQ(period.end, kToday);

    folder.ui.answers.push_back(TAnswer::Yes);
    period.CheckDate(kToday + 2);
    EXPECT_EQ(folder.ui.shown.size(), 2u);
    EXPECT_EQ(period.start, kToday + 2);
    EXPECT_EQ(period.end, kToday + 2);
    EXPECT_EQ(period.lastSeen, kToday + 2);
}

} // namespace
} // namespace vendrix
