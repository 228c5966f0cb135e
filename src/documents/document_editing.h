// What the document form does to the order it shows, apart from its widgets: the labels and page
// captions the agent has set, which menu items each page offers, taking a picked client or
// trade point, a quantity typed on the keypad, the goods handed over to the goods selection and
// taken back from it, a SKU row turned on its side for the line entry dialog and back, and the
// close query. Every edit works on the document record itself and sets its modified flag.
#pragma once

#include "documents/document.h"
#include "documents/reference_selection.h"

#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

/// The pages of the document form, in the order of its tabs.
enum class TDocumentPage { Header, Order, Sku, Prices };

/// Which of the first three menu items ("Подбор", " Ввод ", "|") a page offers.
struct TPageMenu {
    bool pick = false;
    bool enter = false;
    bool bar = false;
};
TPageMenu PageMenu(TDocumentPage page);

/// What the form reads from the options each time it is shown.
struct TDocumentShowing {
    bool gridLines = false; // LINES_DOC
    std::string clientLabel, dateLabel, commentLabel; // a blank, the text, one colon
    std::string orderPage, skuPage, pricesPage; // a blank on each side
    std::string nameColumn, countColumn;
    bool tradePoint = false; // DOC_TRADE_P
    bool skuPageShown = true; // DOC_SKU
    bool sumColumn = true; // UseSUMS
    bool startOnOrderPage = false; // DocPage
    bool titleBarOk = false; // X_IS_CLOSE
};
TDocumentShowing ReadDocumentShowing();

/// A label: a blank and the text, with ":" appended unless it already ends in one.
std::string FieldLabel(std::string_view text);

/// One row of the line entry dialog: a category of the SKU row with its count.
struct TLineEntryRow {
    std::string caption;
    std::string count;
    int tag = 0; // the grid column the row came from
};

class TDocumentEditor {
public:
    explicit TDocumentEditor(TDocument& document)
        : m_doc(document)
    {
    }

    TDocument& Document() const { return m_doc; }

    /// Takes a picked client when it is another one than the document has: its GUID, name and
    /// information text; the trade point stays. True when the document changed.
    bool TakeClient(const TPickedItem& picked);
    /// Takes a picked trade point when it is another one. True when the document changed.
    bool TakeTradePoint(const TPickedItem& picked);
    /// The picked client's information, lines broken with CR LF; empty until a pick.
    const std::string& ClientInfo() const { return m_clientInfo; }

    /// The comment as typed; sets the modified flag.
    void SetComment(std::string text);

    /// The keypad's price for an order line: its unit price as an amount with sums used, else
    /// minus one (no price shown).
    TAmount KeypadPrice(int line) const;
    /// The keypad's value for an order line: its quantity (0 when unreadable).
    TAmount KeypadValue(int line) const;
    /// A quantity confirmed on the keypad: quantity and sum with two decimals, empty when zero.
    void SetQuantity(int line, TAmount value, TAmount price);

    /// The order lines with a quantity, "GUID<TAB>quantity" each followed by CR LF, for the
    /// goods selection.
    std::string SelectionText() const;
    /// Replaces the order lines by the goods selection's result lines (lines without a TAB
    /// are skipped).
    void TakeGoodsResult(const std::vector<std::string>& result);

    /// The SKU row `row` turned on its side: one entry per category column.
    std::vector<TLineEntryRow> SkuRowEntries(int row) const;
    /// Writes the confirmed counts back into SKU row `row`.
    void TakeSkuRowEntries(int row, const std::vector<TLineEntryRow>& entries);

    /// The close query: true when the form may close. Unchanged closes at once; otherwise
    /// "Документ изменен. Сохранить?": Yes saves (and stays open when that fails), No closes,
    /// Cancel stays.
    bool CloseQuery();

private:
    TDocument& m_doc;
    std::string m_clientInfo;
};

} // namespace vendrix
