// The reference selection form's widgets: search row with the code box splitter, the list with
// its red rows, and the two-item menu bar.
#include "documents/reference_form.h"

#include "toolkit/qt_text.h"

#include "storage/options.h"
#include "toolkit/glyphs.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/window_placement.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QShowEvent>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr int kCodeBoxWidth = 42;

// The list's columns as ReferenceCell fills them: code and name shown, GUID, deleted mark and
// information kept hidden.
enum TColumn : int {
    kCodeColumn,
    kNameColumn,
    kGuidColumn,
    kDeletedColumn,
    kInfoColumn,
    kColumnCount
};
constexpr const char* kColumnCaptions[] = {"Kod", "Name", "3", "4", "5"};
static_assert(std::size(kColumnCaptions) == kColumnCount, "one caption per column");

} // namespace

class TReferenceForm::TRows : public TReportSource {
public:
    explicit TRows(const std::vector<const TSprListItem*>& rows)
        : m_rows(rows)
    {
    }
    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    QString Cell(int row, int column) const override
    {
        return QString::fromStdString(
            ReferenceCell(*m_rows[static_cast<std::size_t>(row)], column));
    }
    int Image(int) const override { return -1; }
    QColor TextColour(int row) const override
    {
        return IsRedCode(m_rows[static_cast<std::size_t>(row)]->KOD()) ? QColor(255, 0, 0)
                                                                       : QColor(Qt::black);
    }

private:
    const std::vector<const TSprListItem*>& m_rows;
};

TReferenceForm::TReferenceForm(QWidget* owner, TReferenceMode mode, const std::string& currentGuid,
    const std::string& clientGuid)
    : QDialog(owner)
    , m_source(std::make_unique<TRows>(m_rows))
{
    setWindowTitle(Q("Справочник"));
    resize(kHandheldWidth, kHandheldHeight);

    BuildSearchRow();
    BuildList();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_searchRow);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_menu);
    ConnectSearchRow();
    Fill(mode, currentGuid, clientGuid);
}

TReferenceForm::~TReferenceForm()
{
    m_list->SetSource(nullptr);
}

// Search row: the code and name boxes on a splitter, the search glyph.
void TReferenceForm::BuildSearchRow()
{
    m_searchRow = new QWidget(this);
    m_searchRow->setFixedHeight(21);
    m_splitter = new QSplitter(Qt::Horizontal, m_searchRow);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(4);
    m_codeBox = new QLineEdit(m_splitter);
    m_nameBox = new QLineEdit(m_splitter);
    m_splitter->addWidget(m_codeBox);
    m_splitter->addWidget(m_nameBox);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({kCodeBoxWidth, kHandheldWidth});
    auto* glyph = new QToolButton(m_searchRow);
    glyph->setIcon(QIcon(ResourceBitmap(QStringLiteral("BITBTN4_BITMAP"))));
    glyph->setFixedSize(20, 21);
    glyph->setAutoRaise(true);
    glyph->setFocusPolicy(Qt::NoFocus);
    auto* row = new QHBoxLayout(m_searchRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_splitter, 1);
    row->addWidget(glyph);
    for (QLineEdit* box : {m_codeBox, m_nameBox})
        ShowInputPanelWhileFocused(box);
}

void TReferenceForm::BuildList()
{
    m_list = new TReportList(this);
    std::vector<TReportColumn> columns;
    for (const char* caption : kColumnCaptions)
        columns.push_back({Q(caption), 50, Qt::AlignLeft});
    m_list->SetColumns(std::move(columns));
    m_list->SetGridLines(true);
    m_list->header()->setMinimumSectionSize(0);
    auto* taps = new TListTaps(m_list);
    taps->onTap = [this](int row, bool) {
        if (row >= 0)
            Pick();
    };
}

void TReferenceForm::BuildMenuBar()
{
    using namespace reference_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->onCommand = [this](int item) {
        if (item == kPick)
            Pick();
        else
            Cancel();
    };
}

