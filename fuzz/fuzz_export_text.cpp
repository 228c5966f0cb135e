// Fuzzes the escaping of the export's attribute values: whatever a name holds, the attribute
// stays one well-formed value.
#include "storage/codepage.h"
#include "storage/value_formats.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace vendrix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string x = XmlText(text);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const char c = x[i];
        if (static_cast<unsigned char>(c) < 32 || c == '"' || c == '<' || c == '>')
            std::abort();
        if (c == '&' && x.compare(i, 6, "&quot;") != 0 && x.compare(i, 5, "&amp;") != 0
            && x.compare(i, 4, "&lt;") != 0 && x.compare(i, 4, "&gt;") != 0)
            std::abort();
    }
    if (!x.empty()
        && (static_cast<unsigned char>(x.front()) <= ' '
            || static_cast<unsigned char>(x.back()) <= ' '))
        std::abort();
    Utf8ToCp1251(x);
    // Between apostrophes the quoted text must never close the literal: its apostrophes come
    // in pairs.
    const std::string q = SqlQuote(text);
    std::size_t run = 0;
    for (char c : q) {
        if (c == '\'') {
            ++run;
        } else {
            if (run % 2)
                std::abort();
            run = 0;
        }
    }
    if (run % 2)
        std::abort();
    return 0;
}
