// The document form's edits on the document record.
#include "documents/document_editing.h"

#include "documents/amounts.h"
#include "storage/options.h"
#include "storage/ui_seam.h"

namespace vendrix {

namespace {

// The keypad's "no price": minus one as an amount.
constexpr TAmount kNoPrice = -kAmountScale;

std::string PageCaption(const char* option, const char* def)
{
    return " " + GetOption(nullptr, option, def) + " ";
}

// Fields of a result line. The name is what lies between the quantity and the last two fields,
// so a name holding a TAB still leaves the price and the sum where they belong.
struct TResultLine {
    std::string guid, quantity, name, price, sum;
};

bool SplitResultLine(const std::string& line, TResultLine& out)
{
    const std::string t = Trim(line);
    if (t.find('\t') == std::string::npos)
        return false;
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = t.find('\t', at);
        parts.push_back(t.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos)
            break;
        at = tab + 1;
    }
    out = {};
    out.guid = parts[0];
    out.quantity = parts[1];
    if (parts.size() >= 5) {
        out.sum = parts.back();
        out.price = parts[parts.size() - 2];
        for (std::size_t i = 2; i + 2 < parts.size(); ++i)
            out.name += (i > 2 ? "\t" : "") + parts[i];
    } else {
        if (parts.size() > 2)
            out.name = parts[2];
        if (parts.size() > 3)
            out.price = parts[3];
    }
    return true;
}

} // namespace

TPageMenu PageMenu(TDocumentPage page)
{
    TPageMenu m;
    m.pick = page == TDocumentPage::Order;
    m.enter = page == TDocumentPage::Sku;
    m.bar = page != TDocumentPage::Header;
    return m;
}

std::string FieldLabel(std::string_view text)
{
    std::string label = " " + std::string(text);
    if (label.back() != ':')
        label += ":";
    return label;
}

TDocumentShowing ReadDocumentShowing()
{
    TDocumentShowing s;
    s.gridLines = GetOption(nullptr, "LINES_DOC", "") == "1";
    s.clientLabel = FieldLabel(GetOption(nullptr, "Client", "Клиент"));
    s.dateLabel = FieldLabel(GetOption(nullptr, "Date", "Дата отгрузки"));
    s.commentLabel = FieldLabel(GetOption(nullptr, "Prim", "Примечание"));
    s.orderPage = PageCaption("TABLE1", "Заявка");
    s.skuPage = PageCaption("TABLE2", "  S.K.U.  ");
    s.pricesPage = PageCaption("TABLE3", "  Цены  ");
    s.nameColumn = GetOption(nullptr, "Nomenkl", "Товар");
    s.countColumn = GetOption(nullptr, "Count", "Кол-во");
    s.tradePoint = GetOption(nullptr, "DOC_TRADE_P", "0") == "1";
    s.skuPageShown = GetOption(nullptr, "DOC_SKU", "1") != "0";
    s.sumColumn = GetOption(nullptr, "UseSUMS", "1") != "0";
    s.startOnOrderPage = GetOption(nullptr, "DocPage", "") == "1";
    s.titleBarOk = GetOption(nullptr, "X_IS_CLOSE", "") == "1";
    return s;
}

bool TDocumentEditor::TakeClient(const TPickedItem& picked)
{
    if (!picked.chosen || Trim(picked.guid) == Trim(m_doc.clientGuid))
        return false;
    m_doc.clientGuid = picked.guid;
    m_doc.clientName = picked.name;
    m_clientInfo.clear();
    for (const char c : Trim(picked.info)) {
        if (c == '|')
            m_clientInfo += "\r\n";
        else
            m_clientInfo.push_back(c);
    }
    m_doc.modified = true;
    return true;
}

bool TDocumentEditor::TakeTradePoint(const TPickedItem& picked)
{
    if (!picked.chosen || Trim(picked.guid) == Trim(m_doc.tradePointGuid))
        return false;
    m_doc.tradePointGuid = picked.guid;
    m_doc.tradePointName = picked.name;
    m_doc.modified = true;
    return true;
}

void TDocumentEditor::SetComment(std::string text)
{
    m_doc.comment = std::move(text);
    m_doc.modified = true;
}

TAmount TDocumentEditor::KeypadPrice(int line) const
{
    if (!m_doc.useSums)
        return kNoPrice;
    return m_doc.lines.at(static_cast<std::size_t>(line)).price * 100;
}

TAmount TDocumentEditor::KeypadValue(int line) const
{
    return QuantityAmount(m_doc.lines.at(static_cast<std::size_t>(line)).quantity);
}

void TDocumentEditor::SetQuantity(int line, TAmount value, TAmount price)
{
    TOrderLine& l = m_doc.lines.at(static_cast<std::size_t>(line));
    l.quantity = AmountText(value, 2, true);
    if (GetOption(nullptr, "UseSUMS", "1") != "0" && price >= 0)
        l.sum = AmountText(AmountProduct(value, price), 2, true);
    m_doc.modified = true;
}

std::string TDocumentEditor::SelectionText() const
{
    std::string text;
    for (const TOrderLine& line : m_doc.lines) {
        if (QuantityAmount(line.quantity) != 0)
            text += line.goodsGuid + "\t" + line.quantity + "\r\n";
    }
    return text;
}

void TDocumentEditor::TakeGoodsResult(const std::vector<std::string>& result)
{
    m_doc.lines.clear();
    for (const std::string& text : result) {
        TResultLine r;
        if (!SplitResultLine(text, r))
            continue;
        TOrderLine line;
        line.goodsGuid = r.guid;
        line.quantity = r.quantity;
        line.goodsName = r.name;
        line.price = QuantityAmount(r.price) / 100;
        // A line's sum exists only while the document uses sums.
        if (m_doc.useSums)
            line.sum = r.sum;
        m_doc.lines.push_back(std::move(line));
    }
    m_doc.modified = true;
}

std::vector<TLineEntryRow> TDocumentEditor::SkuRowEntries(int row) const
{
    const TGrid& grid = m_doc.sku.grid;
    std::vector<TLineEntryRow> entries;
    for (int c = 2; c < grid.ColumnCount(); ++c)
        entries.push_back({grid.Column(c).caption, grid.Cell(row, c), c});
    return entries;
}

void TDocumentEditor::TakeSkuRowEntries(int row, const std::vector<TLineEntryRow>& entries)
{
    TGrid& grid = m_doc.sku.grid;
    for (const TLineEntryRow& e : entries) {
        if (e.tag >= 2 && e.tag < grid.ColumnCount())
            grid.SetCell(row, e.tag, e.count);
    }
    m_doc.modified = true;
}

bool TDocumentEditor::CloseQuery()
{
    if (!m_doc.modified)
        return true;
    switch (UI().Ask("Документ изменен. Сохранить?", TIcon::Question, TButtons::YesNoCancel)) {
    case TAnswer::Yes:
        return m_doc.Save();
    case TAnswer::No:
        return true;
    default:
        return false;
    }
}

} // namespace vendrix
