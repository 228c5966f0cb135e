// Shared text forms of values. Amounts are parsed and printed with integer arithmetic only, so
// what the office sends is what the device stores, to the last ten-thousandth.
#include "storage/value_formats.h"

#include "platform/platform.h"
#include "storage/ui_seam.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

namespace vendrix {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Trim, then the first "," becomes "." (the office and the agent may type either).
std::string NormaliseNumber(std::string_view text)
{
    std::string s = Trim(text);
    const auto comma = s.find(',');
    if (comma != std::string::npos)
        s[comma] = '.';
    return s;
}

// The parts of a number text: sign, mantissa digits (without the point), how many of them
// follow the point, and the exponent. False on anything that is not such a number.
struct TNumberParts {
    bool negative = false;
    std::string digits;
    long long fractionDigits = 0;
    long long exponent = 0;
};

bool SplitNumber(std::string_view s, TNumberParts& parts)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        parts.negative = s[i] == '-';
        ++i;
    }
    bool point = false;
    bool anyDigit = false;
    for (; i < n; ++i) {
        const char c = s[i];
        if (IsDigit(c)) {
            anyDigit = true;
            parts.digits.push_back(c);
            if (point)
                ++parts.fractionDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            expNegative = s[i] == '-';
            ++i;
        }
        if (i >= n || !IsDigit(s[i]))
            return false;
        long long e = 0;
        for (; i < n && IsDigit(s[i]); ++i) {
            if (e < 1000000)
                e = e * 10 + (s[i] - '0');
        }
        parts.exponent = expNegative ? -e : e;
    }
    return i == n;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(y + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

// Day 0 of the date values is 30 December 1899. A compile-time constant, so dates made while
// other files are still being initialised are right too.
constexpr long long kEpochOffset = -DaysFromCivil(1899, 12, 30);

std::filesystem::path& ProgramFolderValue()
{
    static std::filesystem::path folder;
    return folder;
}

bool g_busy = false;

} // namespace

std::string_view TrimView(std::string_view text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) < 33)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) < 33)
        --e;
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text)
{
    return std::string(TrimView(text));
}

std::string UpperLatin(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        c = UpperLatin(c);
    return s;
}

std::string DateText(TDate date)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02d\"", y, m, d);
    return buf;
}

std::string IntText(std::int64_t n)
{
    return std::to_string(n);
}

std::string AmountText(TAmount amount, int decimals, bool blankIfZero)
{
    if (amount == 0 && blankIfZero)
        return {};
    if (decimals < 0)
        decimals = 0;
    if (decimals > 4)
        decimals = 4;
    const bool negative = amount < 0;
    // Unsigned magnitude, so the most negative amount prints too.
    std::uint64_t magnitude
        = negative ? 0 - static_cast<std::uint64_t>(amount) : static_cast<std::uint64_t>(amount);
    std::uint64_t divisor = 1;
    for (int i = decimals; i < 4; ++i)
        divisor *= 10;
    std::uint64_t scaled = magnitude / divisor;
    if ((magnitude % divisor) * 2 >= divisor && divisor > 1)
        ++scaled; // half away from zero
    std::uint64_t unit = 1;
    for (int i = 0; i < decimals; ++i)
        unit *= 10;
    std::string out;
    if (negative && scaled != 0)
        out.push_back('-');
    out += std::to_string(scaled / unit);
    if (decimals > 0) {
        std::string frac = std::to_string(scaled % unit);
        out.push_back('.');
        out.append(static_cast<std::size_t>(decimals) - frac.size(), '0');
        out += frac;
    }
    return out;
}

std::string NewGuidText()
{
    std::string g = platform::NewGuid();
    if (g.size() != 36)
        return kNullGuid;
    return g;
}

std::string SqlQuote(std::string_view text)
{
    const std::string t = Trim(text);
    std::string out;
    out.reserve(t.size() + 4);
    for (char c : t) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    return out;
}

std::string SqlString(std::string_view text)
{
    std::string out = "'";
    out.reserve(text.size() + 4);
    for (char c : text) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    out.push_back('\'');
    return out;
}

std::string XmlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    AppendXmlText(text, out);
    return out;
}

void AppendXmlText(std::string_view text, std::string& out)
{
    for (char c : TrimView(text)) {
        if (static_cast<unsigned char>(c) < 32)
            out.push_back(' ');
        else if (c == '"')
            out += "&quot;";
        // An unescaped "&" or "<" would make the whole export unreadable to any XML reader
        // at the office, every order of the run with it; the entities read back unchanged.
        else if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out.push_back(c);
    }
}

int TextToInt(std::string_view text, int def)
{
    const std::string s = NormaliseNumber(text);
    if (s.empty())
        return def;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (*first == '+')
        ++first;
    if (first == last || (*first == '-' && first + 1 == last) || (*first == '+'))
        return def;
    int value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last)
        return def;
    return value;
}

