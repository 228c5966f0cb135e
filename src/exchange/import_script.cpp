// Running the office's import script: the script is read and run one line at a time, so memory
// stays the same for ten lines or twenty million, and every outcome is reported as what it is.
// No line, statement or office message is held past kOfficeLengthLimit, whatever the office
// sent: a longer line is refused at its place (or skipped unread when it is a comment or blank),
// and only the first office messages are kept for the agent.
//
// Threads: a second thread (TStatementSource) owns the reader, the scratch space of the line
// being sorted and the run's commands (TImportRun) until it is joined; it hands made blocks of
// statements over under the source's mutex, and the block it hands is the first thread's until
// given back through Recycle. The first thread owns the connection and the runner and runs every
// statement, in line order; the bulk script of version 3 is read and run on the first thread
// alone, after the second has been joined.
#include "exchange/import_script.h"

#include "documents/document.h"
#include "documents/reference_lists.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "storage/backups.h"
#include "storage/codepage.h"
#include "storage/schema.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace vendrix {

namespace {

constexpr std::size_t kBatchSize = 4096; // statements per transaction of ours
constexpr std::size_t kReplayableBytes = 1 << 22; // texts a batch keeps for a replay, at most
constexpr std::size_t kReadChunk = 1 << 16; // bytes the reader takes from the file at a time
constexpr std::size_t kLengthLimit = kOfficeLengthLimit; // of a line and of a statement
constexpr std::size_t kBigStatement = 1 << 16; // room for a statement this long is made exactly
constexpr std::size_t kShownMessages = 200; // office messages kept to be shown, at most
constexpr std::size_t kShownMessageBytes = kOfficeLengthLimit; // their texts together, at most

const char* const kHeaders[] = {"Z_AGENT RESPONSE 0002-0000-0000-0001",
    "Z_AGENT RESPONSE 0002-0000-0000-0002", "Z_AGENT RESPONSE 0003-0000-0000-0001"};

// The command words of the office's script. A word that takes an argument after a blank is
// recognised by the trimmed prefix one character longer than the word, so "<DELALL" is never
// taken for "<DEL"; REPEAT and EXEC are recognised by their bare prefix.
constexpr std::string_view kShowMessageWord = "<SHOWMSGWND";
constexpr std::string_view kDeleteAllWord = "<DELALL";
constexpr std::string_view kDeleteOldWord = "<DEL";
constexpr std::string_view kRepeatWord = "<REPEAT";
constexpr std::string_view kExecWord = "<EXEC";
constexpr std::string_view kCommentMark = "//";

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// The word stands alone at the start of the line: followed by a blank or ending the line.
bool StartsWithWord(std::string_view line, std::string_view word)
{
    return Trim(line.substr(0, word.size() + 1)) == word;
}

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'
        || static_cast<unsigned char>(c) >= 0x80;
}

// The header version: 2 (body only), 3 (body, then the bulk script), 0 for no known header.
int HeaderVersion(const std::string& firstLine)
{
    const std::string header = Trim(firstLine);
    for (int h = 0; h < 3; ++h) {
        if (header == kHeaders[h])
            return h == 2 ? 3 : 2;
    }
    return 0;
}

// The argument of a command line as a view into it (see CommandArgument).
std::string_view ArgumentView(std::string_view line, std::size_t wordLength)
{
    std::string_view rest = TrimView(line.substr(std::min(wordLength, line.size())));
    if (rest.empty() || rest[0] != '"')
        return rest;
    rest.remove_prefix(1);
    const auto last = rest.rfind('"');
    if (last == std::string_view::npos)
        return {};
    return TrimView(rest.substr(0, last));
}

// The office's messages of one run: the first ones are kept for the agent, the others only
// counted, so that a script of a million messages neither fills memory nor the agent's day
// with message boxes.
struct TOfficeMessages {
    std::vector<std::string> kept; // the first messages, in order, in UTF-8
    std::size_t keptBytes = 0; // their texts together
    std::size_t count = 0; // every message the script carried

