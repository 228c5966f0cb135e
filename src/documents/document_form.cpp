// The document form's widgets, wired to the document record and its editor.
#include "documents/document_form.h"

#include "toolkit/qt_text.h"

#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "documents/reference_form.h"
#include "storage/options.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/timer.h"
#include "toolkit/window_placement.h"

#include <QCloseEvent>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace vendrix {

namespace {

constexpr int kTimerMs = 300;
constexpr int kNameMinimum = 70; // the goods name column of the order table
const QDate kDayZero(1899, 12, 30);

// The order table's columns: the goods GUID (four pixels, out of the way), name, quantity and,
// with sums used, the sum.
enum TOrderColumn : int { kGuidColumn, kNameColumn, kQuantityColumn, kSumColumn };

constexpr std::size_t PageIndex(TDocumentPage page)
{
    return static_cast<std::size_t>(page);
}

QDate ToQDate(TDate d)
{
    return kDayZero.addDays(static_cast<qint64>(std::floor(d)));
}

// A long name shows from its start, as the agent reads it.
void ShowBox(QLineEdit* box, const std::string& text)
{
    box->setText(Q(text));
    box->setCursorPosition(0);
}

Qt::Alignment ToQt(TAlign align)
{
    switch (align) {
    case TAlign::Right:
        return Qt::AlignRight;
    case TAlign::Center:
        return Qt::AlignHCenter;
    case TAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

// A row of the header page: a label over a read-only box and its "..." button, 40 pixels.
QWidget* PickRow(
    QWidget* parent, QLabel*& label, QLineEdit*& box, QPushButton*& button, const QString& caption)
{
    auto* row = new QWidget(parent);
    row->setFixedHeight(40);
    label = new QLabel(caption, row);
    box = new QLineEdit(row);
    box->setReadOnly(true);
    button = new QPushButton(QStringLiteral("..."), row);
    button->setFixedSize(25, 21);
    PressOnEnter(button);
    auto* line = new QHBoxLayout;
    line->setSpacing(1);
    line->addWidget(box, 1);
    line->addWidget(button);
    auto* column = new QVBoxLayout(row);
    column->setContentsMargins(2, 0, 2, 0);
    column->setSpacing(1);
    column->addWidget(label);
    column->addLayout(line);
    return row;
}

} // namespace

class TDocumentForm::TOrderRows : public TReportSource {
public:
    explicit TOrderRows(const TDocument& doc)
        : m_doc(doc)
    {
    }
    int RowCount() const override { return static_cast<int>(m_doc.lines.size()); }
    QString Cell(int row, int column) const override
    {
        const TOrderLine& l = m_doc.lines[static_cast<std::size_t>(row)];
        switch (column) {
        case kGuidColumn:
            return Q(l.goodsGuid);
        case kNameColumn:
            return Q(l.goodsName);
        case kQuantityColumn:
            return Q(l.quantity);
        case kSumColumn:
            return Q(l.sum);
        default:
            return {};
        }
    }
    int Image(int) const override { return -1; }

private:
    const TDocument& m_doc;
};

class TDocumentForm::TSkuRows : public TReportSource {
public:
    explicit TSkuRows(const TDocument& doc)
        : m_doc(doc)
    {
    }
    int RowCount() const override { return m_doc.sku.grid.RowCount(); }
    QString Cell(int row, int column) const override { return Q(m_doc.sku.grid.Cell(row, column)); }
    int Image(int) const override { return -1; }

private:
    const TDocument& m_doc;
};

TDocumentForm::TDocumentForm(QWidget* owner)
    : QWidget(owner, Qt::Window)
    , m_orderRows(std::make_unique<TOrderRows>(m_doc))
    , m_skuRows(std::make_unique<TSkuRows>(m_doc))
{
    setWindowTitle(QStringLiteral("FDocum"));
    resize(kHandheldWidth, kHandheldHeight);

    BuildTabs();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_menu);
    // Connected last: adding the first tab makes it the current page, and a page change
    // needs the menu bar.
    ConnectPages();

    m_doc.Reset();
    ShowRecord();
    // The main window turns the wait cursor on before building the form.
    m_timer = StartOneShot(this, kTimerMs, [this] {
        SetBusy(false);
        m_titleBarOk = GetOption(nullptr, "X_IS_CLOSE", "") == "1";
    });
}

TDocumentForm::~TDocumentForm()
{
    m_order->SetSource(nullptr);
    m_sku->SetSource(nullptr);
}

void TDocumentForm::BuildTabs()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(true);
    TurnPagesByCtrlTab(m_tabs);
    // The captions carry their own blanks; narrow tabs let all four fit across 240 pixels.
    m_tabs->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 0px; }"));
    // The header rows keep their heights; on a low screen (landscape) the page scrolls and the
    // menu bar stays below it.
    QScrollArea* header = ScrollWhenShort(BuildHeaderPage());
    ScrollWithTab(header);
    AddPage(TDocumentPage::Header, header, Q(" Шапка "));
    BuildOrderPage();
    BuildSkuPage();
    AddPage(TDocumentPage::Prices, new QWidget(this), QStringLiteral("Tab3"));
}