namespace {

// A decimal number as an integer count of 10^-decimals units, exactly: the digits beyond are
// rounded half to even, or with `truncate` dropped (toward zero). `def` when the text is no
// number or the count overflows 64 bits.
std::int64_t TextToScaled(std::string_view text, int decimals, bool truncate, std::int64_t def)
{
    TNumberParts p;
    if (!SplitNumber(NormaliseNumber(text), p))
        return def;
    std::size_t lead = 0;
    while (lead < p.digits.size() && p.digits[lead] == '0')
        ++lead;
    const std::string digits = p.digits.substr(lead);
    if (digits.empty())
        return 0;
    // Value = digits * 10^scale units.
    const long long scale = p.exponent - p.fractionDigits + decimals;
    const long long length = static_cast<long long>(digits.size());
    unsigned __int128 value = 0;
    if (scale >= 0) {
        if (length + scale > 20)
            return def;
        for (char c : digits)
            value = value * 10 + static_cast<unsigned>(c - '0');
        for (long long i = 0; i < scale; ++i)
            value *= 10;
    } else {
        const long long keep = length + scale;
        int firstDropped = 0;
        bool restNonZero = false;
        if (keep > 20)
            return def;
        if (keep >= 0) {
            for (long long i = 0; i < keep; ++i)
                value
                    = value * 10 + static_cast<unsigned>(digits[static_cast<std::size_t>(i)] - '0');
            if (keep < length) {
                firstDropped = digits[static_cast<std::size_t>(keep)] - '0';
                for (long long i = keep + 1; i < length; ++i)
                    restNonZero = restNonZero || digits[static_cast<std::size_t>(i)] != '0';
            }
        } else {
            restNonZero = true; // all digits lie below the first dropped place, which is 0
        }
        if (!truncate
            && (firstDropped > 5 || (firstDropped == 5 && (restNonZero || (value & 1) != 0))))
            ++value;
    }
    const unsigned __int128 limit
        = static_cast<unsigned __int128>(INT64_MAX) + (p.negative ? 1 : 0);
    if (value > limit)
        return def;
    if (p.negative)
        return static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(value));
    return static_cast<std::int64_t>(value);
}

} // namespace

TAmount TextToAmount(std::string_view text, TAmount def)
{
    return TextToScaled(text, 4, false, def);
}

std::int64_t TextToHundredths(std::string_view text, std::int64_t def)
{
    return TextToScaled(text, 2, true, def);
}

double TextToFloat(std::string_view text, double def)
{
    const std::string s = NormaliseNumber(text);
    TNumberParts p;
    if (!SplitNumber(s, p))
        return def;
    const char* first = s.data();
    if (*first == '+' || *first == '-')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return def;
    return p.negative ? -value : value;
}

bool EncodeDate(int year, int month, int day, TDate& out)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > last)
        return false;
    out = static_cast<TDate>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))
        + kEpochOffset);
    return true;
}

void DecodeDate(TDate date, int& year, int& month, int& day)
{
    const double whole = std::isfinite(date) ? std::floor(date) : 0.0;
    long long days = static_cast<long long>(std::fmax(std::fmin(whole, 3e6), -3e6));
    CivilFromDays(days - kEpochOffset, year, month, day);
}

TDate Now()
{
    const platform::TLocalTime t = platform::LocalNow();
    TDate d = 0;
    EncodeDate(t.year, t.month, t.day, d);
    return d + (t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0) / 86400.0;
}

TDate Today()
{
    const platform::TLocalTime t = platform::LocalNow();
    TDate d = 0;
    EncodeDate(t.year, t.month, t.day, d);
    return d;
}

TDate TextToDate(std::string_view text, TDate def)
{
    const double asNumber = TextToFloat(text, 0);
    if (asNumber > 0)
        return asNumber;
    std::string s = Trim(text);
    for (char& c : s) {
        if (c == '|' || c == '\\' || c == '/' || c == '-' || c == '_' || c == ',')
            c = '.';
    }
    const int day = TextToInt(NextToken(s, '.'), 0);
    const int month = TextToInt(NextToken(s, '.'), 0);
    const int year = TextToInt(NextToken(s, '.'), 0);
    TDate out = 0;
    if (!EncodeDate(year, month, day, out))
        return def;
    return out;
}

std::string NextToken(std::string& text, char separator)
{
    const auto at = text.find(separator);
    if (at == std::string::npos) {
        std::string whole = Trim(text);
        text.clear();
        return whole;
    }
    std::string head = Trim(std::string_view(text).substr(0, at));
    text = Trim(std::string_view(text).substr(at + 1));
    return head;
}

int LeadingInt(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (value <= INT_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::filesystem::path ProgramFolder()
{
    std::filesystem::path& folder = ProgramFolderValue();
    if (folder.empty())
        folder = platform::WorkingProgramFolder();
    std::string s = folder.string();
    if (s.empty() || s.back() != '/')
        s.push_back('/');
    return s;
}

void SetProgramFolder(const std::filesystem::path& folder)
{
    ProgramFolderValue() = folder;
}

std::string SpecialFolder(int folderId)
{
    constexpr int kPersonal = 12; // "My Documents"
    if (folderId != kPersonal)
        return {};
    return platform::DocumentsFolder();
}

void SetBusy(bool on)
{
    if (on == g_busy)
        return;
    g_busy = on;
    UI().SetBusyCursor(on);
}

} // namespace vendrix
