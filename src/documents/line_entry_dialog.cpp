// The line entry dialog's widgets: title, the category list and the three buttons.
#include "documents/line_entry_dialog.h"

#include "toolkit/qt_text.h"

#include "documents/amounts.h"
#include "documents/keypad_dialog.h"
#include "storage/options.h"
#include "toolkit/handheld_screen.h"
#include "toolkit/keyboard.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/timer.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr int kTimerMs = 300;

} // namespace

class TLineEntryDialog::TRows : public TReportSource {
public:
    explicit TRows(const std::vector<TLineEntryRow>& rows)
        : m_rows(rows)
    {
    }
    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    QString Cell(int row, int column) const override
    {
        const TLineEntryRow& r = m_rows[static_cast<std::size_t>(row)];
        return QString::fromStdString(column == 0 ? r.caption : r.count);
    }
    int Image(int) const override { return -1; }

private:
    const std::vector<TLineEntryRow>& m_rows;
};

TLineEntryDialog::TLineEntryDialog(QWidget* owner)
    : QDialog(owner)
    , m_source(std::make_unique<TRows>(m_rows))
{
    setWindowTitle(Q("Ввод строки"));

    m_title = new QLabel(this);
    m_title->setFixedHeight(16);

    m_list = new TReportList(this);
    m_list->SetColumns(
        {{Q("Товарная группа"), 50, Qt::AlignLeft}, {Q("Кол."), 40, Qt::AlignRight}});
    m_list->SetSource(m_source.get());
    auto* taps = new TListTaps(m_list);
    taps->onTap = [this](int row, bool wasSelected) {
        // Only a tap inside the row that was already selected counts; the first tap on
        // another row only selects it.
        if (row >= 0 && wasSelected && row == m_list->SelectedRow())
            ChangeCount();
    };

    m_buttons = new QWidget(this);
    m_buttons->setFixedHeight(29);
    m_change = new QPushButton(QStringLiteral("..."), m_buttons);
    m_change->setFixedSize(36, 29);
    m_ok = new QPushButton(QStringLiteral("Ok"), m_buttons);
    m_ok->setFixedSize(65, 29);
    m_cancel = new QPushButton(Q("Отмена"), m_buttons);
    m_cancel->setFixedSize(65, 29);
    // No button is the default, so Enter in the list changes the count; on a button Enter
    // presses that button.
    for (QPushButton* b : {m_change, m_ok, m_cancel}) {
        b->setAutoDefault(false);
        PressOnEnter(b);
    }
    connect(m_change, &QPushButton::clicked, this, [this] { ChangeCount(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { CloseDialog(this, true); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { CloseDialog(this, false); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_title);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_buttons);

    m_timer = StartOneShot(
        this, kTimerMs, [this] { m_titleBarOk = GetOption(nullptr, "X_IS_CLOSE", "") == "1"; });
}

TLineEntryDialog::~TLineEntryDialog()
{
    m_list->SetSource(nullptr);
}

void TLineEntryDialog::SetTitle(const std::string& text)
{
    m_title->setText(QString::fromStdString(text));
}

void TLineEntryDialog::ClearRows()
{
    m_list->BeginUpdate();
    m_rows.clear();
    m_list->EndUpdate();
}

void TLineEntryDialog::AddRow(const std::string& caption, const std::string& count, int tag)
{
    m_list->BeginUpdate();
    m_rows.push_back({caption, count, tag});
    m_list->EndUpdate();
}

void TLineEntryDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_list->SetGridLines(GetOption(nullptr, "LINES_OTHER", "") == "1");
    const QRect screen = HandheldScreen(parentWidget());
    const int bar = MenuBarHeight();
    setGeometry(screen.left() + 20, screen.top() + bar + 20, screen.width() - 40,
        screen.height() - 2 * bar - 40);
    LayOutButtons();
    FitLastColumn(m_list, 0, 100);
    if (!m_rows.empty())
        m_list->SelectRow(0);
    ShowFocus(m_list);
}

void TLineEntryDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOutButtons();
    FitLastColumn(m_list, 0, 100);
}

void TLineEntryDialog::LayOutButtons()
{
    // The three buttons centred as a group, 5 pixels apart.
    const int left = (m_buttons->width() - 36 - 65 - 65 - 10) / 2;
    m_change->move(left, 0);
    m_ok->move(left + 36 + 5, 0);
    m_cancel->move(left + 36 + 5 + 65 + 5, 0);
}

void TLineEntryDialog::ChangeCount()
{
    const int row = m_list->SelectedRow();
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    TLineEntryRow& r = m_rows[static_cast<std::size_t>(row)];
    TAmount value = CountToKeypadValue(r.count);
    if (!RunKeypad(this, value, -kAmountScale))
        return;
    r.count = KeypadValueToCount(value);
    m_list->viewport()->update();
}

void TLineEntryDialog::closeEvent(QCloseEvent* event)
{
    // The title bar's button: with the handheld's caption OK it confirms, as "Ok" does;
    // otherwise it cancels.
    if (!isModal()) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    CloseDialog(this, m_titleBarOk);
}

} // namespace vendrix