void TDocumentForm::AddPage(TDocumentPage page, QWidget* widget, const QString& caption)
{
    m_pages[PageIndex(page)] = widget;
    m_tabs->addTab(widget, caption);
}

void TDocumentForm::BuildOrderPage()
{
    m_order = new TReportList(this);
    m_order->SetSource(m_orderRows.get());
    m_order->SetFitColumn(kNameColumn);
    AddPage(TDocumentPage::Order, m_order, QString());
    auto* taps = new TListTaps(m_order);
    taps->onTap = [this](int row, bool) {
        if (row >= 0 && row == m_order->SelectedRow())
            EditQuantity(row);
    };
}

void TDocumentForm::BuildSkuPage()
{
    m_sku = new TReportList(this);
    m_sku->SetSource(m_skuRows.get());
    AddPage(TDocumentPage::Sku, m_sku, QString());
    auto* taps = new TListTaps(m_sku);
    taps->onTap = [this](int row, bool) {
        if (row >= 0 && row == m_sku->SelectedRow())
            EnterSkuRow();
    };
}

void TDocumentForm::BuildMenuBar()
{
    using namespace document_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->SetItemEnabled(kBar, false);
    for (int item : {kPick, kEnter, kBar})
        m_menu->SetItemVisible(item, false);
    m_menu->onCommand = [this](int item) {
        switch (item) {
        case kPick:
            PickGoods();
            break;
        case kEnter:
            EnterSkuRow();
            break;
        case kOk:
            SaveAndClose();
            break;
        case kSave:
            Save();
            break;
        case kClose:
            RequestClose();
            break;
        default:
            break;
        }
    };
}

void TDocumentForm::ConnectPages()
{
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        m_doc.page = static_cast<int>(CurrentPage());
        ShowPageMenu();
    });
    connect(m_clientButton, &QPushButton::clicked, this, [this] { ChooseClient(); });
    connect(m_tradePointButton, &QPushButton::clicked, this, [this] { ChooseTradePoint(); });
    connect(m_comment, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling)
            m_editor.SetComment(m_comment->toPlainText().toStdString());
    });
    // The shipment date alone does not make the document changed.
    connect(m_date, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        if (!m_filling)
            m_doc.shipmentDate = static_cast<TDate>(kDayZero.daysTo(d));
    });
}

QWidget* TDocumentForm::BuildHeaderPage()
{
    auto* page = new QWidget(this);
    m_status = new QLabel(Q("* статус документа *"), page);
    m_status->setFixedHeight(21);
    m_status->setAlignment(Qt::AlignCenter);
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    QPalette green = m_status->palette();
    green.setColor(QPalette::WindowText, QColor(0x00, 0x80, 0x00));
    m_status->setPalette(green);

    auto* dateRow = new QWidget(page);
    m_dateLabel = new QLabel(Q("Дата отгрузки: "), dateRow);
    m_date = new QDateEdit(dateRow);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    ShowInputPanelWhileFocused(m_date);
    auto* dateLine = new QHBoxLayout(dateRow);
    dateLine->setContentsMargins(2, 1, 2, 1);
    dateLine->addWidget(m_dateLabel);
    dateLine->addWidget(m_date, 1);

    QWidget* clientRow = PickRow(page, m_clientLabel, m_clientBox, m_clientButton, Q("Клиент:"));
    QLabel* tradePointLabel = nullptr;
    m_tradePointRow
        = PickRow(page, tradePointLabel, m_tradePointBox, m_tradePointButton, Q("Торговая точка:"));
    m_tradePointRow->hide();
    for (QLineEdit* box : {m_clientBox, m_tradePointBox})
        box->installEventFilter(this);

    m_commentLabel = new QLabel(Q("Примечание:"), page);
    m_comment = new QPlainTextEdit(page);
    m_comment->setFixedHeight(48);
    m_comment->setTabChangesFocus(true);
    ShowInputPanelWhileFocused(m_comment);

    m_info = new QLabel(page);
    m_info->setWordWrap(true);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_info->setTextFormat(Qt::PlainText);

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(m_status);
    column->addWidget(dateRow);
    column->addWidget(clientRow);
    column->addWidget(m_tradePointRow);
    auto* commentBlock = new QVBoxLayout;
    commentBlock->setContentsMargins(2, 0, 2, 0);
    commentBlock->setSpacing(1);
    commentBlock->addWidget(m_commentLabel);
    commentBlock->addWidget(m_comment);
    column->addLayout(commentBlock);
    auto* infoBlock = new QVBoxLayout;
    infoBlock->setContentsMargins(4, 2, 4, 2);
    infoBlock->addWidget(m_info, 1);
    column->addLayout(infoBlock, 1);
    return page;
}

