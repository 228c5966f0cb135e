// Code page conversion through glibc iconv, with one descriptor per direction kept for the
// life of the process: conversion runs on every database row, so opening iconv each time
// would cost more than the query. Pure ASCII, the bulk of SQL and GUIDs, skips iconv.
#include "storage/codepage.h"

#include <cerrno>
#include <iconv.h>

namespace vendrix {

namespace {

class TConverter {
public:
    TConverter(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {
    }
    ~TConverter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    /// Converts `in`, calling `onBad` on each input position iconv refuses; `onBad` appends its
    /// replacement to `out` and returns how many input bytes to skip (at least 1).
    template <typename Fallback> std::string Run(std::string_view in, Fallback onBad)
    {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        if (!Valid()) {
            for (char c : in)
                out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc != static_cast<std::size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a sequence cut off at the end): let the caller decide.
            std::size_t skip = onBad(std::string_view(src, srcLeft), out);
            if (skip == 0)
                skip = 1;
            if (skip > srcLeft)
                skip = srcLeft;
            src += skip;
            srcLeft -= skip;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

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

// Replacement for a UTF-8 character the target code page lacks: "?", except U+0098 which the
// windows-1251 reader produced from byte 0x98 and which goes back to that byte.
std::size_t EncodeFallback(std::string_view rest, std::string& out, bool keep98)
{
    const auto lead = static_cast<unsigned char>(rest[0]);
    if (keep98 && rest.size() >= 2 && lead == 0xC2 && static_cast<unsigned char>(rest[1]) == 0x98) {
        out.push_back(static_cast<char>(0x98));
        return 2;
    }
    out.push_back('?');
    std::size_t n = SequenceLength(lead);
    // A broken sequence skips only its lead byte, so the next character is not swallowed.
    for (std::size_t i = 1; i < n; ++i) {
        if (i >= rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80)
            return 1;
    }
    return n;
}

// Decoding refuses only bytes with no character (0x98 in windows-1251): they become the C1
// control of the same number, so nothing is lost.
std::size_t DecodeFallback(std::string_view rest, std::string& out)
{
    const auto b = static_cast<unsigned char>(rest[0]);
    if (b >= 0x80) {
        out.push_back(static_cast<char>(0xC0 | (b >> 6)));
        out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    } else {
        out.push_back('?');
    }
    return 1;
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
    if (IsAscii(utf8))
        return std::string(utf8);
    static TConverter converter("WINDOWS-1251", "UTF-8");
    return converter.Run(utf8,
        [](std::string_view rest, std::string& out) { return EncodeFallback(rest, out, true); });
}

std::string Cp1251ToUtf8(std::string_view cp1251)
{
    if (IsAscii(cp1251))
        return std::string(cp1251);
    static TConverter converter("UTF-8", "WINDOWS-1251");
    return converter.Run(cp1251, DecodeFallback);
}

std::string Cp866ToUtf8(std::string_view cp866)
{
    if (IsAscii(cp866))
        return std::string(cp866);
    static TConverter converter("UTF-8", "CP866");
    return converter.Run(cp866, DecodeFallback);
}

std::string Utf8ToCp866(std::string_view utf8)
{
    if (IsAscii(utf8))
        return std::string(utf8);
    static TConverter converter("CP866", "UTF-8");
    return converter.Run(utf8,
        [](std::string_view rest, std::string& out) { return EncodeFallback(rest, out, false); });
}

} // namespace vendrix
