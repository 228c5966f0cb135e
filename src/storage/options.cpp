// The options store over MY_OPTIONS.
#include "storage/options.h"

#include "platform/platform.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vendrix {

namespace {

struct TDefault {
    const char* name;
    const char* value;
};

// The 33 settings every new database starts with, in this order.
constexpr std::array<TDefault, 33> kDefaults = {{
    {"USEFTP", "0"},
    {"FTPAUTH", "0"},
    {"USEZIP", "0"},
    {"FTPAUTO", "1"},
    {"CONN_INET", "1"},
    {"CONN_LAN", "1"},
    {"BREAK_INET", "1"},
    {"FTP_PAUSE", "1"},
    {"LINES_ZH", "1"},
    {"LINES_DOC", "1"},
    {"LINES_OTHER", "0"},
    {"FONT_SIZE", "1"},
    {"Q_ON_EXIT", "1"},
    {"TRAY_ICON", "1"},
    {"X_IS_CLOSE", "0"},
    {"HIDE_PERIOD", "0"},
    {"HIDE_FTP_PAGE", "0"},
    {"HIDE_L_EXCH", "1"},
    {"HIDE_ABOUTBOX", "0"},
    {"DOC_TRADE_P", "0"},
    {"DOC_SKU", "0"},
    {"DOC_PRICES", "0"},
    {"NEWDOC_DATE", "0"},
    {"DOCPAGE", "0"},
    {"SPR_QSEARCH", "1"},
    {"SPR_CODES", "1"},
    {"SPR_QCLIENT", "1"},
    {"UseSUMS", "1"},
    {"NOCOPY_DATE", "1"},
    {"NOCOPY_TP", "1"},
    {"NOCOPY_COMM", "1"},
    {"NOCOPY_SKU", "1"},
    {"NOCOPY_PRICES", "1"},
}};

} // namespace

std::string DeviceIdentifier()
{
    // "MY_SIG" as UTF-16, padded with zero characters to 20 characters.
    std::vector<std::uint8_t> applicationData(40, 0);
    const char* sig = "MY_SIG";
    for (int i = 0; sig[i]; ++i)
        applicationData[static_cast<std::size_t>(i) * 2] = static_cast<std::uint8_t>(sig[i]);
    std::vector<std::uint8_t> id;
    if (!platform::DeviceUniqueId(applicationData, id))
        return {};
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            out.push_back('-');
        out.push_back(hex[id[i] >> 4]);
        out.push_back(hex[id[i] & 0x0F]);
    }
    return out;
}

std::string GetOption(TSqlQuery* connection, std::string_view name, std::string_view def)
{
    if (UpperLatin(Trim(name)) == "PDA_ID")
        return DeviceIdentifier();
    // The key goes in as a string literal with apostrophes doubled, so no name can end the
    // literal early or be taken for a column name.
    const std::string sql = "select OPT_NAME, OPT_VAL from MY_OPTIONS where (Upper(OPT_NAME)="
        + SqlString(UpperLatin(name)) + ") limit 1";
    std::unique_ptr<TSqlQuery> own;
    std::string value;
    if (connection) {
        // The caller's connection may already hold rows of another query, with other columns:
        // read OPT_VAL straight from the row this statement appended.
        const int before = connection->RowCount();
        if (!connection->Exec(sql))
            return std::string(def);
        if (connection->RowCount() == before)
            return std::string(def);
        value = connection->LastRowValue(1);
    } else {
        own = RunQuery(sql);
        if (!own)
            return std::string(def);
        if (own->RowCount() == 0)
            return std::string(def);
        own->Next();
        value = own->FieldByName("OPT_VAL", def);
    }
    value = Trim(value);
    if (value.empty())
        return std::string(def);
    return value;
}

void SetOption(std::string_view name, std::string_view value)
{
    // Name and value go in as string literals with apostrophes doubled, so they are stored
    // exactly as given and no setting can break or extend the statement.
    const std::string n = SqlString(name);
    RunStatement("begin;\r\ndelete from MY_OPTIONS where (OPT_NAME=" + n
        + ");\r\ninsert into "
          "MY_OPTIONS (OPT_NAME, OPT_VAL) values ("
        + n + ", " + SqlString(value) + ");\r\ncommit;");
}

std::string DefaultOptionsScript()
{
    std::string script = "BEGIN;";
    for (const TDefault& d : kDefaults) {
        script += "\r\ninsert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('";
        script += d.name;
        script += "', '";
        script += d.value;
        script += "');";
    }
    script += "\r\nCOMMIT;";
    return script;
}

void StoreDefaultOptions(TSqlQuery& connection)
{
    connection.Exec(DefaultOptionsScript());
}

} // namespace vendrix
