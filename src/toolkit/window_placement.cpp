// Fitting windows to small screens, keeping every window on its screen, and bringing windows to
// the front.
#include "toolkit/window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace vendrix {

namespace {

QRect AvailableArea(const QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// The frame's share of a window: the area is for the whole window, title bar and borders too.
QMargins FrameMargins(const QWidget* window)
{
    const QRect frame = window->frameGeometry(), client = window->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom()};
}

bool IsKeptWindow(const QWidget* widget)
{
    if (!widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet;
}

// The window of the program the agent used last, to come back to.
QPointer<QWidget> g_lastActive;

class TScreenKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()
            && IsKeptWindow(static_cast<QWidget*>(watched)))
            g_lastActive = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (IsKeptWindow(widget)) {
                KeepOnScreen(widget);
                // Once more when the window is up: the frame is known only then.
                QPointer<QWidget> guard(widget);
                QTimer::singleShot(0, widget, [guard] {
                    if (guard && guard->isVisible())
                        KeepOnScreen(guard);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

bool OnHandheldScreen(const QWidget* window)
{
    const QRect area = AvailableArea(window);
    return area.isValid() && area.width() * 2 < kHandheldWidth * 3
        && area.height() * 2 < kHandheldHeight * 3;
}

void FitToScreen(QWidget* window)
{
    if (OnHandheldScreen(window)) {
        const QMargins m = FrameMargins(window);
        window->setGeometry(AvailableArea(window).marginsRemoved(m));
    }
    KeepOnScreen(window);
}

void KeepOnScreen(QWidget* window)
{
    const QRect area = AvailableArea(window);
    if (!area.isValid())
        return;
    const QMargins m = FrameMargins(window);
    const QSize room(area.width() - m.left() - m.right(), area.height() - m.top() - m.bottom());
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    const QRect frame = window->frameGeometry();
    const int left
        = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    if (left != frame.left() || top != frame.top())
        window->move(left, top);
}

void KeepWindowsOnScreen()
{
    static TScreenKeeper* keeper = nullptr;
    if (keeper || !qApp)
        return;
    keeper = new TScreenKeeper(qApp);
    qApp->installEventFilter(keeper);
}

QScrollArea* ScrollWhenShort(QWidget* content)
{
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Transparent: what lies under the content (a tab page, a grey panel) shows as before.
    scroll->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    // setWidget makes the content fill its background; only a content that did so already
    // (a grey panel) keeps doing it.
    const bool filled = content->autoFillBackground();
    scroll->setWidget(content);
    content->setAutoFillBackground(filled);
    return scroll;
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

void BringProgramToFront(QWidget* mainWindow)
{
    if (mainWindow->isMinimized())
        mainWindow->showNormal();
    else
        mainWindow->show();
    QWidget* target = QApplication::activeModalWidget();
    if (!target && g_lastActive && g_lastActive->isVisible() && !g_lastActive->isMinimized())
        target = g_lastActive;
    if (!target)
        target = mainWindow;
    // The modal dialog's owner comes up first, so that the dialog ends on top of it.
    if (target != mainWindow && target->parentWidget())
        target->parentWidget()->window()->raise();
    target->raise();
    target->activateWindow();
}

} // namespace vendrix
