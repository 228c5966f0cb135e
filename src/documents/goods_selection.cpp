// The goods selection: preparation in one walk over the catalogue, the group tree from an index
// of groups by parent ID, the items of a group from an index by parent node, the result list.
#include "documents/goods_selection.h"

#include "documents/amounts.h"
#include "storage/options.h"

#include <functional>
#include <unordered_set>

namespace vendrix {

namespace {

// Hashes a GUID given as any text, so the document's lines are found by the GUIDs as they lie
// in the list's texts, without a copy of each.
struct TTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const
    {
        return std::hash<std::string_view> {}(text);
    }
};

} // namespace

TGoodsSelection::TGoodsSelection(std::vector<TTreeData>& goods)
    : m_goods(goods)
{
}

void TGoodsSelection::Prepare(std::string_view selectionText)
{
    // The document's lines by GUID; a later line for the same goods overwrites an earlier one.
    std::unordered_map<std::string, TAmount, TTextHash, std::equal_to<>> wanted;
    std::size_t at = 0;
    while (at < selectionText.size()) {
        std::size_t end = selectionText.find('\n', at);
        if (end == std::string_view::npos)
            end = selectionText.size();
        const std::string_view line = selectionText.substr(at, end - at);
        at = end + 1;
        const std::size_t tab = line.find('\t');
        const std::string guid = Trim(line.substr(0, tab));
        if (guid.empty())
            continue;
        const std::string quantity
            = tab == std::string_view::npos ? std::string() : Trim(line.substr(tab + 1));
        wanted[guid] = QuantityAmount(quantity);
    }

    m_groups.clear();
    m_groupIndex.clear();
    m_current = nullptr;
    m_rows = {};

    // One walk: working fields, the document's quantities (the first node of a GUID takes
    // it), groups by the ID of their parent, and each item's link to its parent.
    TTreeData* const first = m_goods.data();
    const std::size_t count = m_goods.size();
    std::unordered_map<int, std::vector<TTreeData*>> groupsByRoot;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links; // parent, item
    links.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        TTreeData& node = first[i];
        node.quantity = 0;
        node.sum = 0;
        if (!wanted.empty()) {
            const auto it = wanted.find(node.GUID());
            if (it != wanted.end()) {
                SetQuantity(node, it->second);
                wanted.erase(it);
            }
        }
        if (node.IS_FOLDER != 0)
            groupsByRoot[node.ROOTID].push_back(&node);
        else if (node.parent >= first && node.parent < first + count)
            links.emplace_back(
                static_cast<std::uint32_t>(node.parent - first), static_cast<std::uint32_t>(i));
    }
    // The items sorted by parent in place of a list per group: two passes over the links,
    // catalogue order kept within each parent.
    m_itemStart.assign(count + 1, 0);
    for (const auto& link : links)
        ++m_itemStart[link.first + 1];
    for (std::size_t i = 0; i < count; ++i)
        m_itemStart[i + 1] += m_itemStart[i];
    m_items.resize(links.size());
    std::vector<std::uint32_t> next(m_itemStart.begin(), m_itemStart.end() - 1);
    for (const auto& link : links)
        m_items[next[link.first]++] = first + link.second;

    // Depth first from the top. A group is entered once: with two groups of one ID, or a
    // group naming itself as its parent, the catalogue would otherwise loop for ever.
    std::unordered_set<const TTreeData*> entered;
    struct TStep {
        int rootId;
        int parent;
        std::size_t next;
    };
    std::vector<TStep> path {{0, -1, 0}};
    while (!path.empty()) {
        TStep& step = path.back();
        const auto brothers = groupsByRoot.find(step.rootId);
        if (brothers == groupsByRoot.end() || step.next >= brothers->second.size()) {
            path.pop_back();
            continue;
        }
        TTreeData* group = brothers->second[step.next++];
        if (!entered.insert(group).second)
            continue;
        const int index = static_cast<int>(m_groups.size());
        m_groups.push_back({group, step.parent});
        m_groupIndex.emplace(group, index);
        path.push_back({group->ID, index, 0});
    }

    ChooseGroup(m_groups.empty() ? nullptr : m_groups.front().node);
}

int TGoodsSelection::GroupIndex(const TTreeData* group) const
{
    const auto it = m_groupIndex.find(group);
    return it == m_groupIndex.end() ? -1 : it->second;
}

void TGoodsSelection::ChooseGroup(const TTreeData* group)
{
    m_current = group;
    m_rows = {};
    const TTreeData* first = m_goods.data();
    if (!group || group < first || group >= first + m_goods.size()
        || m_itemStart.size() != m_goods.size() + 1)
        return;
    const std::size_t at = static_cast<std::size_t>(group - first);
    m_rows = std::span<TTreeData* const>(m_items).subspan(
        m_itemStart[at], m_itemStart[at + 1] - m_itemStart[at]);
}

void TGoodsSelection::SetQuantity(TTreeData& node, TAmount quantity)
{
    node.quantity = quantity;
    node.sum = AmountProduct(quantity, node.PRICE);
}

int TGoodsSelection::FindByName(std::string_view text) const
{
    if (Trim(text).empty())
        return -1;
    const auto rows = Rows();
    return FindRowByPrefix(
        static_cast<int>(rows.size()),
        [rows](int r) -> std::string_view { return rows[static_cast<std::size_t>(r)]->ANAME(); },
        text);
}

int TGoodsSelection::FindByCode(std::string_view text) const
{
    const std::string code = Trim(text);
    if (code.empty())
        return -1;
    const auto rows = Rows();
    return FindRowByPrefix(
        static_cast<int>(rows.size()),
        [rows](int r) -> std::string_view { return rows[static_cast<std::size_t>(r)]->KOD(); },
        code);
}

std::vector<std::string> TGoodsSelection::ResultList() const
{
    std::vector<std::string> out;
    for (const TTreeData& node : m_goods) {
        if (node.quantity == 0)
            continue;
        std::string line(node.GUID());
        line += "\t" + AmountText(node.quantity, 2, false) + "\t";
        line += node.ANAME();
        line += "\t" + AmountText(node.PRICE, 2, false) + "\t" + AmountText(node.sum, 2, false);
        out.push_back(std::move(line));
    }
    return out;
}

std::string GoodsColumnWidthOption(int column)
{
    return "SPR_MUL_COLW_" + std::to_string(column);
}

std::vector<int> SavedGoodsColumnWidths(int count)
{
    std::vector<int> widths(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int c = 0; c < count; ++c) {
        const int saved = TextToInt(GetOption(nullptr, GoodsColumnWidthOption(c), "0"), 0);
        if (saved > 10)
            widths[static_cast<std::size_t>(c)] = saved;
    }
    return widths;
}

void SaveGoodsColumnWidths(const std::vector<int>& widths)
{
    for (std::size_t c = 0; c < widths.size(); ++c)
        SetOption(GoodsColumnWidthOption(static_cast<int>(c)), std::to_string(widths[c]));
}

} // namespace vendrix
