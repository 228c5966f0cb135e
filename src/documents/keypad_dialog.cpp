// The keypad's widgets at their handheld positions, wired to TKeypad.
#include "documents/keypad_dialog.h"

#include "storage/ui_seam.h"
#include "toolkit/handheld_screen.h"
#include "toolkit/modal.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace vendrix {

namespace {

constexpr int kPricePixels = 18;
constexpr int kSumPixels = 20;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QFont Bold(const QWidget* widget, int pixels)
{
    QFont font = widget->font();
    font.setBold(true);
    font.setPixelSize(pixels);
    return font;
}

// A price or sum too long for its line at its own size gets a smaller face, never a cut one.
void FitText(QLabel* line, const QString& text, int pixels)
{
    QFont font = line->font();
    font.setPixelSize(pixels);
    while (font.pixelSize() > 10 && QFontMetrics(font).horizontalAdvance(text) > line->width())
        font.setPixelSize(font.pixelSize() - 1);
    line->setFont(font);
    line->setText(text);
}

void Place(QWidget* widget, const TRect& r)
{
    widget->setGeometry(r.left, r.top, r.width, r.height);
}

} // namespace

TKeypadEntryBox::TKeypadEntryBox(QWidget* parent)
    : QLineEdit(parent)
{
    // Pasting goes through the filter below; the menu and dropping would not.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

void TKeypadEntryBox::Type(char32_t character)
{
    if (character == 8) {
        backspace();
        return;
    }
    const TKeyFilterResult r = FilterKey(text().toStdString(), character);
    if (r.action == TKeyAction::PressOk) {
        if (onEnter)
            onEnter();
    } else if (r.action == TKeyAction::Insert && r.character >= 32) {
        insert(QString::fromUcs4(&r.character, 1));
    }
}

void TKeypadEntryBox::TypeText(const QString& text)
{
    for (const char32_t c : text.toUcs4())
        Type(c);
}

void TKeypadEntryBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        TypeText(QApplication::clipboard()->text());
        return;
    }
    const QString typed = event->text();
    if (typed.size() != 1 || typed.at(0).unicode() == 8 || typed.at(0).unicode() == 127) {
        // Editing keys (arrows, Delete, backspace, Ctrl+A) keep their own meaning.
        QLineEdit::keyPressEvent(event);
        return;
    }
    const char32_t c = typed.at(0).unicode();
    const TKeyFilterResult r = FilterKey(text().toStdString(), c);
    switch (r.action) {
    case TKeyAction::PressOk:
        event->accept();
        if (onEnter)
            onEnter();
        return;
    case TKeyAction::Drop:
        event->accept();
        return;
    case TKeyAction::Insert:
        if (r.character < 32 || r.character == c)
            QLineEdit::keyPressEvent(event);
        else
            insert(QString::fromUcs4(&r.character, 1));
        return;
    }
}

void TKeypadEntryBox::inputMethodEvent(QInputMethodEvent* event)
{
    const QString committed = event->commitString();
    if (committed.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // The soft input panel's characters are typed one by one through the filter.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&rest);
    TypeText(committed);
}

TKeypadDialog::TKeypadDialog(QWidget* owner, TAmount value, TAmount price, const std::string& title,
    const std::string& unit, QSize screen)
    : QDialog(owner)
    , m_keypad(value, price)
    , m_screen(screen)
    , m_showUnit(!Trim(unit).empty())
{
    QString caption = QString::fromUtf8("Количество");
    if (!Trim(title).empty())
        caption += QStringLiteral("  ") + Q(title);
    setWindowTitle(caption);

    m_entry = new TKeypadEntryBox(this);
    m_entry->setFont(Bold(m_entry, 22));
    m_entry->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_entry->onEnter = [this] { Confirm(); };

    m_unit = new QLabel(this);
    m_unit->setFont(Bold(m_unit, 22));
    m_unit->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_unit->setText(Q(Trim(unit)));
    m_unit->setVisible(m_showUnit);

    m_panel = new QWidget(this);
    m_layout = KeypadLayout(240, 320, m_showUnit);
    for (std::size_t i = 0; i < m_layout.keys.size(); ++i) {
        const TKeypadKeyPlace key = m_layout.keys[i];
        auto* button = new QPushButton(QString::fromUtf8(key.caption), m_panel);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, key] { OnKey(key); });
        m_keys[i] = button;
    }

    // A Latin O and a Cyrillic к, as the handheld's caption has it.
    m_ok = new QPushButton(QString::fromUtf8("O\u043a"), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, [this] { Confirm(); });
    m_cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    m_price = new QLabel(Q("Цена:"), this);
    m_price->setFont(Bold(m_price, kPricePixels));
    m_sum = new QLabel(Q("Сумма:"), this);
    m_sum->setFont(Bold(m_sum, kSumPixels));

    connect(m_entry, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_keypad.EntryChanged(text.toStdString());
        if (m_keypad.ShowPrice())
            FitText(m_sum, Q(m_keypad.SumLine()), kSumPixels);
    });

    LayOut();
}

