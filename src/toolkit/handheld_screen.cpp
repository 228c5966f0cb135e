// The handheld screen of a dialog.
#include "toolkit/handheld_screen.h"

#include "toolkit/compositor.h"
#include "toolkit/menu_bar.h"
#include "toolkit/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vendrix {

QRect HandheldScreen(const QWidget* owner)
{
    // The outermost window stands for the screen: the keypad of a dialog of the document
    // form still centres on the main window.
    const QWidget* window = owner ? owner->window() : nullptr;
    while (window && window->parentWidget())
        window = window->parentWidget()->window();
    QScreen* screen
        = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect area
        = screen ? screen->availableGeometry() : QRect(0, 0, kHandheldWidth, kHandheldHeight);
    if (!window)
        return area;
    if (!OnHandheldScreen(window))
        return window->geometry();
    // Under Wayland the free area is the whole output, the compositor's panels included: the
    // room it gave the program's maximised window is the real screen.
    if (OnWayland() && window->isVisible()
        && window->windowState().testAnyFlags(Qt::WindowMaximized | Qt::WindowFullScreen))
        return window->geometry();
    return area;
}

int MenuBarHeight()
{
    static const int height = [] {
        TMenuBar bar(nullptr);
        bar.AddItem(QStringLiteral("Ok"));
        return bar.sizeHint().height();
    }();
    return height;
}

} // namespace vendrix
