// Loading the reference lists and building the SKU grid axes.
#include "documents/reference_lists.h"

#include "platform/platform.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"

#include <exception>
#include <unordered_map>

namespace vendrix {

namespace {

std::vector<TSprListItem> g_clients;
std::vector<TTreeData> g_goods;
bool g_lastLoadComplete = false;

const std::string kEmpty;

// The client query. A database still being upgraded (one step per start) may lack KIND, KOD,
// CLI_GUID or INFO for a start or two; the list then works without them, reading them as empty,
// instead of failing the start.
std::string ClientQuery()
{
    static const char* kUpgradedColumns[] = {"KOD", "INFO", "KIND", "CLI_GUID"};
    std::string present;
    if (auto info = RunQuery("select name from pragma_table_info('SPR_CLIENTS')")) {
        for (int r = 0; r < info->RowCount(); ++r) {
            info->GoToRow(r);
            present += "," + UpperLatin(Trim(info->Field(0))) + ",";
        }
    }
    std::string columns;
    for (const char* name :
        {"KOD", "ANAME", "UNAME", "GUID", "IS_DELETED", "INFO", "KIND", "CLI_GUID"}) {
        bool upgraded = false;
        for (const char* u : kUpgradedColumns)
            upgraded = upgraded || std::string_view(u) == name;
        // With no column list at all (no table) the full query runs and reports the table.
        if (upgraded && !present.empty()
            && present.find("," + std::string(name) + ",") == std::string::npos)
            continue;
        columns += columns.empty() ? "" : ", ";
        columns += name;
    }
    return "select " + columns + " from SPR_CLIENTS where (IS_FOLDER=0) order by UNAME";
}

// Runs one of the two list queries on a connection of its own. Both sort the whole table by
// UNAME; SQLite may sort a large one on a second thread of its own.
std::unique_ptr<TSqlQuery> RunListQuery(const std::string& sql)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return nullptr;
    q->TryExec("pragma threads=2");
    q->ClearResults();
    if (!q->Exec(sql))
        return nullptr;
    return q;
}

// Rows are released as they are copied into the list, so the list and the query's rows are
// never held whole together.
constexpr int kRowsBetweenReleases = 4096;

bool ReadClients()
{
    g_clients = {};
    auto q = RunListQuery(ClientQuery());
    if (!q)
        return false;
    // The goods list is rebuilt from here on in any case; its old nodes go before the new
    // lists come in, not after.
    g_goods = {};
    g_clients.reserve(static_cast<std::size_t>(q->RowCount()));
    const int cKod = q->ColumnIndex("KOD"), cAname = q->ColumnIndex("ANAME"),
              cGuid = q->ColumnIndex("GUID"), cDeleted = q->ColumnIndex("IS_DELETED"),
              cInfo = q->ColumnIndex("INFO"), cKind = q->ColumnIndex("KIND"),
              cCli = q->ColumnIndex("CLI_GUID");
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        if (r % kRowsBetweenReleases == 0)
            q->ReleaseRowsBeforeCurrent();
        TSprListItem item;
        item.KOD = Trim(q->FieldView(cKod));
        item.ANAME = Trim(q->FieldView(cAname));
        item.GUID = Trim(q->FieldView(cGuid));
        item.INFO = Trim(q->FieldView(cInfo));
        item.CLI_GUID = Trim(q->FieldView(cCli));
        item.deleted = TrimView(q->FieldView(cDeleted)) == "1";
        item.KIND = TextToInt(q->FieldView(cKind), 0);
        g_clients.push_back(std::move(item));
    }
    return true;
}

