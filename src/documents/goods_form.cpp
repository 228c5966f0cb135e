// The goods multi-select form's widgets: group bar and drop-down tree, search row, goods list,
// pop-up menu and menu bar, wired to TGoodsSelection.
#include "documents/goods_form.h"

#include "toolkit/qt_text.h"

#include "documents/keypad_dialog.h"
#include "storage/options.h"
#include "toolkit/glyphs.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/window_placement.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr int kCodeBoxWidth = 42;
constexpr int kGroupRole = Qt::UserRole + 1;

// The goods list's columns; price and sum only with sums used.
enum TColumn : int { kCodeColumn, kNameColumn, kQuantityColumn, kPriceColumn, kSumColumn };

// A text of the goods list, which lies in the list's texts, as a Qt string.
QString Q(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QToolButton* BarButton(QWidget* parent, int width, int height)
{
    auto* button = new QToolButton(parent);
    button->setFixedSize(width, height);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

// The goods of the current group as the list paints them: code, name, quantity, price, sum.
class TGoodsForm::TRows : public TReportSource {
public:
    explicit TRows(const TGoodsSelection& selection)
        : m_selection(selection)
    {
    }
    int RowCount() const override { return static_cast<int>(m_selection.Rows().size()); }
    QString Cell(int row, int column) const override
    {
        const TTreeData& n = *m_selection.Rows()[static_cast<std::size_t>(row)];
        switch (column) {
        case kCodeColumn:
            return Q(n.KOD());
        case kNameColumn:
            return Q(n.ANAME());
        case kQuantityColumn:
            return Q(AmountText(n.quantity, 2, true));
        case kPriceColumn:
            return Q(AmountText(n.PRICE, 2, true));
        case kSumColumn:
            return Q(AmountText(n.sum, 2, true));
        default:
            return {};
        }
    }
    int Image(int) const override { return -1; }

private:
    const TGoodsSelection& m_selection;
};

TGoodsForm::TGoodsForm(QWidget* owner)
    : QDialog(owner)
    , m_source(std::make_unique<TRows>(m_selection))
{
    resize(kHandheldWidth, kHandheldHeight);

    QWidget* groupBar = BuildGroupBar();
    BuildSearchRow();
    BuildList();
    BuildPopupMenu();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(groupBar);
    layout->addWidget(m_searchRow);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_menu);
    BuildDropDown();
}

// Group bar: decoration, the caption that opens the drop-down, decoration, and the OK / X pair
// while the drop-down is open.
QWidget* TGoodsForm::BuildGroupBar()
{
    auto* groupBar = new QWidget(this);
    groupBar->setFixedHeight(22);
    auto* folder = BarButton(groupBar, 24, 22);
    folder->setIcon(QIcon(ResourceBitmap(QStringLiteral("BITBTN1_BITMAP"))));
    folder->setEnabled(false);
    m_groupButton = new QPushButton(groupBar);
    m_groupButton->setFixedHeight(22);
    m_groupButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // Tab reaches the group caption (a tap leaves the focus where it was), and Space or Enter
    // opens the drop-down as a tap does; Enter elsewhere in the form does not.
    m_groupButton->setFocusPolicy(Qt::TabFocus);
    m_groupButton->setAutoDefault(false);
    PressOnEnter(m_groupButton);
    m_groupButton->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; padding: 0px 3px; }"));
    auto* edge = BarButton(groupBar, 12, 22);
    edge->setEnabled(false);
    m_treeButtons = new QWidget(groupBar);
    m_treeButtons->setFixedSize(88, 22);
    m_treeOk = BarButton(m_treeButtons, 40, 20);
    m_treeOk->setText(QStringLiteral("OK"));
    m_treeOk->move(3, 1);
    m_treeClose = BarButton(m_treeButtons, 40, 20);
    m_treeClose->setText(QStringLiteral("X"));
    m_treeClose->move(45, 1);
    m_treeButtons->hide();
    auto* bar = new QHBoxLayout(groupBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);
    bar->addWidget(folder);
    bar->addWidget(m_groupButton, 1);
    bar->addWidget(edge);
    bar->addWidget(m_treeButtons);

    connect(m_groupButton, &QPushButton::clicked, this, [this] { OpenGroups(); });
    connect(m_treeOk, &QToolButton::clicked, this, [this] { ChooseSelectedGroup(); });
    connect(m_treeClose, &QToolButton::clicked, this, [this] { CloseGroups(); });
    return groupBar;
}

