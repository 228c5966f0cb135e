// The document form, where the agent writes or edits one order: the header page (status, date,
// client, trade point, comment, client information), the order lines, the SKU counts and the
// prices page, with the menu bar that picks goods, enters SKU rows and saves. It shows and edits
// the document record it owns; the edits themselves are TDocumentEditor's.
#pragma once

#include "documents/document_editing.h"

#include <QWidget>

#include <array>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace vendrix {

class TMenuBar;
class TReportList;

/// The document form's menu bar: its items' numbers, in the order they are added, and their
/// captions by number, blanks included. A plain enum, since the bar numbers its items with ints.
namespace document_menu {
enum TItem : int { kPick, kEnter, kBar, kOk, kSave, kClose, kItemCount };
inline constexpr const char* kCaptions[] = {"Подбор", " Ввод ", "|", " Ок ", "Записать", "  X  "};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace document_menu

class TDocumentForm : public QWidget {
public:
    /// Builds the form as a window of `owner` and puts a new, empty document into it.
    explicit TDocumentForm(QWidget* owner);
    ~TDocumentForm() override;

    /// Opens the stored document `guid` (empty: a new one), as a copy when `copy` is set.
    void Open(const std::string& guid, bool copy);

    TDocument& Record() { return m_doc; }
    TDocumentEditor& Editor() { return m_editor; }

    /// "Записать": saves and stays open; false when the save was refused or failed.
    bool Save();
    /// " Ок ": saves and closes when the save worked.
    void SaveAndClose();
    /// "  X  ": closes through the close query.
    void RequestClose();
    /// "Подбор": the goods multi-select over the order lines.
    void PickGoods();
    /// " Ввод ": the line entry dialog over the selected SKU row.
    void EnterSkuRow();
    /// The keypad over the quantity of order line `row`.
    void EditQuantity(int row);
    void ChooseClient();
    void ChooseTradePoint();

    /// Runs whenever the form closes (the main window refreshes its journal).
    std::function<void()> onClosed;

    TMenuBar& Menu() const { return *m_menu; }
    QTabWidget* Tabs() const { return m_tabs; }
    QWidget* Page(TDocumentPage page) const { return m_pages[static_cast<std::size_t>(page)]; }
    /// The page shown now.
    TDocumentPage CurrentPage() const;
    QLabel* Status() const { return m_status; }
    QLabel* DateLabel() const { return m_dateLabel; }
    QDateEdit* Date() const { return m_date; }
    QLabel* ClientLabel() const { return m_clientLabel; }
    QLineEdit* ClientBox() const { return m_clientBox; }
    QPushButton* ClientButton() const { return m_clientButton; }
    QWidget* TradePointRow() const { return m_tradePointRow; }
    QLineEdit* TradePointBox() const { return m_tradePointBox; }
    QPushButton* TradePointButton() const { return m_tradePointButton; }
    QLabel* CommentLabel() const { return m_commentLabel; }
    QPlainTextEdit* Comment() const { return m_comment; }
    QLabel* ClientInfo() const { return m_info; }
    TReportList* OrderTable() const { return m_order; }
    TReportList* SkuGrid() const { return m_sku; }
    /// Whether the title bar's button is the handheld's caption OK (X_IS_CLOSE, after 300 ms).
    bool TitleBarOk() const { return m_titleBarOk; }
    QTimer* Timer() const { return m_timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TOrderRows;
    class TSkuRows;
    // The construction steps, in the order the constructor takes them: the order in which
    // the widgets are made is their tab order.
    void BuildTabs();
    void AddPage(TDocumentPage page, QWidget* widget, const QString& caption);
    QWidget* BuildHeaderPage();
    void BuildOrderPage();
    void BuildSkuPage();
    void BuildMenuBar();
    void ConnectPages();
    void Showing();
    void ShowRecord();
    void ShowOrderColumns();
    void ShowSkuColumns();
    void ShowPageMenu();

    TDocument m_doc;
    TDocumentEditor m_editor {m_doc};
    TDocumentShowing m_showing;
    std::unique_ptr<TOrderRows> m_orderRows;
    std::unique_ptr<TSkuRows> m_skuRows;
    TMenuBar* m_menu = nullptr;
    QTabWidget* m_tabs = nullptr;
    std::array<QWidget*, 4> m_pages {}; // by TDocumentPage
    QLabel* m_status = nullptr;
    QLabel* m_dateLabel = nullptr;
    QDateEdit* m_date = nullptr;
    QLabel* m_clientLabel = nullptr;
    QLineEdit* m_clientBox = nullptr;
    QPushButton* m_clientButton = nullptr;
    QWidget* m_tradePointRow = nullptr;
    QLineEdit* m_tradePointBox = nullptr;
    QPushButton* m_tradePointButton = nullptr;
    QLabel* m_commentLabel = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QLabel* m_info = nullptr;
    TReportList* m_order = nullptr;
    TReportList* m_sku = nullptr;
    QTimer* m_timer = nullptr;
    bool m_titleBarOk = false;
    bool m_closeCommand = false; // the close comes from the form's own commands
    bool m_filling = false; // the controls are being set from the record
    bool m_shown = false;
};

} // namespace vendrix
