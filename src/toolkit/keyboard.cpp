// The desktop keyboard over the handheld's windows.
#include "toolkit/keyboard.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QScrollArea>
#include <QShortcut>
#include <QTabWidget>
#include <QWidget>

#include <utility>

namespace vendrix {

namespace {

// Enter and Return on the watched button click it.
class TEnterPresses : public QObject {
public:
    explicit TEnterPresses(QAbstractButton* button)
        : QObject(button)
        , m_button(button)
    {
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_button && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            if (enter && plain) {
                // A held key presses once, as a held Space does.
                if (!key->isAutoRepeat())
                    m_button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* m_button;
};

// The watched window's first control takes the focus whenever the window is shown.
class TFocusOnShow : public QObject {
public:
    explicit TFocusOnShow(QWidget* control)
        : QObject(control)
        , m_control(control)
    {
        control->window()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == m_control->window())
            ShowFocus(m_control);
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_control;
};

// The area scrolls to the watched control that Tab brings the focus to; a tap scrolls nothing.
class TScrollToTab : public QObject {
public:
    explicit TScrollToTab(QScrollArea* area)
        : QObject(area)
        , m_area(area)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                m_area->ensureWidgetVisible(static_cast<QWidget*>(watched));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QScrollArea* m_area;
};

// Shows the next (`step` 1) or previous (-1) page that can be shown, going round.
void TurnPage(QTabWidget* tabs, int step)
{
    const int count = tabs->count();
    int page = tabs->currentIndex();
    for (int pass = 1; pass < count; ++pass) {
        page = (page + step + count) % count;
        if (tabs->isTabEnabled(page) && tabs->isTabVisible(page)) {
            tabs->setCurrentIndex(page);
            return;
        }
    }
}

} // namespace

void ShowFocus(QWidget* control)
{
    if (!control || !control->isEnabled())
        return;
    if (control->focusPolicy() == Qt::NoFocus && !control->focusProxy())
        return;
    // The style draws focus frames only in a window where the keyboard has moved the focus.
    control->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    control->setFocus(Qt::OtherFocusReason);
}

void OpenOnFocus(QWidget* control)
{
    new TFocusOnShow(control);
}

void PressOnEnter(QAbstractButton* button)
{
    new TEnterPresses(button);
}

void TurnPagesByCtrlTab(QTabWidget* tabs)
{
    // Shortcuts of the tab widget come before the control that holds the focus, so a control
    // that moves within itself on Tab (a date picker) does not swallow the page turn.
    const std::pair<QKeySequence, int> turns[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
    };
    for (const auto& [keys, step] : turns) {
        auto* shortcut = new QShortcut(keys, tabs);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(
            shortcut, &QShortcut::activated, tabs, [tabs, step = step] { TurnPage(tabs, step); });
    }
}

void ScrollWithTab(QScrollArea* area)
{
    area->setFocusPolicy(Qt::NoFocus);
    if (!area->widget())
        return;
    auto* watcher = new TScrollToTab(area);
    for (QWidget* control : area->widget()->findChildren<QWidget*>()) {
        if (control->focusPolicy() & Qt::TabFocus)
            control->installEventFilter(watcher);
    }
}

void GiveKeyboardBack(QWidget* window, QWidget* control)
{
    if (!window || !window->isVisible() || window->isMinimized())
        return;
    if (control && control->window() == window && control->isVisible() && control->isEnabled())
        control->setFocus(Qt::OtherFocusReason);
    window->activateWindow();
}

} // namespace vendrix
