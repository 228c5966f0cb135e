// The statement bounds through SQLite's own hooks: a progress handler that looks at the clock,
// an authorizer that refuses what no office script needs, sqlite3_limit for lengths and
// sqlite3_hard_heap_limit64 around the office's statements.
#include "storage/statement_guard.h"

#include "storage/value_formats.h"

#include <sqlite3.h>

#include <chrono>
#include <string>

namespace vendrix {

namespace {

int g_statementLimitMs = kDefaultStatementLimitMs;
bool g_passingFailureSeen = false; // since ClearFailureRecord
constexpr int kProgressSteps = 10000; // virtual machine steps between looks at the clock

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// PRAGMAs an office script may run: they only read the schema or check the file. Every other
// one changes how the file is kept or read (writable_schema, journal_mode, synchronous,
// locking_mode, schema_version, trusted_schema, ...), which no reference data needs.
bool HarmlessPragma(const char* name)
{
    static const char* const kAllowed[] = {"table_info", "table_xinfo", "index_list", "index_info",
        "index_xinfo", "foreign_key_list", "integrity_check", "quick_check"};
    const std::string lower = name ? UpperLatin(name) : std::string();
    for (const char* allowed : kAllowed) {
        if (lower == UpperLatin(allowed))
            return true;
    }
    return false;
}

// The agent's own tables: the journal's documents with their lines, and the settings. The office
// changes their rows, never what they are.
bool AgentsOwnTable(const char* name)
{
    static const char* const kOwn[]
        = {"DOC_HEADS", "DOC_ORDERS", "DOC_SKUS", "DOC_COMPETS", "MY_OPTIONS"};
    const std::string upper = name ? UpperLatin(Trim(name)) : std::string();
    for (const char* own : kOwn) {
        if (upper == own)
            return true;
    }
    return false;
}

} // namespace

void SetStatementTimeLimit(int milliseconds)
{
    g_statementLimitMs = milliseconds;
}

void ClearFailureRecord()
{
    g_passingFailureSeen = false;
}

bool PassingFailureSeen()
{
    return g_passingFailureSeen;
}

bool PassingFailure(int code)
{
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
        return true;
    default:
        return false;
    }
}

void RecordFailure(int code)
{
    g_passingFailureSeen = g_passingFailureSeen || PassingFailure(code);
}

void TStatementGuard::Attach(sqlite3* db)
{
    m_db = db;
    // Whatever the office left in the file (a view over an endless query in place of a
    // reference table) is read under a bound on time, so no answer hangs a start.
    sqlite3_progress_handler(m_db, kProgressSteps, &TStatementGuard::Progress, this);
}

void TStatementGuard::Detach()
{
    m_guarded = false;
    m_db = nullptr;
}

void TStatementGuard::GuardOfficeStatements()
{
    if (!m_db)
        return;
    m_guarded = true;
    sqlite3_set_authorizer(m_db, &TStatementGuard::Authorize, this);
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kOfficeLengthLimit);
    sqlite3_limit(m_db, SQLITE_LIMIT_SQL_LENGTH, kOfficeLengthLimit);
}

void TStatementGuard::UnboundTime()
{
    if (m_db)
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

TStatementGuard::TRun::TRun(TStatementGuard& guard)
    : m_heapBounded(guard.m_guarded)
{
    guard.m_statementStartMs = NowMs();
    // SQLite's heap is bounded only while the office's statements run: it is the process's
    // whole, and the program's own work must never fail for what an answer asked.
    if (m_heapBounded)
        m_heapBefore = sqlite3_hard_heap_limit64(kOfficeHeapLimit);
}

TStatementGuard::TRun::~TRun()
{
    if (m_heapBounded)
        sqlite3_hard_heap_limit64(m_heapBefore);
}

bool TStatementGuard::StatementRunning() const
{
    for (sqlite3_stmt* s = sqlite3_next_stmt(m_db, nullptr); s; s = sqlite3_next_stmt(m_db, s)) {
        if (sqlite3_stmt_busy(s))
            return true;
    }
    return false;
}

int TStatementGuard::Authorize(
    void* context, int action, const char* first, const char* second, const char*, const char*)
{
    auto* self = static_cast<TStatementGuard*>(context);
    // A top-level statement is authorized while it is prepared, right before it runs: its clock
    // starts here, so a long script of quick statements is never cut, only a slow statement.
    // What a running statement prepares inside itself (a table-valued pragma on every row)
    // belongs to that statement's time.
    if (!self->StatementRunning())
        self->m_statementStartMs = NowMs();
    switch (action) {
    case SQLITE_ATTACH: // also how VACUUM (and VACUUM INTO a file anywhere) begins
    case SQLITE_DETACH:
    case SQLITE_CREATE_TRIGGER: // a trigger would rewrite the agent's later orders unseen
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_VTABLE:
        return SQLITE_DENY;
    case SQLITE_PRAGMA:
        return HarmlessPragma(first) ? SQLITE_OK : SQLITE_DENY;
    // The journal and the settings stay the tables the program made: a view in their place
    // would stop every start, and another definition (a constraint that replaces rows) would
    // spoil the agent's later orders unseen.
    case SQLITE_DROP_TABLE:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_VIEW:
        return AgentsOwnTable(first) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_ALTER_TABLE: // the database, then the table
        return AgentsOwnTable(second) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_FUNCTION: {
        const std::string name = second ? UpperLatin(second) : std::string();
        return name == "LOAD_EXTENSION" || name == "FTS3_TOKENIZER" ? SQLITE_DENY : SQLITE_OK;
    }
    default:
        return SQLITE_OK;
    }
}

int TStatementGuard::Progress(void* context)
{
    const auto* self = static_cast<const TStatementGuard*>(context);
    return NowMs() - self->m_statementStartMs > g_statementLimitMs ? 1 : 0;
}

} // namespace vendrix