// Connected once the list is there: both boxes act on it.
void TReferenceForm::ConnectSearchRow()
{
    connect(m_nameBox, &QLineEdit::textChanged, this, [this](const QString& text) {
        const int found = FindReferenceRow(m_rows, text.toStdString());
        if (found < 0)
            return;
        m_list->SelectRow(found);
        m_list->scrollTo(m_list->model()->index(found, 0));
    });
    // The code column follows the code box, however its width changes.
    m_codeBox->installEventFilter(this);
}

void TReferenceForm::Fill(
    TReferenceMode mode, const std::string& currentGuid, const std::string& clientGuid)
{
    TBusyScope busy;
    m_picked.guid = Trim(currentGuid);
    m_rows = ReferenceRows(mode, clientGuid);
    m_list->SetSource(m_source.get());
    m_list->SelectRow(PreselectedRow(m_rows, m_picked.guid));
    SizeColumns();
}

void TReferenceForm::SizeColumns()
{
    const bool codeShown = !m_searchRow->isHidden() && !m_codeBox->isHidden();
    m_list->setColumnWidth(kCodeColumn, codeShown ? CodeBoxWidth() : 0);
    for (int c = kGuidColumn; c <= kInfoColumn; ++c)
        m_list->setColumnWidth(c, 0);
    FitLastColumn(m_list, kNameColumn, 0);
}

void TReferenceForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_searchRow->setHidden(GetOption(nullptr, "SPR_QSEARCH", "1") == "0");
    m_codes = GetOption(nullptr, "SPR_CODES", "1") != "0";
    m_codeBox->setHidden(!m_codes);
    if (m_codes) {
        const int saved = SavedCodeBoxWidth();
        const int width = saved > 0 ? saved : CodeBoxWidth();
        m_splitter->setSizes({width, std::max(m_splitter->width() - width, 1)});
    }
    SizeColumns();
    const int selected = m_list->SelectedRow();
    if (selected >= 0)
        m_list->scrollTo(m_list->model()->index(selected, 0), QAbstractItemView::PositionAtCenter);
    // The first control shown from the top: the code box, else the name box, else the list.
    for (QWidget* first : {static_cast<QWidget*>(m_codeBox), static_cast<QWidget*>(m_nameBox),
             static_cast<QWidget*>(m_list)}) {
        if (first->isVisibleTo(this)) {
            ShowFocus(first);
            break;
        }
    }
}

bool TReferenceForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_codeBox && event->type() == QEvent::Resize)
        SizeColumns();
    return QDialog::eventFilter(watched, event);
}

void TReferenceForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    SizeColumns();
}

void TReferenceForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void TReferenceForm::KeepCodeWidth()
{
    if (m_codes && m_codeBox->isVisibleTo(this))
        SaveCodeBoxWidth(CodeBoxWidth());
}

void TReferenceForm::Pick()
{
    const int row = m_list->SelectedRow();
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    TPickedItem picked;
    if (!PickReferenceItem(*m_rows[static_cast<std::size_t>(row)], picked))
        return;
    m_picked = picked;
    KeepCodeWidth();
    CloseDialog(this, true);
}

void TReferenceForm::Cancel()
{
    reject();
}

void TReferenceForm::reject()
{
    // Esc and the title bar cancel as "[ Отмена ]" does.
    KeepCodeWidth();
    QDialog::reject();
}

int TReferenceForm::CodeBoxWidth() const
{
    const QList<int> sizes = m_splitter->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

TPickedItem PickClient(QWidget* owner, const std::string& currentGuid)
{
    TReferenceForm form(owner, TReferenceMode::Clients, currentGuid);
    const bool chosen = RunModal(form) == kModalOk;
    TPickedItem picked = form.Picked();
    picked.chosen = chosen;
    return picked;
}

TPickedItem PickTradePoint(
    QWidget* owner, const std::string& currentGuid, const std::string& clientGuid)
{
    if (!TradePointPickAllowed(clientGuid))
        return {false, currentGuid, {}, {}};
    TReferenceForm form(owner, TReferenceMode::TradePoints, currentGuid, clientGuid);
    const bool chosen = RunModal(form) == kModalOk;
    TPickedItem picked = form.Picked();
    picked.chosen = chosen;
    return picked;
}

} // namespace vendrix