// Search row: code box, name box, the search glyph.
void TGoodsForm::BuildSearchRow()
{
    m_searchRow = new QWidget(this);
    m_searchRow->setFixedHeight(23);
    m_codeBox = new QLineEdit(m_searchRow);
    m_codeBox->setFixedWidth(kCodeBoxWidth);
    m_nameBox = new QLineEdit(m_searchRow);
    auto* glyph = BarButton(m_searchRow, 20, 23);
    glyph->setIcon(QIcon(ResourceBitmap(QStringLiteral("BITBTN4_BITMAP"))));
    glyph->setEnabled(false);
    auto* row = new QHBoxLayout(m_searchRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    row->addWidget(m_codeBox);
    row->addWidget(m_nameBox, 1);
    row->addWidget(glyph);
    for (QLineEdit* box : {m_codeBox, m_nameBox})
        ShowInputPanelWhileFocused(box);
    m_nameBox->installEventFilter(this);

    connect(m_nameBox, &QLineEdit::textChanged, this,
        [this](const QString& text) { FindRow(m_selection.FindByName(text.toStdString())); });
    connect(m_codeBox, &QLineEdit::textChanged, this,
        [this](const QString& text) { FindRow(m_selection.FindByCode(text.toStdString())); });
}

void TGoodsForm::BuildList()
{
    m_list = new TReportList(this);
    m_list->SetGridLines(true);
    m_list->header()->setMinimumSectionSize(0);
    auto* taps = new TListTaps(m_list);
    taps->onTap = [this](int row, bool wasSelected) {
        if (row >= 0 && wasSelected)
            EnterQuantity();
    };
}

void TGoodsForm::BuildPopupMenu()
{
    m_popup = new TPopupMenu(this);
    for (const char* caption : goods_popup::kCaptions)
        m_popup->AddItem(Q(caption));
    m_popup->onCommand = [this](int item) {
        if (item == goods_popup::kEnter)
            EnterQuantity();
    };
    m_list->onContextMenu = [this](const QPoint& at) { m_popup->popup(at); };
}

void TGoodsForm::BuildMenuBar()
{
    using namespace goods_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->SetItemEnabled(kEnterBar, false);
    m_menu->SetItemEnabled(kOkBar, false);
    m_menu->onCommand = [this](int item) {
        if (item == kEnter)
            EnterQuantity();
        else if (item == kOk)
            Confirm();
        else if (item == kCancel)
            reject();
    };
}

// The drop-down lies over the list, outside the layout.
void TGoodsForm::BuildDropDown()
{
    m_dropDown = new QFrame(this);
    m_dropDown->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_tree = new QTreeWidget(m_dropDown);
    m_tree->setHeaderHidden(true);
    m_tree->setIconSize(QSize(16, 16));
    m_tree->setUniformRowHeights(true);
    m_tree->installEventFilter(this);
    auto* treeTaps = new TListTaps(m_tree);
    treeTaps->onTap = [this](int row, bool wasSelected) {
        // A tap on the group that was already selected chooses it.
        if (row >= 0 && wasSelected)
            ChooseSelectedGroup();
    };
    auto* inside = new QVBoxLayout(m_dropDown);
    inside->setContentsMargins(1, 1, 1, 1);
    inside->addWidget(m_tree);
    m_dropDown->hide();

    const std::vector<QPixmap> folders = ImageList(QStringLiteral("FSPRMULTISEL_IL1"), 16, 16);
    auto picture = [folders](QTreeWidgetItem* item, bool open) {
        if (folders.size() >= 2)
            item->setIcon(0, QIcon(folders[open ? 1 : 0]));
    };
    connect(m_tree, &QTreeWidget::itemExpanded, this,
        [picture](QTreeWidgetItem* item) { picture(item, true); });
    connect(m_tree, &QTreeWidget::itemCollapsed, this,
        [picture](QTreeWidgetItem* item) { picture(item, false); });
}

TGoodsForm::~TGoodsForm()
{
    m_list->SetSource(nullptr);
}

void TGoodsForm::Prepare(const std::string& selectionText)
{
    TBusyScope busy;
    m_selection.Prepare(selectionText);
    BuildTree();

    m_useSums = GetOption(nullptr, "UseSUMS", "1") != "0";
    std::vector<TReportColumn> columns {{Q(" Kod"), 50, Qt::AlignLeft},
        {Q(GetOption(nullptr, "Nomenkl", "Товар")), 100, Qt::AlignLeft},
        {Q(GetOption(nullptr, "Count", "Кол-во")), 80, Qt::AlignRight}};
    if (m_useSums) {
        columns.push_back({Q("Цена"), 62, Qt::AlignRight});
        columns.push_back({Q("Сумма"), 62, Qt::AlignRight});
    }
    m_list->SetColumns(std::move(columns));
    m_list->SetSource(m_source.get());

    const std::vector<int> saved = SavedGoodsColumnWidths(m_list->ColumnCount());
    m_widthsRestored = false;
    for (int c = 0; c < static_cast<int>(saved.size()); ++c) {
        if (saved[static_cast<std::size_t>(c)] > 0) {
            m_list->setColumnWidth(c, saved[static_cast<std::size_t>(c)]);
            m_widthsRestored = true;
        }
    }
    ChooseSelectedGroup();
}

void TGoodsForm::BuildTree()
{
    m_tree->clear();
    m_treeItems.clear();
    const auto& groups = m_selection.Groups();
    m_treeItems.reserve(groups.size());
    const std::vector<QPixmap> folders = ImageList(QStringLiteral("FSPRMULTISEL_IL1"), 16, 16);
    const QIcon closed = folders.empty() ? QIcon() : QIcon(folders.front());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const TGoodsGroup& g = groups[i];
        QTreeWidgetItem* item = g.parent < 0
            ? new QTreeWidgetItem(m_tree)
            : new QTreeWidgetItem(m_treeItems[static_cast<std::size_t>(g.parent)]);
        item->setText(0, Q(g.node->ANAME()));
        item->setIcon(0, closed);
        item->setData(0, kGroupRole, static_cast<int>(i));
        m_treeItems.push_back(item);
    }
    if (!m_treeItems.empty()) {
        m_treeItems.front()->setExpanded(true);
        m_tree->setCurrentItem(m_treeItems.front());
    }
}

