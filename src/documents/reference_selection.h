// Picking a document's client, or the trade point of its client, from the client list: which
// items are offered in each mode, the row to preselect, the rows drawn in red, the quick search,
// the refusal of clients to whom shipment is forbidden, and the code column width kept in the
// options. The reference selection form shows these rows and asks this for every decision.
#pragma once

#include "documents/reference_lists.h"

#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

enum class TReferenceMode { Clients, TradePoints };

/// What a pick hands back to the document form.
struct TPickedItem {
    bool chosen = false;
    std::string guid;
    std::string name;
    std::string info; // "|" stands for a line break
};

/// The offered items, in the client list's order: clients (KIND below 2) in client mode; in
/// trade point mode the trade points (KIND 2) of `clientGuid` exactly.
std::vector<const TSprListItem*> ReferenceRows(TReferenceMode mode, std::string_view clientGuid,
    const std::vector<TSprListItem>& list = ClientList());

/// The text of a row's column: code, name, GUID, "1"/"0" for a blocked client, information.
std::string ReferenceCell(const TSprListItem& item, int column);

/// The row whose GUID equals `guid` (trimmed) exactly; -1 when none.
int PreselectedRow(const std::vector<const TSprListItem*>& rows, std::string_view guid);

/// Rows whose code begins with the Cyrillic capital "А" are drawn in red.
bool IsRedCode(std::string_view code);

/// Quick search by name: the text trimmed; -1 when it is empty or nothing matches.
int FindReferenceRow(const std::vector<const TSprListItem*>& rows, std::string_view text);

/// Picking `item`: false, after telling the agent "На выбранного клиента отгрузка запрещена!",
/// when shipment to it is forbidden; else the pick to hand back.
bool PickReferenceItem(const TSprListItem& item, TPickedItem& out);

/// Before a trade point can be picked the document needs a client: false, after telling the
/// agent "Не выбран клиент!", when `clientGuid` is blank.
bool TradePointPickAllowed(std::string_view clientGuid);

/// The saved width of the code box (option SPR_COLW_0 when above 4); 0 when none is saved.
int SavedCodeBoxWidth();
/// Keeps the code box width for the next pick.
void SaveCodeBoxWidth(int width);

} // namespace vendrix
