// The handheld screen of a dialog.
#include "toolkit/handheld_screen.h"

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
    if (!window || OnHandheldScreen(window))
        return area;
    return window->geometry();
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