void TDocumentForm::Open(const std::string& guid, bool copy)
{
    m_doc.Open(guid, copy);
    ShowRecord();
}

TDocumentPage TDocumentForm::CurrentPage() const
{
    const QWidget* shown = m_tabs->currentWidget();
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i] == shown)
            return static_cast<TDocumentPage>(i);
    }
    return TDocumentPage::Header;
}

void TDocumentForm::ShowPageMenu()
{
    const TPageMenu m = PageMenu(CurrentPage());
    using namespace document_menu;
    m_menu->SetItemVisible(kPick, m.pick);
    m_menu->SetItemVisible(kEnter, m.enter);
    m_menu->SetItemVisible(kBar, m.bar);
}

void TDocumentForm::ShowRecord()
{
    m_filling = true;
    m_status->setText(Q(m_doc.statusText));
    m_date->setDate(ToQDate(m_doc.shipmentDate));
    ShowBox(m_clientBox, m_doc.clientName);
    ShowBox(m_tradePointBox, m_doc.tradePointName);
    m_comment->setPlainText(Q(m_doc.comment));
    m_info->setText(Lines(m_editor.ClientInfo()));
    m_filling = false;
    ShowOrderColumns();
    ShowSkuColumns();
}

void TDocumentForm::ShowOrderColumns()
{
    const QString name = m_shown ? Q(m_showing.nameColumn) : Q("Товар");
    const QString count = m_shown ? Q(m_showing.countColumn) : Q("Кол-во");
    // The name gives way (down to its minimum) so that quantity and sum stay in sight on the
    // handheld's 240 pixels; a wider window gives it the room back.
    std::vector<TReportColumn> columns {{QString(), 4, Qt::AlignHCenter},
        {name, kNameMinimum, Qt::AlignLeft}, {count, 50, Qt::AlignRight}};
    if (m_doc.sumColumn)
        columns.push_back({Q("Сумма"), 62, Qt::AlignRight});
    m_order->BeginUpdate();
    m_order->SetColumns(std::move(columns));
    m_order->EndUpdate();
}

void TDocumentForm::ShowSkuColumns()
{
    std::vector<TReportColumn> columns;
    const TGrid& grid = m_doc.sku.grid;
    columns.reserve(static_cast<std::size_t>(grid.ColumnCount()));
    for (int c = 0; c < grid.ColumnCount(); ++c)
        columns.push_back(
            {Q(grid.Column(c).caption), grid.Column(c).width, ToQt(grid.Column(c).align)});
    m_sku->BeginUpdate();
    m_sku->SetColumns(std::move(columns));
    m_sku->EndUpdate();
}

