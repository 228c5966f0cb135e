// The program's one long-lived window, "Агент продаж": the journal of order documents with its
// menu bar and pop-up menu, the settings that shape it, the first-run question, the journal's
// period kept in step with the calendar, the notification icon and the close query. Every other
// window is opened from here.
#pragma once

#include "shell/journal.h"
#include "shell/period.h"

#include <QWidget>

#include <functional>
#include <iterator>
#include <memory>

class QSystemTrayIcon;
class QTimer;

namespace vendrix {

class TMenuBar;
class TPopupMenu;
class TReportList;
class TReportSource;

/// The main window's menu bar: its items' numbers, in the order they are added, and one entry
/// per item with its caption (blanks included) and the bar item whose submenu holds it (-1:
/// on the bar itself). A plain enum, since the bar numbers its items with ints.
namespace main_menu {
enum TItem : int {
    kNew,
    kEditMenu,
    kCopy,
    kEditSeparator,
    kEdit,
    kDelete,
    kMore,
    kExchange,
    kExchangeSeparator,
    kRefresh,
    kPeriod,
    kPeriodSeparator,
    kSettings,
    kBackups,
    kSettingsSeparator,
    kAbout,
    kTotals,
    kAboutSeparator,
    kExit,
    kItemCount
};
struct TEntry {
    TItem item;
    const char* caption;
    int parent;
};
inline constexpr TEntry kItems[] = {
    {kNew, " Новый ", -1},
    {kEditMenu, " Правка ", -1},
    {kCopy, " Копировать документ ", kEditMenu},
    {kEditSeparator, "-", kEditMenu},
    {kEdit, " Редактировать ", kEditMenu},
    {kDelete, " Удалить ", -1},
    {kMore, "  ...  ", -1},
    {kExchange, "Обмен с центр. БД", kMore},
    {kExchangeSeparator, "-", kMore},
    {kRefresh, "Обновить", kMore},
    {kPeriod, "Выбор периода", kMore},
    {kPeriodSeparator, "-", kMore},
    {kSettings, "Настройки", kMore},
    {kBackups, "Резервные копии", kMore},
    {kSettingsSeparator, "-", kMore},
    {kAbout, "О программе", kMore},
    {kTotals, "Итоги", kMore},
    {kAboutSeparator, "-", kMore},
    {kExit, "Выход", kMore},
};
static_assert(std::size(kItems) == kItemCount, "one entry per item");
static_assert(
    [] {
        for (int i = 0; i < kItemCount; ++i) {
            if (kItems[i].item != i || kItems[i].parent >= i)
                return false;
        }
        return true;
    }(),
    "entries in the order of their numbers, each submenu after its bar item");
} // namespace main_menu

/// The journal's pop-up menu: its items' numbers, in the order they are added, and their
/// captions by number, blanks included.
namespace journal_menu {
enum TItem : int { kNew, kCopy, kEdit, kDelete, kSeparator, kPeriod, kItemCount };
inline constexpr const char* kCaptions[]
    = {" Новый ", " Копировать ", " Редактировать ", " Удалить ", "-", "Выбор периода"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
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
    /// The copies of the database with the way back to one of them («Резервные копии»).
    void ShowBackups();
    /// What the journal's period came to («Итоги»).
    void ShowTotals();
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
