// Running the office's import script: the script is read and run one line at a time, so memory
// stays the same for ten lines or twenty million, and every outcome is reported as what it is.
// No line, statement or office message is held past kOfficeLengthLimit, whatever the office
// sent: a longer line is refused at its place (or skipped unread when it is a comment or blank),
// and only the first office messages are kept for the agent.
//
// Threads: two while the body runs. The reading thread (TStatementSource::Produce) owns, from
// its start until it is joined, the body's reader, the scratch space of the line being sorted,
// the run's commands (TImportRun: office messages, deletion dates, the REPEAT template) and the
// block it is filling. The calling thread owns the connection, the runner and the block it
// took, and runs every statement, in line order. Shared under the source's one mutex (m_mutex,
// waited on through m_changed): the blocks made and waiting (m_full, their bytes m_fullBytes),
// the blocks given back to be filled again (m_free), the flags m_done and m_stop, and the
// reading thread's exception. A block changes hands only through those two queues, never null,
// and only the thread holding it touches it. The calling thread asks the reader whether it
// failed only once Take has returned null (the reading thread is then done with it), and reads
// the run's commands only after the join; the bulk script of version 3 is read and run on the
// calling thread alone, after the join.
#include "exchange/import_script.h"

#include "documents/document.h"
#include "documents/reference_lists.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/script_reader.h"
#include "exchange/script_template.h"
#include "exchange/statement_runner.h"
#include "storage/backups.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/schema.h"
#include "storage/sql_query.h"
#include "storage/statement_guard.h"
#include "storage/transaction.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cassert>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace vendrix {

namespace {

constexpr const char* kImportBulkName = "ToPDA.sql";
constexpr std::size_t kLengthLimit = kOfficeLengthLimit; // of a line and of a statement

// The headers an answer may begin with, and the version each stands for: 2 has the body only,
// 3 the body and then the bulk script.
struct THeader {
    std::string_view text;
    int version;
};
constexpr THeader kHeaders[] = {
    {"Z_AGENT RESPONSE 0002-0000-0000-0001", 2},
    {"Z_AGENT RESPONSE 0002-0000-0000-0002", 2},
    {"Z_AGENT RESPONSE 0003-0000-0000-0001", 3},
};

// The version of the answer whose first line is `firstLine` (see kHeaders); 0 for a line that
// is no known header.
int HeaderVersion(const std::string& firstLine)
{
    const std::string header = Trim(firstLine);
    for (const THeader& known : kHeaders) {
        if (header == known.text)
            return known.version;
    }
    return 0;
}

// Tells the agent that a line, or the statement made from a line, was too long to run.
void ReportTooLong(const char* what, int line, const std::string& path, const char* consequence)
{
    UI().Message(std::string(what) + std::to_string(line) + " файла '" + path + "' длиннее "
            + std::to_string(kLengthLimit >> 20) + " МБ; " + consequence,
        TIcon::Error);
}

// The statements of the script's body, made from its lines on a thread of their own, so that
// reading the file and filling templates overlap SQLite's work. Only the statements cross over:
// every statement still runs on the calling thread, in the order of the lines. The reading
// thread stays a few blocks and a few megabytes ahead at most, so memory does not grow with the
// script; a block passes its nominal size by one statement at most, which the limit bounds.
class TStatementSource {
public:
    // One block of statements: their texts one after another, each ended by a NUL as
    // sqlite3_exec takes it, with the line each came from. A block that ends with a refused
    // line is the last one: reading stops there.
    struct TBlock {
        struct TEntry {
            std::size_t offset;
            std::size_t length; // without the NUL
            int line;
            bool controlsTransaction;
        };
        std::string text;
        std::vector<TEntry> entries;
        int linesRead = 0; // lines read up to the end of this block
        TLineOutcome refusal = TLineOutcome::Nothing; // why the last line read was refused
    };

    TStatementSource(TScriptReader& reader, TImportRun& run)
        : m_reader(reader)
        , m_run(run)
        , m_thread([this] { Produce(); })
    {
    }

    ~TStatementSource()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    TStatementSource(const TStatementSource&) = delete;
    TStatementSource& operator=(const TStatementSource&) = delete;

