// The period dialog as the agent sees it: the choice it opens on for periods in use, what its
// displays and pickers show, which controls are usable, and the stepping buttons at their limits.
#include "shell/period_dialog.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "ui/ui_support.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace vendrix {
namespace {

using test::Day;
constexpr TDate kToday = 40111; // 25 October 2009

struct TOpening {
    const char* name;
    TDate start, end;
    TPeriodChoice choice;
    bool fromYear, fromQuarter, fromMonth;
    const char* year;
    const char* quarter;
    const char* month;
    QDate from, to;
};

class PeriodDialogOpening : public ::testing::TestWithParam<TOpening> { };

TEST_P(PeriodDialogOpening, ShowsTheRecognisedChoice)
{
    const TOpening& o = GetParam();
    TPeriodDialog d(nullptr, o.start, o.end, kToday);
    d.show();
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Выбор периода"));
    for (auto c : {TPeriodChoice::Year, TPeriodChoice::Quarter, TPeriodChoice::Month,
             TPeriodChoice::Day, TPeriodChoice::Interval, TPeriodChoice::All})
        EXPECT_EQ(d.Radio(c)->isChecked(), c == o.choice) << static_cast<int>(c);
    EXPECT_EQ(d.FromYearStart()->isChecked(), o.fromYear);
    EXPECT_EQ(d.FromQuarterStart()->isChecked(), o.fromQuarter);
    EXPECT_EQ(d.FromMonthStart()->isChecked(), o.fromMonth);
    EXPECT_EQ(d.Display(0)->text().toStdString(), o.year);
    EXPECT_EQ(d.Display(1)->text().toStdString(), o.quarter);
    EXPECT_EQ(d.Display(2)->text().toStdString(), o.month);
    EXPECT_EQ(d.FromPicker()->date(), o.from);
    EXPECT_EQ(d.ToPicker()->date(), o.to);
    EXPECT_EQ(d.DayPicker()->date(), o.to);
    // Only the chosen row is usable.
    EXPECT_EQ(d.NextButton(0)->isEnabled(), o.choice == TPeriodChoice::Year);
    EXPECT_EQ(d.PrevButton(1)->isEnabled(), o.choice == TPeriodChoice::Quarter);
    EXPECT_EQ(d.Display(2)->isEnabled(), o.choice == TPeriodChoice::Month);
    EXPECT_EQ(d.DayPicker()->isEnabled(), o.choice == TPeriodChoice::Day);
    EXPECT_EQ(d.FromPicker()->isEnabled(), o.choice == TPeriodChoice::Interval);
    EXPECT_FALSE(
        d.DayPicker()->hasFocus() || d.FromPicker()->hasFocus() || d.ToPicker()->hasFocus());
}

using C = TPeriodChoice;
INSTANTIATE_TEST_SUITE_P(Examples, PeriodDialogOpening,
    ::testing::Values(
        TOpening {"AllDocuments", 0, 0, C::All, false, false, false, "2009 г.", "4 кв. 2009 г.",
            "Октябрь 2009 г.", QDate(2009, 10, 25), QDate(2009, 10, 25)},
        TOpening {"FourthQuarter", Day(2009, 10, 1), Day(2009, 12, 31), C::Quarter, false, false,
            false, "2009 г.", "4 кв. 2009 г.", "Декабрь 2009 г.", QDate(2009, 10, 1),
            QDate(2009, 12, 31)},
        TOpening {"JanuaryToOctober", Day(2009, 1, 1), Day(2009, 10, 31), C::Day, true, false,
            false, "2009 г.", "4 кв. 2009 г.", "Октябрь 2009 г.", QDate(2009, 1, 1),
            QDate(2009, 10, 31)},
        TOpening {"FreeInterval", Day(2009, 10, 15), Day(2009, 10, 20), C::Interval, false, false,
            false, "2009 г.", "4 кв. 2009 г.", "Октябрь 2009 г.", QDate(2009, 10, 15),
            QDate(2009, 10, 20)},
        TOpening {"NovemberFromItsStart", Day(2009, 11, 1), Day(2009, 11, 20), C::Day, false, false,
            true, "2009 г.", "4 кв. 2009 г.", "Ноябрь 2009 г.", QDate(2009, 11, 1),
            QDate(2009, 11, 20)},
        TOpening {"OctoberFromTheQuarter", Day(2009, 10, 1), Day(2009, 10, 20), C::Day, false, true,
            false, "2009 г.", "4 кв. 2009 г.", "Октябрь 2009 г.", QDate(2009, 10, 1),
            QDate(2009, 10, 20)},
        TOpening {"AcrossTheYearEnd", Day(2009, 12, 28), Day(2010, 1, 5), C::Interval, false, false,
            false, "2010 г.", "1 кв. 2010 г.", "Январь 2010 г.", QDate(2009, 12, 28),
            QDate(2010, 1, 5)},
        TOpening {"AWholeYear", Day(2009, 1, 1), Day(2009, 12, 31), C::Year, false, false, false,
            "2009 г.", "4 кв. 2009 г.", "Декабрь 2009 г.", QDate(2009, 1, 1), QDate(2009, 12, 31)}),
    [](const auto& info) { return std::string(info.param.name); });

void Click(QAbstractButton* button, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(button, Qt::LeftButton);
}

TEST(PeriodDialog, SteppingButtonsStopAtTheFirstAndLastYear)
{
    TPeriodDialog d(nullptr, Day(1981, 1, 1), Day(1981, 1, 31), kToday);
    d.show();
    ASSERT_TRUE(d.Radio(TPeriodChoice::Month)->isChecked());
    Click(d.PrevButton(2));
    EXPECT_EQ(d.Display(2)->text(), QString::fromUtf8("Декабрь 1980 г."));
    EXPECT_EQ(d.FromPicker()->date(), QDate(1980, 12, 1));
    Click(d.PrevButton(2), 12);
    EXPECT_EQ(d.Display(2)->text(), QString::fromUtf8("Январь 1980 г."));

    Click(d.Radio(TPeriodChoice::Year));
    Click(d.NextButton(0), 1025);
    EXPECT_EQ(d.Display(0)->text(), QString::fromUtf8("3000 г."));
    EXPECT_EQ(d.ToPicker()->date(), QDate(3000, 12, 31));
    Click(d.Radio(TPeriodChoice::Quarter));
    Click(d.NextButton(1), 5);
    EXPECT_EQ(d.Display(1)->text(), QString::fromUtf8("4 кв. 3000 г."));
    Click(d.PrevButton(1));
    EXPECT_EQ(d.Display(1)->text(), QString::fromUtf8("3 кв. 3000 г."));
    EXPECT_EQ(d.FromPicker()->date(), QDate(3000, 7, 1));
}

TEST(PeriodDialog, ControlsFeedTheSelection)
{
    TPeriodDialog d(nullptr, Day(2009, 10, 1), Day(2009, 12, 31), kToday);
    d.show();
    Click(d.NextButton(1));
    EXPECT_EQ(d.Display(1)->text(), QString::fromUtf8("1 кв. 2010 г."));
    EXPECT_EQ(d.FromPicker()->date(), QDate(2010, 1, 1));
    EXPECT_EQ(d.ToPicker()->date(), QDate(2010, 3, 31));

    Click(d.Radio(TPeriodChoice::Day));
    EXPECT_TRUE(d.FromMonthStart()->isEnabled());
    d.DayPicker()->setDate(QDate(2010, 2, 14));
    Click(d.FromMonthStart());
    EXPECT_EQ(d.FromPicker()->date(), QDate(2010, 2, 1));
    Click(d.FromYearStart());
    EXPECT_FALSE(d.FromQuarterStart()->isEnabled());
    EXPECT_FALSE(d.FromMonthStart()->isEnabled());
    EXPECT_EQ(d.FromPicker()->date(), QDate(2010, 1, 1));
    EXPECT_EQ(d.ToPicker()->date(), QDate(2010, 2, 14));

    Click(d.Radio(TPeriodChoice::Interval));
    EXPECT_FALSE(d.FromYearStart()->isEnabled());
    d.ToPicker()->setDate(QDate(2010, 5, 9));
    EXPECT_EQ(d.Selection().End(), Day(2010, 5, 9));
    EXPECT_EQ(d.Display(2)->text(), QString::fromUtf8("Май 2010 г."));
}

TEST(PeriodDialog, OkReturnsThePeriodAndCancelKeepsIt)
{
    TDate start = Day(2009, 10, 25), end = start;
    auto ran = test::OnNextModal<TPeriodDialog>([](TPeriodDialog* d) {
        Click(d->Radio(TPeriodChoice::Month));
        d->Menu().Activate(0);
    });
    EXPECT_TRUE(ChoosePeriod(nullptr, start, end, kToday));
    EXPECT_TRUE(*ran);
    EXPECT_EQ(start, Day(2009, 10, 1));
    EXPECT_EQ(end, Day(2009, 10, 31));

    ran = test::OnNextModal<TPeriodDialog>([](TPeriodDialog* d) {
        Click(d->Radio(TPeriodChoice::All));
        d->Menu().Activate(1);
    });
    EXPECT_FALSE(ChoosePeriod(nullptr, start, end, kToday));
    EXPECT_TRUE(*ran);
    EXPECT_EQ(start, Day(2009, 10, 1));
    EXPECT_EQ(end, Day(2009, 10, 31));
}

} // namespace
} // namespace vendrix
