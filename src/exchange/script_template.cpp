// The lines of the office's script body: which command a line carries, the fields of a data
// line and the REPEAT template they fill. A statement is measured before it is made, so no
// template makes one past kOfficeLengthLimit, and only the first office messages are kept.
#include "exchange/script_template.h"

#include "storage/codepage.h"
#include "storage/statement_guard.h"
#include "storage/value_formats.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace vendrix {

namespace {

constexpr std::size_t kLengthLimit = kOfficeLengthLimit; // of a statement
constexpr std::size_t kBigStatement = 1 << 16; // room for a statement this long is made exactly
constexpr std::size_t kShownMessages = 200; // office messages kept to be shown, at most
constexpr std::size_t kShownMessageBytes = kOfficeLengthLimit; // their texts together, at most

// The command words of the office's script. A word that takes an argument after a blank is
// recognised by the trimmed prefix one character longer than the word, so "<DELALL" is never
// taken for "<DEL"; REPEAT and EXEC are recognised by their bare prefix.
constexpr std::string_view kShowMessageWord = "<SHOWMSGWND";
constexpr std::string_view kDeleteAllWord = "<DELALL";
constexpr std::string_view kDeleteOldWord = "<DEL";
constexpr std::string_view kRepeatWord = "<REPEAT";
constexpr std::string_view kExecWord = "<EXEC";
constexpr std::string_view kCommentMark = "//";

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The word stands alone at the start of the line: followed by a blank or ending the line.
bool StartsWithWord(std::string_view line, std::string_view word)
{
    return Trim(line.substr(0, word.size() + 1)) == word;
}

// The argument of a command line as a view into it (see CommandArgument).
std::string_view ArgumentView(std::string_view line, std::size_t wordLength)
{
    std::string_view rest = TrimView(line.substr(std::min(wordLength, line.size())));
    if (rest.empty() || rest[0] != '"')
        return rest;
    rest.remove_prefix(1);
    const auto last = rest.rfind('"');
    if (last == std::string_view::npos)
        return {};
    return TrimView(rest.substr(0, last));
}

// The fields of a data line into `fields` (emptied first), as views into `line`: split at
// TABs, runs of TABs counting as one.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields)
{
    fields.clear();
    std::string_view rest = line;
    while (true) {
        const auto tab = rest.find('\t');
        if (tab == std::string_view::npos) {
            fields.push_back(TrimView(rest));
            return;
        }
        fields.push_back(TrimView(rest.substr(0, tab)));
        rest = TrimView(rest.substr(tab + 1));
    }
}

// Makes room in `out` for a statement of `size` bytes and its NUL: exactly, when it is big, so
// that a statement of megabytes does not leave a block twice its size.
void MakeRoom(std::string& out, std::size_t size)
{
    if (size >= kBigStatement && out.size() + size + 1 > out.capacity())
        out.reserve(out.size() + size + 1);
}

} // namespace

void TOfficeMessages::Add(std::string_view line)
{
    // Once one message is not kept, no later one is: the agent sees a gapless start.
    if (kept.size() == count && kept.size() < kShownMessages) {
        std::string text = Cp1251ToUtf8(ArgumentView(line, kShowMessageWord.size()));
        if (keptBytes + text.size() <= kShownMessageBytes) {
            keptBytes += text.size();
            kept.push_back(std::move(text));
        }
    }
    ++count;
}

TLineOutcome AppendStatementOf(std::string_view line, TImportRun& run, std::string& out,
    std::string& upper, std::vector<std::string_view>& fields)
{
    if (line.empty() || StartsWith(line, kCommentMark))
        return TLineOutcome::Nothing;
    if (line[0] == '<'
        && StartsWithWord(
            UpperLatin(line.substr(0, kShowMessageWord.size() + 1)), kShowMessageWord)) {
        run.messages.Add(line);
        return TLineOutcome::Nothing;
    }
    std::string_view data = line;
    if (line[0] == '<') {
        // Every other command line is taken in upper case, arguments included: the office's
        // programs write them so, and the devices have always run them so.
        upper.assign(line);
        for (char& c : upper)
            c = UpperLatin(c);
        data = upper;
        if (StartsWithWord(data, kDeleteAllWord)) {
            run.deleteAllDate = ArgumentView(data, kDeleteAllWord.size());
            return TLineOutcome::Nothing;
        }
        if (StartsWithWord(data, kDeleteOldWord)) {
            run.deleteOldDate = ArgumentView(data, kDeleteOldWord.size());
            return TLineOutcome::Nothing;
        }
        if (data == "</*>" || data == "</REPEAT>")
            return TLineOutcome::Nothing; // the template stays in force
        if (StartsWith(data, kRepeatWord)) {
            run.templateText = TTemplate(std::string(ArgumentView(data, kRepeatWord.size())));
            return TLineOutcome::Nothing;
        }
        if (StartsWith(data, kExecWord)) {
            // No longer than its line, which the reader has bounded.
            const std::string_view sql = ArgumentView(data, kExecWord.size());
            MakeRoom(out, sql.size());
            out += sql;
            return TLineOutcome::Statement;
        }
    }
    if (run.templateText.Empty())
        return TLineOutcome::Nothing;
    SplitFields(data, fields);
    // Measured before it is made: a template that repeats a long field would otherwise make
    // a text of gigabytes that SQLite refuses anyway.
    const std::size_t size = run.templateText.Size(fields);
    if (size > kLengthLimit)
        return TLineOutcome::StatementTooLong;
    MakeRoom(out, size);
    run.templateText.Fill(fields, out);
    return TLineOutcome::Statement;
}

