// The office's reference data held in memory for the whole run: the client list (clients and
// their trade points) and the goods tree (groups and items), read once at start-up and again
// after every import, so the selection forms open without a query. Also the SKU grid that a
// document's shelf counts are entered in, built from goods categories and competitors, and the
// quick search of the selection forms.
#pragma once

#include "documents/list_texts.h"
#include "storage/value_formats.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

/// The texts of a client or a trade point, in the order its record keeps them.
struct TClientTexts {
    std::string_view ANAME = {};
    std::string_view KOD = {};
    std::string_view GUID = {};
    std::string_view INFO = {};
    std::string_view CLI_GUID = {};
};

/// A client or a trade point of SPR_CLIENTS. Its texts lie in the client list's texts.
struct TSprListItem {
    std::string_view KOD() const { return RecordText(texts, 1); }
    std::string_view ANAME() const { return RecordText(texts, 0); }
    std::string_view GUID() const { return RecordText(texts, 2); }
    /// "|" stands for a line break.
    std::string_view INFO() const { return RecordText(texts, 3); }
    /// For a trade point: its client.
    std::string_view CLI_GUID() const { return RecordText(texts, 4); }
    /// Gives the item these texts (UTF-8, kept as given), stored with the client list's until
    /// FreeReferenceLists or the next load: for lists built by hand.
    void SetTexts(const TClientTexts& given);

    const char* texts = nullptr; // the record of the texts, in the order of TClientTexts
    int KIND = 0; // 0 or 1: client; 2: trade point
    bool deleted = false; // shipment to this client is forbidden
};
static_assert(sizeof(TSprListItem) == 16, "a client costs 16 bytes besides its texts");

/// The texts of a goods node, in the order its record keeps them.
struct TGoodsTexts {
    std::string_view ANAME = {};
    std::string_view UNAME = {};
    std::string_view KOD = {};
    std::string_view GUID = {};
    std::string_view ED_IZM = {};
};

/// A group or an item of SPR_GOODS. Its texts lie in the goods list's texts.
struct TTreeData {
    std::string_view KOD() const { return RecordText(texts, 2); }
    std::string_view ANAME() const { return RecordText(texts, 0); }
    std::string_view UNAME() const { return RecordText(texts, 1); }
    std::string_view GUID() const { return RecordText(texts, 3); }
    std::string_view ED_IZM() const { return RecordText(texts, 4); }
    /// Gives the node these texts (UTF-8, kept as given), stored with the goods list's until
    /// FreeReferenceLists or the next load: for lists built by hand.
    void SetTexts(const TGoodsTexts& given);

    const char* texts = nullptr; // the record of the texts, in the order of TGoodsTexts
    TTreeData* parent = nullptr;
    TAmount PRICE = 0;
    TAmount quantity = 0; // working field of the goods forms
    TAmount sum = 0; // working field of the goods forms
    int ID = 0;
    int ROOTID = 0;
    int IS_FOLDER = 0;
};
static_assert(sizeof(TTreeData) == 56, "a goods node costs 56 bytes besides its texts");

/// The client list, in the order of UNAME.
const std::vector<TSprListItem>& ClientList();
/// The goods list, in the order of UNAME; only the working fields may be changed.
std::vector<TTreeData>& GoodsList();
/// Bytes the goods list's texts hold.
std::size_t GoodsTextBytes();

/// Rebuilds both lists from the database. Unforced, does nothing and returns false when the
/// goods list already has nodes. False when the clients cannot be read.
bool LoadReferenceLists(bool force);
/// True when the last load read both lists whole. A goods query that fails (a table the office
/// spoilt, a view that runs past the time bound) leaves the goods empty and the load still
/// counts as done, as the devices had it; this tells the start and the import that it failed.
bool LastLoadComplete();
/// Empties both lists and their texts (at exit, and before a fresh start in tests).
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