    // Takes the message of a trimmed SHOWMSGWND line.
    void Add(std::string_view line)
    {
        // Once one message is not kept, no later one is: the agent sees a gapless start.
        if (kept.size() == count && kept.size() < kShownMessages) {
            std::string text = Cp1251ToUtf8(ArgumentView(line, kShowMessageWord.size()));
            if (keptBytes + text.size() <= kShownMessageBytes) {
                keptBytes += text.size();
                kept.push_back(std::move(text));
            }
        }
        ++count;
    }
};

// What one run of the import collects from the script's lines besides its statements.
struct TImportRun {
    TOfficeMessages messages; // office messages, in order
    std::string deleteAllDate; // argument of the last DELALL line
    std::string deleteOldDate; // argument of the last DEL line
    TTemplate templateText; // the current REPEAT template
};

// Makes room in `out` for a statement of `size` bytes and its NUL: exactly, when it is big, so
// that a statement of megabytes does not leave a block twice its size.
void MakeRoom(std::string& out, std::size_t size)
{
    if (size >= kBigStatement && out.size() + size + 1 > out.capacity())
        out.reserve(out.size() + size + 1);
}

// What one body line stands for.
enum class TLineOutcome {
    Nothing, // blank, a comment or a command: nothing to run
    Statement, // a statement to run was appended
    LineTooLong, // refused: the line is longer than the limit
    StatementTooLong, // refused: its template would make a statement longer than the limit
};

// Sorts one trimmed body line: collects commands into `run` and appends the statement the line
// stands for to `out`. `upper` and `fields` are scratch space kept from line to line.
TLineOutcome AppendStatementOf(std::string_view line, TImportRun& run, std::string& out,
    std::string& upper, std::vector<std::string_view>& fields)
{
    if (line.empty() || StartsWith(line, kCommentMark))
        return TLineOutcome::Nothing;
    if (line[0] == '<'
        && StartsWithWord(
            UpperLatin(line.substr(0, kShowMessageWord.size() + 1)), kShowMessageWord)) {
        run.messages.Add(line);
        return TLineOutcome::Nothing;
    }
    std::string_view data = line;
    if (line[0] == '<') {
        // Every other command line is taken in upper case, arguments included: the office's
        // programs write them so, and the devices have always run them so.
        upper.assign(line);
        for (char& c : upper)
            c = UpperLatin(c);
        data = upper;
        if (StartsWithWord(data, kDeleteAllWord)) {
            run.deleteAllDate = ArgumentView(data, kDeleteAllWord.size());
            return TLineOutcome::Nothing;
        }
        if (StartsWithWord(data, kDeleteOldWord)) {
            run.deleteOldDate = ArgumentView(data, kDeleteOldWord.size());
            return TLineOutcome::Nothing;
        }
        if (data == "</*>" || data == "</REPEAT>")
            return TLineOutcome::Nothing; // the template stays in force
        if (StartsWith(data, kRepeatWord)) {
            run.templateText = TTemplate(std::string(ArgumentView(data, kRepeatWord.size())));
            return TLineOutcome::Nothing;
        }
        if (StartsWith(data, kExecWord)) {
            // No longer than its line, which the reader has bounded.
            const std::string_view sql = ArgumentView(data, kExecWord.size());
            MakeRoom(out, sql.size());
            out += sql;
            return TLineOutcome::Statement;
        }
    }
    if (run.templateText.Empty())
        return TLineOutcome::Nothing;
    SplitFields(data, fields);
    // Measured before it is made: a template that repeats a long field would otherwise make
    // a text of gigabytes that SQLite refuses anyway.
    const std::size_t size = run.templateText.Size(fields);
    if (size > kLengthLimit)
        return TLineOutcome::StatementTooLong;
    MakeRoom(out, size);
    run.templateText.Fill(fields, out);
    return TLineOutcome::Statement;
}

