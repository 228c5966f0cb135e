// The office's reference data held in memory for the whole run: the client list (clients and
// their trade points) and the goods tree (groups and items), read once at start-up and again
// after every import, so the selection forms open without a query. Also the SKU grid that a
// document's shelf counts are entered in, built from goods categories and competitors, and the
// quick search of the selection forms.
#pragma once

#include "storage/value_formats.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

/// A client or a trade point of SPR_CLIENTS.
struct TSprListItem {
    std::string KOD;
    std::string ANAME;
    std::string GUID;
    std::string INFO; // "|" stands for a line break
    std::string CLI_GUID; // for a trade point: its client
    bool deleted = false; // shipment to this client is forbidden
    int KIND = 0; // 0 or 1: client; 2: trade point
};

/// A group or an item of SPR_GOODS.
struct TTreeData {
    int ID = 0;
    int ROOTID = 0;
    int IS_FOLDER = 0;
    std::string KOD;
    std::string ANAME;
    std::string UNAME;
    std::string GUID;
    std::string ED_IZM;
    TAmount PRICE = 0;
    TAmount quantity = 0; // working field of the goods forms
    TAmount sum = 0; // working field of the goods forms
    TTreeData* parent = nullptr;
};

/// The client list, in the order of UNAME.
const std::vector<TSprListItem>& ClientList();
/// The goods list, in the order of UNAME; only the working fields may be changed.
std::vector<TTreeData>& GoodsList();

/// Rebuilds both lists from the database. Unforced, does nothing and returns false when the
/// goods list already has nodes. False when the clients cannot be read.
bool LoadReferenceLists(bool force);
/// True when the last load read both lists whole. A goods query that fails (a table the office
/// spoilt, a view that runs past the time bound) leaves the goods empty and the load still
/// counts as done, as the devices had it; this tells the start and the import that it failed.
bool LastLoadComplete();
/// Empties both lists (at exit, and before a fresh start in tests).
void FreeReferenceLists();

enum class TAlign { Left, Right, Center };

struct TGridColumn {
    std::string caption;
    TAlign align = TAlign::Left;
    int width = 0;
};

/// A report-style table of text cells: the SKU grid of a document. Every row has one cell per
/// column. The document record keeps the data here and the document form only shows it.
class TGrid {
public:
    void Clear();
    void ClearRows() { m_rows.clear(); }
    /// Adds a column and an empty cell for it in every row; returns its index.
    int AddColumn(std::string caption, TAlign align, int width);
    /// Adds a row of empty cells; returns its index.
    int AddRow();
    void RemoveRow(int row);

    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const TGridColumn& Column(int c) const { return m_columns[static_cast<std::size_t>(c)]; }
    /// The cell text; empty outside the grid.
    const std::string& Cell(int row, int column) const;
    /// Sets a cell; ignored outside the grid.
    void SetCell(int row, int column, std::string text);

private:
    std::vector<TGridColumn> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

/// The SKU grid: competitor rows (GUID in column 0, name in column 1) and category columns
/// from column 2 on; the column map holds "index=GUID" lines of the category columns.
struct TSkuGrid {
    TGrid grid;
    std::string columnMap;
    bool hasGuidRow = false;
};

/// Builds the axes of the SKU grid from SPR_GOOD_CAT and SPR_COMPETITORS; with `withGuidRow`
/// row 0 holds each category's GUID ("< GUID >" in column 0).
void BuildSkuGridAxes(TSkuGrid& sku, bool withGuidRow);

/// The first row whose text (given by `cellText`) begins with `text`, ignoring letter case;
/// -1 when none or no rows. An empty text finds the first row.
int FindRowByPrefix(
    int rowCount, const std::function<std::string_view(int row)>& cellText, std::string_view text);

} // namespace vendrix
