// Code page conversion through tables: both code pages are single-byte, so each byte has one
// character. The tables are built once from glibc iconv, whose mappings they keep, and then
// convert every database row without a library call per value. Pure ASCII, the bulk of SQL and
// GUIDs, is copied as it is.
#include "storage/codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iconv.h>
#include <vector>

namespace vendrix {

namespace {

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

// The code point of the strict UTF-8 sequence at the start of `in` (no overlong forms, no
// surrogates, nothing above U+10FFFF) and its length; length 0 when there is none.
std::size_t NextCodePoint(std::string_view in, char32_t& cp)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(in[i]); };
    const unsigned char lead = at(0);
    const std::size_t n = SequenceLength(lead);
    if (n == 1 || in.size() < n)
        return 0;
    unsigned char low = 0x80, high = 0xBF; // the bounds of the second byte
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    if (at(1) < low || at(1) > high)
        return 0;
    cp = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((at(i) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (at(i) & 0x3F);
    }
    return n;
}

// One single-byte code page: the UTF-8 form of each upper byte, and the way back sorted by
// code point. A byte iconv has no character for (0x98 in windows-1251) decodes to the C1
// control of the same number, so nothing is lost; with `keepUnmapped` that control encodes
// back to the byte, otherwise to "?".
class TCodePage {
public:
    TCodePage(const char* name, bool keepUnmapped)
    {
        const iconv_t cd = iconv_open("UTF-8", name);
        const bool valid = cd != reinterpret_cast<iconv_t>(-1);
        for (int b = 0x80; b < 0x100; ++b) {
            char in = static_cast<char>(b);
            char buffer[8];
            char* src = &in;
            char* dst = buffer;
            std::size_t srcLeft = 1, dstLeft = sizeof buffer;
            TForm& form = m_decode[static_cast<std::size_t>(b - 0x80)];
            bool mapped = valid
                && iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1);
            if (mapped) {
                form.size = static_cast<std::uint8_t>(dst - buffer);
                std::copy(buffer, dst, form.bytes);
            } else if (valid) {
                form.size = 2;
                form.bytes[0] = static_cast<char>(0xC0 | (b >> 6));
                form.bytes[1] = static_cast<char>(0x80 | (b & 0x3F));
            } else {
                form.size = 1;
                form.bytes[0] = '?';
            }
            if (valid)
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char32_t cp = 0;
            if ((mapped || (valid && keepUnmapped))
                && NextCodePoint(std::string_view(form.bytes, form.size), cp) == form.size)
                m_encode.push_back({cp, static_cast<char>(b)});
        }
        if (valid)
            iconv_close(cd);
        std::sort(m_encode.begin(), m_encode.end(),
            [](const TBack& x, const TBack& y) { return x.cp < y.cp; });
    }

    std::string Decode(std::string_view in) const
    {
        std::string out;
        out.reserve(in.size() * 2);
        for (const char c : in) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out.push_back(c);
            } else {
                const TForm& form = m_decode[b - 0x80];
                out.append(form.bytes, form.size);
            }
        }
        return out;
    }

    std::string Encode(std::string_view in) const
    {
        std::string out;
        out.reserve(in.size());
        std::size_t i = 0;
        while (i < in.size()) {
            const auto b = static_cast<unsigned char>(in[i]);
            if (b < 0x80) {
                out.push_back(in[i++]);
                continue;
            }
            char32_t cp = 0;
            const std::size_t n = NextCodePoint(in.substr(i), cp);
            if (n == 0) {
                i += SkipBroken(in.substr(i));
                out.push_back('?');
                continue;
            }
            const auto found = std::lower_bound(m_encode.begin(), m_encode.end(), cp,
                [](const TBack& x, char32_t v) { return x.cp < v; });
            out.push_back(found != m_encode.end() && found->cp == cp ? found->byte : '?');
            i += n;
        }
        return out;
    }

private:
    // A broken sequence is one "?": a whole sequence when its continuation bytes are all there,
    // else only its lead byte, so the next character is not swallowed.
    static std::size_t SkipBroken(std::string_view rest)
    {
        const std::size_t n = SequenceLength(static_cast<unsigned char>(rest[0]));
        for (std::size_t i = 1; i < n; ++i) {
            if (i >= rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80)
                return 1;
        }
        return n;
    }

    struct TForm {
        char bytes[4] = {};
        std::uint8_t size = 0;
    };
    struct TBack {
        char32_t cp;
        char byte;
    };
    std::array<TForm, 128> m_decode {};
    std::vector<TBack> m_encode;
};

const TCodePage& Windows1251()
{
    static const TCodePage page("WINDOWS-1251", true);
    return page;
}

const TCodePage& Dos866()
{
    static const TCodePage page("CP866", false);
    return page;
}

} // namespace

bool IsAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::size_t Utf8Length(std::string_view utf8)
{
    std::size_t n = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    return IsAscii(utf8) ? std::string(utf8) : Windows1251().Encode(utf8);
}

std::string Cp1251ToUtf8(std::string_view cp1251)
{
    return IsAscii(cp1251) ? std::string(cp1251) : Windows1251().Decode(cp1251);
}

std::string Cp866ToUtf8(std::string_view cp866)
{
    return IsAscii(cp866) ? std::string(cp866) : Dos866().Decode(cp866);
}

std::string Utf8ToCp866(std::string_view utf8)
{
    return IsAscii(utf8) ? std::string(utf8) : Dos866().Encode(utf8);
}

} // namespace vendrix
