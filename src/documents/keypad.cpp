// The keypad's key filter, running sum and layout.
#include "documents/keypad.h"

#include "documents/amounts.h"

#include <limits>

namespace vendrix {

namespace {

constexpr char32_t kEnter = 13;
constexpr const char* kSumTooLarge = "Сумма слишком велика";

bool IsDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}

enum class TEntryRead { Number, NotANumber, OutOfRange };

// The entry's syntax first, then its value: digits the amount range cannot take are a number
// all the same, only too large.
TEntryRead ReadEntry(std::string_view entry, TAmount& value)
{
    std::size_t i = 0;
    while (i < entry.size() && (entry[i] == ' ' || entry[i] == '\t'))
        ++i;
    const std::size_t start = i;
    if (i < entry.size() && (entry[i] == '+' || entry[i] == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < entry.size(); ++i) {
        const char c = entry[i];
        if (IsDigit(static_cast<unsigned char>(c))) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return TEntryRead::NotANumber;
        }
    }
    if (!digits)
        return TEntryRead::NotANumber;
    constexpr TAmount kOutOfRange = std::numeric_limits<TAmount>::min();
    value = TextToAmount(entry.substr(start), kOutOfRange);
    return value == kOutOfRange ? TEntryRead::OutOfRange : TEntryRead::Number;
}

} // namespace

TKeyFilterResult FilterKey(std::string_view entry, char32_t character)
{
    if (character == ',')
        character = '.';
    if (character == kEnter)
        return {TKeyAction::PressOk, character};
    if (character < 32)
        return {TKeyAction::Insert, character};
    if (character != '.' && !IsDigit(character))
        return {TKeyAction::Drop, character};
    const std::size_t point = entry.find('.');
    if (point != std::string_view::npos) {
        // Only digits and one point get into the entry, so bytes after the point count
        // characters. Three decimals are the most a quantity takes.
        if (character == '.' || entry.size() - point - 1 > 2)
            return {TKeyAction::Drop, character};
    }
    return {TKeyAction::Insert, character};
}

std::optional<TAmount> ParseKeypadEntry(std::string_view entry)
{
    // Out of the amount range reads as unreadable, the same as any other text it cannot take.
    TAmount value = 0;
    if (ReadEntry(entry, value) != TEntryRead::Number)
        return std::nullopt;
    return value;
}

TEntryCheck CheckKeypadEntry(std::string_view entry, TAmount price)
{
    TAmount value = 0;
    switch (ReadEntry(entry, value)) {
    case TEntryRead::NotANumber:
        return TEntryCheck::Unreadable;
    case TEntryRead::OutOfRange:
        return TEntryCheck::QuantityTooLarge;
    case TEntryRead::Number:
        break;
    }
    if (!QuantityFits(value))
        return TEntryCheck::QuantityTooLarge;
    if (price >= 0 && !LineSum(value, price))
        return TEntryCheck::SumTooLarge;
    return TEntryCheck::Taken;
}

std::string EntryRefusal(TEntryCheck check)
{
    switch (check) {
    case TEntryCheck::QuantityTooLarge:
        return "Слишком большое количество.";
    case TEntryCheck::SumTooLarge:
        return "Слишком большое количество: сумма строки не помещается.";
    case TEntryCheck::Taken:
    case TEntryCheck::Unreadable:
        break;
    }
    return {};
}

TKeypad::TKeypad(TAmount value, TAmount price)
    : m_value(value)
    , m_price(price)
{
    UpdateSum();
}

std::string TKeypad::InitialEntry() const
{
    return AmountText(m_value, 2, false);
}

std::string TKeypad::PriceLine() const
{
    return "Цена  " + AmountText(m_price, 2, false);
}

void TKeypad::UpdateSum()
{
    const std::optional<TAmount> sum = LineSum(m_value, m_price);
    m_sumLine = sum ? "Сумма " + AmountText(*sum, 2, false) : kSumTooLarge;
}

void TKeypad::EntryChanged(std::string_view entry)
{
    if (!ShowPrice())
        return;
    switch (Check(entry)) {
    case TEntryCheck::Unreadable:
        return; // an empty entry keeps the last sum
    case TEntryCheck::QuantityTooLarge:
    case TEntryCheck::SumTooLarge:
        // Never a sum cut short: the agent sees at once that this quantity will not do.
        m_sumLine = kSumTooLarge;
        return;
    case TEntryCheck::Taken:
        break;
    }
    m_value = *ParseKeypadEntry(entry);
    UpdateSum();
}

bool TKeypad::Confirm(std::string_view entry)
{
    if (Check(entry) != TEntryCheck::Taken)
        return false;
    m_value = *ParseKeypadEntry(entry);
    UpdateSum();
    return true;
}

TKeypadLayout KeypadLayout(int screenWidth, int screenHeight, bool showUnit)
{
    TKeypadLayout l;
    l.portrait = screenWidth < screenHeight;
    const int w = l.portrait ? 61 : 34; // key width
    int buttonsTop = 0, priceTop = 0, sumTop = 0;
    if (l.portrait) {
        l.dialog.width = 200;
        l.dialog.height = 250;
        l.panel = {7, 35, 184, 109};
        buttonsTop = 147;
        priceTop = 179;
        sumTop = 203;
    } else {
        l.dialog.width = 310;
        l.dialog.height = 145;
        // The panel only as wide as its keys, so it ends inside the dialog.
        l.panel = {196, 6, 3 * w + 2, 109};
        buttonsTop = 35;
        priceTop = 67;
        sumTop = 91;
    }
    l.dialog.left = (screenWidth - l.dialog.width) / 2;
    l.dialog.top = (screenHeight - l.dialog.height) / 2;
    l.entry = {8, 4, showUnit ? 146 : 183, 30};
    l.unit = {156, 4, 35, 33};
    l.ok = {8, buttonsTop, 91, 29};
    l.cancel = {103, buttonsTop, 89, 29};
    l.priceLine = {7, priceTop, 184, 23};
    l.sumLine = {7, sumTop, 184, 23};

    // Rows 21 or 22 pixels apart; each key is as high as its row.
    constexpr int kRowTop[6] = {0, 21, 43, 65, 87, 109};
    auto place = [&](int row, int column, int span) {
        return TRect {1 + column * w, kRowTop[row], span * w, kRowTop[row + 1] - kRowTop[row]};
    };
    l.keys = {{
        {"C", TKeypadKey::Clear, 0, place(0, 0, 1)},
        {"<--", TKeypadKey::Back, 8, place(0, 1, 2)},
        {"7", TKeypadKey::Digit, '7', place(1, 0, 1)},
        {"8", TKeypadKey::Digit, '8', place(1, 1, 1)},
        {"9", TKeypadKey::Digit, '9', place(1, 2, 1)},
        {"4", TKeypadKey::Digit, '4', place(2, 0, 1)},
        {"5", TKeypadKey::Digit, '5', place(2, 1, 1)},
        {"6", TKeypadKey::Digit, '6', place(2, 2, 1)},
        {"1", TKeypadKey::Digit, '1', place(3, 0, 1)},
        {"2", TKeypadKey::Digit, '2', place(3, 1, 1)},
        {"3", TKeypadKey::Digit, '3', place(3, 2, 1)},
        {"0", TKeypadKey::Digit, '0', place(4, 0, 2)},
        {".", TKeypadKey::Point, '.', place(4, 2, 1)},
    }};
    return l;
}

} // namespace vendrix
