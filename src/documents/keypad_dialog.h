// The numeric keypad "Количество": a large entry box, thirteen finger-sized keys, "Oк" and
// "Отмена", and the price and running sum when the caller gives a price. Laid out for a portrait
// or a landscape screen. Its rules (the key filter, the sum, the layout) live in TKeypad.
#pragma once

#include "documents/keypad.h"

#include <QDialog>
#include <QLineEdit>
#include <QSize>

#include <array>
#include <string>

class QLabel;
class QPushButton;

namespace vendrix {

/// The entry box: every character typed, pasted or delivered by a key goes through the key
/// filter.
class TKeypadEntryBox : public QLineEdit {
public:
    explicit TKeypadEntryBox(QWidget* parent);

    /// Types one character as if from the keyboard: filtered, backspace deletes, Enter is OK.
    void Type(char32_t character);

    /// Runs when Enter is typed.
    std::function<void()> onEnter;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void TypeText(const QString& text);
};

class TKeypadDialog : public QDialog {
public:
    /// Builds the keypad over `owner` for `value` and `price` (negative: no price and sum
    /// lines); `title` joins the caption, `unit` shows beside the entry. `screen` is the screen
    /// size to lay out for; empty takes the owner's handheld screen.
    TKeypadDialog(QWidget* owner, TAmount value, TAmount price, const std::string& title,
        const std::string& unit, QSize screen = {});

    const TKeypad& Keypad() const { return m_keypad; }
    const TKeypadLayout& Layout() const { return m_layout; }
    TKeypadEntryBox* Entry() const { return m_entry; }
    QLabel* UnitLabel() const { return m_unit; }
    QLabel* PriceLine() const { return m_price; }
    QLabel* SumLine() const { return m_sum; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QWidget* Panel() const { return m_panel; }
    /// The key with `caption` ("C", "<--", "0" to "9", "."); nullptr for another caption.
    QPushButton* Key(const QString& caption) const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LayOut();
    void Confirm();
    void OnKey(const TKeypadKeyPlace& key);

    TKeypad m_keypad;
    QSize m_screen;
    bool m_showUnit;
    TKeypadLayout m_layout;
    TKeypadEntryBox* m_entry = nullptr;
    QLabel* m_unit = nullptr;
    QWidget* m_panel = nullptr;
    std::array<QPushButton*, 13> m_keys {};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_price = nullptr;
    QLabel* m_sum = nullptr;
};

/// Runs the keypad modally over `owner`. True when the agent confirmed: `value` is then the
/// typed amount; after cancel it is left as it was.
bool RunKeypad(QWidget* owner, TAmount& value, TAmount price, const std::string& title = {},
    const std::string& unit = {});

} // namespace vendrix
