// The journal's period: the choice the agent makes in the period dialog (a year, a quarter, a
// month, a day, a free interval or every document, with the options that move the start back to
// the beginning of the year, quarter or month), the recognition of that choice from a period
// already in use, the stepping limits, and the period the main window keeps with the day it last
// compared against the calendar. Plain logic; the dialog only shows and feeds it.
#pragma once

#include "storage/value_formats.h"

#include <string>

namespace vendrix {

/// The six radio choices of the period dialog, in their order on the window.
enum class TPeriodChoice { Year, Quarter, Month, Day, Interval, All };

/// Which controls of the period dialog the agent can use for the current choice.
struct TPeriodUsability {
    bool yearRow = false;
    bool quarterRow = false;
    bool monthRow = false;
    bool dayPicker = false;
    bool intervalPickers = false;
    bool fromYearStart = false;
    bool fromQuarterStart = false;
    bool fromMonthStart = false;
};

/// The first and last year the stepping buttons reach.
constexpr int kFirstPeriodYear = 1980;
constexpr int kLastPeriodYear = 3000;

/// The state of the period dialog. The period end is the anchor: every change recalculates the
/// start and end from the choice and re-derives year, month and quarter from the end.
class TPeriodSelection {
public:
    /// Loads the selection from a period (whole days; start 0 means every document) and
    /// recognises the choice that produced it; `today` fills the controls for every document.
    void Load(TDate start, TDate end, TDate today);

    /// The radio buttons: a quarter starts at its first month, a day begins as the end day.
    void Choose(TPeriodChoice choice);
    /// The three "from the start of" check boxes; each recalculates.
    void SetFromYearStart(bool on);
    void SetFromQuarterStart(bool on);
    void SetFromMonthStart(bool on);

    /// The stepping buttons; each stops at the first and last year and recalculates.
    void YearNext();
    void YearPrev();
    void QuarterNext();
    void QuarterPrev();
    void MonthNext();
    void MonthPrev();

    /// The date pickers: the day picker and "по" set the end, "с" sets the start.
    void SetDay(TDate day);
    void SetFrom(TDate day);
    void SetTo(TDate day);

    /// The period the dialog returns on OK: both 0 for every document, otherwise start and end
    /// in whole days, the earlier first.
    void Result(TDate& start, TDate& end) const;

    TPeriodUsability Usability() const;
    /// "2009 г.", "4 кв. 2009 г." and "Октябрь 2009 г." ("???" for a month outside 1-12).
    std::string YearText() const;
    std::string QuarterText() const;
    std::string MonthText() const;

    TPeriodChoice Choice() const { return m_choice; }
    bool FromYearStart() const { return m_fromYear; }
    bool FromQuarterStart() const { return m_fromQuarter; }
    bool FromMonthStart() const { return m_fromMonth; }
    TDate Start() const { return m_start; }
    TDate End() const { return m_end; }
    int Year() const { return m_year; }
    int Quarter() const { return m_quarter; }
    int Month() const { return m_month; }

private:
    void Recalculate();
    void DeriveFromEnd();

    TPeriodChoice m_choice = TPeriodChoice::All;
    bool m_fromYear = false;
    bool m_fromQuarter = false;
    bool m_fromMonth = false;
    TDate m_start = 0;
    TDate m_end = 0;
    int m_year = 2000;
    int m_month = 1;
    int m_quarter = 1;
};

/// The main window's journal period, kept in memory only: every start begins with today.
struct TJournalPeriod {
    explicit TJournalPeriod(TDate today)
        : start(today)
        , end(today)
        , lastSeen(today)
    {
    }

    /// The date check of "Обновить": when the calendar day moved on since the last check, asks
    /// "Сменилась дата. Установить новую дату в журнале?" and on Yes makes the period today.
    /// Either way the new day counts as seen, so the question comes once per change of day.
    void CheckDate(TDate today);

    TDate start;
    TDate end;
    TDate lastSeen;
};

} // namespace vendrix
