// Code page conversion through tables: both code pages are single-byte, so each byte has one
// character. The tables are built once from glibc iconv, whose mappings they keep, and then
// convert every database row without a library call per value. Pure ASCII, the bulk of SQL and
// GUIDs, is copied as it is.
#include "storage/codepage.h"

#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace vendrix {

namespace {

// One single-byte code page: the UTF-8 form of each upper byte, and the way back sorted by
// code point. A byte iconv has no character for (0x98 in windows-1251) decodes to the C1
// control of the same number, so nothing is lost; with `keepUnmapped` that control encodes
// back to the byte, otherwise to "?".
class TCodePage {
public:
    TCodePage(const char* name, bool keepUnmapped)
    {
        const iconv_t cd = iconv_open("UTF-8", name);
        // iconv's own "no descriptor" value is (iconv_t)-1: the cast is its interface.
        const bool valid = cd != reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
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
            const std::string_view utf8(form.bytes, form.size);
            std::size_t end = 0;
            const char32_t cp = platform::NextCodePoint(utf8, end);
            if ((mapped || (valid && keepUnmapped)) && !platform::IsBrokenUtf8(cp)
                && end == utf8.size())
                m_encode.push_back({cp, static_cast<char>(b)});
        }
        if (valid)
            iconv_close(cd);
        std::sort(m_encode.begin(), m_encode.end(),
            [](const TBack& x, const TBack& y) { return x.cp < y.cp; });
        for (const TBack& back : m_encode) {
            if (back.cp < m_direct.size())
                m_direct[back.cp] = back.byte;
        }
    }

    std::string Decode(std::string_view in) const
    {
        std::string out;
        DecodeAppend(in, out);
        return out;
    }

    void DecodeAppend(std::string_view in, std::string& out) const
    {
        // Written through a pointer into room for the longest form, then cut to size: a
        // million goods pass through here at every start.
        const std::size_t start = out.size();
        out.resize(start + in.size() * 3);
        char* const to = DecodeTo(in, out.data() + start);
        out.resize(static_cast<std::size_t>(to - out.data()));
    }

    // Writes the UTF-8 form at `to`, which has room for three bytes a character; returns the end.
    char* DecodeTo(std::string_view in, char* to) const
    {
        for (const char c : in) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                *to++ = c;
            } else {
                const TForm& form = m_decode[b - 0x80];
                for (std::size_t k = 0; k < form.size; ++k)
                    *to++ = form.bytes[k];
            }
        }
        return to;
    }

    std::string Encode(std::string_view in) const
    {
        // Every character takes at least one byte of the input and gives exactly one.
        std::string out(in.size(), '\0');
        char* to = out.data();
        std::size_t i = 0;
        while (i < in.size()) {
            const auto b = static_cast<unsigned char>(in[i]);
            if (b < 0x80) {
                *to++ = in[i++];
                continue;
            }
            // Cyrillic letters are two-byte forms: looked up directly, the rest by search.
            if (b >= 0xC2 && b <= 0xDF && i + 1 < in.size()
                && (static_cast<unsigned char>(in[i + 1]) & 0xC0) == 0x80) {
                const char32_t two
                    = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3Fu);
                if (const char byte = m_direct[two]) {
                    *to++ = byte;
                    i += 2;
                    continue;
                }
            }
            // A broken span becomes one "?", as a character without a byte here does.
            const char32_t cp = platform::NextCodePoint(in, i);
            const auto found = std::lower_bound(m_encode.begin(), m_encode.end(), cp,
                [](const TBack& x, char32_t v) { return x.cp < v; });
            *to++ = found != m_encode.end() && found->cp == cp ? found->byte : '?';
        }
        out.resize(static_cast<std::size_t>(to - out.data()));
        return out;
    }

private:
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
    std::array<char, 0x800> m_direct {}; // byte of each code point below U+0800; 0: none
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
    // Eight bytes at a time: most texts of the exchange are long and mostly ASCII.
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080u)
            return false;
    }
    for (; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
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

void AppendCp1251AsUtf8(std::string_view cp1251, std::string& out)
{
    if (IsAscii(cp1251))
        out.append(cp1251);
    else
        Windows1251().DecodeAppend(cp1251, out);
}

char* WriteCp1251AsUtf8(std::string_view cp1251, char* out)
{
    if (!IsAscii(cp1251))
        return Windows1251().DecodeTo(cp1251, out);
    if (!cp1251.empty())
        std::memcpy(out, cp1251.data(), cp1251.size());
    return out + cp1251.size();
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