    // The next block in line order; null once every line was read (or reading failed). An
    // exception of the reading thread (no memory) comes out here.
    std::unique_ptr<TBlock> Take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full.empty() || m_done; });
        if (m_full.empty()) {
            if (m_error)
                std::rethrow_exception(m_error);
            return nullptr;
        }
        auto block = std::move(m_full.front());
        m_full.pop_front();
        assert(block);
        m_fullBytes -= block->text.size();
        lock.unlock();
        m_changed.notify_all();
        return block;
    }

    // Hands a block that was run back for the reading thread to fill again.
    void Recycle(std::unique_ptr<TBlock> block)
    {
        assert(block);
        block->text.clear();
        // A block that held a statement of megabytes gives its room back rather than keep it
        // for statements of a line.
        if (block->text.capacity() > 2 * kBlockBytes)
            block->text.shrink_to_fit();
        block->entries.clear();
        const std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(block));
    }

    // Whether the file failed to read; known once Take has returned null.
    bool ReadFailed() const { return m_reader.Failed(); }

private:
    static constexpr std::size_t kBlockBytes = 1 << 18;
    static constexpr std::size_t kBlockStatements = 1024;
    static constexpr int kBlockLines = 4096; // so the progress moves over long comments too
    static constexpr std::size_t kBlocksAhead = 4;
    static constexpr std::size_t kBytesAhead = 4 * kBlockBytes; // texts of the blocks waiting

    void Produce()
    {
        try {
            std::string line, upper;
            std::vector<std::string_view> fields;
            std::unique_ptr<TBlock> block;
            int number = 0;
            bool more = true;
            while (more) {
                if (!block && !(block = EmptyBlock()))
                    return; // the run has stopped
                more = m_reader.Next(&line);
                if (more) {
                    ++number;
                    const std::size_t offset = block->text.size();
                    const TLineOutcome outcome = m_reader.Overlong()
                        ? OverlongLineOutcome(line)
                        : AppendStatementOf(TrimView(line), m_run, block->text, upper, fields);
                    if (outcome == TLineOutcome::Statement) {
                        const std::size_t length = block->text.size() - offset;
                        assert(length <= kLengthLimit);
                        block->text.push_back('\0');
                        block->entries.push_back({offset, length, number,
                            ControlsTransaction(
                                std::string_view(block->text).substr(offset, length))});
                    } else if (outcome != TLineOutcome::Nothing) {
                        // The run stops at this line; nothing after it is read.
                        block->refusal = outcome;
                        more = false;
                    }
                }
                block->linesRead = number;
                if (!more || block->text.size() >= kBlockBytes
                    || block->entries.size() >= kBlockStatements || number % kBlockLines == 0) {
                    // The block is the calling thread's from here on; the next line goes into
                    // a block of its own.
                    if (!Hand(std::exchange(block, nullptr)))
                        return;
                }
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_error = std::current_exception();
        }
        Finish();
    }

    // A block to fill, once the run has taken enough of the blocks before; null when it stops.
    std::unique_ptr<TBlock> EmptyBlock()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] {
            return m_stop || (m_full.size() < kBlocksAhead && m_fullBytes < kBytesAhead);
        });
        if (m_stop)
            return nullptr;
        if (m_free.empty())
            return std::make_unique<TBlock>();
        auto block = std::move(m_free.back());
        m_free.pop_back();
        return block;
    }

    // Hands a made block over to the calling thread; false when the run has stopped.
    bool Hand(std::unique_ptr<TBlock> block)
    {
        assert(block);
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                return false;
            m_fullBytes += block->text.size();
            m_full.push_back(std::move(block));
        }
        m_changed.notify_all();
        return true;
    }

    void Finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    }

    TScriptReader& m_reader;
    TImportRun& m_run; // written by the reading thread until it is joined
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<TBlock>> m_full; // made and waiting to run
    std::size_t m_fullBytes = 0; // their texts together
    std::vector<std::unique_ptr<TBlock>> m_free; // run and ready to be filled again
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread; // last: it starts once everything above exists
};

// The exchange folder of a run: the one given, trimmed, or the one the agent picks when none
// is given; ended by a folder separator. Empty when the agent picked none.
std::string ChooseFolder(const std::string& folderText)
{
    std::string folder = Trim(folderText);
    if (folder.empty()) {
        folder = Trim(PickExchangeFolder());
        UI().ProcessEvents();
    }
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder.push_back('/');
    return folder;
}

