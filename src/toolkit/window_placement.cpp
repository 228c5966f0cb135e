// Fitting windows to small screens, keeping every window on its screen, placing forms over
// their owners, and bringing windows to the front.
#include "toolkit/window_placement.h"

#include "toolkit/compositor.h"

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

QScreen* ScreenOf(const QWidget* window)
{
    return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

QRect AvailableArea(const QWidget* window)
{
    QScreen* screen = ScreenOf(window);
    return screen ? screen->availableGeometry() : QRect();
}

// Sized by the compositor or the window manager: nothing to fit or to keep on screen.
bool SizedByDesktop(const QWidget* window)
{
    return window->windowState().testAnyFlags(Qt::WindowMaximized | Qt::WindowFullScreen);
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

// A window that would open away from the window it was opened from (in a corner of a desktop,
// where the window manager or its own fixed position puts it) opens over it instead. One that
// places itself over its owner's window keeps its place.
void BringOverOwner(QWidget* window)
{
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible() || owner->isMinimized() || OnHandheldScreen(owner)
        || owner->frameGeometry().contains(window->frameGeometry().center()))
        return;
    PlaceOverOwner(window);
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
                if (!event->spontaneous())
                    BringOverOwner(widget);
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

bool IsHandheldSize(QSize size)
{
    return size.isValid() && std::min(size.width(), size.height()) < kTabletShorterSide
        && std::max(size.width(), size.height()) < kDesktopLongerSide;
}

bool OnHandheldScreen(const QWidget* window)
{
    // The screen itself, not its free area: what makes a phone is the device, and a desktop's
    // panels must not turn a low monitor into one.
    const QScreen* screen = ScreenOf(window);
    return screen && IsHandheldSize(screen->geometry().size());
}

void FitToScreen(QWidget* window)
{
    if (OnHandheldScreen(window)) {
        if (OnWayland()) {
            // The available area is the whole output there, panels included: only the
            // compositor knows the room a window has.
            if (!SizedByDesktop(window))
                window->setWindowState(
                    (window->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
            return;
        }
        const QMargins m = FrameMargins(window);
        window->setGeometry(AvailableArea(window).marginsRemoved(m));
    }
    KeepOnScreen(window);
}

void PlaceOverOwner(QWidget* window)
{
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!owner || OnWayland())
        return;
    // A window not yet shown has no frame of its own: the owner's is the best guess.
    const QMargins m = FrameMargins(window->isVisible() ? window : owner);
    QRect frame(QPoint(0, 0), window->size().grownBy(m));
    frame.moveCenter(owner->frameGeometry().center());
    // A window's position is its frame's.
    window->move(frame.topLeft());
    KeepOnScreen(window);
}

bool CloseButtonHides(const QWidget* window)
{
    return OnHandheldScreen(window) && MinimisedWindowsComeBack();
}

void KeepOnScreen(QWidget* window)
{
    const QRect area = AvailableArea(window);
    if (!area.isValid() || SizedByDesktop(window))
        return;
    const QMargins m = FrameMargins(window);
    const QSize room(area.width() - m.left() - m.right(), area.height() - m.top() - m.bottom());
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size())
        window->resize(size);
    // Under Wayland a client knows neither where its window is nor where the panels are.
    if (OnWayland())
        return;
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

void ShowMainWindow(QWidget* window, const QString& activationToken)
{
    FitToScreen(window);
    window->show();
    window->raise();
    ActivateWithToken(window, activationToken);
}

void BringProgramToFront(QWidget* mainWindow, const QString& activationToken)
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
    ActivateWithToken(target, activationToken);
}

} // namespace vendrix
