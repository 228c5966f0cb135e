// Reading the office's script files ("ToPDA.sqd", "ToPDA.sql") line by line in bounded memory,
// by the devices' rules for what ends a line and what ends the text, so that an answer of ten
// lines or twenty million costs the same and an endless line never has to be held.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace vendrix {

/// Reads a script file one line at a time in bounded memory: windows-1251 text up to the first
/// NUL, lines ended by CR (an LF right after a CR belongs to it; a lone LF ends nothing). A file
/// that cannot be opened or read (a folder of that name, an I/O error) has no further lines and
/// tells so through Failed. A line longer than kOfficeLengthLimit is never held whole: only its
/// head comes out, and Overlong tells so.
class TScriptReader {
public:
    explicit TScriptReader(const std::string& path);
    ~TScriptReader() { Close(); }
    TScriptReader(const TScriptReader&) = delete;
    TScriptReader& operator=(const TScriptReader&) = delete;

    /// The next line as the file holds it, in windows-1251 like the database (with `line` null,
    /// skipped); false at the end of the text or when reading failed. Of an overlong line,
    /// `line` gets only its head: at most kOverlongHead characters from its first one above a
    /// blank (empty when the whole line is blank), enough to tell a comment from a statement.
    bool Next(std::string* line);
    /// True when the line Next gave last is longer than kOfficeLengthLimit.
    bool Overlong() const { return m_overlong; }
    /// True when the file could not be opened or a read failed.
    bool Failed() const { return m_failed; }

    static constexpr std::size_t kOverlongHead = 16; // characters kept of an overlong line

    /// The number of lines of the file at `path`, by the same rules.
    static std::size_t CountLines(const std::string& path);

private:
    bool Fill();
    void Keep(const char* bytes, std::size_t n, std::string& line);
    void Close();

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_at = 0; // next unread byte of the buffer
    std::size_t m_end = 0; // bytes held in the buffer
    bool m_ended = false; // end of file or NUL reached
    bool m_skipLf = false; // the last line ended with CR: an LF that follows belongs to it
    bool m_overlong = false; // the line being read has passed the limit: only its head is kept
    bool m_failed = false;
};

} // namespace vendrix
