// The bounds on what a statement may do and cost: every top-level statement on any connection
// runs under a time limit, so nothing the office left in the database can hang the program; the
// office's own statements besides are refused what reaches outside the database or remakes the
// agent's own tables, and run under caps on length and on SQLite's heap. Also the record of
// failures of the moment (locks, disk, memory), kept for a check that must not blame the content.
#pragma once

#include <cstdint>

struct sqlite3;

namespace vendrix {

/// How long one top-level statement may run on any connection before it is interrupted
/// ("interrupted"): 60 s. Whatever the office wrote (a view in place of a reference table, a
/// statement of its script) is read under this bound, so no answer can hang the program. Tests
/// shorten it.
constexpr int kDefaultStatementLimitMs = 60000;
void SetStatementTimeLimit(int milliseconds);

/// The longest value, and the longest statement, an office statement may make: 16 MiB.
constexpr int kOfficeLengthLimit = 16 << 20;
/// SQLite's heap while an office statement runs, at most: 128 MiB.
constexpr long long kOfficeHeapLimit = 128LL << 20;

/// Forgets the failures seen so far on any connection, before a check that wants to know why it
/// failed.
void ClearFailureRecord();
/// True when a failure on any connection since ClearFailureRecord came from the moment rather
/// than from the database's content: a lock held too long, a failing or full disk, no memory, a
/// file that could not be opened. After such a failure a check says nothing of what an office
/// answer left (a probe refused by a lock reads as a missing table).
bool PassingFailureSeen();

/// True when SQLite's result `code` is a failure of the moment, not of the database's content: a
/// lock held too long, a failing or full disk, no memory, a file that could not be opened.
bool PassingFailure(int code);
/// Records a failure of any connection, for a check that must know whether to blame the content.
void RecordFailure(int code);

/// The bounds on one connection. SQLite calls back into it by its address, so it stays where it
/// was made.
class TStatementGuard {
public:
    TStatementGuard() = default;
    TStatementGuard(const TStatementGuard&) = delete;
    TStatementGuard& operator=(const TStatementGuard&) = delete;

    /// Puts the time limit on `db`, a connection just opened.
    void Attach(sqlite3* db);
    /// Forgets the connection, which is about to close, and lifts the office's bounds.
    void Detach();
    /// Adds the office's bounds to the connection: the authorizer, the length caps and, while
    /// statements run, the heap cap. Nothing without a connection.
    void GuardOfficeStatements();
    /// Lifts the time limit from the connection.
    void UnboundTime();

    /// One run of statements: starts their clock and, on a connection of the office's
    /// statements, caps SQLite's heap until it ends.
    class TRun {
    public:
        explicit TRun(TStatementGuard& guard);
        ~TRun();
        TRun(const TRun&) = delete;
        TRun& operator=(const TRun&) = delete;

    private:
        bool m_heapBounded;
        std::int64_t m_heapBefore = 0; // the heap cap to restore
    };

private:
    static int Authorize(void* context, int action, const char* first, const char* second,
        const char* database, const char* trigger);
    static int Progress(void* context);
    bool StatementRunning() const;

    sqlite3* m_db = nullptr;
    std::int64_t m_statementStartMs = 0; // when the top-level statement running now began
    bool m_guarded = false; // runs the office's statements: the heap bound applies
};

} // namespace vendrix