// Unpacks "ToPDA.sqd" and "ToPDA.sql" from "ToPDA.zip"; false (logged) when there is no script.
bool Unpack(TExchangeSink& sink, const std::string& folder)
{
    std::error_code ec;
    const std::string zipPath = folder + kImportZipName;
    if (!std::filesystem::exists(zipPath, ec)) {
        sink.Log("Файл не найден.");
        return false;
    }
    sink.Log("Распаковка...");
    const int extracted = Extract(zipPath, folder, kImportScriptName);
    Extract(zipPath, folder, kImportBulkName); // the bulk script is optional
    if (extracted < 1) {
        sink.Log("Не удалось распаковать архив.");
        return false;
    }
    return true;
}

void ReportUnreadable(const std::string& path)
{
    UI().Message("Не удалось прочитать файл '" + path + "'.", TIcon::Error);
}

// Runs the body of the script, the second line onward. False when a statement failed (both
// messages shown), a line was refused for its length (shown) or the file could not be read to
// its end. `run` holds the script's commands once this returns.
bool RunBody(TExchangeSink& sink, TScriptReader& reader, TStatementRunner& runner, TImportRun& run,
    const std::string& scriptPath)
{
    std::string statement; // the last one run: a failed final commit is reported with it
    int eventsAt = 0;
    const auto progress = [&](int line) {
        sink.ProgressPosition(line);
        if (line - eventsAt >= 512) {
            eventsAt = line;
            UI().ProcessEvents();
        }
    };
    {
        TStatementSource source(reader, run);
        while (auto block = source.Take()) {
            for (const auto& entry : block->entries) {
                progress(entry.line);
                const char* sql = block->text.data() + entry.offset;
                if (!runner.Run(sql, entry.length, entry.controlsTransaction)) {
                    UI().Message(Cp1251ToUtf8(std::string_view(sql, entry.length)), TIcon::None);
                    return false;
                }
            }
            if (!block->entries.empty()) {
                const auto& last = block->entries.back();
                statement.assign(block->text, last.offset, last.length);
            }
            progress(block->linesRead);
            if (block->refusal != TLineOutcome::Nothing) {
                // Counted in the file, whose first line is the header.
                ReportTooLong(
                    block->refusal == TLineOutcome::LineTooLong ? "Строка " : "Оператор из строки ",
                    block->linesRead + 1, scriptPath, "загрузка остановлена.");
                runner.Stop();
                return false;
            }
            source.Recycle(std::move(block));
        }
        if (source.ReadFailed()) {
            ReportUnreadable(scriptPath);
            return false;
        }
    }
    if (!runner.Commit()) {
        UI().Message(Cp1251ToUtf8(statement), TIcon::None);
        return false;
    }
    return true;
}

// The bulk reference script of a version 3 answer, run statement by statement as it is read, so
// memory does not grow with it. Its SQL failing, or a statement longer than the limit, is
// reported, the rest of it is not run and the import goes on, as the office expects; a failure
// of the device itself (a lock held too long, a full or failing disk) stops the import, since
// the reference data would be silently incomplete.
bool RunReferenceScript(TExchangeSink& sink, TStatementRunner& runner, TSqlQuery& connection,
    const std::string& bulkPath)
{
    std::error_code ec;
    if (!std::filesystem::exists(bulkPath, ec))
        return true;
    sink.Log("Загрузка справочников...");
    TScriptReader reader(bulkPath);
    std::string line;
    std::string pending; // the lines of the statement being read, joined by CR LF as ever
    TStatementEnd end;
    int number = 0; // of the line read last, counted from 1
    int first = 0; // the line the pending statement began on
    bool failed = false; // SQLite failed a statement
    const auto refuse = [&](const char* what, int at) {
        ReportTooLong(what, at, bulkPath, "остаток файла не выполнен.");
        return runner.Commit() || !connection.LastFailureIsEnvironmental();
    };
    while (reader.Next(&line)) {
        if (++number % 512 == 0)
            UI().ProcessEvents();
        if (reader.Overlong()) {
            if (pending.empty() && line.empty())
                continue; // blanks between statements, as SQLite would skip them
            return pending.empty() ? refuse("Строка ", number)
                                   : refuse("Оператор со строки ", first);
        }
        if (pending.empty()) {
            // Blanks before a statement mean nothing to SQLite; the devices trimmed them off
            // the front of the whole script.
            const std::string_view text = TrimView(line);
            if (text.empty())
                continue;
            line.erase(0, static_cast<std::size_t>(text.data() - line.data()));
            first = number;
        } else {
            if (pending.size() + 2 + line.size() > kLengthLimit)
                return refuse("Оператор со строки ", first);
            pending += "\r\n";
            end.Feed("\r\n");
        }
        pending += line;
        end.Feed(line);
        if (end.MayEnd() && IsCompleteStatement(pending.c_str())) {
            if (!runner.Run(pending)) {
                failed = true;
                break;
            }
            pending.clear();
            end.Reset();
        }
    }
    if (failed && connection.LastFailureIsEnvironmental())
        return false;
    if (!failed) {
        if (reader.Failed()) {
            // What ran before stays; a statement the read cut short is not run.
            ReportUnreadable(bulkPath);
        } else {
            // The last statement needs no semicolon, and blanks after it mean nothing.
            const std::string_view last = TrimView(pending);
            if (!last.empty()) {
                pending.resize(
                    static_cast<std::size_t>(last.data() - pending.data()) + last.size());
                if (!runner.Run(pending) && connection.LastFailureIsEnvironmental())
                    return false;
            }
        }
    }
    // A transaction the script opened is closed as at its end, so that the deletions and the
    // record of the load that follow run outside it.
    return runner.Commit() || !connection.LastFailureIsEnvironmental();
}

