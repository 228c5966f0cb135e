// Loading the journal.
#include "shell/journal.h"

#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"

namespace vendrix {

namespace {

// "2009-10-25" shows as "25.10"; anything else as "???".
std::string DateCell(const std::string& stored)
{
    const std::string d = Trim(stored);
    if (IsStoredDate(d))
        return d.substr(8, 2) + "." + d.substr(5, 2);
    return "???";
}

} // namespace

bool IsStoredDate(std::string_view date)
{
    return date.size() > 9 && date[4] == '-' && date[7] == '-';
}

std::string JournalFilter(TDate start, TDate end)
{
    if (start == 0)
        return {};
    return PeriodFilter(start, end);
}

std::string PeriodFilter(std::optional<TDate> from, std::optional<TDate> to)
{
    if (from && to) {
        if (*from == *to)
            return " where (REC_TIME=" + DateText(*from) + ")";
        return " where (REC_TIME BETWEEN " + DateText(*from) + " and " + DateText(*to) + ")";
    }
    if (from)
        return " where (REC_TIME>=" + DateText(*from) + ")";
    if (to)
        return " where (REC_TIME<=" + DateText(*to) + ")";
    return {};
}

void LoadJournal(TJournal& journal, TDate start, TDate end)
{
    journal.showSums = GetOption(nullptr, "UseSUMS", "1") != "0";
    journal.rows.clear();
    journal.keys.clear();
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return;
    TBusyScope busy;
    if (!q->Exec("select GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from DOC_HEADS"
            + JournalFilter(start, end))) {
        UI().Message("Ошибка при выполнении запроса (список документов).", TIcon::None);
        return;
    }
    journal.rows.reserve(static_cast<std::size_t>(q->RowCount()));
    journal.keys.reserve(static_cast<std::size_t>(q->RowCount()));
    const int cGuid = q->ColumnIndex("GUID"), cDate = q->ColumnIndex("DOC_DATE"),
              cState = q->ColumnIndex("DOC_STATE"), cClient = q->ColumnIndex("CLI_NAME"),
              cWeight = q->ColumnIndex("ORD_WEIGHT"), cSum = q->ColumnIndex("ORD_SUMM");
    for (q->Prev(); !q->Eof(); q->Next()) {
        TJournalRow row;
        const std::string guid = Trim(q->Field(cGuid));
        row.image = TextToInt(q->Field(cState), 0);
        row.stateCell = "  " + guid;
        row.date = DateCell(q->Field(cDate));
        row.client = Trim(q->Field(cClient));
        row.quantity = AmountText(TextToAmount(Trim(q->Field(cWeight)), 0), 1, true);
        if (journal.showSums)
            row.sum = AmountText(TextToAmount(Trim(q->Field(cSum)), 0), 2, true);
        journal.rows.push_back(std::move(row));
        journal.keys.push_back(guid);
    }
}

} // namespace vendrix
