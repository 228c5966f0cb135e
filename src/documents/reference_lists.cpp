// Loading the reference lists and building the SKU grid axes. The list queries are read row by
// row as SQLite sorts them out, each row's texts converted straight into the list's texts, so a
// list and the rows it is made of are never held whole together.
#include "documents/reference_lists.h"

#include "platform/platform.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"

#include <algorithm>
#include <exception>
#include <unordered_map>

namespace vendrix {

namespace {

std::vector<TSprListItem> g_clients;
TListTexts g_clientTexts;
std::vector<TTreeData> g_goods;
TListTexts g_goodsTexts;
bool g_lastLoadComplete = false;

const std::string kEmpty;

void FreeClients()
{
    g_clients = {};
    g_clientTexts.Clear();
}

void FreeGoods()
{
    g_goods = {};
    g_goodsTexts.Clear();
}

// The columns of the client query. A database still being upgraded (one step per start) may
// lack KIND, KOD, CLI_GUID or INFO for a start or two; the list then works without them, reading
// them as empty, instead of failing the start.
std::string ClientColumns()
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
    return columns;
}

// A connection of its own for one of the two list queries. Both sort the whole table by UNAME;
// SQLite may sort a large one on a second thread of its own.
std::unique_ptr<TSqlQuery> ListConnection()
{
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return nullptr;
    q->TryExec("pragma threads=2");
    q->ClearResults();
    return q;
}

// The rows `countSql` counts, so that a list is reserved once: a list that doubled as its last
// rows came in would hold three times its size for a moment. False when the count failed,
// which is shown as the list query's own failure would be.
bool CountRows(TSqlQuery& q, const std::string& countSql, std::size_t& count)
{
    count = 0;
    return q.ForEachRow(countSql, [&count](const TRowView& row) {
        count = static_cast<std::size_t>(std::max(0, TextToInt(row.Value(0), 0)));
    });
}

bool ReadClients()
{
    FreeClients();
    auto q = ListConnection();
    if (!q)
        return false;
    const std::string columns = ClientColumns();
    const std::string from = " from SPR_CLIENTS where (IS_FOLDER=0)";
    // The count names the list's columns too: SQLite looks for them before the WHERE, so a
    // table without one of them fails here in the same words as the list query would.
    std::size_t count = 0;
    if (!CountRows(*q, "select count(*), " + columns + from, count))
        return false;
    g_clients.reserve(count);
    int cKod = -1, cAname = -1, cGuid = -1, cDeleted = -1, cInfo = -1, cKind = -1, cCli = -1;
    bool first = true;
    const bool done
        = q->ForEachRow("select " + columns + from + " order by UNAME", [&](const TRowView& row) {
              if (first) {
                  first = false;
                  cKod = row.ColumnIndex("KOD");
                  cAname = row.ColumnIndex("ANAME");
                  cGuid = row.ColumnIndex("GUID");
                  cDeleted = row.ColumnIndex("IS_DELETED");
                  cInfo = row.ColumnIndex("INFO");
                  cKind = row.ColumnIndex("KIND");
                  cCli = row.ColumnIndex("CLI_GUID");
                  // The goods list is rebuilt from here on in any case; its old nodes go
                  // before the new lists come in, not after.
                  FreeGoods();
              }
              const std::string_view texts[] = {row.Value(cAname), row.Value(cKod),
                  row.Value(cGuid), row.Value(cInfo), row.Value(cCli)};
              TSprListItem item;
              item.texts = g_clientTexts.AddTrimmedCp1251(texts);
              item.deleted = TrimView(row.Value(cDeleted)) == "1";
              item.KIND = TextToInt(row.Value(cKind), 0);
              g_clients.push_back(item);
          });
    if (!done) {
        FreeClients();
        return false;
    }
    FreeGoods();
    return true;
}

// Links each node to the first node of its ROOTID, once the list is complete, so the links
// never move. Only the IDs named as parents are looked up: a few thousand groups, not a
// million goods.
void LinkParents()
{
    std::unordered_map<int, TTreeData*> parents;
    for (const TTreeData& node : g_goods) {
        if (node.ROOTID > 0)
            parents.emplace(node.ROOTID, nullptr);
    }
    for (TTreeData& node : g_goods) {
        const auto it = parents.find(node.ID);
        if (it != parents.end() && !it->second)
            it->second = &node;
    }
    for (TTreeData& node : g_goods) {
        if (node.ROOTID > 0)
            node.parent = parents.find(node.ROOTID)->second;
    }
}

// False when the goods query failed; the list is then empty.
bool ReadGoods()
{
    FreeGoods();
    auto q = ListConnection();
    if (!q)
        return false;
    std::size_t count = 0;
    if (!CountRows(*q, "select count(*) from SPR_GOODS", count))
        return false;
    g_goods.reserve(count);
    int cKod = -1, cUnit = -1, cId = -1, cAname = -1, cUname = -1, cGuid = -1, cFolder = -1,
        cRoot = -1, cPrice = -1;
    bool first = true;
    const bool done = q->ForEachRow(
        "select KOD, ED_IZM, ID, ANAME, UNAME, GUID, IS_FOLDER, ROOTID, PRICE from SPR_GOODS "
        "order by UNAME",
        [&](const TRowView& row) {
            if (first) {
                first = false;
                cKod = row.ColumnIndex("KOD");
                cUnit = row.ColumnIndex("ED_IZM");
                cId = row.ColumnIndex("ID");
                cAname = row.ColumnIndex("ANAME");
                cUname = row.ColumnIndex("UNAME");
                cGuid = row.ColumnIndex("GUID");
                cFolder = row.ColumnIndex("IS_FOLDER");
                cRoot = row.ColumnIndex("ROOTID");
                cPrice = row.ColumnIndex("PRICE");
            }
            // An ID written as 17.0 is the goods 17: only the leading integer counts.
            const int id = LeadingInt(TrimView(row.Value(cId)));
            if (id <= 0)
                return;
            TTreeData node;
            node.ID = id;
            node.ROOTID = std::max(0, LeadingInt(TrimView(row.Value(cRoot))));
            node.IS_FOLDER = LeadingInt(TrimView(row.Value(cFolder)));
            const std::string_view texts[] = {row.Value(cAname), row.Value(cUname), row.Value(cKod),
                row.Value(cGuid), row.Value(cUnit)};
            node.texts = g_goodsTexts.AddTrimmedCp1251(texts);
            node.PRICE = TextToAmount(row.Value(cPrice), 0);
            g_goods.push_back(node);
        });
    if (!done) {
        FreeGoods();
        return false;
    }
    LinkParents();
    return true;
}

} // namespace

void TSprListItem::SetTexts(const TClientTexts& given)
{
    const std::string_view all[] = {given.ANAME, given.KOD, given.GUID, given.INFO, given.CLI_GUID};
    texts = g_clientTexts.Add(all);
}

void TTreeData::SetTexts(const TGoodsTexts& given)
{
    const std::string_view all[] = {given.ANAME, given.UNAME, given.KOD, given.GUID, given.ED_IZM};
    texts = g_goodsTexts.Add(all);
}

const std::vector<TSprListItem>& ClientList()
{
    return g_clients;
}

std::vector<TTreeData>& GoodsList()
{
    return g_goods;
}

std::size_t GoodsTextBytes()
{
    return g_goodsTexts.BytesHeld();
}

bool LastLoadComplete()
{
    return g_lastLoadComplete;
}

void FreeReferenceLists()
{
    FreeClients();
    FreeGoods();
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
