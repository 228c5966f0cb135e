// The backups window: the list of copies, the line about the selected one, the menu bar.
#include "shell/backups_window.h"

#include "toolkit/qt_text.h"

#include "documents/document_form.h"
#include "exchange/exchange_window.h"
#include "shell/startup.h"
#include "storage/ui_seam.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/window_placement.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr const char* kNoCopies = "Копий базы нет.";

// What a copy was made before, as the list's last column says it.
std::string MadeBefore(const TBackup& b, bool lastImport)
{
    if (!b.beforeImport)
        return "возвратом";
    return lastImport ? "посл. загрузкой" : "загрузкой";
}

// The copies as the list paints them; a damaged copy's orders cannot be counted.
class TBackupRows : public TReportSource {
public:
    TBackupRows(const std::vector<TBackup>& backups, const std::string& lastImport)
        : m_backups(backups)
        , m_lastImport(lastImport)
    {
    }
    int RowCount() const override { return static_cast<int>(m_backups.size()); }
    QString Cell(int row, int column) const override
    {
        const TBackup& b = m_backups[static_cast<std::size_t>(row)];
        switch (column) {
        case backups_column::kTime:
            return Q(b.time);
        case backups_column::kOrders:
            return b.damaged ? Q("повреждена") : QString::number(b.orders);
        case backups_column::kMade:
            return Q(MadeBefore(b, b.name == m_lastImport));
        default:
            return {};
        }
    }
    int Image(int) const override { return -1; }
    QColor TextColour(int row) const override
    {
        return m_backups[static_cast<std::size_t>(row)].damaged ? QColor(0xA0, 0, 0) : QColor();
    }

private:
    const std::vector<TBackup>& m_backups;
    const std::string& m_lastImport;
};

} // namespace

TBackupsWindow::TBackupsWindow(QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(Q("Резервные копии"));
    resize(kHandheldWidth, kHandheldHeight);

    BuildList();
    BuildNote();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_note);
    layout->addWidget(m_menu);

    Reload();
}

TBackupsWindow::~TBackupsWindow()
{
    // The list outlives the rows it shows (children go with the QWidget part, after the
    // members): it must not read them once they are gone.
    m_list->SetSource(nullptr);
}

void TBackupsWindow::BuildList()
{
    using namespace backups_column;
    m_list = new TReportList(this);
    // The time and «повреждена» whole; on the handheld's 240 pixels the last column scrolls
    // into view, and the line under the list says the same of the selected copy in full.
    m_list->SetColumns({
        {Q("Копия от"), 122, Qt::AlignLeft},
        {Q("Заявок"), 78, Qt::AlignRight},
        {Q("Сделана перед"), 96, Qt::AlignLeft},
    });
    m_list->SetFitColumn(kMade);
    m_rows = std::make_unique<TBackupRows>(m_backups, m_lastImportCopy);
    m_list->SetSource(m_rows.get());
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this] { ShowSelected(); });
}

void TBackupsWindow::BuildNote()
{
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->setMargin(3);
    m_note->setTextInteractionFlags(Qt::NoTextInteraction);
}

void TBackupsWindow::BuildMenuBar()
{
    using namespace backups_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->onCommand = [this](int item) {
        if (item == kRestore)
            Restore();
        else if (item == kClose)
            CloseDialog(this, false);
    };
}

void TBackupsWindow::Reload()
{
    m_list->BeginUpdate();
    m_backups = ListBackups();
    m_lastImportCopy.clear();
    for (const TBackup& b : m_backups) {
        if (b.beforeImport) {
            m_lastImportCopy = b.name;
            break;
        }
    }
    m_list->EndUpdate();
    m_list->SelectRow(0);
    m_menu->SetItemEnabled(backups_menu::kRestore, !m_backups.empty());
    ShowSelected();
}

void TBackupsWindow::ShowSelected()
{
    const int row = m_list->SelectedRow();
    if (m_backups.empty() || row < 0 || row >= static_cast<int>(m_backups.size())) {
        m_note->setText(m_backups.empty() ? Q(kNoCopies) : QString());
        return;
    }
    const TBackup& b = m_backups[static_cast<std::size_t>(row)];
    std::string text = !b.beforeImport ? "База, заменённая при возврате копии."
        : b.name == m_lastImportCopy ? "Перед последней загрузкой из офиса."
                                     : "Перед загрузкой из офиса.";
    if (b.damaged)
        text += " Копия повреждена: вернуть её нельзя.";
    m_note->setText(Q(text + "\n" + b.name));
}

std::string TBackupsWindow::OpenWorkRefusal() const
{
    const QWidget* owner = parentWidget();
    if (!owner)
        return {};
    // An open order would be saved over the copy, or lose its goods and client under it; the
    // exchange works on the database between its steps. The agent closes them: nothing of
    // theirs is closed behind their back.
    for (QObject* child : owner->children()) {
        const auto* window = qobject_cast<QWidget*>(child);
        if (!window || !window->isVisible())
            continue;
        if (dynamic_cast<const TDocumentForm*>(window))
            return "Копию базы нельзя вернуть, пока открыта заявка.\r\nЗапишите или закройте "
                   "открытые заявки и повторите.";
        if (dynamic_cast<const TExchangeWindow*>(window))
            return "Копию базы нельзя вернуть, пока открыто окно обмена.\r\nДождитесь конца "
                   "обмена, закройте окно и повторите.";
    }
    return {};
}

void TBackupsWindow::Restore()
{
    const int row = m_list->SelectedRow();
    if (m_backups.empty() || row < 0 || row >= static_cast<int>(m_backups.size())) {
        UI().Message(m_backups.empty() ? kNoCopies : "Выберите копию базы.", TIcon::Information);
        return;
    }
    const TBackup copy = m_backups[static_cast<std::size_t>(row)];
    const std::string refusal = copy.damaged ? std::string() : OpenWorkRefusal();
    if (!refusal.empty()) {
        UI().Message(refusal, TIcon::Warning);
        return;
    }
    const bool replaced = RestoreCopyInProgram(copy);
    // The replaced database is one more copy now; a copy may have gone or spoilt meanwhile.
    Reload();
    if (replaced && onRestored)
        onRestored();
}

void TBackupsWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_list->setFocus(Qt::TabFocusReason);
}

void TBackupsWindow::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // Enter on the list asks to put the selected copy back, as «Вернуть» does (the bar's own
    // buttons take their Enter themselves).
    if (enter && event->modifiers() == Qt::NoModifier && focusWidget() == m_list) {
        Restore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TBackupsWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void RunBackupsWindow(QWidget* owner, const std::function<void()>& onRestored)
{
    TBackupsWindow window(owner);
    window.onRestored = onRestored;
    RunModal(window);
}

} // namespace vendrix
