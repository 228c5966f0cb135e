// Schema check and upgrade. There is no version number: the layout is recognised by probing for
// tables and columns, and each start applies at most one step per table.
#include "storage/schema.h"

#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"

#include <array>
#include <exception>
#include <memory>

namespace vendrix {

namespace {

struct TTable {
    const char* name;
    const char* create;
};

// The creating statements as the devices have always written them (the odd blanks included).
constexpr std::array<TTable, 10> kTables = {{
    {"SPR_CLIENTS",
        "create table SPR_CLIENTS (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
        "UNAME, INFO, GPS_X, GPS_Y, GPS_Z, KIND, KOD, CLI_GUID)"},
    {"SPR_GOODS",
        "create table SPR_GOODS  (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
        "PRICE, ED_IZM, CATEGORY, KOD)"},
    {"SPR_COMPETITORS", "create table SPR_COMPETITORS (GUID, ID, IS_DELETED, ANAME, UNAME)"},
    {"SPR_GOOD_CAT", "create table SPR_GOOD_CAT (GUID, ID, IS_DELETED, ANAME, UNAME)"},
    {"DOC_HEADS",
        "create table DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
        "EXP_DATE, REC_TIME, CLI_GUID, CLI_NAME, TP_GUID, TP_NAME, ORD_SUMM, ORD_WEIGHT, "
        "ORD_LINES, SKU_LINES, PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z)"},
    {"DOC_ORDERS", "create table DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE, SUMM)"},
    {"DOC_SKUS", "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID, C_NAME)"},
    {"DOC_COMPETS",
        "create table DOC_COMPETS (DOC_ID, ORDER_ID, CLI_GUID, CLI_NAME, G_GUID, "
        "G_NAME, PRICE)"},
    {"MY_MESSAGES", "create table MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW)"},
    {"MY_OPTIONS", "create table MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR)"},
}};

// One upgrade step of a table: when `probe` columns are missing, run `upgrade`.
struct TStep {
    const char* probe;
    const char* upgrade;
};

bool Run(TSqlQuery& q, std::string_view sql)
{
    return q.Exec(sql);
}

// Creates the table when missing, else applies the first of its steps whose columns are
// missing. Returns the outcome of the statement run, true when none was needed.
bool EnsureTable(TSqlQuery& q, std::string_view table, std::initializer_list<TStep> steps)
{
    if (!TableHas(q, table, "*"))
        return Run(q, CreateTableStatement(table));
    for (const TStep& step : steps) {
        if (!TableHas(q, table, step.probe))
            return Run(q, step.upgrade);
    }
    return true;
}

} // namespace

std::string CreateTableStatement(std::string_view table)
{
    for (const TTable& t : kTables) {
        if (table == t.name)
            return t.create;
    }
    return {};
}

bool TableHas(TSqlQuery& connection, std::string_view table, std::string_view columns)
{
    if (IsNewDatabase())
        return false;
    try {
        return connection.Exec(
            "select " + std::string(columns) + " from " + std::string(table) + " limit 1");
    } catch (const std::exception&) {
        return false;
    }
}

bool CheckSchema()
{
    TBusyScope busy;
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return false;
    bool ok = EnsureTable(*q, "SPR_CLIENTS",
        {{"KIND, KOD",
             "Begin; Alter table SPR_CLIENTS add KIND; alter table "
             "SPR_CLIENTS add KOD; Commit;"},
            {"CLI_GUID", "Alter table SPR_CLIENTS add CLI_GUID"},
            {"INFO", "Alter table SPR_CLIENTS add INFO"}});
    if (ok)
        ok = EnsureTable(*q, "SPR_GOODS",
            {{"ED_IZM, CATEGORY, KOD",
                "Begin; Alter table SPR_GOODS add ED_IZM; Alter table SPR_GOODS add "
                "CATEGORY; Alter table SPR_GOODS add KOD; Commit;"}});
    if (ok)
        ok = EnsureTable(*q, "SPR_COMPETITORS", {});
    if (ok)
        ok = EnsureTable(*q, "SPR_GOOD_CAT", {});
    if (ok)
        ok = EnsureTable(*q, "DOC_HEADS",
            {{"TP_GUID, TP_NAME",
                "Begin; Alter table DOC_HEADS add TP_GUID; Alter "
                "table DOC_HEADS add TP_NAME; Commit;"}});
    if (ok)
        ok = EnsureTable(*q, "DOC_ORDERS", {});
    if (ok)
        ok = EnsureTable(*q, "DOC_SKUS",
            {{"C_GUID, C_NAME",
                "Begin; Alter table DOC_SKUS add C_GUID; Alter table "
                "DOC_SKUS add C_NAME; Commit;"}});
    if (ok)
        ok = EnsureTable(*q, "DOC_COMPETS", {});
    if (ok)
        ok = EnsureTable(*q, "MY_MESSAGES", {});
    if (ok) {
        ok = EnsureTable(*q, "MY_OPTIONS", {});
        if (ok && IsNewDatabase())
            StoreDefaultOptions(*q);
    }
    if (ok) {
        // The order, SKU and competitor lines of one document are found by DOC_ID on every
        // load, save, export and deletion; without an index each of those reads every line
        // of the journal. DOC_HEADS gets none on REC_TIME: the journal lists in storage order.
        // An index is a speed-up only, so a database that refuses one still starts.
        for (const char* index :
            {"create index if not exists DOC_ORDERS_DOC_ID on DOC_ORDERS (DOC_ID)",
                "create index if not exists DOC_SKUS_DOC_ID on DOC_SKUS (DOC_ID)",
                "create index if not exists DOC_COMPETS_DOC_ID on DOC_COMPETS (DOC_ID)",
                "create index if not exists DOC_HEADS_GUID on DOC_HEADS (GUID)"})
            q->TryExec(index);
    }
    return ok;
}

} // namespace vendrix
