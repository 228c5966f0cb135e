// The main window: menus, journal list, timers, settings, close query and notification icon.
#include "shell/main_window.h"

#include "toolkit/qt_text.h"

#include "documents/document_form.h"
#include "exchange/exchange_window.h"
#include "settings/about_window.h"
#include "settings/settings_form.h"
#include "shell/backups_window.h"
#include "shell/period_dialog.h"
#include "shell/totals_window.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "toolkit/glyphs.h"
#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/stylus.h"
#include "toolkit/timer.h"
#include "toolkit/window_placement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace vendrix {

namespace {

constexpr int kJournalDelayMs = 1000;
constexpr int kFirstRunDelayMs = 500;
constexpr const char* kFirstRunQuestion
    = "\r\nПервый запуск...\r\n\r\nПриветствую!\r\n\r\nОткрыть настройки?\r\n\r\n";

bool Switch(const char* name)
{
    return GetOption(nullptr, name) == "1";
}

// The journal's rows as the list paints them: state image, date, client, quantity, sum.
class TJournalRows : public TReportSource {
public:
    explicit TJournalRows(const TJournal& journal)
        : m_journal(journal)
    {
    }
    int RowCount() const override { return static_cast<int>(m_journal.rows.size()); }
    QString Cell(int row, int column) const override
    {
        const TJournalRow& r = m_journal.rows[static_cast<std::size_t>(row)];
        switch (column) {
        case 0:
            return QString::fromStdString(r.stateCell);
        case 1:
            return QString::fromStdString(r.date);
        case 2:
            return QString::fromStdString(r.client);
        case 3:
            return QString::fromStdString(r.quantity);
        case 4:
            return QString::fromStdString(r.sum);
        default:
            return {};
        }
    }
    int Image(int row) const override
    {
        return m_journal.rows[static_cast<std::size_t>(row)].image;
    }

private:
    const TJournal& m_journal;
};

} // namespace

TMainWindow::TMainWindow(TMainWindowEnvironment environment)
    : m_environment(std::move(environment))
    , m_period(TodayNow())
{
    setWindowTitle(Q("Агент продаж"));
    setWindowIcon(ProgramIcon());
    resize(kHandheldWidth, kHandheldHeight);

    BuildMenus();
    // The window shows first and fills its journal a moment later; the first-run question
    // waits until the window is up.
    m_journalTimer = StartOneShot(this, kJournalDelayMs, [this] { ReloadJournal(); });
    m_firstRunTimer = StartOneShot(this, kFirstRunDelayMs, [this] { OnFirstRun(); });
    BuildJournalList();
    // The bar is made first but stands below the journal: Tab comes to it after the list.
    m_menu->FollowInTabOrder(m_list);
    ApplySettings();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_menu);

    TQtUserInterface::SetMainWindow(this);
    raise();
    m_loading = false;
}

TMainWindow::~TMainWindow()
{
    // The list outlives the journal it shows (children go with the QWidget part, after the
    // members): it must not read the rows once they are gone.
    m_list->SetSource(nullptr);
    TQtUserInterface::SetMainWindow(nullptr);
}

void TMainWindow::BuildMenus()
{
    m_menu = new TMenuBar(this);
    for (const main_menu::TEntry& entry : main_menu::kItems)
        m_menu->AddItem(Q(entry.caption), entry.parent);
    m_menu->onCommand = [this](int item) { OnCommand(item); };

    m_journalMenu = new TPopupMenu(this);
    for (const char* caption : journal_menu::kCaptions)
        m_journalMenu->AddItem(Q(caption));
    m_journalMenu->onCommand = [this](int item) { OnJournalMenu(item); };
}

void TMainWindow::BuildJournalList()
{
    m_list = new TReportList(this);
    m_list->SetImages(ImageList(QStringLiteral("FMAIN_IL_STATES"), 16, 12));
    std::vector<TReportColumn> columns {
        {Q(" "), 18, Qt::AlignLeft},
        {Q("Дата"), 46, Qt::AlignLeft},
        {Q("Клиент"), 106, Qt::AlignLeft},
        {Q("Кол-во"), 62, Qt::AlignRight},
    };
    if (GetOption(nullptr, "UseSUMS", "1") != "0")
        columns.push_back({Q("Сумма"), 62, Qt::AlignRight});
    m_list->SetColumns(std::move(columns));
    // A wider window shows more of the client's name; the numbers need no more than they have.
    constexpr int kClientColumn = 2;
    m_list->SetFitColumn(kClientColumn);
    m_journalRows = std::make_unique<TJournalRows>(m_journal);
    m_list->SetSource(m_journalRows.get());
    // Lifting the stylus over the journal (or Enter) edits the selected document.
    auto* taps = new TListTaps(m_list);
    taps->onTap = [this](int, bool) { EditDocument(); };
    m_list->onContextMenu = [this](const QPoint& at) { m_journalMenu->popup(at); };
}

