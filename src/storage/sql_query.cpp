// SQLite access through sqlite3_open, sqlite3_exec, sqlite3_free and sqlite3_close; besides them
// only what a sound failure path needs: a busy timeout on every connection, the test whether a
// transaction is still open, and sqlite3_complete to split a script into statements as it is
// read. The bounds on statements (statement_guard) and the kept rows (row_store) live apart.
#include "storage/sql_query.h"

#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace vendrix {

namespace {

int g_busyTimeoutMs = kDefaultBusyTimeoutMs;

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
        m_guard.Attach(m_db);
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
    m_guard.Detach();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_connected = false;
}

int TRowView::ColumnIndex(std::string_view name) const
{
    const std::string wanted = UpperLatin(Trim(name));
    for (int c = 0; c < m_count; ++c) {
        if (m_names[c] && UpperLatin(Trim(Cp1251ToUtf8(m_names[c]))) == wanted)
            return c;
    }
    return -1;
}

int TSqlQuery::RowCallback(void* context, int columns, char** values, char** names)
{
    auto* self = static_cast<TSqlQuery*>(context);
    if (columns <= 0)
        return 0;
    // An exception must not cross SQLite's frames: it is kept and thrown once SQLite stops.
    try {
        if (self->m_rows.Empty())
            self->m_rows.Append(names, columns);
        self->m_rows.Append(values, columns);
    } catch (...) {
        self->m_thrown = std::current_exception();
        return 1;
    }
    self->m_colCount = columns;
    ++self->m_rowCount;
    return 0;
}

namespace {

// What ForEachRow hands to its callback.
struct TViewSink {
    TSqlQuery* query;
    const std::function<void(const TRowView&)>* row;
};

} // namespace

int TSqlQuery::ViewCallback(void* context, int columns, char** values, char** names)
{
    const auto* sink = static_cast<const TViewSink*>(context);
    if (columns <= 0)
        return 0;
    TRowView view;
    view.m_values = values;
    view.m_names = names;
    view.m_count = columns;
    try {
        (*sink->row)(view);
    } catch (...) {
        sink->query->m_thrown = std::current_exception();
        return 1;
    }
    return 0;
}

void TSqlQuery::ReleaseRowsBeforeCurrent()
{
    if (m_rowCount > 0)
        m_rows.ReleaseBefore(static_cast<std::size_t>(m_currentRow) + 1);
}

bool TSqlQuery::Exec(std::string_view sql)
{
    return Run(Utf8ToCp1251(sql).c_str(), &TSqlQuery::RowCallback, this, false);
}

bool TSqlQuery::ForEachRow(std::string_view sql, const std::function<void(const TRowView&)>& row)
{
    TViewSink sink {this, &row};
    return Run(Utf8ToCp1251(sql).c_str(), &TSqlQuery::ViewCallback, &sink, false);
}

bool TSqlQuery::ExecNative(const char* cp1251, bool quiet)
{
    return Run(cp1251, nullptr, nullptr, quiet);
}

bool TSqlQuery::Run(const char* cp1251, TCallback callback, void* context, bool quiet)
{
    if (!m_db) {
        if (!quiet)
            UI().Message("База данных не открыта.", TIcon::None);
        return false;
    }
    char* error = nullptr;
    int rc;
    {
        const TStatementGuard::TRun run(m_guard);
        rc = sqlite3_exec(m_db, cp1251, callback, context, &error);
    }
    m_lastCode = rc;
    if (m_thrown) {
        // The callback's own failure, not SQLite's: nothing to tell, its exception goes on.
        sqlite3_free(error);
        std::rethrow_exception(std::exchange(m_thrown, nullptr));
    }
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
    return Run(Utf8ToCp1251(sql).c_str(), &TSqlQuery::RowCallback, this, true);
}

void TSqlQuery::GuardOfficeStatements()
{
    if (m_db)
        m_guard.GuardOfficeStatements();
}

void TSqlQuery::UnboundStatementTime()
{
    if (m_db)
        m_guard.UnboundTime();
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
    m_rows.Clear();
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
    return m_rows.Value(static_cast<std::size_t>(m_currentRow) + 1, c);
}

std::string TSqlQuery::LastRowValue(int c) const
{
    if (m_rowCount == 0 || c < 0 || c >= m_colCount)
        return {};
    return std::string(m_rows.Value(m_rows.Size() - 1, c));
}

std::string TSqlQuery::ColumnName(int c) const
{
    if (c < 0 || c > m_colCount - 1)
        return {};
    return std::string(m_rows.Value(0, c));
}

int TSqlQuery::ColumnIndex(std::string_view name) const
{
    const std::string wanted = UpperLatin(Trim(name));
    for (int c = 0; c < m_colCount; ++c) {
        if (UpperLatin(Trim(m_rows.Value(0, c))) == wanted)
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

bool IsCompleteStatement(const char* cp1251)
{
    return sqlite3_complete(cp1251) != 0;
}

} // namespace vendrix
