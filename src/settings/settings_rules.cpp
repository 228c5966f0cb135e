// The settings form's rules: FTP field enabling, widths, the information rows, the column-width
// reset, loading and saving the options table.
#include "settings/settings_rules.h"

#include "settings/options_binding.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <algorithm>

namespace vendrix {

TSettingsTab StartingTab(bool hideExchangeTicked)
{
    return hideExchangeTicked ? TSettingsTab::Look : TSettingsTab::Exchange;
}

TFtpEnabling FtpEnabling(bool useFtp, bool authorisation)
{
    TFtpEnabling e;
    e.connection = useFtp;
    e.login = useFtp && authorisation;
    e.password = e.login;
    return e;
}

int StretchedWidth(int left, int pageWidth, int scrollBarWidth)
{
    return std::max(50, pageWidth - 5 - 10 - scrollBarWidth - left);
}

std::vector<TInfoRow> ReadInfoRows()
{
    struct TInfoOption {
        const char* caption;
        const char* option;
        const char* description;
    };
    static const TInfoOption kRows[] = {
        {"Агент:", "AgentName", "Имя торгового агента"},
        {"КПК:", "PDA_ID", "Идентификатор КПК"},
        {"Посл. загр.:", "LLD", "Дата последней загрузки данных"},
        {"Посл. загр.:", "LLD_Def", "Дата последней загрузки данных (по-умолчанию)"},
        {"Обменов:", "EXCH_CNT", "Количество успешных обменов"},
    };
    std::vector<TInfoRow> rows;
    for (const TInfoOption& r : kRows)
        rows.push_back(
            {r.caption, r.option, r.description, Trim(GetOption(nullptr, r.option, "???"))});
    // Not an option: where this copy keeps its database and exchange folder, which an
    // installed program moves into the user's home.
    std::string folder = ProgramFolder().string();
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    rows.push_back({"Папка:", "", "Папка данных и обмена", folder});
    return rows;
}

std::string InfoLabelText(const TInfoRow& row)
{
    return row.value + "\r\n" + row.description;
}

std::string InfoMessageText(const TInfoRow& row)
{
    return row.caption + "\r\n" + row.value;
}

bool ResetColumnWidths(TOptionsBinding& binding)
{
    if (UI().Ask("Установить настройки ширины колонок по-умолчанию?", TIcon::Question,
            TButtons::OkCancel)
        != TAnswer::Ok)
        return false;
    bool removed = binding.RemoveOption("SPR_COLW_0");
    for (int column = 0; column <= 4; ++column)
        removed = binding.RemoveOption("SPR_MUL_COLW_" + IntText(column)) && removed;
    return removed;
}

bool LoadSettings(TOptionsBinding& binding)
{
    TBusyScope busy;
    const std::unique_ptr<TSqlQuery> rows
        = RunQuery("select OPT_NAME, OPT_VAL, OPT_DESCR from MY_OPTIONS");
    if (!rows)
        return false;
    binding.Fill(*rows, true);
    return true;
}

bool SaveSettings(const TOptionsBinding& binding)
{
    TBusyScope busy;
    const std::unique_ptr<TSqlQuery> query = TSqlQuery::Create(DbPath(), true);
    if (!query)
        return false;
    // The table is emptied inside the script's own transaction rather than before it: should
    // any insert fail (a full or locked database), the agent keeps every setting he had instead
    // of finding the table empty.
    return binding.Write(*query, true, true);
}

} // namespace vendrix