void TGoodsForm::SetCaptions()
{
    std::vector<TReportColumn> columns;
    columns.reserve(static_cast<std::size_t>(m_list->ColumnCount()));
    for (int c = 0; c < m_list->ColumnCount(); ++c)
        columns.push_back(
            {m_list->ColumnCaption(c), m_list->columnWidth(c), m_list->ColumnAlignment(c)});
    if (columns.size() <= kQuantityColumn)
        return;
    columns[kCodeColumn].caption = QStringLiteral(" ");
    columns[kNameColumn].caption = Q(GetOption(nullptr, "Nomenkl", "Товар"));
    columns[kQuantityColumn].caption = Q(GetOption(nullptr, "Count", "Кол-во"));
    m_list->SetColumns(std::move(columns));
}

void TGoodsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (!m_modalChild)
        m_modalChild.emplace();
    m_searchRow->setHidden(GetOption(nullptr, "SPR_QSEARCH", "1") == "0");
    const bool codes = GetOption(nullptr, "SPR_CODES", "1") != "0";
    m_codeBox->setHidden(!codes);
    setWindowTitle(
        QStringLiteral(" ") + Q(GetOption(nullptr, "MultiSelFormText", "Подбор товаров")));
    SetCaptions();
    m_useSums = GetOption(nullptr, "UseSUMS", "1") != "0";

    const bool codeShown = !m_searchRow->isHidden() && codes;
    if (m_widthsRestored) {
        if (!codeShown)
            m_list->setColumnWidth(kCodeColumn, 0);
    } else {
        m_list->setColumnWidth(kCodeColumn, codeShown ? kCodeBoxWidth + 2 : 0);
        // 40 pixels, or what the quantity caption needs to be read whole.
        m_list->setColumnWidth(
            kQuantityColumn, std::max(40, m_list->header()->sectionSizeHint(kQuantityColumn)));
        FitLastColumn(m_list, kNameColumn, 100);
    }
    // The group caption is the first control from the top.
    ShowFocus(m_groupButton);
}

void TGoodsForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void TGoodsForm::ChooseSelectedGroup()
{
    m_list->BeginUpdate();
    QTreeWidgetItem* item = m_tree->currentItem();
    if (item) {
        const int index = item->data(0, kGroupRole).toInt();
        const TTreeData* group = m_selection.Groups().at(static_cast<std::size_t>(index)).node;
        m_groupButton->setText(QStringLiteral(" ") + Q(group->ANAME()));
        m_selection.ChooseGroup(group);
    } else {
        m_selection.ChooseGroup(nullptr);
    }
    CloseGroups();
    m_list->EndUpdate();
}

