// Reading the office's script files line by line: a buffer of the file at a time, lines cut at
// CR, the text ended at the first NUL, and of a line past the length limit only its head kept,
// so that a comment or a blank line of any length costs no memory.
#include "exchange/script_reader.h"

#include "storage/statement_guard.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vendrix {

namespace {

constexpr std::size_t kReadChunk = 1 << 16; // bytes the reader takes from the file at a time
constexpr std::size_t kLengthLimit = kOfficeLengthLimit; // of a line

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

// Closes the file, once its text has ended or with the reader. The file was only read: a close
// that fails loses nothing, so its result is not looked at.
void TScriptReader::Close()
{
    if (!m_file)
        return;
    static_cast<void>(std::fclose(m_file));
    m_file = nullptr;
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
        Close();
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

} // namespace vendrix
