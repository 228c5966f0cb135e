// Running the office's import script: the script is read and run one line at a time, so memory
// stays the same for ten lines or twenty million, and every outcome is reported as what it is.
// A second thread reads the lines and fills the templates while the first runs the statements.
#include "exchange/import_script.h"

#include "documents/document.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "storage/backups.h"
#include "storage/codepage.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

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

// What one run of the import collects from the script's lines besides its statements.
struct TImportRun {
    std::vector<std::string> messages; // office messages, in order
    std::string deleteAllDate; // argument of the last DELALL line
    std::string deleteOldDate; // argument of the last DEL line
    TTemplate templateText; // the current REPEAT template
};

// Sorts one trimmed body line: collects commands into `run` and appends the statement the line
// stands for to `out`; false when it stands for none. `upper` and `fields` are scratch space
// kept from line to line.
bool AppendStatementOf(std::string_view line, TImportRun& run, std::string& out, std::string& upper,
    std::vector<std::string_view>& fields)
{
    if (line.empty() || StartsWith(line, kCommentMark))
        return false;
    if (line[0] == '<'
        && StartsWithWord(
            UpperLatin(line.substr(0, kShowMessageWord.size() + 1)), kShowMessageWord)) {
        run.messages.push_back(
            Cp1251ToUtf8(CommandArgument(std::string(line), kShowMessageWord.size())));
        return false;
    }
    std::string_view data = line;
    if (line[0] == '<') {
        // Every other command line is taken in upper case, arguments included: the office's
        // programs write them so, and the devices have always run them so.
        upper = UpperLatin(line);
        data = upper;
        if (StartsWithWord(data, kDeleteAllWord)) {
            run.deleteAllDate = CommandArgument(upper, kDeleteAllWord.size());
            return false;
        }
        if (StartsWithWord(data, kDeleteOldWord)) {
            run.deleteOldDate = CommandArgument(upper, kDeleteOldWord.size());
            return false;
        }
        if (data == "</*>" || data == "</REPEAT>")
            return false; // the template stays in force
        if (StartsWith(data, kRepeatWord)) {
            run.templateText = TTemplate(CommandArgument(upper, kRepeatWord.size()));
            return false;
        }
        if (StartsWith(data, kExecWord)) {
            out += CommandArgument(upper, kExecWord.size());
            return true;
        }
    }
    if (run.templateText.Empty())
        return false;
    SplitFields(data, fields);
    run.templateText.Fill(fields, out);
    return true;
}

// The statements of the script's body, made from its lines on a thread of their own, so that
// reading the file and filling templates overlap SQLite's work. Only the statements cross over:
// every statement still runs on the calling thread, in the order of the lines. The reading
// thread stays a few blocks ahead at most, so memory does not grow with the script.
class TStatementSource {
public:
    // One block of statements: their texts one after another, each ended by a NUL as
    // sqlite3_exec takes it, with the line each came from.
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
        lock.unlock();
        m_changed.notify_all();
        return block;
    }

    // Hands a block that was run back for the reading thread to fill again.
    void Recycle(std::unique_ptr<TBlock> block)
    {
        block->text.clear();
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
                    if (AppendStatementOf(TrimView(line), m_run, block->text, upper, fields)) {
                        const std::size_t length = block->text.size() - offset;
                        block->text.push_back('\0');
                        block->entries.push_back({offset, length, number,
                            ControlsTransaction(
                                std::string_view(block->text).substr(offset, length))});
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
        m_changed.wait(lock, [this] { return m_stop || m_full.size() < kBlocksAhead; });
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
// messages shown) or the file could not be read to its end. `run` holds the script's commands
// once this returns.
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

// The bulk reference script of a version 3 answer, run as one batch of statements. Its SQL
// failing is reported and the import goes on, as the office expects; a failure of the device
// itself (a lock held too long, a full or failing disk) stops the import, since the reference
// data would be silently incomplete.
bool RunReferenceScript(TExchangeSink& sink, TStatementRunner& runner, TSqlQuery& connection,
    const std::string& bulkPath)
{
    std::error_code ec;
    if (!std::filesystem::exists(bulkPath, ec))
        return true;
    sink.Log("Загрузка справочников...");
    std::string text;
    {
        TScriptReader reader(bulkPath);
        std::string line;
        bool first = true;
        while (reader.Next(&line)) {
            if (!first)
                text += "\r\n";
            text += line;
            first = false;
        }
        if (reader.Failed()) {
            ReportUnreadable(bulkPath);
            return true;
        }
    }
    // Trimmed in place: the reference script may be hundreds of megabytes.
    const std::string_view trimmed = TrimView(text);
    text.resize(static_cast<std::size_t>(trimmed.data() - text.data()) + trimmed.size());
    text.erase(0, static_cast<std::size_t>(trimmed.data() - text.data()));
    if (runner.Run(text) && runner.Commit())
        return true;
    return !connection.LastFailureIsEnvironmental();
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

// A copy of the database as it was before the office's answer, so the agent can go back.
// Without room for it the import goes on, and the log says so.
void KeepBackup(TExchangeSink& sink)
{
    switch (MakeBackup()) {
    case TBackupOutcome::Made:
        break;
    case TBackupOutcome::NoRoom:
        sink.Log("Недостаточно места для резервной копии; загрузка без копии.");
        break;
    case TBackupOutcome::Failed:
        sink.Log("Резервная копия не сделана; загрузка без копии.");
        break;
    }
}

void ShowOfficeMessages(const std::vector<std::string>& messages)
{
    for (std::size_t i = 0; i < messages.size(); ++i)
        UI().Message("Сообщение из офиса: [" + std::to_string(i + 1) + " / "
                + std::to_string(messages.size()) + "]\r\n" + Trim(messages[i]),
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
            line->append(begin, n);
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
    std::string rest = Trim(line.substr(std::min(wordLength, line.size())));
    if (rest.empty() || rest[0] != '"')
        return rest;
    rest.erase(0, 1);
    const auto last = rest.rfind('"');
    if (last == std::string::npos)
        return {};
    return Trim(rest.substr(0, last));
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
    const std::size_t lineCount = TScriptReader::CountLines(scriptPath);
    TImportRun run;
    {
        TScriptReader reader(scriptPath);
        std::string header;
        if (!reader.Next(&header) || HeaderVersion(header) == 0) {
            UI().Message("Файл несовместимого формата.", TIcon::None);
            return false;
        }
        const int version = HeaderVersion(header);
        KeepBackup(sink);

        auto connection = TSqlQuery::Create(DbPath(), true);
        if (!connection)
            return false; // "База данных не найдена." has been shown; nothing was changed
        connection->GuardOfficeStatements();
        sink.ProgressStart(static_cast<int>(std::min<std::size_t>(lineCount, 1u << 30)) - 1);
        TStatementRunner runner(*connection);
        if (!RunBody(sink, reader, runner, run, scriptPath))
            return false;
        if (version == 3
            && !RunReferenceScript(sink, runner, *connection, folder + kImportBulkName))
            return false;

        sink.Log("Обработка...");
        if (!DeleteDocuments(run.deleteAllDate, true) || !DeleteDocuments(run.deleteOldDate, false))
            return false;
        // Recorded before the office's messages are shown, so that a load the agent was told
        // about is always one the device remembers.
        if (!RecordLoadTime(*connection))
            return false;
    }
    ShowOfficeMessages(run.messages);
    sink.Log("Загрузка завершена.");
    LoadReferenceLists(true);
    return true;
}

} // namespace vendrix
