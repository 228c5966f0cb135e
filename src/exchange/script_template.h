// The lines of the office's script body and what they say: the command words (office
// messages, the dates before which documents are deleted, the REPEAT template, EXEC), the data
// lines split into TAB-separated fields, and the template each data line fills to make the
// statement it stands for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

/// The argument of a command line after its command word of `wordLength` characters: the rest,
/// trimmed; when it begins with a double quote, what lies between that quote and the last one.
std::string CommandArgument(const std::string& line, std::size_t wordLength);

/// The fields of a data line, split at TABs (runs of TABs count as one).
std::vector<std::string> SplitFields(const std::string& line);

/// A REPEAT template taken apart once into its literal text and its placeholders, so that the
/// statement of each data line is put together without searching the template again.
///
/// The placeholders are replaced as if field after field, the upper-case form of a field before
/// its plain form, and inserted text is never scanned again. Only "%1" to "%9" can ever take a
/// field: "%12" is field 1 followed by "2", since the plain placeholder of field 1 matches
/// first, and "%UPPER(%12)" loses to the "%1" inside it the same way. A placeholder for which
/// the line has no field stays as it is.
class TTemplate {
public:
    TTemplate() = default;
    explicit TTemplate(std::string text);

    bool Empty() const { return m_text.empty(); }
    /// The length of the statement for `fields`, found without making it.
    std::size_t Size(const std::vector<std::string_view>& fields) const;
    /// Appends the statement for `fields` to `out`.
    void Fill(const std::vector<std::string_view>& fields, std::string& out) const;

private:
    static constexpr int kLastField = 9; // a placeholder names its field with one digit

    struct TPiece {
        std::uint32_t begin; // the piece's text in the template
        std::uint32_t length;
        std::uint8_t field; // 1 to kLastField, or 0 for literal text
        bool upper; // the field goes in upper case
    };

    static const std::string_view* FieldOf(
        const TPiece& piece, const std::vector<std::string_view>& fields);

    std::string m_text;
    std::vector<TPiece> m_pieces;
};

/// The template filled with `fields` (see TTemplate).
std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields);

/// The office's messages of one run: the first ones are kept for the agent, the others only
/// counted, so that a script of a million messages neither fills memory nor the agent's day
/// with message boxes.
struct TOfficeMessages {
    std::vector<std::string> kept; // the first messages, in order, in UTF-8
    std::size_t keptBytes = 0; // their texts together
    std::size_t count = 0; // every message the script carried

    /// Takes the message of a trimmed SHOWMSGWND line.
    void Add(std::string_view line);
};

/// What one run of the import collects from the script's lines besides its statements.
struct TImportRun {
    TOfficeMessages messages; // office messages, in order
    std::string deleteAllDate; // argument of the last DELALL line
    std::string deleteOldDate; // argument of the last DEL line
    TTemplate templateText; // the current REPEAT template
};

/// What one body line stands for.
enum class TLineOutcome {
    Nothing, // blank, a comment or a command: nothing to run
    Statement, // a statement to run was appended
    LineTooLong, // refused: the line is longer than the limit
    StatementTooLong, // refused: its template would make a statement longer than the limit
};

/// Sorts one trimmed body line: collects commands into `run` and appends the statement the line
/// stands for to `out`; of a line within kOfficeLengthLimit, that statement is within it too.
/// `upper` and `fields` are scratch space kept from line to line.
TLineOutcome AppendStatementOf(std::string_view line, TImportRun& run, std::string& out,
    std::string& upper, std::vector<std::string_view>& fields);

/// What an overlong body line stands for, from its head: a comment or a blank line is skipped
/// like any other; everything else is refused.
TLineOutcome OverlongLineOutcome(std::string_view head);

} // namespace vendrix
