// The only door to SQLite. A query object owns one connection to the database file, runs SQL
// text and keeps every row that came back as text, with a cursor over them, or hands each row
// over as it comes, for a reader of a large list. The database holds windows-1251 bytes, as on
// the devices; this layer converts on the way in and out, so the rest of the program sees UTF-8
// only, except in the rows handed over: their reader converts them straight into its own copy.
#pragma once

#include "storage/row_store.h"
#include "storage/statement_guard.h"

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace vendrix {

/// One row as SQLite hands it over, for a caller that reads each row once as it comes: the
/// values in the database's windows-1251 bytes. Valid only during the call that receives it.
class TRowView {
public:
    int ColCount() const { return m_count; }
    /// Value of column `c`; empty for a null value or no such column.
    std::string_view Value(int c) const
    {
        return c >= 0 && c < m_count && m_values[c] ? std::string_view(m_values[c])
                                                    : std::string_view();
    }
    /// Index of the column named `name` (trimmed, Latin letters compared without case), as
    /// TSqlQuery::ColumnIndex; -1 if none. Every row has the same columns: ask on the first.
    int ColumnIndex(std::string_view name) const;

private:
    friend class TSqlQuery;
    char** m_values = nullptr;
    char** m_names = nullptr;
    int m_count = 0;
};

class TSqlQuery {
public:
    /// Makes a query object on the file at `path`; with `openNow` opens it, and when that
    /// fails shows "База данных не найдена." and returns nullptr.
    static std::unique_ptr<TSqlQuery> Create(const std::filesystem::path& path, bool openNow);

    explicit TSqlQuery(std::filesystem::path path);
    ~TSqlQuery();
    TSqlQuery(const TSqlQuery&) = delete;
    TSqlQuery& operator=(const TSqlQuery&) = delete;

    /// Opens the connection (creating a missing file). False with an empty path (last error
    /// "Не указан путь к БД") or when SQLite refuses the file.
    bool Open();
    /// Closes the connection when open.
    void Close();
    /// Runs one or more statements; rows are appended to the results. On failure shows SQLite's
    /// error text and returns false; rows received before the failure stay.
    bool Exec(std::string_view sql);

    /// Runs statements already in the database's own windows-1251 bytes (the office's script
    /// as read), keeping no rows; otherwise as Exec: SQLite's text shown on failure. With
    /// `quiet` it tells nobody, as TryExec.
    bool ExecNative(const std::string& cp1251, bool quiet = false)
    {
        return ExecNative(cp1251.c_str(), quiet);
    }
    /// The same for a text ended by a NUL, as the import hands its statements over.
    bool ExecNative(const char* cp1251, bool quiet = false);

    /// Runs statements like Exec but keeps no rows: hands each row to `row` as SQLite makes it,
    /// so a million rows are never held at once. Fails as Exec, rows handed over before the
    /// failure staying handed; an exception thrown by `row` ends the run and comes out here.
    bool ForEachRow(std::string_view sql, const std::function<void(const TRowView&)>& row);

    /// Runs statements like Exec but tells nobody: false on failure (LastResultCode says why).
    /// For the program's own bookkeeping statements (transactions), never for the office's SQL.
    bool TryExec(std::string_view sql);
    /// Forgets every row received so far, so one connection can serve a run of queries.
    void ClearResults();

    /// Moves the cursor to row `n`, clamped to the rows there are, setting Eof and Bof.
    void GoToRow(int n);
    void First() { GoToRow(0); }
    void Next() { GoToRow(m_currentRow + 1); }
    void Prev() { GoToRow(m_currentRow - 1); }

    /// Value of column `c` in the current row; empty when there is no such value.
    std::string Field(int c) const;
    /// The same without a copy; valid until the next Exec or ClearResults.
    std::string_view FieldView(int c) const;
    /// Name of column `c`; empty when there is no such column.
    std::string ColumnName(int c) const;
    /// Index of the column named `name` (trimmed, Latin letters compared without case); -1 if none.
    int ColumnIndex(std::string_view name) const;
    /// Value of the named column in the current row, or `def` when no column has that name.
    std::string FieldByName(std::string_view name, std::string_view def = {}) const;

    /// Frees the text of the rows before the current one, column names included, for a caller
    /// that reads each row once, in order, into its own copy: a million rows are then never
    /// held twice. Those rows read as empty afterwards.
    void ReleaseRowsBeforeCurrent();

    /// Value of column `c` of the row received last, whatever the cursor and the column names.
    std::string LastRowValue(int c) const;

    /// Guards the open connection for the office's statements: refuses what no office script
    /// needs and what reaches outside the database (ATTACH, DETACH and VACUUM; PRAGMAs beyond a
    /// few that only read the schema; triggers; virtual tables; loadable extensions), keeps the
    /// agent's own tables (the documents and MY_OPTIONS) as the program made them (no DROP, no
    /// ALTER, no temporary table or view in their place), caps a value and a statement at
    /// kOfficeLengthLimit bytes and SQLite's heap at kOfficeHeapLimit while a statement runs. A
    /// refused statement fails with SQLite's "not authorized", a too long value with "string or
    /// blob too big", a statement past the heap bound with "out of memory".
    void GuardOfficeStatements();

    /// Lifts the statement time limit on this connection, for the program's own long work
    /// that reads no view of the office's (copying the whole database).
    void UnboundStatementTime();

    /// True while a transaction is open on the connection (SQLite may end one by itself after
    /// an I/O error or a conflict resolved by ROLLBACK; callers that batch statements check).
    bool InTransaction() const;
    /// SQLite's result code of the last Exec or TryExec (0 when it worked).
    int LastResultCode() const { return m_lastCode; }
    /// True when the last failure came from the surroundings (a lock held too long, a full or
    /// failing disk, a damaged file, no memory) rather than from the SQL text itself.
    bool LastFailureIsEnvironmental() const;

    int RowCount() const { return m_rowCount; }
    int ColCount() const { return m_colCount; }
    int CurrentRow() const { return m_currentRow; }
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool Connected() const { return m_connected; }
    const std::string& LastError() const { return m_lastError; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    using TCallback = int (*)(void* context, int columns, char** values, char** names);
    // Runs windows-1251 SQL text, handing each row to `callback` with `context` (none: the rows
    // are dropped); unless `quiet` a failure shows SQLite's text. An exception a callback left
    // in m_thrown is thrown again once SQLite has stopped.
    bool Run(const char* cp1251, TCallback callback, void* context, bool quiet);
    static int RowCallback(void* context, int columns, char** values, char** names);
    static int ViewCallback(void* context, int columns, char** values, char** names);

    sqlite3* m_db = nullptr;
    bool m_eof = false;
    bool m_bof = false;
    std::string m_lastError;
    TRowStore m_rows; // every row received, the column names first
    int m_rowCount = 0;
    int m_colCount = 0;
    int m_currentRow = 0;
    std::filesystem::path m_path;
    bool m_connected = false;
    int m_lastCode = 0;
    std::exception_ptr m_thrown; // what a row callback threw, until SQLite has stopped
    TStatementGuard m_guard;
};

/// How long every connection waits on a database another process has locked before a
/// statement fails as busy: 5 s. Tests shorten it.
constexpr int kDefaultBusyTimeoutMs = 5000;
void SetBusyTimeout(int milliseconds);

/// True when `cp1251` ends with a complete SQL statement (a semicolon outside any literal,
/// comment or trigger body), so a script can be run statement by statement as it is read.
bool IsCompleteStatement(const char* cp1251);

/// Runs `sql` on a new connection to DbPath(); returns the object holding its rows (cursor before
/// the first row), or nullptr when opening or running failed (already reported to the user).
std::unique_ptr<TSqlQuery> RunQuery(std::string_view sql);
/// Runs `sql` on a new connection; true when it worked.
bool RunStatement(std::string_view sql);

} // namespace vendrix
