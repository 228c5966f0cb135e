// The numeric keypad's rules, apart from its window: which typed characters reach the entry
// (digits, one point, at most three decimals, a comma taken as the point), the running sum
// beside the goods price, what OK and cancel leave as the value, and where every control
// goes on a portrait or a landscape screen. The keypad dialog only wires its widgets to this.
#pragma once

#include "storage/value_formats.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vendrix {

/// What a typed character does to the entry.
enum class TKeyAction {
    Insert, // the character (possibly changed) goes into the entry
    Drop, // the character never reaches the entry
    PressOk, // Enter: confirm, as the "Oк" button
};

struct TKeyFilterResult {
    TKeyAction action;
    char32_t character; // what to insert: a comma has become a point
};

/// Filters one character typed into an entry holding `entry` (UTF-8). The point and digit
/// rules look at the whole entry, not at the caret or the selection.
TKeyFilterResult FilterKey(std::string_view entry, char32_t character);

/// Reads an entry as an amount: blanks and tabs before it, an optional sign, digits with one
/// optional point; nothing after. No value when it cannot be read or is out of range.
std::optional<TAmount> ParseKeypadEntry(std::string_view entry);

/// What OK makes of an entry.
enum class TEntryCheck {
    Taken, // a quantity an order line holds, and its sum too
    Unreadable, // no number at all, such as an empty entry: refused without a word
    QuantityTooLarge, // more than an order line holds, or too long to read at all
    SumTooLarge, // the quantity fits, its sum at the price does not
};

/// Checks an entry against what an order line holds (kMaxOrderAmount): the quantity, and with
/// a price (zero or more) its sum at that price.
TEntryCheck CheckKeypadEntry(std::string_view entry, TAmount price);

/// The agent's message for an entry OK refused; empty for a taken or an unreadable entry.
std::string EntryRefusal(TEntryCheck check);

/// The state of one keypad run: the value being edited, the goods price and the running sum.
class TKeypad {
public:
    /// A negative price (callers pass -1 or -10000) hides the price and sum lines.
    TKeypad(TAmount value, TAmount price);

    TAmount Value() const { return m_value; }
    TAmount Price() const { return m_price; }
    bool ShowPrice() const { return m_price >= 0; }

    /// The entry text when the keypad opens: the value with two decimals.
    std::string InitialEntry() const;
    /// "Цена  " and the price with two decimals.
    std::string PriceLine() const;
    /// "Сумма " and value x price with two decimals, as of the last readable entry; "Сумма
    /// слишком велика" while the entry's sum is more than an order line holds.
    const std::string& SumLine() const { return m_sumLine; }

    /// The entry changed: with the price shown, a readable entry becomes the value and the
    /// sum follows it; an unreadable one leaves both as they were; one too large to take
    /// leaves the value and says so on the sum line.
    void EntryChanged(std::string_view entry);
    /// What OK would make of `entry` at this keypad's price.
    TEntryCheck Check(std::string_view entry) const { return CheckKeypadEntry(entry, m_price); }
    /// OK: true (and the entry becomes the value) when Check takes the entry; false keeps the
    /// keypad open and the value as it was (EntryRefusal tells the agent why).
    bool Confirm(std::string_view entry);
    /// Cancel: the value becomes 0 (the caller keeps its own value).
    void Cancel() { m_value = 0; }

private:
    void UpdateSum();

    TAmount m_value;
    TAmount m_price;
    std::string m_sumLine;
};

/// The keys on the keypad panel.
enum class TKeypadKey { Clear, Back, Digit, Point };

struct TRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct TKeypadKeyPlace {
    const char* caption;
    TKeypadKey key;
    char32_t character; // what the key delivers (backspace for "<--"); 0 for "C"
    TRect place; // within the panel
};

/// Where everything of the keypad goes: the dialog on the screen and the controls in it.
struct TKeypadLayout {
    bool portrait = true;
    TRect dialog;
    TRect entry, unit, panel, ok, cancel, priceLine, sumLine;
    std::array<TKeypadKeyPlace, 13> keys {};
};

/// The layout for a screen of the given size, centred on it: portrait (200 x 250, keys below
/// the entry) when the screen is narrower than high, otherwise landscape (310 x 145, keys on
/// the right). Without a unit the entry box takes the unit label's room.
TKeypadLayout KeypadLayout(int screenWidth, int screenHeight, bool showUnit);

} // namespace vendrix
