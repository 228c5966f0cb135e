// The rules of the reference selection.
#include "documents/reference_selection.h"

#include "storage/options.h"
#include "storage/ui_seam.h"

namespace vendrix {

std::vector<const TSprListItem*> ReferenceRows(
    TReferenceMode mode, std::string_view clientGuid, const std::vector<TSprListItem>& list)
{
    std::vector<const TSprListItem*> rows;
    for (const TSprListItem& item : list) {
        const bool offered = mode == TReferenceMode::Clients
            ? item.KIND < 2
            : item.KIND == 2 && item.CLI_GUID() == clientGuid;
        if (offered)
            rows.push_back(&item);
    }
    return rows;
}

std::string ReferenceCell(const TSprListItem& item, int column)
{
    switch (column) {
    case 0:
        return std::string(item.KOD());
    case 1:
        return std::string(item.ANAME());
    case 2:
        return std::string(item.GUID());
    case 3:
        return item.deleted ? "1" : "0";
    case 4:
        return std::string(item.INFO());
    default:
        return {};
    }
}

int PreselectedRow(const std::vector<const TSprListItem*>& rows, std::string_view guid)
{
    const std::string key = Trim(guid);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r]->GUID() == key)
            return static_cast<int>(r);
    }
    return -1;
}

bool IsRedCode(std::string_view code)
{
    // U+0410 in UTF-8; the Latin "A" of a code such as A12 stays black.
    return code.substr(0, 2) == "\xD0\x90";
}

int FindReferenceRow(const std::vector<const TSprListItem*>& rows, std::string_view text)
{
    const std::string name = Trim(text);
    if (name.empty())
        return -1;
    return FindRowByPrefix(
        static_cast<int>(rows.size()),
        [&rows](int r) -> std::string_view { return rows[static_cast<std::size_t>(r)]->ANAME(); },
        name);
}

bool PickReferenceItem(const TSprListItem& item, TPickedItem& out)
{
    if (item.deleted) {
        UI().Message("На выбранного клиента отгрузка запрещена!", TIcon::Warning);
        return false;
    }
    out.chosen = true;
    out.guid = Trim(item.GUID());
    out.name = item.ANAME();
    out.info = item.INFO();
    return true;
}

bool TradePointPickAllowed(std::string_view clientGuid)
{
    if (!Trim(clientGuid).empty())
        return true;
    UI().Message("Не выбран клиент!", TIcon::Information);
    return false;
}

int SavedCodeBoxWidth()
{
    const int width = TextToInt(GetOption(nullptr, "SPR_COLW_0", "0"), 0);
    return width > 4 ? width : 0;
}

void SaveCodeBoxWidth(int width)
{
    SetOption("SPR_COLW_0", std::to_string(width));
}

} // namespace vendrix