void TGoodsForm::OpenGroups()
{
    const int current = m_selection.GroupIndex(m_selection.CurrentGroup());
    if (current >= 0)
        m_tree->setCurrentItem(m_treeItems[static_cast<std::size_t>(current)]);
    const QPoint at = m_groupButton->mapTo(this, QPoint(0, 0));
    const int top = at.y() + m_groupButton->height() + 2;
    int panelHeight = std::max(height() - top - 45, 40);
    // A short tree gets a short drop-down.
    int shown = 0;
    for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
        QTreeWidgetItem* parent = (*it)->parent();
        bool visible = true;
        for (; parent && visible; parent = parent->parent())
            visible = parent->isExpanded();
        shown += visible ? 1 : 0;
    }
    const int itemHeight = m_tree->sizeHintForRow(0) > 0 ? m_tree->sizeHintForRow(0) : 18;
    const int needed = (itemHeight + 1) * std::max(1, shown) + 2
        + m_tree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_tree);
    panelHeight = std::min(panelHeight, needed);
    m_dropDown->setGeometry(at.x() + 2, top, m_groupButton->width(), panelHeight);
    m_dropDown->raise();
    m_dropDown->show();
    m_treeButtons->show();
    m_tree->setFocus();
}

void TGoodsForm::CloseGroups()
{
    const bool treeFocused = m_tree->hasFocus();
    m_dropDown->hide();
    m_treeButtons->hide();
    // Closed from the keyboard (Enter or Esc in the tree): the keys go back to the group
    // caption that opened the drop-down, as with a drop-down list.
    if (treeFocused)
        m_groupButton->setFocus(Qt::OtherFocusReason);
}

void TGoodsForm::FindRow(int row)
{
    if (row < 0)
        return;
    m_list->SelectRow(row);
    m_list->scrollTo(m_list->model()->index(row, 0));
}

void TGoodsForm::EnterQuantity()
{
    QGuiApplication::inputMethod()->hide();
    const int row = m_list->SelectedRow();
    if (row < 0 || row >= static_cast<int>(m_selection.Rows().size()))
        return;
    TTreeData& node = *m_selection.Rows()[static_cast<std::size_t>(row)];
    TAmount quantity = node.quantity;
    if (RunKeypad(this, quantity, m_useSums ? node.PRICE : -1, std::string(node.ANAME()),
            std::string(node.ED_IZM()))) {
        TGoodsSelection::SetQuantity(node, quantity);
        m_list->viewport()->update();
    }
    m_codeBox->clear();
    m_nameBox->clear();
}

void TGoodsForm::SaveWidths()
{
    std::vector<int> widths;
    widths.reserve(static_cast<std::size_t>(m_list->ColumnCount()));
    for (int c = 0; c < m_list->ColumnCount(); ++c)
        widths.push_back(m_list->columnWidth(c));
    SaveGoodsColumnWidths(widths);
    m_modalChild.reset();
}

void TGoodsForm::Confirm()
{
    m_result = m_selection.ResultList();
    SaveWidths();
    done(QDialog::Accepted);
}

void TGoodsForm::reject()
{
    // Esc and the title bar cancel as " [X] Отмена" does; typed quantities are not returned.
    SaveWidths();
    QDialog::reject();
}

bool TGoodsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_tree) // still being built
        return QDialog::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (watched == m_nameBox && type == QEvent::FocusIn) {
        m_codeBox->clear();
        m_nameBox->clear();
    } else if (watched == m_tree && type == QEvent::KeyPress) {
        // Enter in the tree is a tap on its selected group (the taps watcher).
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            CloseGroups();
            return true;
        }
    } else if (watched == m_tree && type == QEvent::FocusOut) {
        CloseGroups();
    }
    return QDialog::eventFilter(watched, event);
}

bool RunGoodsSelection(
    QWidget* owner, const std::string& selectionText, std::vector<std::string>& result)
{
    TGoodsForm form(owner);
    form.Prepare(selectionText);
    if (RunModal(form) != kModalOk)
        return false;
    result = form.Result();
    return true;
}

} // namespace vendrix
