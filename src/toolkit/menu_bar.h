// The handheld's menus over Qt Widgets: the menu bar along the bottom edge of a window (a row of
// buttons whose submenus pop up above them) and the pop-up menu of a list. Items are numbered in
// the order they are added, a caption "-" makes a separator, and captions keep their blanks
// exactly (" Новый "), which is why bar items are tool buttons and not tool bar actions. The bar's
// buttons take the keyboard as a desktop menu does: Tab reaches them after the window's controls,
// Space or Enter runs a command or opens a submenu with its first item active, Esc closes it.
#pragma once

#include <QMenu>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QHBoxLayout;
class QToolButton;

namespace vendrix {

class TMenuBar : public QWidget {
public:
    explicit TMenuBar(QWidget* parent);

    /// Adds an item on the bar (`parent` -1) or in the submenu of bar item `parent`; the
    /// caption "-" makes a separator. Returns the item's number.
    int AddItem(const QString& caption, int parent = -1);
    void SetItemVisible(int item, bool visible);
    void SetItemEnabled(int item, bool enabled);

    QString ItemCaption(int item) const;
    bool ItemVisible(int item) const;
    bool ItemEnabled(int item) const;
    bool IsSeparator(int item) const;
    int ItemCount() const { return static_cast<int>(m_items.size()); }
    /// The bar button of a bar item, the action of a submenu item (nullptr otherwise).
    QToolButton* Button(int item) const;
    QAction* Action(int item) const;
    /// The submenu of a bar item; nullptr when it has none yet.
    QMenu* Submenu(int item) const;

    /// Does what a tap on the item does: a command runs, a bar item with a submenu opens it.
    void Activate(int item);
    /// Puts the bar's buttons right after `control` in the window's tab order, for a window
    /// whose bar was made before the controls that stand above it.
    void FollowInTabOrder(QWidget* control);

    /// Runs with the item's number when a command item is chosen.
    std::function<void(int)> onCommand;

private:
    struct TItem {
        int parent;
        QToolButton* button = nullptr;
        QAction* action = nullptr;
        QMenu* submenu = nullptr;
    };
    void Run(int item, bool byKey);
    void PopUp(int item, bool byKey);

    QHBoxLayout* m_layout;
    std::vector<TItem> m_items;
};

/// A list's pop-up menu with numbered items, the same conventions as the bar's submenus.
class TPopupMenu : public QMenu {
public:
    explicit TPopupMenu(QWidget* parent);

    /// Adds an item ("-" makes a separator); returns its number.
    int AddItem(const QString& caption);
    void SetItemVisible(int item, bool visible);
    void SetItemEnabled(int item, bool enabled);
    QString ItemCaption(int item) const;
    bool ItemVisible(int item) const;
    int ItemCount() const { return static_cast<int>(m_actions.size()); }
    QAction* Action(int item) const;

    /// Runs with the item's number when a command item is chosen.
    std::function<void(int)> onCommand;

private:
    std::vector<QAction*> m_actions;
};

} // namespace vendrix
