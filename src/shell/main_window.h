// The program's one long-lived window, "Агент продаж": the journal of order documents with its
// menu bar and pop-up menu, the settings that shape it, the first-run question, the journal's
// period kept in step with the calendar, the notification icon and the close query. Every other
// window is opened from here.
#pragma once

#include "shell/journal.h"
#include "shell/period.h"

#include <QWidget>

#include <functional>
#include <memory>

class QSystemTrayIcon;
class QTimer;

namespace vendrix {

class TMenuBar;
class TPopupMenu;
class TReportList;
class TReportSource;

/// Numbers of the main menu's items, in the order they are built.
namespace main_menu {
constexpr int kNew = 0;
constexpr int kEditMenu = 1;
constexpr int kCopy = 2;
constexpr int kEditSeparator = 3;
constexpr int kEdit = 4;
constexpr int kDelete = 5;
constexpr int kMore = 6;
constexpr int kExchange = 7;
constexpr int kExchangeSeparator = 8;
constexpr int kRefresh = 9;
constexpr int kPeriod = 10;
constexpr int kPeriodSeparator = 11;
constexpr int kSettings = 12;
constexpr int kSettingsSeparator = 13;
constexpr int kAbout = 14;
constexpr int kAboutSeparator = 15;
constexpr int kExit = 16;
} // namespace main_menu

/// Numbers of the journal's pop-up menu items.
namespace journal_menu {
constexpr int kNew = 0;
constexpr int kCopy = 1;
constexpr int kEdit = 2;
constexpr int kDelete = 3;
constexpr int kSeparator = 4;
constexpr int kPeriod = 5;
} // namespace journal_menu

/// What the main window takes from its surroundings: the calendar and the way to end the
/// program. Tests move the date and watch the end instead of ending.
struct TMainWindowEnvironment {
    std::function<TDate()> today; // whole days; Today() when empty
    std::function<void()>
        quit; // ends the program with exit code 0; the event loop's end when empty
};

class TMainWindow : public QWidget {
public:
    /// Builds the window (not yet shown) and starts its journal and first-run timers; reads
    /// HIDE_ABOUTBOX, HIDE_PERIOD, LINES_ZH, X_IS_CLOSE, TRAY_ICON and UseSUMS once, here.
    explicit TMainWindow(TMainWindowEnvironment environment = {});
    ~TMainWindow() override;

    TMenuBar& Menu() const { return *m_menu; }
    TPopupMenu& JournalMenu() const { return *m_journalMenu; }
    TReportList& JournalList() const { return *m_list; }
    const TJournal& Journal() const { return m_journal; }
    const TJournalPeriod& Period() const { return m_period; }
    /// Whether the title bar's close button is the handheld's OK (a close request).
    bool TitleBarClosesProgram() const { return m_titleBarOk; }
    /// The notification icon; nullptr when TRAY_ICON is off or the desktop has no tray.
    QSystemTrayIcon* TrayIcon() const { return m_tray; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildMenus();
    void BuildJournalList();
    void ApplySettings();
    void OnCommand(int item);
    void OnJournalMenu(int item);

    void NewDocument();
    void CopyDocument();
    void EditDocument();
    void DeleteSelected();
    void Refresh();
    void ChoosePeriod();
    void ShowAbout();
    void Exit();
    void OnFirstRun();
    /// Reloads the journal for the period; the selection stays on its document, or moves to
    /// the document `select` when it is given and listed.
    void ReloadJournal(const std::string& select = {});
    /// The selected row's document GUID; empty when no row is selected.
    std::string SelectedKey() const;
    /// Asks "Завершить работу?" when Q_ON_EXIT is on; true when the program may end.
    bool CloseQuery() const;
    /// Closes the open document forms through their close queries; false when one stays open.
    bool CloseDocumentForms();
    TDate TodayNow() const;

    // The windows opened from here.
    void OpenDocumentForm(const std::string& guid, bool copy);
    void OpenExchangeWindow(bool modal);
    bool RunSettingsForm();

    TMainWindowEnvironment m_environment;
    TMenuBar* m_menu = nullptr;
    TPopupMenu* m_journalMenu = nullptr;
    TReportList* m_list = nullptr;
    QTimer* m_journalTimer = nullptr;
    QTimer* m_firstRunTimer = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    TJournal m_journal;
    std::unique_ptr<TReportSource> m_journalRows;
    TJournalPeriod m_period;
    bool m_loading = true;
    bool m_titleBarOk = false;
    bool m_exitCommand = false; // the close request comes from "Выход", not the title bar
};

} // namespace vendrix
