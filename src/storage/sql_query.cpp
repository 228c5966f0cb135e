// SQLite access through sqlite3_open, sqlite3_exec, sqlite3_free and sqlite3_close; besides them
// only what a sound failure path needs: a busy timeout and a time bound (a progress handler) on
// every connection, the test whether a transaction is still open, and on the connection of the
// office's statements an authorizer, length limits and a heap bound; sqlite3_complete to split a
// script into statements as it is read.
#include "storage/sql_query.h"

#include "storage/codepage.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

namespace vendrix {

namespace {

std::filesystem::path g_dbPath;
bool g_isNewDatabase = false;
int g_busyTimeoutMs = kDefaultBusyTimeoutMs;
int g_statementLimitMs = kDefaultStatementLimitMs;
bool g_passingFailureSeen = false; // since ClearFailureRecord
constexpr int kProgressSteps = 10000; // virtual machine steps between looks at the clock

// A failure of the moment, not of the database's content: a lock held too long, a failing or
// full disk, no memory, a file that could not be opened.
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

// Records a failure of any connection, for a check that must know whether to blame the content.
void RecordFailure(int code)
{
    g_passingFailureSeen = g_passingFailureSeen || PassingFailure(code);
}

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

// SQLite's own texts are English; for the failures an agent can do something about, a Russian
// line goes first so the message says what happened in the agent's words.
std::string ExplainFailure(int code, const std::string& sqliteText)
{
    const char* lead = nullptr;
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        lead = "База данных занята другой программой. Повторите позже.";
        break;
    case SQLITE_READONLY:
        lead = "База данных доступна только для чтения.";
        break;
    case SQLITE_FULL:
        lead = "Нет места для записи базы данных.";
        break;
    case SQLITE_IOERR:
        lead = "Ошибка чтения или записи файла базы данных.";
        break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        lead = "Файл базы данных повреждён или не является базой данных.";
        break;
    case SQLITE_NOMEM:
        lead = "Недостаточно памяти для выполнения запроса.";
        break;
    case SQLITE_INTERRUPT:
        lead = "Запрос выполнялся слишком долго и прерван.";
        break;
    default:
        break;
    }
    if (!lead)
        return sqliteText;
    return std::string(lead) + "\r\n" + sqliteText;
}

} // namespace

std::unique_ptr<TSqlQuery> TSqlQuery::Create(const std::filesystem::path& path, bool openNow)
{
    auto query = std::make_unique<TSqlQuery>(path);
    if (openNow && !query->Open()) {
        UI().Message("База данных не найдена.", TIcon::None);
        return nullptr;
    }
    return query;
}

TSqlQuery::TSqlQuery(std::filesystem::path path)
    : m_path(std::move(path))
{
}

TSqlQuery::~TSqlQuery()
{
    Close();
}

bool TSqlQuery::Open()
{
    Close();
    if (m_path.empty()) {
        m_lastError = "Не указан путь к БД";
        return false;
    }
    // A new database is made readable by its owner alone (it holds the FTP password and the
    // clients); SQLite gives its journal the same permissions.
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec)) {
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    const int rc = sqlite3_open(m_path.c_str(), &m_db);
    m_connected = rc == SQLITE_OK;
    if (m_connected) {
        // A brief lock by another process (the office's tool reading the file, a second copy
        // of the program) is waited out instead of failing the agent's work.
        sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
        // Whatever the office left in the file (a view over an endless query in place of a
        // reference table) is read under a bound on time, so no answer hangs a start.
        sqlite3_progress_handler(m_db, kProgressSteps, &TSqlQuery::Progress, this);
    } else {
        RecordFailure(rc);
        // sqlite3_open hands out a handle even on failure; it must be closed all the same.
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    return m_connected;
}

void TSqlQuery::Close()
{
    m_guarded = false;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_connected = false;
}

int TSqlQuery::RowCallback(void* context, int columns, char** values, char** names)
{
    auto* self = static_cast<TSqlQuery*>(context);
    if (columns <= 0)
        return 0;
    self->m_colCount = columns;
    ++self->m_rowCount;
    if (self->m_rows.empty())
        self->AppendRow(names, columns);
    self->AppendRow(values, columns);
    return 0;
}

void TSqlQuery::AppendRow(char** values, int count)
{
    constexpr std::size_t kChunkSize = 1 << 20;
    constexpr std::size_t kLengthBytes = 5; // the most a length can take
    // Room for the longest UTF-8 form and the longest lengths, so that a chunk never grows past
    // what it reserved and a row never spans two chunks.
    std::size_t room = 0;
    for (int c = 0; c < count; ++c)
        room += (values[c] ? std::strlen(values[c]) * 3 : 0) + kLengthBytes;
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < room) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkSize, room));
    }
    std::string& chunk = m_chunks.back();
    m_rows.push_back({static_cast<std::uint32_t>(m_chunks.size() - 1),
        static_cast<std::uint32_t>(chunk.size()), static_cast<std::uint32_t>(count)});
    for (int c = 0; c < count; ++c) {
        // The text goes in after one byte for its length; a longer length moves it along.
        const std::size_t at = chunk.size();
        chunk.push_back('\0');
        AppendCp1251AsUtf8(values[c] ? std::string_view(values[c]) : std::string_view(), chunk);
        std::size_t length = chunk.size() - at - 1;
        char bytes[kLengthBytes];
        std::size_t n = 0;
        do {
            bytes[n] = static_cast<char>(length & 0x7F);
            length >>= 7;
            if (length != 0)
                bytes[n] = static_cast<char>(bytes[n] | 0x80);
            ++n;
        } while (length != 0);
        if (n > 1)
            chunk.insert(at + 1, n - 1, '\0');
        std::memcpy(chunk.data() + at, bytes, n);
    }
}

