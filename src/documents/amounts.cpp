// Amount arithmetic of order lines and SKU counts.
#include "documents/amounts.h"

#include <cstdint>
#include <limits>

namespace vendrix {

TAmount AmountProduct(TAmount a, TAmount b)
{
    const __int128 product = static_cast<__int128>(a) * b / kAmountScale;
    if (product > std::numeric_limits<TAmount>::max())
        return std::numeric_limits<TAmount>::max();
    if (product < std::numeric_limits<TAmount>::min())
        return std::numeric_limits<TAmount>::min();
    return static_cast<TAmount>(product);
}

std::optional<TAmount> LineSum(TAmount quantity, TAmount price)
{
    const __int128 product = static_cast<__int128>(quantity) * price / kAmountScale;
    if (product > kMaxOrderAmount || product < -kMaxOrderAmount)
        return std::nullopt;
    return static_cast<TAmount>(product);
}

bool QuantityFits(TAmount amount)
{
    return amount <= kMaxOrderAmount && amount >= -kMaxOrderAmount;
}

TAmount QuantityAmount(std::string_view text)
{
    return TextToAmount(Trim(text), 0);
}

TAmount CountToKeypadValue(std::string_view count)
{
    return QuantityAmount(count);
}

std::string KeypadValueToCount(TAmount value)
{
    return IntText(value / kAmountScale);
}

} // namespace vendrix
