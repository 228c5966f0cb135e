// Where the windows go on the screen. The program is laid out for a portrait handheld screen
// of 240 x 320; on a screen about that small a window fills the available area (the handheld's
// fitting to the visible desktop), on a large desktop it keeps the handheld size. Bringing a
// window to the front also restores it when it was minimised.
#pragma once

class QWidget;

namespace vendrix {

constexpr int kHandheldWidth = 240;
constexpr int kHandheldHeight = 320;

/// Fills the screen's available area with `window` when that area is handheld-sized (less
/// than one and a half handheld screens either way); leaves it as it is otherwise.
void FitToScreen(QWidget* window);

/// Shows `window` (restoring it from minimised), raises it and gives it the input focus.
void BringToFront(QWidget* window);

} // namespace vendrix
