// Picking goods into an order group by group: the typed quantities and sums live in the working
// fields of the shared goods nodes, so what was typed in one group is kept while the agent moves
// to another. This is the goods form's whole logic: taking the document's lines in, the group
// tree, the items of a group, quick search, the quantities, the lines handed back in catalogue
// order, and the saved column widths. Built for catalogues of 100,000 goods: the catalogue is
// walked once per preparation and once for the result, never once per group or per line.
#pragma once

#include "documents/reference_lists.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vendrix {

/// One group of the group tree, in the order the tree shows them (depth first, catalogue order
/// among brothers).
struct TGoodsGroup {
    TTreeData* node;
    int parent; // index of the parent group in the tree, -1 at the top
};

class TGoodsSelection {
public:
    /// Works on `goods` (the process-wide goods list unless a test gives its own).
    explicit TGoodsSelection(std::vector<TTreeData>& goods = GoodsList());

    /// Takes the document's lines ("GUID<TAB>quantity" lines separated by CR LF; comma or
    /// point, unreadable is 0) into the working fields, every other node at zero; a line for
    /// an unknown GUID is dropped and a later line for a GUID wins. Builds the group tree and
    /// chooses its first top-level group (none when there are no groups).
    void Prepare(std::string_view selectionText);

    /// The groups reachable from the top, each once, in tree order.
    const std::vector<TGoodsGroup>& Groups() const { return m_groups; }
    /// Index in Groups() of a group node; -1 when it is not in the tree.
    int GroupIndex(const TTreeData* group) const;

    /// Shows the items (not the sub-groups) whose parent is `group`, in catalogue order;
    /// nullptr shows nothing.
    void ChooseGroup(const TTreeData* group);
    const TTreeData* CurrentGroup() const { return m_current; }
    /// The items of the current group, as the list shows them.
    std::span<TTreeData* const> Rows() const { return m_rows; }

    /// Sets a node's quantity and its sum (quantity x price).
    static void SetQuantity(TTreeData& node, TAmount quantity);

    /// Quick search by name: the first row whose name begins with `text` as typed, ignoring
    /// case; -1 when none or the text is blank.
    int FindByName(std::string_view text) const;
    /// The same by code, with the text trimmed.
    int FindByCode(std::string_view text) const;

    /// The chosen lines, "GUID<TAB>quantity<TAB>name<TAB>price<TAB>sum" with two decimals,
    /// for every node with a quantity, in catalogue order whatever group it is in.
    std::vector<std::string> ResultList() const;

private:
    std::vector<TTreeData>& m_goods;
    std::vector<TGoodsGroup> m_groups;
    std::unordered_map<const TTreeData*, int> m_groupIndex;
    // The items of every node side by side, in catalogue order: those of the node at index i
    // lie from m_itemStart[i] to m_itemStart[i + 1].
    std::vector<TTreeData*> m_items;
    std::vector<std::uint32_t> m_itemStart;
    const TTreeData* m_current = nullptr;
    std::span<TTreeData* const> m_rows;
};

/// Number of the option that keeps column `column`'s width: "SPR_MUL_COLW_" and the number.
std::string GoodsColumnWidthOption(int column);
/// The saved widths of `count` columns: a saved value above 10, else 0 (keep the default).
std::vector<int> SavedGoodsColumnWidths(int count);
/// Stores every column's width under its option.
void SaveGoodsColumnWidths(const std::vector<int>& widths);

} // namespace vendrix