// False when the goods query failed; the list is then empty.
bool ReadGoods()
{
    g_goods = {};
    auto q = RunListQuery(
        "select KOD, ED_IZM, ID, ANAME, UNAME, GUID, IS_FOLDER, ROOTID, PRICE from SPR_GOODS "
        "order by UNAME");
    if (!q)
        return false;
    g_goods.reserve(static_cast<std::size_t>(q->RowCount()));
    const int cKod = q->ColumnIndex("KOD"), cUnit = q->ColumnIndex("ED_IZM"),
              cId = q->ColumnIndex("ID"), cAname = q->ColumnIndex("ANAME"),
              cUname = q->ColumnIndex("UNAME"), cGuid = q->ColumnIndex("GUID"),
              cFolder = q->ColumnIndex("IS_FOLDER"), cRoot = q->ColumnIndex("ROOTID"),
              cPrice = q->ColumnIndex("PRICE");
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        if (r % kRowsBetweenReleases == 0)
            q->ReleaseRowsBeforeCurrent();
        // An ID written as 17.0 is the goods 17: only the leading integer counts.
        const int id = LeadingInt(TrimView(q->FieldView(cId)));
        if (id <= 0)
            continue;
        TTreeData node;
        node.ID = id;
        node.ROOTID = LeadingInt(TrimView(q->FieldView(cRoot)));
        if (node.ROOTID < 0)
            node.ROOTID = 0;
        node.IS_FOLDER = LeadingInt(TrimView(q->FieldView(cFolder)));
        node.KOD = Trim(q->FieldView(cKod));
        node.ANAME = Trim(q->FieldView(cAname));
        node.UNAME = Trim(q->FieldView(cUname));
        node.GUID = Trim(q->FieldView(cGuid));
        node.ED_IZM = Trim(q->FieldView(cUnit));
        node.PRICE = TextToAmount(q->FieldView(cPrice), 0);
        g_goods.push_back(std::move(node));
    }
    // Parents are linked only when the list is complete, so the links never move.
    std::unordered_map<int, TTreeData*> firstById;
    firstById.reserve(g_goods.size());
    for (TTreeData& node : g_goods)
        firstById.emplace(node.ID, &node);
    for (TTreeData& node : g_goods) {
        if (node.ROOTID > 0) {
            const auto it = firstById.find(node.ROOTID);
            node.parent = it == firstById.end() ? nullptr : it->second;
        }
    }
    return true;
}

} // namespace

const std::vector<TSprListItem>& ClientList()
{
    return g_clients;
}

std::vector<TTreeData>& GoodsList()
{
    return g_goods;
}

bool LastLoadComplete()
{
    return g_lastLoadComplete;
}

void FreeReferenceLists()
{
    g_clients = {};
    g_goods = {};
}

bool LoadReferenceLists(bool force)
{
    if (!force && !g_goods.empty())
        return false;
    TBusyScope busy;
    g_lastLoadComplete = false;
    try {
        if (!ReadClients())
            return false;
        g_lastLoadComplete = ReadGoods();
        return true;
    } catch (const std::exception&) {
        // Reading errors are swallowed: the lists keep what was read so far.
        return false;
    }
}

void TGrid::Clear()
{
    m_rows.clear();
    m_columns.clear();
}

int TGrid::AddColumn(std::string caption, TAlign align, int width)
{
    m_columns.push_back({std::move(caption), align, width});
    for (auto& row : m_rows)
        row.emplace_back();
    return ColumnCount() - 1;
}

int TGrid::AddRow()
{
    m_rows.emplace_back(m_columns.size());
    return RowCount() - 1;
}

void TGrid::RemoveRow(int row)
{
    if (row >= 0 && row < RowCount())
        m_rows.erase(m_rows.begin() + row);
}

const std::string& TGrid::Cell(int row, int column) const
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount())
        return kEmpty;
    return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void TGrid::SetCell(int row, int column, std::string text)
{
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount())
        return;
    m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::move(text);
}

void BuildSkuGridAxes(TSkuGrid& sku, bool withGuidRow)
{
    sku.grid.Clear();
    sku.columnMap.clear();
    sku.hasGuidRow = false;
    try {
        sku.grid.AddColumn(" ", TAlign::Left, 1);
        sku.grid.AddColumn("Производитель", TAlign::Left, 200);
        if (withGuidRow) {
            sku.grid.SetCell(sku.grid.AddRow(), 0, "< GUID >");
            sku.hasGuidRow = true;
        }
        if (auto q = RunQuery("select ANAME, GUID from SPR_GOOD_CAT order by ID")) {
            for (int r = 0; r < q->RowCount(); ++r) {
                q->GoToRow(r);
                const std::string guid = Trim(q->FieldByName("GUID"));
                const int c = sku.grid.AddColumn(Trim(q->FieldByName("ANAME")), TAlign::Right, 40);
                if (sku.hasGuidRow)
                    sku.grid.SetCell(0, c, guid);
                sku.columnMap += std::to_string(c) + "=" + guid + "\n";
            }
        }
        if (auto q = RunQuery("select ANAME, GUID from SPR_COMPETITORS order by ID")) {
            for (int r = 0; r < q->RowCount(); ++r) {
                q->GoToRow(r);
                const int row = sku.grid.AddRow();
                sku.grid.SetCell(row, 0, Trim(q->FieldByName("GUID")));
                sku.grid.SetCell(row, 1, Trim(q->FieldByName("ANAME")));
            }
        }
    } catch (const std::exception&) {
        // The grid keeps what was built up to the failure.
    }
}

int FindRowByPrefix(
    int rowCount, const std::function<std::string_view(int row)>& cellText, std::string_view text)
{
    const platform::TPrefixMatcher matcher(text);
    for (int r = 0; r < rowCount; ++r) {
        if (matcher.Matches(cellText(r)))
            return r;
    }
    return -1;
}

} // namespace vendrix