std::string_view TSqlQuery::RowValue(std::size_t row, int c) const
{
    if (row >= m_rows.size())
        return {};
    const TRowRef& ref = m_rows[row];
    if (c < 0 || static_cast<std::uint32_t>(c) >= ref.count || ref.chunk < m_releasedChunks)
        return {};
    const auto* p = reinterpret_cast<const unsigned char*>(m_chunks[ref.chunk].data()) + ref.offset;
    for (int k = 0;; ++k) {
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            length |= static_cast<std::size_t>(*p & 0x7F) << shift;
            if ((*p++ & 0x80) == 0)
                break;
        }
        if (k == c)
            return {reinterpret_cast<const char*>(p), length};
        p += length;
    }
}

void TSqlQuery::ReleaseRowsBeforeCurrent()
{
    const std::size_t row = static_cast<std::size_t>(m_currentRow) + 1;
    if (m_rowCount == 0 || row >= m_rows.size())
        return;
    // Rows lie in the chunks in order: every chunk before the one where this row begins holds
    // earlier rows only.
    for (; m_releasedChunks < m_rows[row].chunk; ++m_releasedChunks)
        std::string().swap(m_chunks[m_releasedChunks]);
}

bool TSqlQuery::Exec(std::string_view sql)
{
    return Run(Utf8ToCp1251(sql).c_str(), true, false);
}

bool TSqlQuery::ExecNative(const char* cp1251, bool quiet)
{
    return Run(cp1251, false, quiet);
}

bool TSqlQuery::Run(const char* cp1251, bool keepRows, bool quiet)
{
    if (!m_db) {
        if (!quiet)
            UI().Message("База данных не открыта.", TIcon::None);
        return false;
    }
    char* error = nullptr;
    m_statementStartMs = NowMs();
    // SQLite's heap is bounded only while the office's statements run: it is the process's
    // whole, and the program's own work must never fail for what an answer asked.
    const sqlite3_int64 heapBefore = m_guarded ? sqlite3_hard_heap_limit64(kOfficeHeapLimit) : 0;
    const int rc
        = sqlite3_exec(m_db, cp1251, keepRows ? &TSqlQuery::RowCallback : nullptr, this, &error);
    if (m_guarded)
        sqlite3_hard_heap_limit64(heapBefore);
    m_lastCode = rc;
    if (rc != SQLITE_OK)
        RecordFailure(rc);
    if (rc != SQLITE_OK && !quiet) {
        std::string message = error ? Cp1251ToUtf8(error) : std::string();
        if (message.empty())
            message = "Ошибка SQLite, код " + std::to_string(rc) + ".";
        UI().Message(ExplainFailure(rc, message), TIcon::None);
    }
    if (error)
        sqlite3_free(error);
    return rc == SQLITE_OK;
}

bool TSqlQuery::TryExec(std::string_view sql)
{
    return Run(Utf8ToCp1251(sql).c_str(), true, true);
}

void TSqlQuery::GuardOfficeStatements()
{
    if (!m_db)
        return;
    m_guarded = true;
    sqlite3_set_authorizer(m_db, &TSqlQuery::Authorize, this);
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kOfficeLengthLimit);
    sqlite3_limit(m_db, SQLITE_LIMIT_SQL_LENGTH, kOfficeLengthLimit);
}

