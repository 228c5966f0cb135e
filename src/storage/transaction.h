// One write transaction on the agent's database: begun when made, rolled back when it ends in
// any way but Commit. A saved order, a batch of the office's statements or the time of a load is
// then either stored whole or not at all, and no early return can leave a transaction open on a
// connection that lives on.
#pragma once

namespace vendrix {

class TSqlQuery;

class TTransaction {
public:
    /// How the transaction takes the database: `Deferred` locks at the first write ("begin;"),
    /// `Immediate` takes the write lock at once ("begin immediate;"), so a save meets a busy
    /// database before it has changed anything.
    enum class TLock { Deferred, Immediate };
    /// Whether a failure to begin or commit shows SQLite's message (`Shown`) or only returns
    /// false (`Quiet`, for bookkeeping whose failure the caller reports in its own words).
    enum class TReport { Shown, Quiet };

    explicit TTransaction(
        TSqlQuery& q, TLock lock = TLock::Deferred, TReport report = TReport::Shown);
    ~TTransaction() { Rollback(); }
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    /// True while this transaction is ours to commit: it began and has not ended yet.
    bool Open() const { return m_open; }
    /// True when SQLite ended it on its own (a conflict resolved by ROLLBACK, a full disk): what
    /// ran in it since the beginning is gone. It is then no longer open.
    bool Dropped();
    /// Commits; when that fails, rolls back whatever the failed commit left open. False when the
    /// transaction was not open or the commit failed.
    bool Commit();
    /// Rolls back, quietly, if it is still open.
    void Rollback();

private:
    TSqlQuery& m_q;
    TReport m_report;
    bool m_open;
};

} // namespace vendrix
