// Running the office's statements in batches, and reading just enough of their SQL text to know
// which of them handle transactions themselves and where a statement of the bulk script may
// end. The statements are the office's own: they are never rewritten, only grouped.
#include "exchange/statement_runner.h"

#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cassert>

namespace vendrix {

namespace {

constexpr std::size_t kBatchSize = 4096; // statements per transaction of ours
constexpr std::size_t kReplayableBytes = 1 << 22; // texts a batch keeps for a replay, at most

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'
        || static_cast<unsigned char>(c) >= 0x80;
}

} // namespace

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

void TStatementEnd::Feed(std::string_view text)
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

bool TStatementRunner::Run(const char* sql, std::size_t size, bool controlsTransaction)
{
    if (controlsTransaction) {
        // As the office wrote it, outside any batch of ours.
        return CommitBatch() && m_q.ExecNative(sql);
    }
    if (!m_own && !m_q.InTransaction()) {
        m_own.emplace(m_q);
        if (!m_own->Open()) {
            m_own.reset();
            return false;
        }
        m_count = 0;
        m_batch.clear();
    }
    // Inside a transaction the script opened itself, the statement simply runs in it.
    const bool ok = m_q.ExecNative(sql);
    if (m_own && m_own->Dropped()) {
        // SQLite dropped the transaction: the batch is gone back to the last commit, and this
        // statement has failed.
        m_own.reset();
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
    TTransaction replay(m_q, TTransaction::TLock::Deferred, TTransaction::TReport::Quiet);
    if (!replay.Open())
        return;
    for (std::size_t at = 0; at < m_batch.size(); at += std::strlen(m_batch.c_str() + at) + 1) {
        if (!m_q.ExecNative(m_batch.c_str() + at, true) || replay.Dropped())
            return;
    }
    replay.Commit();
}

bool TStatementRunner::CommitBatch()
{
    if (!m_own)
        return true;
    assert(m_own->Open());
    m_batch.clear();
    const bool committed = m_own->Commit();
    m_own.reset();
    return committed;
}

bool TStatementRunner::Commit()
{
    if (!CommitBatch())
        return false;
    // A transaction the script opened and never closed would be rolled back with the
    // connection, losing its statements without a word: it is committed like the script's end.
    // It is the script's, not begun here, so it is ended by hand rather than by a TTransaction.
    if (m_q.InTransaction() && !m_q.Exec("commit;")) {
        if (m_q.InTransaction())
            m_q.TryExec("rollback;");
        return false;
    }
    return true;
}

} // namespace vendrix
