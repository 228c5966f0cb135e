// Fitting windows to small screens and bringing them to the front.
#include "toolkit/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vendrix {

void FitToScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (area.width() * 2 >= kHandheldWidth * 3 && area.height() * 2 >= kHandheldHeight * 3)
        return;
    // The area is for the whole window: the title bar and borders come off the client part.
    const QRect frame = window->frameGeometry(), client = window->geometry();
    window->setGeometry(area.adjusted(client.left() - frame.left(), client.top() - frame.top(),
        client.right() - frame.right(), client.bottom() - frame.bottom()));
}

void BringToFront(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace vendrix
