// Where the windows go on the screen. The program is laid out for a portrait handheld screen
// of 240 x 320; on a phone-sized screen a window fills the available area (the handheld's
// fitting to the visible desktop), on a tablet or a desktop it keeps the handheld size. On any
// screen, in either orientation, a window stays inside the available area: where the handheld's
// fixed layout does not fit, the laid-out part scrolls while the menu bar and the buttons stay
// put. A form opens over the window it was opened from. Bringing a window to the front also
// restores it when it was minimised. Under Wayland the compositor places and sizes the windows
// (a window that must fill the screen asks to be maximised) and activates them.
#pragma once

#include <QScrollArea>
#include <QSize>
#include <QString>

class QWidget;

namespace vendrix {

constexpr int kHandheldWidth = 240;
constexpr int kHandheldHeight = 320;

/// A screen whose shorter side, in logical pixels, is below this is a phone's (Android's
/// smallest width of a tablet, 600 dp).
constexpr int kTabletShorterSide = 600;
/// A screen whose longer side reaches this is a desktop's even when it is low (a full HD
/// laptop at double scale is 960 x 540); the tallest phones are about 930 dp.
constexpr int kDesktopLongerSide = 960;

/// True when `size`, in logical pixels, is a phone's screen (handheld-sized).
bool IsHandheldSize(QSize size);

/// True when the screen of `window` is handheld-sized, so that windows fill it instead of
/// keeping their size.
bool OnHandheldScreen(const QWidget* window);

/// Fills the screen's available area with `window` when the screen is handheld-sized; leaves
/// it as it is otherwise. Either way the window ends inside the available area. Under Wayland,
/// where the available area is the whole output and a client cannot place its windows, the
/// window asks the compositor to maximise it instead.
void FitToScreen(QWidget* window);

/// Centres `window` (shown or not) over the window of its parent widget. Under Wayland the
/// compositor places it over its transient parent instead.
void PlaceOverOwner(QWidget* window);

/// Whether the title bar's close button only hides `window`, as the handheld's X does: on a
/// handheld-sized screen, where the desktop can bring a minimised window back. Otherwise it
/// is a close request.
bool CloseButtonHides(const QWidget* window);

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

/// Shows the program's main window as the program starts: fitted to the screen, in front and
/// activated with the launcher's `activationToken` (Wayland's xdg-activation; empty: none).
void ShowMainWindow(QWidget* window, const QString& activationToken = {});

/// Brings the program to the front when the agent asks for it again (a second start, the
/// notification icon): restores `mainWindow`, then activates the window the agent was last
/// using: the open modal dialog, else the last active window of the program, else the main
/// window. A window blocked by a dialog is never raised above it. `activationToken` is the
/// launcher's token that a second start passed on (Wayland's xdg-activation), if any.
void BringProgramToFront(QWidget* mainWindow, const QString& activationToken = {});

} // namespace vendrix