void TMainWindow::ApplySettings()
{
    if (Switch("HIDE_ABOUTBOX")) {
        m_menu->SetItemVisible(main_menu::kAbout, false);
        m_menu->SetItemVisible(main_menu::kAboutSeparator, false);
    }
    if (Switch("HIDE_PERIOD")) {
        m_menu->SetItemVisible(main_menu::kPeriod, false);
        m_journalMenu->SetItemVisible(journal_menu::kSeparator, false);
        m_journalMenu->SetItemVisible(journal_menu::kPeriod, false);
    }
    m_list->SetGridLines(Switch("LINES_ZH"));
    m_titleBarOk = Switch("X_IS_CLOSE");
    if (Switch("TRAY_ICON") && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(ProgramIcon(), this);
        m_tray->setToolTip(QStringLiteral("Vendrix"));
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] { BringProgramToFront(this); });
        m_tray->show();
    }
}

void TMainWindow::OnCommand(int item)
{
    using namespace main_menu;
    switch (item) {
    case kNew:
        NewDocument();
        break;
    case kCopy:
        CopyDocument();
        break;
    case kEdit:
        EditDocument();
        break;
    case kDelete:
        DeleteSelected();
        break;
    case kExchange:
        OpenExchangeWindow(false);
        break;
    case kRefresh:
        Refresh();
        break;
    case kPeriod:
        ChoosePeriod();
        break;
    case kSettings:
        RunSettingsForm();
        break;
    case kBackups:
        ShowBackups();
        break;
    case kAbout:
        ShowAbout();
        break;
    case kTotals:
        ShowTotals();
        break;
    case kExit:
        Exit();
        break;
    default:
        break;
    }
}

void TMainWindow::OnJournalMenu(int item)
{
    switch (item) {
    case journal_menu::kNew:
        NewDocument();
        break;
    case journal_menu::kCopy:
        CopyDocument();
        break;
    case journal_menu::kEdit:
        EditDocument();
        break;
    case journal_menu::kDelete:
        DeleteSelected();
        break;
    case journal_menu::kPeriod:
        ChoosePeriod();
        break;
    default:
        break;
    }
}

std::string TMainWindow::SelectedKey() const
{
    const int row = m_list->SelectedRow();
    if (row < 0 || row >= static_cast<int>(m_journal.keys.size()))
        return {};
    return m_journal.keys[static_cast<std::size_t>(row)];
}

void TMainWindow::NewDocument()
{
    OpenDocumentForm({}, false);
}

void TMainWindow::CopyDocument()
{
    const std::string key = SelectedKey();
    if (!key.empty())
        OpenDocumentForm(key, true);
}

void TMainWindow::EditDocument()
{
    const std::string key = SelectedKey();
    if (!key.empty())
        OpenDocumentForm(key, false);
}

void TMainWindow::DeleteSelected()
{
    const std::string key = SelectedKey();
    if (key.empty())
        return;
    if (UI().Ask("Удалить документ?", TIcon::Question, TButtons::YesNoDefaultNo) != TAnswer::Yes)
        return;
    DeleteDocument(Trim(key));
    ReloadJournal();
}

void TMainWindow::Refresh()
{
    m_period.CheckDate(TodayNow());
    ReloadJournal();
}

void TMainWindow::ChoosePeriod()
{
    if (vendrix::ChoosePeriod(this, m_period.start, m_period.end, TodayNow()))
        ReloadJournal();
}

void TMainWindow::ShowAbout()
{
    TModalChildScope modalChild;
    RunAboutWindow(this);
}

void TMainWindow::ShowBackups()
{
    TModalChildScope modalChild;
    // A copy put back brings its own orders: the journal shows them at once, behind the window.
    RunBackupsWindow(this, [this] { ReloadJournal(); });
}

void TMainWindow::ShowTotals()
{
    TModalChildScope modalChild;
    RunTotalsWindow(this, m_period.start, m_period.end);
}

void TMainWindow::Exit()
{
    m_exitCommand = true;
    close();
    m_exitCommand = false;
}

void TMainWindow::OnFirstRun()
{
    if (!IsNewDatabase())
        return;
    if (UI().Ask(kFirstRunQuestion, TIcon::Question, TButtons::YesNo) != TAnswer::Yes)
        return;
    if (!RunSettingsForm())
        return;
    if (UI().Ask("Произвести обмен сейчас?", TIcon::Question, TButtons::YesNo) == TAnswer::Yes)
        OpenExchangeWindow(true);
}