// Deletes the documents journalled before the cut-off date: all of them ("all"), or only those
// the office has taken over ("old"), and tells the agent how many went. False when the
// database failed (shown).
bool DeleteDocuments(const std::string& dateArgument, bool all)
{
    const TDate date = TextToDate(dateArgument, 0);
    if (date == 0)
        return true;
    const std::string c = "REC_TIME<" + DateText(date);
    const std::string condition = all ? c : "(" + c + ") and (DOC_STATE>1)";
    auto q = RunQuery("select GUID from DOC_HEADS where (" + condition + ")");
    if (!q)
        return false;
    int count = 0;
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        if (!DeleteDocument(Trim(q->Field(0))))
            return false;
        ++count;
    }
    if (count > 0)
        UI().Message(std::string("Поступила команда удалить ") + (all ? "все" : "старые")
                + " документы до " + Cp1251ToUtf8(dateArgument) + ".\r\nУдалено документов "
                + std::to_string(count),
            TIcon::Information);
    return true;
}

// Records the time of the load in LLD_Def, both statements together or neither. The statements
// are the devices' own, double-quoted option name included; the office's tools look for them.
bool RecordLoadTime(TSqlQuery& connection)
{
    TTransaction record(connection);
    return record.Open() && connection.Exec("delete from MY_OPTIONS where OPT_NAME=\"LLD_Def\"")
        && connection.Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (\"LLD_Def\", \""
            + RegionalDateTime() + "\")")
        && record.Commit();
}

// A copy of the database as it was before the office's answer, so the agent can go back;
// returns its name. Without room for it the import goes on, and the log says so.
std::string KeepBackup(TExchangeSink& sink)
{
    std::string name;
    switch (MakeBackup(&name)) {
    case TBackupOutcome::Made:
        break;
    case TBackupOutcome::NoRoom:
        sink.Log("Недостаточно места для резервной копии; загрузка без копии.");
        break;
    case TBackupOutcome::NotWritable:
        sink.Log("Папка данных недоступна для записи; загрузка без копии.");
        break;
    case TBackupOutcome::Failed:
        sink.Log("Резервная копия не сделана; загрузка без копии.");
        break;
    }
    return name;
}

// Checks that the program can start on what the answer left, as the next start would: the
// schema check and both reference lists, under the time bound. An answer after which it could
// not is undone at once from the copy made before it, and the import counts as failed. A check
// that failed for the moment (a lock held too long, a failing disk) blames nothing on the
// answer: the load stands, and the next start checks again.
bool ProgramStartsAfterImport(const std::string& backup)
{
    ClearFailureRecord();
    // As a start: the database is no longer new, whatever it was when the program started.
    if (InitDatabaseLocation(DbPath().parent_path().parent_path()) && CheckSchema()
        && LoadReferenceLists(true) && LastLoadComplete())
        return true;
    if (PassingFailureSeen())
        return true;
    if (!backup.empty() && UndoFromBackup(backup)) {
        LoadReferenceLists(true);
        UI().Message("Загрузка отменена: после неё программа не смогла бы открыть базу. База "
                     "возвращена к копии, сделанной перед загрузкой.",
            TIcon::Error);
    } else {
        UI().Message("После загрузки программа не сможет открыть базу, а вернуть копию, "
                     "сделанную перед загрузкой, не удалось.",
            TIcon::Error);
    }
    return false;
}

