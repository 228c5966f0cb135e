// The ordinary keyboard of a desktop program on the handheld's windows: where the focus stands
// when a window opens and that the agent sees it there, Enter on a focused button, Ctrl+Tab
// through the pages of a tab widget from any control on them, and the keyboard handed back to a
// window when a dialog over it closes, which no one else does where no window manager runs.
// Tab itself follows the order in which each window makes its controls, top to bottom.
#pragma once

class QAbstractButton;
class QScrollArea;
class QTabWidget;
class QWidget;

namespace vendrix {

/// Puts the keyboard focus on `control` and has its window draw the focus frame from the start,
/// as it does after a Tab, so that a window opens showing where the keys go. Called while the
/// window is shown (showing a window forgets the frame); a control that is disabled or takes no
/// focus is left alone.
void ShowFocus(QWidget* control);

/// ShowFocus on `control` each time its window is shown, for a window whose first control is
/// always the same one.
void OpenOnFocus(QWidget* control);

/// Enter and Return press `button` while it has the focus, as Space does; a button that is
/// not a dialog's default would otherwise let them pass by.
void PressOnEnter(QAbstractButton* button);

/// Ctrl+Tab and Ctrl+Shift+Tab turn the pages of `tabs` forward and back from whichever control
/// inside holds the focus, also from those that keep Tab for themselves (a date picker's
/// sections).
void TurnPagesByCtrlTab(QTabWidget* tabs);

/// A scrolling page whose controls Tab goes through: the area itself takes no stop (it shows no
/// focus), and it scrolls to each control that Tab or Shift+Tab brings the focus to. Called once
/// the area holds its controls.
void ScrollWithTab(QScrollArea* area);

/// Gives the keyboard back to `window` once a window over it has closed: activates it and
/// puts the focus back on `control` when that is still there (else the window keeps its own).
/// A window manager does this by itself; without one the keys would go to whatever window lies
/// under the pointer.
void GiveKeyboardBack(QWidget* window, QWidget* control = nullptr);

} // namespace vendrix