void TMainWindow::ReloadJournal(const std::string& select)
{
    // The selection stays on its document (or moves to `select`), so that "Копировать
    // документ" and a tap work on the document the agent just had open.
    std::string keep = select;
    const int selected = m_list->SelectedRow();
    if (keep.empty() && selected >= 0 && selected < static_cast<int>(m_journal.keys.size()))
        keep = m_journal.keys[static_cast<std::size_t>(selected)];
    keep = Trim(keep);
    // The rows are read aside and swapped in while the list is suspended, so the list never
    // paints a half-filled journal.
    TJournal fresh;
    LoadJournal(fresh, m_period.start, m_period.end);
    m_list->BeginUpdate();
    m_journal = std::move(fresh);
    m_list->EndUpdate();
    if (keep.empty())
        return;
    for (std::size_t row = 0; row < m_journal.keys.size(); ++row) {
        if (Trim(m_journal.keys[row]) == keep) {
            m_list->SelectRow(static_cast<int>(row));
            return;
        }
    }
}

bool TMainWindow::CloseQuery() const
{
    if (GetOption(nullptr, "Q_ON_EXIT") != "1")
        return true;
    return UI().Ask("Завершить работу?", TIcon::Question, TButtons::YesNo) == TAnswer::Yes;
}

bool TMainWindow::CloseDocumentForms()
{
    // An order still open in its form would be lost with the program: each form asks its own
    // close query first, and a form that stays open keeps the program running.
    for (QObject* child : children()) {
        auto* form = dynamic_cast<TDocumentForm*>(child);
        if (!form || !form->isVisible())
            continue;
        form->RequestClose();
        if (form->isVisible())
            return false;
    }
    return true;
}

TDate TMainWindow::TodayNow() const
{
    return m_environment.today ? m_environment.today() : Today();
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (!m_exitCommand) {
        // The title bar's button: the handheld's X only hides the program, its OK closes it
        // (and is ignored while a modal child window is open). On a desktop-sized screen the
        // window manager's close is a close request like any other: minimising there would
        // leave "Выход" as the only way out. So it is where the desktop could never bring the
        // window back (Wayland without activation): a minimised program would be lost.
        if (!m_titleBarOk && CloseButtonHides(this)) {
            showMinimized();
            return;
        }
        if (ModalChildOpen())
            return;
    }
    if (!CloseQuery() || !CloseDocumentForms())
        return;
    event->accept();
    if (m_environment.quit)
        m_environment.quit();
    else
        QCoreApplication::exit(0);
}

void TMainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (m_loading || event->type() != QEvent::ActivationChange || !isActiveWindow())
        return;
    FitToScreen(this);
    ShowFocus(m_list);
}

void TMainWindow::OpenDocumentForm(const std::string& guid, bool copy)
{
    // An order already open for editing comes to the front instead of a second form on the
    // same document (the second tap of a double tap on the journal lands here too): two forms
    // would save over each other.
    if (!copy && !guid.empty()) {
        for (QObject* child : children()) {
            auto* open = dynamic_cast<TDocumentForm*>(child);
            if (open && open->isVisible() && Trim(open->Record().guid) == Trim(guid)) {
                BringToFront(open);
                return;
            }
        }
    }
    // The form turns the wait cursor off itself once it is up.
    SetBusy(true);
    auto* form = new TDocumentForm(this);
    form->setAttribute(Qt::WA_DeleteOnClose);
    // Called while the form still exists: a new order has its GUID once it was saved.
    form->onClosed = [this, form] {
        ReloadJournal(form->Record().guid);
        GiveKeyboardBack(this);
    };
    form->Open(guid, copy);
    // The form takes the main window's place and size, as it covers the handheld's screen,
    // instead of wherever the window manager puts a new window; on a small screen it fills the
    // screen as the main window does.
    form->resize(size());
    PlaceOverOwner(form);
    FitToScreen(form);
    BringToFront(form);
}

void TMainWindow::OpenExchangeWindow(bool modal)
{
    // The office's script may have taken orders over or deleted them: the journal shows the
    // result as soon as the exchange window is gone, not only after "Обновить".
    ShowExchangeWindow(this, modal, [this] {
        ReloadJournal();
        GiveKeyboardBack(this);
    });
}

bool TMainWindow::RunSettingsForm()
{
    return vendrix::RunSettingsForm(this);
}

} // namespace vendrix