// What an overlong body line stands for, from its head: a comment or a blank line is skipped
// like any other; everything else is refused.
TLineOutcome OverlongLineOutcome(std::string_view head)
{
    return head.empty() || StartsWith(head, kCommentMark) ? TLineOutcome::Nothing
                                                          : TLineOutcome::LineTooLong;
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
        m_fullBytes -= block->text.size();
        lock.unlock();
        m_changed.notify_all();
        return block;
    }

    // Hands a block that was run back for the reading thread to fill again.
    void Recycle(std::unique_ptr<TBlock> block)
    {
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
                    if (!Hand(std::move(block)))
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

    bool Hand(std::unique_ptr<TBlock> block)
    {
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

// Steps 1 and 2 of a run: the folder, asked for when none is given, with its separator.
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

// Follows the reference script's text as it is joined, just far enough to tell when it may end
// a statement: at a semicolon outside literals, quoted names and comments, followed by nothing
// but blanks and comments. Only then is SQLite asked (which also knows a trigger's body), so a
// statement of many lines is read once, not once a line. A pair such as "--" never spans two
// texts fed: the line end between two lines is fed as a text of its own.
class TStatementEnd {
public:
    void Feed(std::string_view text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            switch (m_state) {
            case TState::Code:
                if (c == ';') {
                    m_semicolon = true;
                } else if (c == '-' && next == '-') {
                    m_state = TState::LineComment;
                    ++i;
                } else if (c == '/' && next == '*') {
                    m_state = TState::BlockComment;
                    ++i;
                } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
                    m_state = TState::Quoted;
                    m_close = c == '[' ? ']' : c;
                    m_semicolon = false;
                } else if (static_cast<unsigned char>(c) > ' ') {
                    m_semicolon = false;
                }
                break;
            case TState::Quoted:
                if (c == m_close)
                    m_state = TState::Code; // a doubled quote simply opens the text again
                break;
            case TState::BlockComment:
                if (c == '*' && next == '/') {
                    m_state = TState::Code;
                    ++i;
                }
                break;
            case TState::LineComment:
                if (c == '\n')
                    m_state = TState::Code;
                break;
            }
        }
    }

    // False only when the text fed cannot end with a complete statement.
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
    if (!connection.Exec("begin;"))
        return false;
    if (connection.Exec("delete from MY_OPTIONS where OPT_NAME=\"LLD_Def\"")
        && connection.Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (\"LLD_Def\", \""
            + RegionalDateTime() + "\")")
        && connection.Exec("commit;"))
        return true;
    if (connection.InTransaction())
        connection.TryExec("rollback;");
    return false;
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

} // namespace

TScriptReader::TScriptReader(const std::string& path)
    : m_file(std::fopen(path.c_str(), "rb"))
{
    if (!m_file) {
        m_ended = true;
        m_failed = true;
    } else {
        m_buffer.resize(kReadChunk);
    }
}

TScriptReader::~TScriptReader()
{
    if (m_file)
        std::fclose(m_file);
}

bool TScriptReader::Fill()
{
    if (m_ended)
        return false;
    m_at = 0;
    m_end = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    if (m_end == 0) {
        m_failed = std::ferror(m_file) != 0;
        m_ended = true;
        return false;
    }
    if (const void* nul = std::memchr(m_buffer.data(), 0, m_end)) {
        m_end = static_cast<std::size_t>(static_cast<const char*>(nul) - m_buffer.data());
        m_ended = true; // the text ends at the first NUL
        m_file = (std::fclose(m_file), nullptr);
    }
    return m_end > 0;
}

bool TScriptReader::Next(std::string* line)
{
    if (line)
        line->clear();
    m_overlong = false;
    bool any = false;
    while (true) {
        if (m_at == m_end && !Fill())
            break;
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buffer[m_at] == '\n' && ++m_at == m_end)
                continue;
        }
        const char* begin = m_buffer.data() + m_at;
        const void* cr = std::memchr(begin, '\r', m_end - m_at);
        const std::size_t n
            = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - begin) : m_end - m_at;
        if (line)
            Keep(begin, n, *line);
        any = true;
        m_at += n;
        if (cr) {
            ++m_at;
            m_skipLf = true;
            return true;
        }
    }
    // The last line needs no CR; a text that ends right after a line end has no further line.
    return any && !m_failed;
}