TLineOutcome OverlongLineOutcome(std::string_view head)
{
    return head.empty() || StartsWith(head, kCommentMark) ? TLineOutcome::Nothing
                                                          : TLineOutcome::LineTooLong;
}

std::string CommandArgument(const std::string& line, std::size_t wordLength)
{
    return std::string(ArgumentView(line, wordLength));
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string_view> views;
    SplitFields(line, views);
    return {views.begin(), views.end()};
}

// A piece holds its place in the template in 32 bits: a template is one line of the script.
static_assert(kOfficeLengthLimit <= std::numeric_limits<std::uint32_t>::max());

TTemplate::TTemplate(std::string text)
    : m_text(std::move(text))
{
    assert(m_text.size() <= std::numeric_limits<std::uint32_t>::max());
    const std::string_view t = m_text;
    const auto at = [&](std::size_t i) { return i < t.size() ? t[i] : '\0'; };
    const auto isField = [](char c) { return c >= '1' && c <= '0' + kLastField; };
    const auto add = [&](std::size_t begin, std::size_t length, int field, bool upper) {
        assert(field >= 0 && field <= kLastField);
        if (field == 0 && !m_pieces.empty() && m_pieces.back().field == 0
            && m_pieces.back().begin + m_pieces.back().length == begin) {
            m_pieces.back().length += static_cast<std::uint32_t>(length);
            return;
        }
        m_pieces.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(length),
            static_cast<std::uint8_t>(field), upper});
    };
    std::size_t p = 0;
    while (p < t.size()) {
        if (t[p] != '%') {
            const std::size_t next = std::min(t.find('%', p), t.size());
            add(p, next - p, 0, false);
            p = next;
        } else if (t.substr(p, 8) == "%UPPER(%" && isField(at(p + 8)) && at(p + 9) == ')') {
            add(p, 10, at(p + 8) - '0', true);
            p += 10;
        } else if (isField(at(p + 1))) {
            add(p, 2, at(p + 1) - '0', false);
            p += 2;
        } else {
            add(p, 1, 0, false);
            ++p;
        }
    }
}

// The field of the data line that `piece` takes: placeholder %N takes field N-1. Null for
// literal text, and for a placeholder the line has no field for, which stays as written.
const std::string_view* TTemplate::FieldOf(
    const TPiece& piece, const std::vector<std::string_view>& fields)
{
    assert(piece.field <= kLastField);
    if (piece.field == 0 || piece.field > fields.size())
        return nullptr;
    const std::size_t index = piece.field - 1u;
    assert(index < fields.size());
    return &fields[index];
}

std::size_t TTemplate::Size(const std::vector<std::string_view>& fields) const
{
    std::size_t size = 0;
    for (const TPiece& piece : m_pieces) {
        const std::string_view* field = FieldOf(piece, fields);
        size += field ? field->size() : piece.length;
    }
    return size;
}

void TTemplate::Fill(const std::vector<std::string_view>& fields, std::string& out) const
{
    for (const TPiece& piece : m_pieces) {
        const std::string_view* field = FieldOf(piece, fields);
        if (!field) {
            out.append(m_text, piece.begin, piece.length);
        } else if (piece.upper) {
            for (const char c : *field)
                out.push_back(UpperLatin(c));
        } else {
            out += *field;
        }
    }
}

std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields)
{
    const std::vector<std::string_view> views(fields.begin(), fields.end());
    std::string out;
    TTemplate(templateText).Fill(views, out);
    return out;
}

} // namespace vendrix
