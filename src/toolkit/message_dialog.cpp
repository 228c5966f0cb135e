// The program's message box, sized for the handheld's screen.
#include "toolkit/message_dialog.h"

#include "toolkit/handheld_screen.h"
#include "toolkit/keyboard.h"
#include "toolkit/message_box.h"
#include "toolkit/window_placement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace vendrix {

namespace {

constexpr int kMargin = 6;
constexpr int kIconPixels = 32;

QStyle::StandardPixmap IconPixmap(TIcon icon)
{
    switch (icon) {
    case TIcon::Information:
        return QStyle::SP_MessageBoxInformation;
    case TIcon::Warning:
        return QStyle::SP_MessageBoxWarning;
    case TIcon::Error:
        return QStyle::SP_MessageBoxCritical;
    case TIcon::Question:
    case TIcon::None:
        break;
    }
    return QStyle::SP_MessageBoxQuestion;
}

} // namespace

TMessageDialog::TMessageDialog(QWidget* owner, const QString& text, TIcon icon,
    QDialogButtonBox::StandardButtons buttons, QDialogButtonBox::StandardButton escape,
    QDialogButtonBox::StandardButton preferred)
    : QDialog(owner)
    , m_hasIcon(icon != TIcon::None)
    , m_escape(escape)
    , m_chosen(escape)
{
    setWindowTitle(QString::fromUtf8(kAppCaption));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    if (m_hasIcon)
        m_icon->setPixmap(style()->standardIcon(IconPixmap(icon)).pixmap(kIconPixels));
    m_icon->setVisible(m_hasIcon);

    m_text = new QLabel(text);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_text);

    m_buttons = new QDialogButtonBox(buttons, this);
    m_buttons->setCenterButtons(true);
    // Russian captions whatever the translation installed; the handheld's own words.
    const std::pair<QDialogButtonBox::StandardButton, const char*> kRussian[]
        = {{QDialogButtonBox::Ok, "OK"}, {QDialogButtonBox::Yes, "&Да"},
            {QDialogButtonBox::No, "&Нет"}, {QDialogButtonBox::Cancel, "Отмена"},
            {QDialogButtonBox::Retry, "&Повтор"}};
    for (const auto& [button, caption] : kRussian)
        if (QPushButton* b = m_buttons->button(button))
            b->setText(QString::fromUtf8(caption));
    QPushButton* chosen = m_buttons->button(preferred);
    if (!chosen && !m_buttons->buttons().isEmpty())
        chosen = qobject_cast<QPushButton*>(m_buttons->buttons().front());
    if (chosen) {
        chosen->setDefault(true);
        // Focused too, as a desktop message box does: the agent sees which button Enter
        // presses, and no other button takes Enter over by holding the focus.
        chosen->setFocus();
    }
    connect(m_buttons, &QDialogButtonBox::clicked, this, [this](QAbstractButton* button) {
        m_chosen = m_buttons->standardButton(button);
        accept();
    });

    auto* top = new QHBoxLayout;
    top->setSpacing(kMargin);
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_scroll, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kMargin);
    layout->addLayout(top, 1);
    layout->addWidget(m_buttons);
}

QDialogButtonBox::StandardButton TMessageDialog::Run()
{
    m_chosen = m_escape;
    // Sized before it is placed, so that it is centred over its owner at its real size.
    FitSize();
    // The keyboard goes back to the control that had it when the box came up: without a window
    // manager nobody else hands it back, and keys would go wherever the pointer rests.
    QPointer<QWidget> owner = parentWidget() ? parentWidget()->window() : nullptr;
    QPointer<QWidget> control = owner ? owner->focusWidget() : nullptr;
    exec();
    GiveKeyboardBack(owner, control);
    return m_chosen;
}

void TMessageDialog::showEvent(QShowEvent* event)
{
    FitSize();
    QDialog::showEvent(event);
}

void TMessageDialog::FitSize()
{
    ensurePolished(); // the text is measured in the font it is drawn in
    // The room: the whole free screen on a handheld-sized screen, else the program's window.
    const bool small = OnHandheldScreen(parentWidget() ? parentWidget() : this);
    const QRect room = HandheldScreen(parentWidget());
    // The frame of the box comes off that room; the owner's frame is the best guess before the
    // box has one of its own.
    const QWidget* frameOf = parentWidget() ? parentWidget()->window() : this;
    const int frameWidth = frameOf->frameGeometry().width() - frameOf->geometry().width();
    const int frameHeight = frameOf->frameGeometry().height() - frameOf->geometry().height();
    const int maxWidth = std::max(120, room.width() - frameWidth);
    const QScreen* on = frameOf->screen() ? frameOf->screen() : QGuiApplication::primaryScreen();
    const int screenHeight = on ? on->availableGeometry().height() : room.height();
    const int maxHeight = std::max(80, screenHeight - frameHeight);

    // Everything across the box beside the text itself: the box's margins, the icon and the
    // gap after it, the scroll area's own margins (its frame; it sets no viewport margins).
    // Known before the box is first shown, so the text is measured at the width it will get.
    const QMargins scrollMargins = m_scroll->contentsMargins();
    const int chrome = 2 * kMargin + (m_hasIcon ? m_icon->sizeHint().width() + kMargin : 0)
        + scrollMargins.left() + scrollMargins.right();
    const int buttonsWidth = m_buttons->sizeHint().width() + 2 * kMargin;
    int width = maxWidth;
    if (!small) {
        // As wide as the text needs unbroken, but no wider than the program's window.
        const QFontMetrics metrics(m_text->font());
        int textWidth = 0;
        for (const QString& line : m_text->text().split(QLatin1Char('\n')))
            textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
        width = std::min(maxWidth, std::max(textWidth + chrome + 4, buttonsWidth));
    }
    // Everything down the box beside the text: the margins, the gap above the buttons and the
    // buttons, the scroll area's frame and margins.
    const int below = 3 * kMargin + m_buttons->sizeHint().height() + scrollMargins.top()
        + scrollMargins.bottom();
    // A short text still leaves an icon's height of room above the buttons.
    const int least = std::max(kIconPixels, m_hasIcon ? m_icon->sizeHint().height() : 0);
    int textHeight = std::max(m_text->heightForWidth(width - chrome), least);
    // The scroll bar only for a text taller than the screen, such as a long office message;
    // it is then always there, so the text is measured beside it. Decided here rather than
    // left to the scroll area, which keeps a bar it once showed and so hides the last lines
    // of a text that fits.
    const bool scrolls = below + textHeight > maxHeight;
    m_scroll->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    if (scrolls) {
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll);
        textHeight = std::max(m_text->heightForWidth(width - chrome - bar), least);
    }
    setFixedSize(width, std::min(below + textHeight, maxHeight));
}

} // namespace vendrix