// Adds the next `n` bytes of the line being read to `line`, as long as the line stays within
// the limit; past it, only the head of the line is kept and the rest is passed over unheld, so
// that a comment or a blank line of any length costs no memory.
void TScriptReader::Keep(const char* bytes, std::size_t n, std::string& line)
{
    if (!m_overlong) {
        if (line.size() + n <= kLengthLimit) {
            line.append(bytes, n);
            return;
        }
        m_overlong = true;
        std::size_t blanks = 0;
        while (blanks < line.size() && static_cast<unsigned char>(line[blanks]) <= ' ')
            ++blanks;
        line.erase(0, blanks);
        line.resize(std::min(line.size(), kOverlongHead));
    }
    if (line.size() == kOverlongHead)
        return;
    std::string_view rest(bytes, n);
    if (line.empty()) {
        // Still nothing but blanks: the head begins at the first character above a blank.
        while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= ' ')
            rest.remove_prefix(1);
    }
    line.append(rest.substr(0, kOverlongHead - line.size()));
}

std::size_t TScriptReader::CountLines(const std::string& path)
{
    TScriptReader reader(path);
    std::size_t n = 0;
    while (reader.Next(nullptr))
        ++n;
    return n;
}

std::string CommandArgument(const std::string& line, std::size_t wordLength)
{
    return std::string(ArgumentView(line, wordLength));
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string_view> views;
    SplitFields(line, views);
    return {views.begin(), views.end()};
}

void SplitFields(std::string_view line, std::vector<std::string_view>& fields)
{
    fields.clear();
    std::string_view rest = line;
    while (true) {
        const auto tab = rest.find('\t');
        if (tab == std::string_view::npos) {
            fields.push_back(TrimView(rest));
            return;
        }
        fields.push_back(TrimView(rest.substr(0, tab)));
        rest = TrimView(rest.substr(tab + 1));
    }
}

TTemplate::TTemplate(std::string text)
    : m_text(std::move(text))
{
    const std::string_view t = m_text;
    const auto at = [&](std::size_t i) { return i < t.size() ? t[i] : '\0'; };
    const auto isField = [](char c) { return c >= '1' && c <= '9'; };
    const auto add = [&](std::size_t begin, std::size_t length, int field, bool upper) {
        if (field == 0 && !m_pieces.empty() && m_pieces.back().field == 0
            && m_pieces.back().begin + m_pieces.back().length == begin) {
            m_pieces.back().length += static_cast<std::uint32_t>(length);
            return;
        }
        m_pieces.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(length),
            static_cast<std::uint8_t>(field), upper});
    };
    std::size_t p = 0;
    while (p < t.size()) {
        if (t[p] != '%') {
            const std::size_t next = std::min(t.find('%', p), t.size());
            add(p, next - p, 0, false);
            p = next;
        } else if (t.substr(p, 8) == "%UPPER(%" && isField(at(p + 8)) && at(p + 9) == ')') {
            add(p, 10, at(p + 8) - '0', true);
            p += 10;
        } else if (isField(at(p + 1))) {
            add(p, 2, at(p + 1) - '0', false);
            p += 2;
        } else {
            add(p, 1, 0, false);
            ++p;
        }
    }
}

std::size_t TTemplate::Size(const std::vector<std::string_view>& fields) const
{
    std::size_t size = 0;
    for (const TPiece& piece : m_pieces)
        size += piece.field == 0 || piece.field > fields.size() ? piece.length
                                                                : fields[piece.field - 1u].size();
    return size;
}

void TTemplate::Fill(const std::vector<std::string_view>& fields, std::string& out) const
{
    for (const TPiece& piece : m_pieces) {
        if (piece.field == 0 || piece.field > fields.size()) {
            out.append(m_text, piece.begin, piece.length);
        } else if (piece.upper) {
            for (const char c : fields[piece.field - 1u])
                out.push_back(UpperLatin(c));
        } else {
            out += fields[piece.field - 1u];
        }
    }
}

std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields)
{
    const std::vector<std::string_view> views(fields.begin(), fields.end());
    std::string out;
    TTemplate(templateText).Fill(views, out);
    return out;
}

