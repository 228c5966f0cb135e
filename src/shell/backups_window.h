// The window «Резервные копии»: the copies of the database made before the office's answers
// and by restores, the last made first, with their time, their number of orders and what they
// were made before, damaged ones marked; «Вернуть» puts the chosen copy back in place of the
// database while the program runs. Opened modally from the main window's menu. The way back
// itself is the start-up's (RestoreCopyInProgram); the window lists, refuses while the agent's
// work is open and shows.
#pragma once

#include "storage/backups.h"

#include <QDialog>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

class QLabel;

namespace vendrix {

class TMenuBar;
class TReportList;
class TReportSource;

/// The backups window's menu bar: its items' numbers, in the order they are added, and their
/// captions by number. A plain enum, since the bar numbers its items with ints.
namespace backups_menu {
enum TItem : int { kRestore, kClose, kItemCount };
inline constexpr const char* kCaptions[] = {" Вернуть ", "[ Закрыть ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace backups_menu

/// The list's columns: the copy's time, its orders (or «повреждена»), what it was made before.
namespace backups_column {
enum TColumn : int { kTime, kOrders, kMade, kCount };
} // namespace backups_column

class TBackupsWindow : public QDialog {
public:
    /// Builds the window over `owner` (the main window, whose open order forms and exchange
    /// window refuse a restore) and lists the copies.
    explicit TBackupsWindow(QWidget* owner);
    ~TBackupsWindow() override;

    /// Reads the copies again and lists them, the selection on the first.
    void Reload();
    /// «Вернуть» on the selected copy: refused while an order form or the exchange window is
    /// open; otherwise the way back with its question. Runs onRestored when the database in
    /// place changed.
    void Restore();

    /// Runs after a copy was put in place (the owner reads what it shows again).
    std::function<void()> onRestored;

    TMenuBar& Menu() const { return *m_menu; }
    TReportList& List() const { return *m_list; }
    /// The line under the list: what the selected copy is, or «Копий базы нет.».
    QLabel& Note() const { return *m_note; }
    const std::vector<TBackup>& Backups() const { return m_backups; }

protected:
    void showEvent(QShowEvent* event) override;
    /// Enter runs the focused bar button, or «Вернуть» from the list.
    void keyPressEvent(QKeyEvent* event) override;
    /// On a handheld-sized screen the window fills it, as the program's other windows do.
    void changeEvent(QEvent* event) override;

private:
    // The construction steps, in the order the constructor takes them: the order in which the
    // controls are made is their tab order.
    void BuildList();
    void BuildNote();
    void BuildMenuBar();

    void ShowSelected();
    /// Why the copy cannot be put back now (the agent's work is open); empty when it can.
    std::string OpenWorkRefusal() const;

    std::vector<TBackup> m_backups;
    std::string m_lastImportCopy; // the copy made before the last office answer
    std::unique_ptr<TReportSource> m_rows;
    TReportList* m_list = nullptr;
    QLabel* m_note = nullptr;
    TMenuBar* m_menu = nullptr;
};

/// Shows the backups window modally over `owner` and frees it when it closes; `onRestored`
/// runs each time a copy was put in place.
void RunBackupsWindow(QWidget* owner, const std::function<void()>& onRestored);

} // namespace vendrix