QPushButton* TKeypadDialog::Key(const QString& caption) const
{
    for (QPushButton* key : m_keys) {
        if (key->text() == caption)
            return key;
    }
    return nullptr;
}

void TKeypadDialog::LayOut()
{
    QRect screen = HandheldScreen(parentWidget());
    if (m_screen.isValid())
        screen = QRect(QPoint(0, 0), m_screen);
    m_layout = KeypadLayout(screen.width(), screen.height(), m_showUnit);
    const TKeypadLayout& l = m_layout;
    setFixedSize(l.dialog.width, l.dialog.height);
    move(screen.left() + l.dialog.left, screen.top() + l.dialog.top);
    Place(m_entry, l.entry);
    Place(m_unit, l.unit);
    Place(m_panel, l.panel);
    for (std::size_t i = 0; i < l.keys.size(); ++i)
        Place(m_keys[i], l.keys[i].place);
    Place(m_ok, l.ok);
    Place(m_cancel, l.cancel);
    Place(m_price, l.priceLine);
    Place(m_sum, l.sumLine);

    m_price->setVisible(m_keypad.ShowPrice());
    m_sum->setVisible(m_keypad.ShowPrice());
    FitText(m_price, Q(m_keypad.PriceLine()), kPricePixels);
    m_entry->setText(Q(m_keypad.InitialEntry()));
    FitText(m_sum, Q(m_keypad.SumLine()), kSumPixels);
    // The first key pressed replaces the whole value.
    m_entry->setFocus();
    m_entry->selectAll();
}

void TKeypadDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        LayOut();
    QDialog::showEvent(event);
}

void TKeypadDialog::OnKey(const TKeypadKeyPlace& key)
{
    m_entry->setFocus();
    if (key.key == TKeypadKey::Clear)
        m_entry->clear();
    else
        m_entry->Type(key.character);
}

void TKeypadDialog::Confirm()
{
    const std::string entry = m_entry->text().toStdString();
    if (m_keypad.Confirm(entry)) {
        done(QDialog::Accepted);
        return;
    }
    // A quantity too large for an order line is never taken cut short: the agent is told why.
    // An empty entry is refused without a word, as the handheld does.
    const std::string refusal = EntryRefusal(m_keypad.Check(entry));
    if (!refusal.empty())
        UI().Message(refusal, TIcon::Warning);
    // Back where the digits go, whether OK was tapped or Enter typed, so that the next key is
    // not lost on the button; a refused quantity is selected, so the next digit starts anew.
    m_entry->setFocus();
    if (!refusal.empty())
        m_entry->selectAll();
}

void TKeypadDialog::reject()
{
    m_keypad.Cancel();
    QDialog::reject();
}

bool RunKeypad(QWidget* owner, TAmount& value, TAmount price, const std::string& title,
    const std::string& unit)
{
    TKeypadDialog dialog(owner, value, price, title, unit);
    if (RunModal(dialog) != kModalOk)
        return false;
    value = dialog.Keypad().Value();
    return true;
}

} // namespace vendrix