void TDocumentForm::Showing()
{
    m_showing = ReadDocumentShowing();
    const TDocumentShowing& s = m_showing;
    m_order->SetGridLines(s.gridLines);
    m_sku->SetGridLines(s.gridLines);
    m_clientLabel->setText(Q(s.clientLabel));
    m_dateLabel->setText(Q(s.dateLabel));
    m_commentLabel->setText(Q(s.commentLabel));

    // The SKU page comes and goes with DOC_SKU; the grid stays in the record either way.
    const int skuIndex = m_tabs->indexOf(m_sku);
    if (!s.skuPageShown && skuIndex >= 0)
        m_tabs->removeTab(skuIndex);
    else if (s.skuPageShown && skuIndex < 0)
        m_tabs->insertTab(static_cast<int>(TDocumentPage::Sku), m_sku, QString());
    m_tabs->setTabText(m_tabs->indexOf(m_order), Q(s.orderPage));
    if (s.skuPageShown)
        m_tabs->setTabText(m_tabs->indexOf(m_sku), Q(s.skuPage));
    m_tabs->setTabText(m_tabs->indexOf(Page(TDocumentPage::Prices)), Q(s.pricesPage));
    m_tradePointRow->setVisible(s.tradePoint);

    m_shown = true;
    if (s.sumColumn)
        m_doc.sumColumn = true;
    ShowOrderColumns();
    m_tabs->setCurrentWidget(
        Page(s.startOnOrderPage ? TDocumentPage::Order : TDocumentPage::Header));
    ShowPageMenu();
    if (!m_doc.lines.empty())
        m_order->SelectRow(0);
    if (m_doc.sku.grid.RowCount() > 0)
        m_sku->SelectRow(0);
    // The form opens on its tab bar, the first control from the top, whichever page it shows.
    ShowFocus(m_tabs);
}

void TDocumentForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown by the program, not restored by the window manager: a restored form keeps its
    // page.
    if (!event->spontaneous())
        Showing();
}

bool TDocumentForm::Save()
{
    const bool saved = m_doc.Save();
    m_status->setText(Q(m_doc.statusText));
    return saved;
}

void TDocumentForm::SaveAndClose()
{
    if (Save())
        RequestClose();
}

void TDocumentForm::RequestClose()
{
    m_closeCommand = true;
    close();
    m_closeCommand = false;
}

void TDocumentForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (!m_closeCommand && !m_titleBarOk && CloseButtonHides(this)) {
        // Without the caption OK the title bar's button hides the form, as the handheld's X;
        // on a desktop-sized screen, or where a minimised window could never come back
        // (Wayland without activation), the window manager's close asks the close query.
        showMinimized();
        return;
    }
    if (!m_editor.CloseQuery())
        return;
    event->accept();
    if (onClosed)
        onClosed();
}

void TDocumentForm::keyPressEvent(QKeyEvent* event)
{
    // On a handheld with keys Esc does what "  X  " does.
    if (event->key() == Qt::Key_Escape) {
        RequestClose();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TDocumentForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

bool TDocumentForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        // A tap on a read-only box is a tap on its button.
        if (watched == m_clientBox) {
            m_clientButton->setFocus();
            ChooseClient();
            return true;
        }
        if (watched == m_tradePointBox) {
            m_tradePointButton->setFocus();
            ChooseTradePoint();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDocumentForm::ChooseClient()
{
    if (m_editor.TakeClient(PickClient(this, m_doc.clientGuid))) {
        ShowBox(m_clientBox, m_doc.clientName);
        m_info->setText(Lines(m_editor.ClientInfo()));
    }
}

void TDocumentForm::ChooseTradePoint()
{
    if (m_editor.TakeTradePoint(PickTradePoint(this, m_doc.tradePointGuid, m_doc.clientGuid)))
        ShowBox(m_tradePointBox, m_doc.tradePointName);
}

void TDocumentForm::EditQuantity(int row)
{
    if (row < 0 || row >= static_cast<int>(m_doc.lines.size()))
        return;
    const TAmount price = m_editor.KeypadPrice(row);
    TAmount value = m_editor.KeypadValue(row);
    if (!RunKeypad(this, value, price))
        return;
    m_editor.SetQuantity(row, value, price);
    m_order->viewport()->update();
}

void TDocumentForm::PickGoods()
{
    std::vector<std::string> result;
    if (RunGoodsSelection(this, m_editor.SelectionText(), result)) {
        m_order->BeginUpdate();
        m_editor.TakeGoodsResult(result);
        m_order->EndUpdate();
    }
    m_order->viewport()->update();
}

void TDocumentForm::EnterSkuRow()
{
    const int row = m_sku->SelectedRow();
    if (row < 0 || row >= m_doc.sku.grid.RowCount())
        return;
    TLineEntryDialog dialog(this);
    dialog.SetTitle(m_doc.sku.grid.Cell(row, 1));
    dialog.ClearRows();
    for (const TLineEntryRow& entry : m_editor.SkuRowEntries(row))
        dialog.AddRow(entry.caption, entry.count, entry.tag);
    if (RunModal(dialog) != kModalOk)
        return;
    m_editor.TakeSkuRowEntries(row, dialog.Rows());
    m_sku->viewport()->update();
}

} // namespace vendrix
