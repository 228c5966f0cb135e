// What the desktop lets the program do with its windows. On X11 (and offscreen) the program
// places, raises and restores its windows itself. Under Wayland the compositor does all of
// that: a window comes back from minimised only when the compositor activates it, which it
// does through xdg-activation with a token from whoever asks (the launcher that started a
// second copy, the notification icon). A compositor without xdg-activation can never give a
// minimised window back, so there the program must not minimise one.
#pragma once

#include <QString>

class QWidget;

namespace vendrix {

/// True when the program draws through Qt's Wayland platform.
bool OnWayland();

/// Asks the Wayland compositor named by WAYLAND_DISPLAY, over a connection of its own, whether
/// it offers the global `interfaceName` (e.g. "xdg_activation_v1"). False when there is no
/// compositor to ask or the Wayland client library cannot be loaded.
bool CompositorOffers(const char* interfaceName);

/// Whether a minimised window of the program can be brought back when the agent asks for it
/// again: always outside Wayland; under Wayland only with xdg-activation (asked once).
bool MinimisedWindowsComeBack();

/// Activates `window` (shown) with the launcher's `token` when there is one: under Wayland the
/// token goes where Qt's platform takes it from (XDG_ACTIVATION_TOKEN) for this activation
/// alone, so the compositor may bring the window up even though the agent is busy elsewhere.
void ActivateWithToken(QWidget* window, const QString& token);

} // namespace vendrix
