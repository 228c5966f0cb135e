// The office's answer to an export: the script "ToPDA.sqd" whose lines refresh the reference
// tables, move documents to the office's states, order old documents deleted and carry
// messages for the agent; with header version 3 also the bulk script "ToPDA.sql". The script is
// the office's own and trusted: whatever SQL it carries is executed.
#pragma once

#include <string>
#include <vector>

namespace vendrix {

class TExchangeSink;
class TSqlQuery;

constexpr const char* kImportScriptName = "ToPDA.sqd";
constexpr const char* kImportBulkName = "ToPDA.sql";
constexpr const char* kImportZipName = "ToPDA.zip";

/// Runs the script in `folder` (asks for a folder when it is empty); with `useZip` extracts it
/// from "ToPDA.zip" first. True when the script ran to its end; every failure has been shown or
/// logged, and statements that ran before a failing line stay applied.
bool Import(TExchangeSink& sink, const std::string& folder, bool useZip);

/// The lines of a script file: windows-1251 text up to the first NUL, lines ended by CR (an LF
/// right after a CR belongs to it; a lone LF ends nothing). An unreadable file has no lines.
std::vector<std::string> ReadScriptLines(const std::string& path);

/// The argument of a command line after its command word of `wordLength` characters: the rest,
/// trimmed; when it begins with a double quote, what lies between that quote and the last one.
std::string CommandArgument(const std::string& line, std::size_t wordLength);

/// The fields of a data line, split at TABs (runs of TABs count as one).
std::vector<std::string> SplitFields(const std::string& line);

/// The template with each field's placeholders ("%UPPER(%n)" upper-cased, "%n" as is) filled
/// in one pass; inserted text is never scanned again.
std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields);

/// True when `sql` opens, ends or depends on the state of a transaction (BEGIN, COMMIT, END,
/// ROLLBACK, SAVEPOINT, RELEASE, VACUUM, ATTACH, DETACH, PRAGMA at the start of a statement).
bool ControlsTransaction(const std::string& sql);

/// Runs the office's statements on one connection in transactions of many statements, which is
/// what makes a reference script of a hundred thousand lines take seconds instead of minutes,
/// while every statement keeps the effect it would have had on its own: a failing statement
/// undoes only itself, statements before it stay, and a statement that handles transactions
/// itself runs outside any batch.
class TStatementRunner {
public:
    explicit TStatementRunner(TSqlQuery& connection)
        : m_q(connection)
    {
    }
    ~TStatementRunner() { Flush(); }
    TStatementRunner(const TStatementRunner&) = delete;
    TStatementRunner& operator=(const TStatementRunner&) = delete;

    /// Runs one text of statements; on failure SQLite's message has been shown and false is
    /// returned, with everything before it committed.
    bool Run(const std::string& sql);
    /// Commits the statements run so far.
    void Flush();

private:
    void Recover();

    TSqlQuery& m_q;
    bool m_own = false; // a transaction of ours is open
    std::vector<std::string> m_batch; // what it holds, to replay should SQLite drop it
};

} // namespace vendrix