void TSqlQuery::UnboundStatementTime()
{
    if (m_db)
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

bool TSqlQuery::StatementRunning() const
{
    for (sqlite3_stmt* s = sqlite3_next_stmt(m_db, nullptr); s; s = sqlite3_next_stmt(m_db, s)) {
        if (sqlite3_stmt_busy(s))
            return true;
    }
    return false;
}

int TSqlQuery::Authorize(
    void* context, int action, const char* first, const char* second, const char*, const char*)
{
    auto* self = static_cast<TSqlQuery*>(context);
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

int TSqlQuery::Progress(void* context)
{
    const auto* self = static_cast<const TSqlQuery*>(context);
    return NowMs() - self->m_statementStartMs > g_statementLimitMs ? 1 : 0;
}

bool TSqlQuery::InTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

bool TSqlQuery::LastFailureIsEnvironmental() const
{
    switch (m_lastCode & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return true;
    default:
        return PassingFailure(m_lastCode);
    }
}

void TSqlQuery::ClearResults()
{
    m_chunks.clear();
    m_releasedChunks = 0;
    m_rows.clear();
    m_rowCount = 0;
    m_colCount = 0;
    m_currentRow = 0;
    m_eof = false;
    m_bof = false;
}

void TSqlQuery::GoToRow(int n)
{
    m_currentRow = n;
    if (m_rowCount == 0) {
        m_eof = true;
        m_bof = true;
        m_currentRow = 0;
        return;
    }
    if (n > 0) {
        m_bof = false;
    } else {
        m_bof = true;
        m_currentRow = 0;
    }
    if (n <= m_rowCount - 1) {
        m_eof = false;
    } else {
        m_eof = true;
        m_currentRow = m_rowCount - 1;
    }
}

std::string TSqlQuery::Field(int c) const
{
    return std::string(FieldView(c));
}

std::string_view TSqlQuery::FieldView(int c) const
{
    if (c < 0 || c > m_colCount - 1 || m_currentRow < 0)
        return {};
    return RowValue(static_cast<std::size_t>(m_currentRow) + 1, c);
}

std::string TSqlQuery::LastRowValue(int c) const
{
    if (m_rowCount == 0 || c < 0 || c >= m_colCount)
        return {};
    return std::string(RowValue(m_rows.size() - 1, c));
}

std::string TSqlQuery::ColumnName(int c) const
{
    if (c < 0 || c > m_colCount - 1)
        return {};
    return std::string(RowValue(0, c));
}

int TSqlQuery::ColumnIndex(std::string_view name) const
{
    const std::string wanted = UpperLatin(Trim(name));
    for (int c = 0; c < m_colCount; ++c) {
        if (UpperLatin(Trim(RowValue(0, c))) == wanted)
            return c;
    }
    return -1;
}

std::string TSqlQuery::FieldByName(std::string_view name, std::string_view def) const
{
    const int c = ColumnIndex(name);
    if (c >= 0 && c < m_colCount)
        return Field(c);
    return std::string(def);
}

std::unique_ptr<TSqlQuery> RunQuery(std::string_view sql)
{
    auto query = TSqlQuery::Create(DbPath(), true);
    if (!query)
        return nullptr;
    if (!query->Exec(sql))
        return nullptr;
    return query;
}

bool RunStatement(std::string_view sql)
{
    return RunQuery(sql) != nullptr;
}

void SetBusyTimeout(int milliseconds)
{
    g_busyTimeoutMs = milliseconds;
}

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

bool IsCompleteStatement(const char* cp1251)
{
    return sqlite3_complete(cp1251) != 0;
}

bool InitDatabaseLocation(const std::filesystem::path& programFolder)
{
    namespace fs = std::filesystem;
    const fs::path data = programFolder / "data";
    g_dbPath = data / "base.sdb";
    std::error_code ec;
    if (!fs::is_directory(data, ec)) {
        ec.clear();
        fs::create_directory(data, ec);
        if (ec || !fs::is_directory(data)) {
            UI().Message("Не удалось создать папку данных:\r\n" + data.string(), TIcon::Error);
            g_isNewDatabase = !fs::exists(g_dbPath, ec);
            return false;
        }
    }
    // The data are the agent's alone, whatever the umask: the database holds the FTP password
    // and the clients. A folder or file of another owner is left as it is.
    fs::permissions(data, fs::perms::owner_all, ec);
    g_isNewDatabase = !fs::exists(g_dbPath, ec);
    if (!g_isNewDatabase)
        fs::permissions(g_dbPath, fs::perms::owner_read | fs::perms::owner_write, ec);
    return true;
}

const std::filesystem::path& DbPath()
{
    return g_dbPath;
}

bool IsNewDatabase()
{
    return g_isNewDatabase;
}

} // namespace vendrix
