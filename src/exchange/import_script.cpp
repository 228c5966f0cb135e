// Running the office's import script.
#include "exchange/import_script.h"

#include "documents/reference_lists.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "shell/journal.h"
#include "storage/codepage.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace vendrix {

namespace {

constexpr std::size_t kBatchSize = 4096; // statements per transaction of ours

const char* const kHeaders[] = {"Z_AGENT RESPONSE 0002-0000-0000-0001",
    "Z_AGENT RESPONSE 0002-0000-0000-0002", "Z_AGENT RESPONSE 0003-0000-0000-0001"};

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Deletes the documents journalled before the cut-off date: all of them ("all"), or only those
// the office has taken over ("old"). Tells the agent how many went.
void DeleteDocuments(const std::string& dateArgument, bool all)
{
    const TDate date = TextToDate(dateArgument, 0);
    if (date == 0)
        return;
    const std::string c = "REC_TIME<" + DateText(date);
    const std::string condition = all ? c : "(" + c + ") and (DOC_STATE>1)";
    auto q = RunQuery("select GUID from DOC_HEADS where (" + condition + ")");
    if (!q)
        return;
    int count = 0;
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        DeleteDocument(Trim(q->Field(0)));
        ++count;
    }
    if (count > 0)
        UI().Message(std::string("Поступила команда удалить ") + (all ? "все" : "старые")
                + " документы до " + dateArgument + ".\r\nУдалено документов "
                + std::to_string(count),
            TIcon::Information);
}

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'
        || static_cast<unsigned char>(c) >= 0x80;
}

} // namespace

std::vector<std::string> ReadScriptLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return lines;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.push_back(Cp1251ToUtf8(std::string_view(bytes).substr(start, i - start)));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(Cp1251ToUtf8(std::string_view(bytes).substr(start)));
    return lines;
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
    std::vector<std::string> fields;
    std::string rest = line;
    while (true) {
        const auto tab = rest.find('\t');
        if (tab == std::string::npos) {
            fields.push_back(Trim(rest));
            return fields;
        }
        fields.push_back(Trim(std::string_view(rest).substr(0, tab)));
        rest = Trim(std::string_view(rest).substr(tab + 1));
    }
}

std::string FillTemplate(const std::string& templateText, const std::vector<std::string>& fields)
{
    const std::size_t n = fields.size();
    std::vector<std::string> numbers(n + 1), upper(n + 1);
    for (std::size_t k = 1; k <= n; ++k) {
        numbers[k] = std::to_string(k);
        upper[k] = UpperLatin(fields[k - 1]);
    }
    const auto plainAt = [&](std::size_t p, std::size_t k) {
        return templateText.compare(p, 1, "%") == 0
            && templateText.compare(p + 1, numbers[k].size(), numbers[k]) == 0;
    };
    std::string out;
    out.reserve(templateText.size() + 64);
    std::size_t p = 0;
    while (p < templateText.size()) {
        if (templateText[p] != '%') {
            out.push_back(templateText[p++]);
            continue;
        }
        // The placeholders are replaced field after field, the upper-case form of a field
        // before its plain form; at each place the first of them that would have matched wins.
        // An upper-case placeholder loses to an earlier field's plain one inside it ("%1" in
        // "%UPPER(%12)"), as it would with replacements made one after another.
        bool replaced = false;
        const bool upperForm = templateText.compare(p, 8, "%UPPER(%") == 0;
        for (std::size_t k = 1; k <= n && !replaced; ++k) {
            if (upperForm && templateText.compare(p + 8, numbers[k].size(), numbers[k]) == 0
                && templateText.compare(p + 8 + numbers[k].size(), 1, ")") == 0) {
                bool preempted = false;
                for (std::size_t m = 1; m < k && !preempted; ++m)
                    preempted = plainAt(p + 7, m);
                if (!preempted) {
                    out += upper[k];
                    p += 9 + numbers[k].size();
                    replaced = true;
                    break;
                }
            }
            if (plainAt(p, k)) {
                out += fields[k - 1];
                p += 1 + numbers[k].size();
                replaced = true;
            }
        }
        if (!replaced)
            out.push_back(templateText[p++]);
    }
    return out;
}

