// The office's answer to an export: the script "ToPDA.sqd" whose lines refresh the reference
// tables, move documents to the office's states, order old documents deleted and carry
// messages for the agent; with header version 3 also the bulk script "ToPDA.sql". The script is
// the office's own and trusted: whatever SQL it carries is executed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

class TExchangeSink;
class TSqlQuery;

constexpr const char* kImportScriptName = "ToPDA.sqd";
constexpr const char* kImportBulkName = "ToPDA.sql";
constexpr const char* kImportZipName = "ToPDA.zip";

/// Runs the script in `folder` (asks for a folder when it is empty); with `useZip` extracts it
/// from "ToPDA.zip" first. True when the script ran to its end and the load was recorded; every
/// failure has been shown or logged, and statements that ran before a failing line stay applied.
bool Import(TExchangeSink& sink, const std::string& folder, bool useZip);

/// Reads a script file one line at a time in bounded memory: windows-1251 text up to the first
/// NUL, lines ended by CR (an LF right after a CR belongs to it; a lone LF ends nothing). A file
/// that cannot be opened or read (a folder of that name, an I/O error) has no further lines and
/// tells so through Failed. A line longer than kOfficeLengthLimit is never held whole: only its
/// head comes out, and Overlong tells so.
class TScriptReader {
public:
    explicit TScriptReader(const std::string& path);
    ~TScriptReader();
    TScriptReader(const TScriptReader&) = delete;
    TScriptReader& operator=(const TScriptReader&) = delete;

    /// The next line as the file holds it, in windows-1251 like the database (with `line` null,
    /// skipped); false at the end of the text or when reading failed. Of an overlong line,
    /// `line` gets only its head: at most kOverlongHead characters from its first one above a
    /// blank (empty when the whole line is blank), enough to tell a comment from a statement.
    bool Next(std::string* line);
    /// True when the line Next gave last is longer than kOfficeLengthLimit.
    bool Overlong() const { return m_overlong; }
    /// True when the file could not be opened or a read failed.
    bool Failed() const { return m_failed; }

    static constexpr std::size_t kOverlongHead = 16; // characters kept of an overlong line

    /// The number of lines of the file at `path`, by the same rules.
    static std::size_t CountLines(const std::string& path);

private:
    bool Fill();
    void Keep(const char* bytes, std::size_t n, std::string& line);

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_at = 0; // next unread byte of the buffer
    std::size_t m_end = 0; // bytes held in the buffer
    bool m_ended = false; // end of file or NUL reached
    bool m_skipLf = false; // the last line ended with CR: an LF that follows belongs to it
    bool m_overlong = false; // the line being read has passed the limit: only its head is kept
    bool m_failed = false;
};

/// The argument of a command line after its command word of `wordLength` characters: the rest,
/// trimmed; when it begins with a double quote, what lies between that quote and the last one.
std::string CommandArgument(const std::string& line, std::size_t wordLength);

/// The fields of a data line, split at TABs (runs of TABs count as one).
std::vector<std::string> SplitFields(const std::string& line);
/// The same into `fields` (emptied first), as views into `line`.
void SplitFields(std::string_view line, std::vector<std::string_view>& fields);

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
    struct TPiece {
        std::uint32_t begin; // the piece's text in the template
        std::uint32_t length;
        std::uint8_t field; // 1 to 9, or 0 for literal text
        bool upper; // the field goes in upper case
    };

    std::string m_text;
    std::vector<TPiece> m_pieces;
};

/// The template filled with `fields` (see TTemplate).
std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields);

/// True when `sql` opens, ends or depends on the state of a transaction (BEGIN, COMMIT, END,
/// ROLLBACK, SAVEPOINT, RELEASE, VACUUM, ATTACH, DETACH, PRAGMA at the start of a statement).
bool ControlsTransaction(std::string_view sql);

/// Runs the office's statements on one connection in transactions of many statements, which is
/// what makes a reference script of a hundred thousand lines take seconds instead of minutes,
/// while every statement keeps the effect it would have had on its own: a failing statement
/// undoes only itself and the statements before it are committed; a statement that handles
/// transactions itself runs outside any batch, and a transaction the script opened stays the
/// script's. A commit that fails, or a transaction SQLite dropped after an I/O error or a lock,
/// is a failure of the statement that was running, and what was committed before stays; only a
/// conflict resolved by ROLLBACK has the statements before it in the batch run again.
class TStatementRunner {
public:
    explicit TStatementRunner(TSqlQuery& connection)
        : m_q(connection)
    {
    }
    TStatementRunner(const TStatementRunner&) = delete;
    TStatementRunner& operator=(const TStatementRunner&) = delete;

    /// Runs one text of statements, in windows-1251 as the script holds them. False on failure,
    /// with SQLite's message shown and every statement before this one either committed or (when
    /// SQLite dropped the transaction) undone back to the last commit.
    bool Run(const std::string& sql)
    {
        // SQLite reads up to the first NUL; so does everything here.
        const std::size_t size = std::strlen(sql.c_str());
        return Run(sql.c_str(), size, ControlsTransaction(std::string_view(sql).substr(0, size)));
    }
    /// The same for `size` bytes ended by a NUL, whose ControlsTransaction is already known.
    bool Run(const char* sql, std::size_t size, bool controlsTransaction);
    /// Commits the batch and a transaction the script left open. False when that failed
    /// (shown); the batch is then undone.
    bool Commit();
    /// Ends the run at a statement the import refused before it reached SQLite, as a failing
    /// statement ends it: the batch is committed, and a transaction the script opened stays
    /// open, as after a failure. False when the commit failed (shown).
    bool Stop() { return CommitBatch(); }

private:
    bool CommitBatch();
    void Replay();

    TSqlQuery& m_q;
    bool m_own = false; // a transaction of ours is open
    std::size_t m_count = 0; // statements in it
    std::string m_batch; // their texts, each ended by a NUL, for a replay after a conflict
};

} // namespace vendrix
