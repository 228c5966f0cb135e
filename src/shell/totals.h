// What a period of the journal came to: the number of orders, their sum and weight, by journal
// day, by client and in all, and how many orders were in each state. The rows are the journal's
// own (the same table, the same period conditions, every state counted as the journal lists
// it), and the sums are added in the program's fixed point, never through a floating number.
// The «Итоги» window shows these figures; vendrix-cli prints them for the office's scripts.
#pragma once

#include "storage/value_formats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

/// The orders of one journal day, of one client, or of the whole period.
struct TTotalsLine {
    std::string key; // the journal date as stored ("2009-10-25"), the client's name, or empty
    int orders = 0;
    TAmount sum = 0; // the orders' ORD_SUMM added up
    TAmount weight = 0; // their ORD_WEIGHT added up
};

/// How many orders of the period were in one state (DOC_STATE read as the journal reads it).
struct TStateCount {
    int state = 0;
    int orders = 0;
};

struct TTotals {
    TTotalsLine whole;
    std::vector<TTotalsLine> days; // one per journal date, the largest sum first
    std::vector<TTotalsLine> clients; // one per client name, the largest sum first
    std::vector<TStateCount> states; // the states that occur, by state number
};

/// The totals of the journal's period (start 0: every document), over exactly the rows the
/// journal lists for it. nullopt when the database could not be read; the user has been told.
std::optional<TTotals> JournalTotals(TDate start, TDate end);

/// The totals of the documents whose journal date lies between `from` and `to`, both included;
/// an end not given is open. nullopt when the database could not be read (told).
std::optional<TTotals> PeriodTotals(std::optional<TDate> from, std::optional<TDate> to);

/// Sorts lines by their number of orders, the most first (ties by key), for a journal that
/// shows no sums; JournalTotals sorts by sum.
void SortByOrders(std::vector<TTotalsLine>& lines);

/// A journal date as stored ("2009-10-25") as "25.10.2009"; "???" when it is not in that form,
/// as the journal shows such a date.
std::string DayText(std::string_view stored);

/// The period in words: "все документы", "25.10.2009", "01.10.2009 – 31.10.2009",
/// "с 01.10.2009" or "по 31.10.2009".
std::string PeriodText(std::optional<TDate> from, std::optional<TDate> to);

/// The journal's period (start 0: every document) in the same words.
std::string JournalPeriodText(TDate start, TDate end);

/// The totals as a text for a terminal: the period, the list by day, the list by client (each
/// line with its orders, sum and weight, columns aligned) and the whole; UTF-8, LF line ends.
std::string TotalsText(const TTotals& totals, const std::string& period);

/// The totals as CSV (RFC 4180: CR LF line ends, a field with a comma, a quote or a line break
/// quoted, quotes doubled), UTF-8 without a byte order mark: the header
/// "kind,key,orders,sum,weight", one "day" row per journal date (key as stored, yyyy-MM-dd),
/// one "client" row per client name, one "total" row with an empty key; sums with two
/// decimals, weights with three, "." as the decimal point.
std::string TotalsCsv(const TTotals& totals);

/// How much of the period one bar of the chart covers.
enum class TChartStep { Day, Month, Year };

/// One bar of the chart: its label under it and its value (a sum, or a number of orders).
struct TChartBar {
    std::string label;
    std::int64_t value = 0;
};

struct TChart {
    TChartStep step = TChartStep::Day;
    std::vector<TChartBar> bars; // in date order
};

/// The chart of the days' sums (of their orders when `sums` is false) in date order: a bar a
/// day ("25.10") while there are at most `maxBars` days, else a bar a month ("10.2009"), else a
/// bar a year ("2009"). Dates not in the stored form come last, as one bar "???".
TChart ChartOf(const std::vector<TTotalsLine>& days, int maxBars, bool sums);

/// The chart's value as the window writes it: a sum with two decimals, or whole orders.
std::string ChartValueText(std::int64_t value, bool sums);

} // namespace vendrix