bool ControlsTransaction(const std::string& sql)
{
    static const char* const kWords[] = {"BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT",
        "RELEASE", "VACUUM", "ATTACH", "DETACH", "PRAGMA"};
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
            i = end == std::string::npos ? n : end + 2;
        } else if (c == ';') {
            atStart = true;
            ++i;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const auto end = sql.find(close, i + 1);
            i = end == std::string::npos ? n : end + 1;
            atStart = false;
        } else if (IsWordChar(c)) {
            std::size_t j = i;
            while (j < n && IsWordChar(sql[j]))
                ++j;
            if (atStart) {
                const std::string word = UpperLatin(sql.substr(i, j - i));
                for (const char* w : kWords) {
                    if (word == w)
                        return true;
                }
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

bool TStatementRunner::Run(const std::string& sql)
{
    if (ControlsTransaction(sql)) {
        // As the office wrote it, outside any batch of ours.
        Flush();
        return m_q.Exec(sql);
    }
    // A transaction the script opened itself stays the script's: then "begin" fails and the
    // statement runs inside the script's transaction, as it would on its own.
    if (!m_own)
        m_own = m_q.TryExec("begin;");
    if (m_own)
        m_batch.push_back(sql);
    if (!m_q.Exec(sql)) {
        if (m_own) {
            m_batch.pop_back();
            Recover();
        }
        return false;
    }
    if (m_own && m_batch.size() >= kBatchSize)
        Flush();
    return true;
}

void TStatementRunner::Flush()
{
    if (!m_own)
        return;
    Recover();
}

void TStatementRunner::Recover()
{
    // Commit what the batch holds. Some failures (a full disk, a conflict resolved by ROLLBACK)
    // make SQLite drop the whole transaction: then "begin" succeeds again, and the statements
    // that had worked are run once more so that each keeps its effect.
    m_own = false;
    if (!m_q.TryExec("commit;")) {
        if (m_q.TryExec("begin;")) {
            for (const std::string& sql : m_batch)
                m_q.TryExec(sql);
        }
        if (!m_q.TryExec("commit;"))
            m_q.Exec("commit;"); // tell the agent what keeps the changes from being stored
    }
    m_batch.clear();
}

bool Import(TExchangeSink& sink, const std::string& folderText, bool useZip)
{
    std::string folder = Trim(folderText);
    if (folder.empty()) {
        folder = Trim(PickExchangeFolder());
        UI().ProcessEvents();
    }
    if (folder.empty())
        return false;
    if (folder.back() != '/' && folder.back() != '\\')
        folder.push_back('/');
    const std::string scriptPath = folder + kImportScriptName;

    std::error_code ec;
    if (useZip) {
        const std::string zipPath = folder + kImportZipName;
        if (!std::filesystem::exists(zipPath, ec)) {
            sink.Log("Файл не найден.");
            return false;
        }
        sink.Log("Распаковка...");
        const int extracted = Extract(zipPath, folder, kImportScriptName);
        Extract(zipPath, folder, kImportBulkName);
        if (extracted < 1) {
            sink.Log("Не удалось распаковать архив.");
            return false;
        }
    }
    if (!std::filesystem::exists(scriptPath, ec)) {
        UI().Message("Файл '" + scriptPath + "' отсутствует!", TIcon::None);
        return false;
    }

    sink.Log("Начата загрузка...");
    const std::vector<std::string> lines = ReadScriptLines(scriptPath);
    const std::string header = lines.empty() ? std::string() : Trim(lines.front());
    int version = 0;
    for (int h = 0; h < 3; ++h) {
        if (header == kHeaders[h])
            version = h == 2 ? 3 : 2;
    }
    if (version == 0) {
        UI().Message("Файл несовместимого формата.", TIcon::None);
        return false;
    }

    auto connection = TSqlQuery::Create(DbPath(), true);
    if (!connection)
        return false; // "База данных не найдена." has been shown; nothing was changed
    sink.ProgressStart(static_cast<int>(lines.size()) - 1);

    std::vector<std::string> messages;
    std::string deleteAllDate;
    std::string deleteOldDate;
    std::string templateText;
    {
        TStatementRunner runner(*connection);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            sink.ProgressPosition(static_cast<int>(i));
            if (i % 512 == 0)
                UI().ProcessEvents();
            const std::string line = Trim(lines[i]);
            if (line.empty() || StartsWith(line, "//"))
                continue;
            if (Trim(UpperLatin(line.substr(0, 12))) == "<SHOWMSGWND") {
                messages.push_back(CommandArgument(line, 11));
                continue;
            }
            std::string statement;
            bool command = false;
            std::string data = line;
            if (line[0] == '<') {
                const std::string u = UpperLatin(line);
                if (Trim(u.substr(0, 8)) == "<DELALL") {
                    deleteAllDate = CommandArgument(u, 7);
                    continue;
                }
                if (Trim(u.substr(0, 5)) == "<DEL") {
                    deleteOldDate = CommandArgument(u, 4);
                    continue;
                }
                if (u == "</*>" || u == "</REPEAT>")
                    continue;
                if (StartsWith(u, "<REPEAT")) {
                    templateText = CommandArgument(u, 7);
                    continue;
                }
                if (StartsWith(u, "<EXEC")) {
                    statement = CommandArgument(u, 5);
                    command = true;
                } else {
                    data = u;
                }
            }
            if (!command) {
                if (templateText.empty())
                    continue;
                statement = FillTemplate(templateText, SplitFields(data));
            }
            if (!runner.Run(statement)) {
                runner.Flush();
                UI().Message(statement, TIcon::None);
                return false;
            }
        }

        if (version == 3) {
            const std::string bulkPath = folder + kImportBulkName;
            if (std::filesystem::exists(bulkPath, ec)) {
                sink.Log("Загрузка справочников...");
                std::string text;
                for (const std::string& l : ReadScriptLines(bulkPath)) {
                    if (!text.empty())
                        text += "\r\n";
                    text += l;
                }
                runner.Run(Trim(text)); // a failure has been shown; the import goes on
            }
        }
    }

    sink.Log("Обработка...");
    DeleteDocuments(deleteAllDate, true);
    DeleteDocuments(deleteOldDate, false);
    for (std::size_t i = 0; i < messages.size(); ++i)
        UI().Message("Сообщение из офиса: [" + std::to_string(i + 1) + " / "
                + std::to_string(messages.size()) + "]\r\n" + Trim(messages[i]),
            TIcon::None);
    sink.Log("Загрузка завершена.");
    connection->Exec("delete from MY_OPTIONS where OPT_NAME=\"LLD_Def\"");
    connection->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (\"LLD_Def\", \""
        + RegionalDateTime() + "\")");
    LoadReferenceLists(true);
    return true;
}

} // namespace vendrix
