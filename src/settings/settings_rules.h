// What the settings form decides without its widgets: the options it binds and in what order
// (which is also the order they are written back), which FTP fields may be edited, how wide the
// exchange page's controls are, the device information rows, the column-width reset, and the
// loading and saving of the whole table.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace vendrix {

class TOptionsBinding;

/// Every option the settings form shows, in binding order.
constexpr std::array<const char*, 48> kSettingsOptions
    = {"USEFTP", "FTPAUTH", "USEZIP", "FTPADDRESS", "FTPPORT", "FTPPATH", "FTPLOGIN", "FTPPASSWORD",
        "FTPAUTO", "CONN_INET", "CONN_LAN", "BREAK_INET", "FTP_PAUSE", "LINES_ZH", "LINES_DOC",
        "LINES_OTHER", "FONT_SIZE", "Q_ON_EXIT", "TRAY_ICON", "X_IS_CLOSE", "HIDE_PERIOD",
        "HIDE_FTP_PAGE", "HIDE_L_EXCH", "HIDE_ABOUTBOX", "DOC_TRADE_P", "DOC_SKU", "DOC_PRICES",
        "NEWDOC_DATE", "DOCPAGE", "SPR_QSEARCH", "SPR_CODES", "SPR_QCLIENT", "UseSUMS",
        "NOCOPY_DATE", "NOCOPY_TP", "NOCOPY_COMM", "NOCOPY_SKU", "NOCOPY_PRICES", "DATE", "CLIENT",
        "TP", "PRIM", "TABLE1", "TABLE2", "TABLE3", "MultiSelFormText", "Nomenkl", "Count"};

/// The tabs of the form, left to right.
enum class TSettingsTab { Exchange = 0, Look = 1, Functions = 2, Captions = 3, Info = 4 };

/// The tab the form opens on: "Оформл." when the exchange menu items are hidden, since the
/// agent then has no business on the exchange tab; otherwise " Обмен ".
TSettingsTab StartingTab(bool hideExchangeTicked);

/// Which controls of the exchange tab may be edited.
struct TFtpEnabling {
    bool connection = false; // server, port, folder, authorisation and the connection switches
    bool login = false;
    bool password = false;
};
/// The FTP fields follow " FTP соединение"; the login also needs " Авторизация", and the
/// password goes with the login. Each field's label goes with its box.
TFtpEnabling FtpEnabling(bool useFtp, bool authorisation);

/// The width that makes a control starting at `left` end 5 + 10 pixels and a vertical scroll
/// bar short of the right edge at `pageWidth`; never below 50.
int StretchedWidth(int left, int pageWidth, int scrollBarWidth);

/// One row of the "Информ." list.
struct TInfoRow {
    std::string caption; // "Имя" column
    std::string option; // empty for the folder row
    std::string description;
    std::string value; // the option's value now, "???" when it has none
};
/// Reads the agent name, device identifier, last load dates and exchange count as they are now,
/// then the folder that holds the database and the exchange folder (no option behind it).
std::vector<TInfoRow> ReadInfoRows();
/// The information label for a row: its value, CR LF, its description.
std::string InfoLabelText(const TInfoRow& row);
/// The message on tapping the selected row: its caption, CR LF, its value.
std::string InfoMessageText(const TInfoRow& row);

/// Asks "Установить настройки ширины колонок по-умолчанию?" and on OK deletes the saved
/// column widths of both selection forms at once, through `binding` so that no later save
/// writes them back. True when they were deleted.
bool ResetColumnWidths(TOptionsBinding& binding);

/// Reads every MY_OPTIONS row into `binding`, whose controls are bound already: their options
/// are shown, the other rows kept. False when the table could not be read (SQLite's text shown);
/// the form must then not save, or the rows it never saw would be lost.
bool LoadSettings(TOptionsBinding& binding);
/// Replaces MY_OPTIONS by the bound controls' values and the kept rows, all in one transaction
/// on one connection, with the wait cursor. False when nothing was changed because the
/// database could not be opened or a statement failed (the agent has been told).
bool SaveSettings(const TOptionsBinding& binding);

} // namespace vendrix