// One box for each message kept, numbered among all the script carried, and one more saying
// how many were not shown.
void ShowOfficeMessages(const TOfficeMessages& messages)
{
    for (std::size_t i = 0; i < messages.kept.size(); ++i)
        UI().Message("Сообщение из офиса: [" + std::to_string(i + 1) + " / "
                + std::to_string(messages.count) + "]\r\n" + Trim(messages.kept[i]),
            TIcon::None);
    if (messages.count > messages.kept.size())
        UI().Message("Ещё сообщений из офиса, не показанных: "
                + std::to_string(messages.count - messages.kept.size()) + ".",
            TIcon::None);
}

enum class TAnswerOutcome {
    Refused, // nothing was changed (a wrong header, no database)
    Failed, // stopped on the way; what ran before stays
    Ran,
};

// Runs the script's lines, the bulk script, the deletions and the record of the load, after
// a copy of the database is made (its name in `backup`). Every failure has been shown.
TAnswerOutcome RunAnswer(TExchangeSink& sink, const std::string& folder,
    const std::string& scriptPath, TImportRun& run, std::string& backup)
{
    const std::size_t lineCount = TScriptReader::CountLines(scriptPath);
    TScriptReader reader(scriptPath);
    std::string header;
    const int version = reader.Next(&header) ? HeaderVersion(header) : 0;
    if (version == 0) {
        UI().Message("Файл несовместимого формата.", TIcon::None);
        return TAnswerOutcome::Refused;
    }
    backup = KeepBackup(sink);

    auto connection = TSqlQuery::Create(DbPath(), true);
    if (!connection)
        return TAnswerOutcome::Refused; // "База данных не найдена." has been shown
    connection->GuardOfficeStatements();
    sink.ProgressStart(static_cast<int>(std::min<std::size_t>(lineCount, 1u << 30)) - 1);
    TStatementRunner runner(*connection);
    if (!RunBody(sink, reader, runner, run, scriptPath))
        return TAnswerOutcome::Failed;
    if (version == 3 && !RunReferenceScript(sink, runner, *connection, folder + kImportBulkName))
        return TAnswerOutcome::Failed;

    sink.Log("Обработка...");
    if (!DeleteDocuments(run.deleteAllDate, true) || !DeleteDocuments(run.deleteOldDate, false))
        return TAnswerOutcome::Failed;
    // Recorded before the office's messages are shown, so that a load the agent was told
    // about is always one the device remembers.
    return RecordLoadTime(*connection) ? TAnswerOutcome::Ran : TAnswerOutcome::Failed;
}

} // namespace

bool Import(TExchangeSink& sink, const std::string& folderText, bool useZip)
{
    const std::string folder = ChooseFolder(folderText);
    if (folder.empty())
        return false;
    const std::string scriptPath = folder + kImportScriptName;
    if (useZip && !Unpack(sink, folder))
        return false;
    std::error_code ec;
    if (!std::filesystem::exists(scriptPath, ec)) {
        UI().Message("Файл '" + scriptPath + "' отсутствует!", TIcon::None);
        return false;
    }

    sink.Log("Начата загрузка...");
    TImportRun run;
    std::string backup; // the copy made before the answer ran
    switch (RunAnswer(sink, folder, scriptPath, run, backup)) {
    case TAnswerOutcome::Refused:
        return false;
    case TAnswerOutcome::Failed:
        // What ran before the failure stays, as always; but never a database the program
        // could not start on.
        ProgramStartsAfterImport(backup);
        return false;
    case TAnswerOutcome::Ran:
        break;
    }
    if (!ProgramStartsAfterImport(backup))
        return false;
    ShowOfficeMessages(run.messages);
    sink.Log("Загрузка завершена.");
    return true;
}

} // namespace vendrix
