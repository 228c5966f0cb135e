// The journal of order documents: the rows the main window lists for a period (state image,
// date, client, quantity, sum) with the GUID of each row's document.
#pragma once

#include "storage/value_formats.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

struct TJournalRow {
    int image = 0; // state image index; outside 0-4 shows none
    std::string stateCell; // two blanks and the GUID: the narrow first column shows only the image
    std::string date; // "25.10", or "???" for a date not in the stored form
    std::string client;
    std::string quantity; // one decimal, empty for zero
    std::string sum; // two decimals, empty for zero or when sums are not shown
};

/// The journal list and its row keys: keys[i] is the GUID of the document in rows[i].
struct TJournal {
    std::vector<TJournalRow> rows;
    std::vector<std::string> keys;
    bool showSums = true;
};

/// Fills the journal with the documents whose journal date lies in [start, end] (whole days;
/// start 0 means every document), in the order they were first written. On failure the journal
/// stays empty; the user has been told.
void LoadJournal(TJournal& journal, TDate start, TDate end);

/// The filter of the journal query for a period: empty, " where (REC_TIME=...)" or BETWEEN.
std::string JournalFilter(TDate start, TDate end);

/// The same conditions on the journal date for an interval that may be open at either end: both
/// ends give JournalFilter's "=" or BETWEEN (ends included), one end ">=" or "<=", none empty.
std::string PeriodFilter(std::optional<TDate> from, std::optional<TDate> to);

/// Whether a journal date (trimmed) is in the stored form "2009-10-25"; any other shows "???".
bool IsStoredDate(std::string_view date);

} // namespace vendrix
