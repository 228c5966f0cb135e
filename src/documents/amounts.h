// Arithmetic on the fixed-point amounts of order lines and shelf counts: a line's sum from its
// quantity and price, and the whole-number SKU counts the keypad edits as amounts. Kept apart
// so that the keypad, the goods selection and the document form reckon alike.
#pragma once

#include "storage/value_formats.h"

#include <optional>
#include <string>
#include <string_view>

namespace vendrix {

/// The largest quantity or line sum an order keeps exactly: 9 999 999 999 999.99. The order
/// goes to the database as numbers (quantities, the order's sum), and the database gives a
/// number back with fifteen significant digits; two of them are the kopecks.
constexpr TAmount kMaxOrderAmount = 99'999'999'999'999'900;

/// The product of two amounts: the integer product divided by 10000, truncated toward zero;
/// a product beyond the amount range is held at its nearest end rather than wrapping. For a
/// line's sum that is shown or kept, LineSum says whether the line can hold it.
TAmount AmountProduct(TAmount a, TAmount b);

/// A line's sum, quantity x price as AmountProduct gives it; no value when it lies beyond
/// kMaxOrderAmount either way, so that no sum is ever shown or kept cut short.
std::optional<TAmount> LineSum(TAmount quantity, TAmount price);

/// True when an order line can hold `amount` as its quantity (within kMaxOrderAmount).
bool QuantityFits(TAmount amount);

/// A decimal text ("1,5" or "1.5") as an amount, halves past the fourth decimal to even;
/// 0 when it cannot be read.
TAmount QuantityAmount(std::string_view text);

/// A SKU count cell as the keypad's value: the text read as a decimal number (0 when
/// unreadable), so "3" gives 3.00.
TAmount CountToKeypadValue(std::string_view count);

/// The keypad's value as a SKU count: the whole-number part, cut toward zero ("2.7" gives "2").
std::string KeypadValueToCount(TAmount value);

} // namespace vendrix