bool ControlsTransaction(std::string_view sql)
{
    static constexpr std::string_view kWords[] = {"BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT",
        "RELEASE", "VACUUM", "ATTACH", "DETACH", "PRAGMA"};
    const auto isWord = [](std::string_view text, std::string_view word) {
        if (text.size() != word.size())
            return false;
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (UpperLatin(text[k]) != word[k])
                return false;
        }
        return true;
    };
    // Without a semicolon anywhere the text is one statement, and its first word decides: the
    // rest of a long INSERT need not be read.
    const bool several = sql.find(';') != std::string_view::npos;
    bool atStart = true;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (static_cast<unsigned char>(c) <= ' ') {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const auto end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
        } else if (c == ';') {
            atStart = true;
            ++i;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const auto end = sql.find(close, i + 1);
            i = end == std::string_view::npos ? n : end + 1;
            atStart = false;
        } else if (IsWordChar(c)) {
            std::size_t j = i;
            while (j < n && IsWordChar(sql[j]))
                ++j;
            if (atStart) {
                for (const std::string_view w : kWords) {
                    if (isWord(sql.substr(i, j - i), w))
                        return true;
                }
                if (!several)
                    return false;
            }
            atStart = false;
            i = j;
        } else {
            atStart = false;
            ++i;
        }
    }
    return false;
}

bool TStatementRunner::Run(const char* sql, std::size_t size, bool controlsTransaction)
{
    if (controlsTransaction) {
        // As the office wrote it, outside any batch of ours.
        return CommitBatch() && m_q.ExecNative(sql);
    }
    if (!m_own && !m_q.InTransaction()) {
        if (!m_q.Exec("begin;"))
            return false;
        m_own = true;
        m_count = 0;
        m_batch.clear();
    }
    // Inside a transaction the script opened itself, the statement simply runs in it.
    const bool ok = m_q.ExecNative(sql);
    if (m_own && !m_q.InTransaction()) {
        // SQLite dropped the transaction: the batch is gone back to the last commit, and this
        // statement has failed.
        m_own = false;
        if (ok)
            UI().Message("Транзакция загрузки прервана; изменения после последней фиксации не "
                         "сохранены.",
                TIcon::Error);
        else if (!m_q.LastFailureIsEnvironmental())
            Replay();
        m_batch.clear();
        return false;
    }
    if (!ok) {
        // The statement undid only itself; what ran before it is kept.
        CommitBatch();
        return false;
    }
    if (m_own) {
        // A batch is committed early rather than grow past what a replay may keep.
        if (++m_count >= kBatchSize || m_batch.size() + size + 1 > kReplayableBytes)
            return CommitBatch();
        m_batch.append(sql, size + 1); // with its NUL
    }
    return true;
}

void TStatementRunner::Replay()
{
    // Only a conflict resolved by ROLLBACK gets here (never an I/O error or a lock): the
    // statements before it ran on exactly the data they meet again, so each is run once more
    // to keep the effect it would have had on its own. They are stored only if every one works
    // again; otherwise the database stays as it was at the last commit.
    if (!m_q.TryExec("begin;"))
        return;
    for (std::size_t at = 0; at < m_batch.size(); at += std::strlen(m_batch.c_str() + at) + 1) {
        if (!m_q.ExecNative(m_batch.c_str() + at, true) || !m_q.InTransaction()) {
            if (m_q.InTransaction())
                m_q.TryExec("rollback;");
            return;
        }
    }
    if (!m_q.TryExec("commit;") && m_q.InTransaction())
        m_q.TryExec("rollback;");
}

bool TStatementRunner::CommitBatch()
{
    if (!m_own)
        return true;
    m_own = false;
    m_batch.clear();
    if (m_q.Exec("commit;"))
        return true;
    if (m_q.InTransaction())
        m_q.TryExec("rollback;");
    return false;
}

bool TStatementRunner::Commit()
{
    if (!CommitBatch())
        return false;
    // A transaction the script opened and never closed would be rolled back with the
    // connection, losing its statements without a word: it is committed like the script's end.
    if (m_q.InTransaction() && !m_q.Exec("commit;")) {
        if (m_q.InTransaction())
            m_q.TryExec("rollback;");
        return false;
    }
    return true;
}

namespace {

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
