// The period selection: recalculation, recognition, stepping and usability.
#include "shell/period.h"

#include "storage/ui_seam.h"

#include <cmath>
#include <utility>

namespace vendrix {

namespace {

TDate Day(int year, int month, int day)
{
    TDate d = 0;
    EncodeDate(year, month, day, d);
    return d;
}

int DaysInMonth(int year, int month)
{
    for (int day = 31; day > 28; --day) {
        TDate unused = 0;
        if (EncodeDate(year, month, day, unused))
            return day;
    }
    return 28;
}

TDate LastDay(int year, int month)
{
    return Day(year, month, DaysInMonth(year, month));
}

int QuarterOf(int month)
{
    return (month + 2) / 3;
}

int FirstMonthOfQuarter(int quarter)
{
    return quarter * 3 - 2;
}

TDate WholeDay(TDate d)
{
    return std::isfinite(d) ? std::floor(d) : 0;
}

} // namespace

void TPeriodSelection::DeriveFromEnd()
{
    int day = 0;
    DecodeDate(m_end, m_year, m_month, day);
    m_quarter = QuarterOf(m_month);
}

TPeriodUsability TPeriodSelection::Usability() const
{
    TPeriodUsability u;
    u.yearRow = m_choice == TPeriodChoice::Year;
    u.quarterRow = m_choice == TPeriodChoice::Quarter;
    u.monthRow = m_choice == TPeriodChoice::Month;
    u.dayPicker = m_choice == TPeriodChoice::Day;
    u.intervalPickers = m_choice == TPeriodChoice::Interval;
    u.fromYearStart = m_choice != TPeriodChoice::Year && m_choice != TPeriodChoice::Interval
        && m_choice != TPeriodChoice::All;
    u.fromQuarterStart = m_choice != TPeriodChoice::Quarter && u.fromYearStart && !m_fromYear;
    u.fromMonthStart = m_choice != TPeriodChoice::Month && u.fromQuarterStart && !m_fromQuarter;
    return u;
}

void TPeriodSelection::Recalculate()
{
    // A greyed-out option does not count, even while its box still shows a tick: the agent
    // who ticks "С начала года" over an earlier "С начала квартала" gets the year's start.
    const TPeriodUsability u = Usability();
    const bool fromYear = m_fromYear && u.fromYearStart;
    const bool fromQuarter = m_fromQuarter && u.fromQuarterStart;
    const bool fromMonth = m_fromMonth && u.fromMonthStart;
    switch (m_choice) {
    case TPeriodChoice::Year:
        m_start = Day(m_year, 1, 1);
        m_end = Day(m_year, 12, 31);
        break;
    case TPeriodChoice::Quarter:
        m_start = Day(m_year, FirstMonthOfQuarter(m_quarter), 1);
        m_month = m_quarter * 3;
        m_end = LastDay(m_year, m_month);
        if (fromYear)
            m_start = Day(m_year, 1, 1);
        break;
    case TPeriodChoice::Month:
        m_start = Day(m_year, m_month, 1);
        m_end = LastDay(m_year, m_month);
        if (fromYear)
            m_start = Day(m_year, 1, 1);
        if (fromQuarter)
            m_start = Day(m_year, FirstMonthOfQuarter(QuarterOf(m_month)), 1);
        break;
    case TPeriodChoice::Day:
        m_start = m_end;
        if (fromYear)
            m_start = Day(m_year, 1, 1);
        if (fromQuarter)
            m_start = Day(m_year, FirstMonthOfQuarter(QuarterOf(m_month)), 1);
        if (fromMonth)
            m_start = Day(m_year, m_month, 1);
        break;
    case TPeriodChoice::Interval:
    case TPeriodChoice::All:
        break;
    }
    DeriveFromEnd();
}

void TPeriodSelection::Load(TDate start, TDate end, TDate today)
{
    const TDate s = WholeDay(start), e = WholeDay(end);
    m_fromYear = m_fromQuarter = m_fromMonth = false;
    if (s == 0) {
        m_start = m_end = WholeDay(today);
        m_choice = TPeriodChoice::All;
        Recalculate();
        return;
    }
    m_start = s;
    m_end = e;
    DeriveFromEnd();
    int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
    DecodeDate(s, y1, m1, d1);
    DecodeDate(e, y2, m2, d2);
    if (y1 != y2) {
        m_choice = TPeriodChoice::Interval;
        Recalculate();
        return;
    }
    const bool sameDay = s == e;
    const bool sameMonth = m1 == m2;
    const bool sameQuarter = QuarterOf(m1) == QuarterOf(m2);
    const bool startsYear = m1 == 1 && d1 == 1 && !sameDay;
    const bool startsQuarter = sameQuarter && (m1 == 4 || m1 == 7 || m1 == 10) && d1 == 1;
    const bool startsMonth = sameMonth && d1 == 1 && !startsQuarter && !startsYear;
    const bool endsYear = m2 == 12 && d2 == 31;
    const bool endsQuarter = sameQuarter && m2 % 3 == 0 && d2 == DaysInMonth(y2, m2);
    const bool endsMonth = sameMonth && d2 == DaysInMonth(y2, m2);

    if (endsYear && startsYear) {
        m_choice = TPeriodChoice::Year;
    } else if (endsQuarter && (startsQuarter || startsYear)) {
        m_choice = TPeriodChoice::Quarter;
        m_fromYear = startsYear && !startsQuarter;
    } else if (endsMonth && (startsMonth || startsYear || startsQuarter)) {
        m_choice = TPeriodChoice::Month;
        m_fromYear = startsYear && !sameMonth;
        m_fromQuarter = startsQuarter && !startsYear && !sameMonth;
    } else if (sameDay || startsYear || startsQuarter || startsMonth) {
        m_choice = TPeriodChoice::Day;
        m_fromYear = startsYear && !sameDay;
        m_fromQuarter = startsQuarter && !startsYear && !sameDay;
        m_fromMonth = startsMonth && !startsQuarter && !startsYear && !sameDay;
    } else {
        m_choice = TPeriodChoice::Interval;
    }
    Recalculate();
}

void TPeriodSelection::Choose(TPeriodChoice choice)
{
    m_choice = choice;
    if (choice == TPeriodChoice::Quarter)
        m_month = m_quarter * 3;
    if (choice == TPeriodChoice::Day)
        m_start = m_end;
    Recalculate();
}

void TPeriodSelection::SetFromYearStart(bool on)
{
    m_fromYear = on;
    Recalculate();
}

void TPeriodSelection::SetFromQuarterStart(bool on)
{
    m_fromQuarter = on;
    Recalculate();
}

void TPeriodSelection::SetFromMonthStart(bool on)
{
    m_fromMonth = on;
    Recalculate();
}

void TPeriodSelection::YearNext()
{
    if (m_year < kLastPeriodYear)
        ++m_year;
    Recalculate();
}

void TPeriodSelection::YearPrev()
{
    if (m_year > kFirstPeriodYear)
        --m_year;
    Recalculate();
}

void TPeriodSelection::QuarterNext()
{
    if (m_quarter == 4) {
        if (m_year >= kLastPeriodYear)
            return;
        ++m_year;
        m_quarter = 1;
    } else {
        ++m_quarter;
    }
    m_month = m_quarter * 3;
    Recalculate();
}

void TPeriodSelection::QuarterPrev()
{
    if (m_quarter == 1) {
        if (m_year <= kFirstPeriodYear)
            return;
        --m_year;
        m_quarter = 4;
    } else {
        --m_quarter;
    }
    m_month = m_quarter * 3;
    Recalculate();
}

void TPeriodSelection::MonthNext()
{
    if (m_month == 12) {
        if (m_year >= kLastPeriodYear)
            return;
        ++m_year;
        m_month = 1;
    } else {
        ++m_month;
    }
    Recalculate();
}

void TPeriodSelection::MonthPrev()
{
    if (m_month == 1) {
        if (m_year <= kFirstPeriodYear)
            return;
        --m_year;
        m_month = 12;
    } else {
        --m_month;
    }
    Recalculate();
}

void TPeriodSelection::SetDay(TDate day)
{
    m_end = WholeDay(day);
    Recalculate();
}

void TPeriodSelection::SetFrom(TDate day)
{
    m_start = WholeDay(day);
    Recalculate();
}

void TPeriodSelection::SetTo(TDate day)
{
    m_end = WholeDay(day);
    Recalculate();
}

void TPeriodSelection::Result(TDate& start, TDate& end) const
{
    if (m_choice == TPeriodChoice::All) {
        start = end = 0;
        return;
    }
    start = WholeDay(m_start);
    end = WholeDay(m_end);
    // An interval picked backwards ("с" after "по") means the same days; left as it is, the
    // journal's BETWEEN would match nothing and show an empty journal.
    if (start > end)
        std::swap(start, end);
}

std::string TPeriodSelection::YearText() const
{
    return IntText(m_year) + " г.";
}

std::string TPeriodSelection::QuarterText() const
{
    return IntText(m_quarter) + " кв. " + IntText(m_year) + " г.";
}

std::string TPeriodSelection::MonthText() const
{
    static const char* const kNames[12] = {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь",
        "Июль", "Август", "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    const std::string name = m_month >= 1 && m_month <= 12 ? kNames[m_month - 1] : "???";
    return name + " " + IntText(m_year) + " г.";
}

void TJournalPeriod::CheckDate(TDate today)
{
    const TDate day = WholeDay(today);
    if (lastSeen != day
        && UI().Ask(
               "Сменилась дата. Установить новую дату в журнале?", TIcon::Question, TButtons::YesNo)
            == TAnswer::Yes) {
        start = end = day;
    }
    lastSeen = day;
}

} // namespace vendrix
