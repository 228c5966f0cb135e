// The text forms every part of the program shares, because the database takes and gives only
// text: dates, integers, money amounts and quantities, GUIDs, quoting for SQL and for the
// export file, token splitting, folders and the wait cursor.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vendrix {

/// A date: days since 30 December 1899, the fraction being the time of day.
using TDate = double;
/// Money amounts, prices and quantities: signed count of ten-thousandths (1.5 is 15000).
using TAmount = std::int64_t;
constexpr TAmount kAmountScale = 10000;

constexpr const char* kNullGuid = "00000000-0000-0000-0000-000000000000";

/// Removes leading and trailing characters whose code is below 33.
std::string Trim(std::string_view text);
/// The same, as a view into `text`.
std::string_view TrimView(std::string_view text);
/// Upper-cases the Latin letters a-z only (as SQLite's Upper does); other bytes stay.
std::string UpperLatin(std::string_view text);
/// The same for one byte.
constexpr char UpperLatin(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/// The date as "yyyy-MM-dd" between two double quotes, ready to drop into SQL.
std::string DateText(TDate date);
/// Decimal digits with "-" before a negative number.
std::string IntText(std::int64_t n);
/// The amount with exactly `decimals` (0-4) decimals after ".", rounded half away from zero;
/// the empty text for 0 when `blankIfZero` is set.
std::string AmountText(TAmount amount, int decimals, bool blankIfZero);
/// A new GUID text (36 characters, upper case, no braces); the all-zero GUID on failure.
std::string NewGuidText();
/// The text trimmed, with every apostrophe doubled, for use between apostrophes in SQL.
std::string SqlQuote(std::string_view text);
/// The text exactly as given (not trimmed) as an SQL string literal: between apostrophes, with
/// every apostrophe doubled. For keys such as GUIDs, which must match what is stored.
std::string SqlString(std::string_view text);
/// The text trimmed, control characters turned into blanks, and double quotes, "&", "<" and ">"
/// turned into entities, for attribute values of the export file. Apostrophes stay.
std::string XmlText(std::string_view text);
/// The same appended to `out`. Only ASCII bytes are replaced, so the text may be UTF-8 or the
/// database's windows-1251 alike.
void AppendXmlText(std::string_view text, std::string& out);

/// Decimal 32-bit integer with optional sign; `def` when the text is not one.
int TextToInt(std::string_view text, int def);
/// Fixed-point amount (sign, digits, one ".", exponent; "," accepted once); `def` otherwise.
/// Digits beyond the fourth decimal are rounded half to even; never passes through a double.
TAmount TextToAmount(std::string_view text, TAmount def);
/// The same syntax read exactly in hundredths, digits beyond the second decimal dropped (toward
/// zero): "12.34999" is 1234, as unit prices are kept. `def` when the text is no number.
std::int64_t TextToHundredths(std::string_view text, std::int64_t def);
/// Floating number of the same syntax; `def` otherwise.
double TextToFloat(std::string_view text, double def);
/// A day number above 0, or day.month.year with "|", "\", "/", "-", "_" or "," also taken as
/// separators; `def` when neither gives a valid date.
TDate TextToDate(std::string_view text, TDate def);
/// Cuts the text before the first `separator` (trimmed) and leaves the rest (trimmed) in `text`;
/// without a separator returns the whole text trimmed and empties `text`.
std::string NextToken(std::string& text, char separator);

/// Reads an optional sign and the decimal digits up to the first other character; 0 when none.
int LeadingInt(std::string_view text);

/// The date value of a calendar date; false when the date does not exist.
bool EncodeDate(int year, int month, int day, TDate& out);
/// The calendar date of a date value.
void DecodeDate(TDate date, int& year, int& month, int& day);
/// Now, as a date value with the time of day.
TDate Now();
/// Today, as a whole-day date value.
TDate Today();

/// The program folder, always ending in a separator. Start-up may set it (tests use a
/// temporary folder); by default it is the folder of the running program file, or the user's
/// data folder when the program's own folder cannot hold data (an installed program).
std::filesystem::path ProgramFolder();
void SetProgramFolder(const std::filesystem::path& folder);
/// The path of a special folder (12: the user's documents); empty when there is none.
std::string SpecialFolder(int folderId);

/// Shows (true) or hides (false) the wait cursor; calls do not nest: the first "off" ends it.
void SetBusy(bool on);

/// Shows the wait cursor for a scope and hides it however the scope ends.
class TBusyScope {
public:
    TBusyScope() { SetBusy(true); }
    ~TBusyScope() { SetBusy(false); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;
};

} // namespace vendrix
