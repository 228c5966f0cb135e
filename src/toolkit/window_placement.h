// Where the windows go on the screen. The program is laid out for a portrait handheld screen
// of 240 x 320; on a screen about that small a window fills the available area (the handheld's
// fitting to the visible desktop), on a large desktop it keeps the handheld size. On any screen,
// in either orientation, a window stays inside the available area: where the handheld's fixed
// layout does not fit, the laid-out part scrolls while the menu bar and the buttons stay put.
// Bringing a window to the front also restores it when it was minimised.
#pragma once

#include <QScrollArea>

class QWidget;

namespace vendrix {

constexpr int kHandheldWidth = 240;
constexpr int kHandheldHeight = 320;

/// True when the screen's available area of `window` is handheld-sized (less than one and a
/// half handheld screens either way), so that windows fill it instead of keeping their size.
bool OnHandheldScreen(const QWidget* window);

/// Fills the screen's available area with `window` when that area is handheld-sized; leaves it
/// as it is otherwise. Either way the window ends inside the available area.
void FitToScreen(QWidget* window);

/// Shrinks `window` (down to its minimum size) and moves it so that its frame lies inside the
/// available area of its screen.
void KeepOnScreen(QWidget* window);

/// From now on every top-level window (not pop-up menus) is kept on its screen when it is
/// shown, message boxes and dialogs included. Call once after the QApplication exists.
void KeepWindowsOnScreen();

/// Wraps `content`, laid out at the handheld's fixed positions, in a frameless scroll area: the
/// content keeps at least its minimum size and scrolls when the window is smaller.
QScrollArea* ScrollWhenShort(QWidget* content);

/// Shows `window` (restoring it from minimised), raises it and gives it the input focus.
void BringToFront(QWidget* window);

/// Brings the program to the front when the agent asks for it again (a second start, the
/// notification icon): restores `mainWindow`, then activates the window the agent was last
/// using: the open modal dialog, else the last active window of the program, else the main
/// window. A window blocked by a dialog is never raised above it.
void BringProgramToFront(QWidget* mainWindow);

} // namespace vendrix
