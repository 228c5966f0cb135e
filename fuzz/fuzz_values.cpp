// Fuzzes the readers of numbers, dates and tokens and the code page conversion, checking the
// round trips the exchange relies on.
#include "storage/codepage.h"
#include "storage/value_formats.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace vendrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TextToInt(text, 0);
    TextToFloat(text, 0);
    TextToDate(text, 0);
    LeadingInt(text);
    const TAmount a = TextToAmount(text, 0);
    for (int decimals = 0; decimals <= 4; ++decimals)
        AmountText(a, decimals, decimals % 2 == 0);
    if (TextToAmount(AmountText(a, 4, false), a ^ 1) != a)
        std::abort(); // amounts must survive their own text form
    int y = 0, m = 0, d = 0;
    DecodeDate(TextToDate(text, 0), y, m, d);
    DateText(TextToFloat(text, 0));
    std::string rest = text;
    for (int guard = 0; !rest.empty() && guard < 100000; ++guard)
        NextToken(rest, '.');
    // Every byte of windows-1251 text read from a database or a file must survive.
    if (Utf8ToCp1251(Cp1251ToUtf8(text)) != text)
        std::abort();
    Cp866ToUtf8(text);
    Utf8ToCp866(text);
    Utf8ToCp1251(text);
    return 0;
}
