// Running the office's statements on the agent's database: in transactions of many statements,
// each statement keeping the effect it would have had alone, and the reading of the office's SQL
// text this needs (whether a statement handles transactions itself, where a statement of the
// bulk script may end).
#pragma once

#include "storage/transaction.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vendrix {

class TSqlQuery;

/// True when `sql` opens, ends or depends on the state of a transaction (BEGIN, COMMIT, END,
/// ROLLBACK, SAVEPOINT, RELEASE, VACUUM, ATTACH, DETACH, PRAGMA at the start of a statement).
bool ControlsTransaction(std::string_view sql);

/// Follows the reference script's text as it is joined, just far enough to tell when it may end
/// a statement: at a semicolon outside literals, quoted names and comments, followed by nothing
/// but blanks and comments. Only then is SQLite asked (which also knows a trigger's body), so a
/// statement of many lines is read once, not once a line. A pair such as "--" never spans two
/// texts fed: the line end between two lines is fed as a text of its own.
class TStatementEnd {
public:
    void Feed(std::string_view text);

    /// False only when the text fed cannot end with a complete statement.
    bool MayEnd() const
    {
        return m_semicolon && (m_state == TState::Code || m_state == TState::LineComment);
    }

    void Reset() { *this = TStatementEnd(); }

private:
    enum class TState { Code, Quoted, BlockComment, LineComment };
    TState m_state = TState::Code;
    char m_close = 0; // what ends the quoted text
    bool m_semicolon = false; // the last token outside comments is a semicolon
};

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
    std::optional<TTransaction> m_own; // the batch's transaction, held only while it is open
    std::size_t m_count = 0; // statements in it
    std::string m_batch; // their texts, each ended by a NUL, for a replay after a conflict
};

} // namespace vendrix
