// The bottom menu bar and the pop-up menu.
#include "toolkit/menu_bar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>

namespace vendrix {

namespace {

constexpr const char* kSeparator = "-";

// A bar button. Tab reaches it, a tap does not move the focus to it (the focus stays in the
// edit box the agent was typing into), and Space or Enter presses it. What a press by key does
// may differ from a tap (a submenu opens with its first item active), so a key press goes to
// onKey rather than through the click.
class TBarButton : public QToolButton {
public:
    explicit TBarButton(QWidget* parent)
        : QToolButton(parent)
    {
        setFocusPolicy(Qt::TabFocus);
    }

    std::function<void()> onKey;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat() && onKey)
                onKey();
            return;
        }
        QToolButton::keyPressEvent(event);
    }

    void keyReleaseEvent(QKeyEvent* event) override
    {
        // Space pressed the button down (Qt's own handling); its release runs the command.
        if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && isDown()) {
            setDown(false);
            if (onKey)
                onKey();
            return;
        }
        QToolButton::keyReleaseEvent(event);
    }

    void paintEvent(QPaintEvent* event) override
    {
        QToolButton::paintEvent(event);
        // A flat (auto-raised) button shows no frame of its own; the focus gets one, so that
        // the agent sees which command Space or Enter runs.
        if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange))
            return;
        QStylePainter painter(this);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = rect().adjusted(1, 1, -1, -1);
        frame.backgroundColor = palette().color(QPalette::Button);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
};

// The first item of `menu` the arrows would reach: shown, enabled, not a separator.
QAction* FirstActiveItem(const QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        if (action->isVisible() && action->isEnabled() && !action->isSeparator())
            return action;
    }
    return nullptr;
}

} // namespace

TMenuBar::TMenuBar(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(1, 1, 1, 1);
    m_layout->setSpacing(1);
    m_layout->addStretch(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

int TMenuBar::AddItem(const QString& caption, int parent)
{
    const int number = ItemCount();
    TItem item {parent};
    if (parent < 0) {
        auto* button = new TBarButton(this);
        // setText keeps the caption's blanks; an action's icon text would lose them.
        button->setText(caption);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        if (caption == kSeparator) {
            button->setEnabled(false);
        }
        connect(button, &QToolButton::clicked, this, [this, number] { Activate(number); });
        button->onKey = [this, number] { Run(number, true); };
        m_layout->insertWidget(m_layout->count() - 1, button);
        item.button = button;
    } else {
        TItem& owner = m_items.at(static_cast<std::size_t>(parent));
        if (!owner.submenu)
            owner.submenu = new QMenu(this);
        QAction* action = nullptr;
        if (caption == kSeparator) {
            action = owner.submenu->addSeparator();
        } else {
            action = owner.submenu->addAction(caption);
            connect(action, &QAction::triggered, this, [this, number] {
                if (onCommand)
                    onCommand(number);
            });
        }
        item.action = action;
    }
    m_items.push_back(item);
    return number;
}

void TMenuBar::PopUp(int item, bool byKey)
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    // The bar sits at the bottom edge: the submenu opens upwards, over the window, and keeps
    // inside the window's right edge as the handheld's menus keep inside the screen.
    const QSize size = it.submenu->sizeHint();
    const QRect area(window()->mapToGlobal(QPoint(0, 0)), window()->size());
    QPoint at = it.button->mapToGlobal(QPoint(0, -size.height()));
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width())));
    if (at.y() < area.top() - size.height())
        at.setY(it.button->mapToGlobal(QPoint(0, it.button->height())).y());
    it.submenu->popup(at);
    // Opened from the keyboard, the menu shows where the arrows start and Enter picks at once.
    if (byKey)
        it.submenu->setActiveAction(FirstActiveItem(it.submenu));
}

void TMenuBar::Activate(int item)
{
    Run(item, false);
}

void TMenuBar::Run(int item, bool byKey)
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    if (!ItemEnabled(item) || IsSeparator(item))
        return;
    if (it.button && it.submenu) {
        PopUp(item, byKey);
        return;
    }
    if (it.action) {
        it.action->trigger();
        return;
    }
    if (onCommand)
        onCommand(item);
}

void TMenuBar::FollowInTabOrder(QWidget* control)
{
    QWidget* previous = control;
    for (const TItem& it : m_items) {
        if (!it.button)
            continue;
        setTabOrder(previous, it.button);
        previous = it.button;
    }
}

void TMenuBar::SetItemVisible(int item, bool visible)
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    if (it.button)
        it.button->setVisible(visible);
    else
        it.action->setVisible(visible);
}

void TMenuBar::SetItemEnabled(int item, bool enabled)
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    if (it.button)
        it.button->setEnabled(enabled);
    else
        it.action->setEnabled(enabled);
}

QString TMenuBar::ItemCaption(int item) const
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    if (it.button)
        return it.button->text();
    return it.action->isSeparator() ? QString::fromUtf8(kSeparator) : it.action->text();
}

bool TMenuBar::ItemVisible(int item) const
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    // The button's own flag: isVisible() would also ask whether the window is shown.
    return it.button ? !it.button->isHidden() : it.action->isVisible();
}

bool TMenuBar::ItemEnabled(int item) const
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    return it.button ? it.button->isEnabled() : it.action->isEnabled();
}

bool TMenuBar::IsSeparator(int item) const
{
    const TItem& it = m_items.at(static_cast<std::size_t>(item));
    return it.button ? it.button->text() == QString::fromUtf8(kSeparator)
                     : it.action->isSeparator();
}

QToolButton* TMenuBar::Button(int item) const
{
    return m_items.at(static_cast<std::size_t>(item)).button;
}

QAction* TMenuBar::Action(int item) const
{
    return m_items.at(static_cast<std::size_t>(item)).action;
}

QMenu* TMenuBar::Submenu(int item) const
{
    return m_items.at(static_cast<std::size_t>(item)).submenu;
}

TPopupMenu::TPopupMenu(QWidget* parent)
    : QMenu(parent)
{
}

int TPopupMenu::AddItem(const QString& caption)
{
    const int number = ItemCount();
    QAction* action = nullptr;
    if (caption == kSeparator) {
        action = addSeparator();
    } else {
        action = addAction(caption);
        connect(action, &QAction::triggered, this, [this, number] {
            if (onCommand)
                onCommand(number);
        });
    }
    m_actions.push_back(action);
    return number;
}

void TPopupMenu::SetItemVisible(int item, bool visible)
{
    m_actions.at(static_cast<std::size_t>(item))->setVisible(visible);
}

void TPopupMenu::SetItemEnabled(int item, bool enabled)
{
    m_actions.at(static_cast<std::size_t>(item))->setEnabled(enabled);
}

QString TPopupMenu::ItemCaption(int item) const
{
    const QAction* a = m_actions.at(static_cast<std::size_t>(item));
    return a->isSeparator() ? QString::fromUtf8(kSeparator) : a->text();
}

bool TPopupMenu::ItemVisible(int item) const
{
    return m_actions.at(static_cast<std::size_t>(item))->isVisible();
}

QAction* TPopupMenu::Action(int item) const
{
    return m_actions.at(static_cast<std::size_t>(item));
}

} // namespace vendrix
