// Appending the records of a reference list's texts: room for the longest form a record can take
// is found first, so a record never spans two blocks, then each text is written after one byte
// for its length and moved along when the length needs more.
#include "documents/list_texts.h"

#include "storage/codepage.h"
#include "storage/value_formats.h"

#include <cassert>
#include <cstring>

namespace vendrix {

namespace {

constexpr std::size_t kLengthBytes = 10; // the most a length can take

// Writes `value` as LEB128 at `to`; returns the end.
char* PutLength(std::size_t value, char* to)
{
    do {
        *to = static_cast<char>(value & 0x7F);
        value >>= 7;
        if (value != 0)
            *to = static_cast<char>(*to | 0x80);
        ++to;
    } while (value != 0);
    return to;
}

std::size_t LengthBytes(std::size_t value)
{
    std::size_t n = 1;
    for (value >>= 7; value != 0; value >>= 7)
        ++n;
    return n;
}

// Appends a record of `texts` at `to`, which has room for it: each text trimmed and converted
// from windows-1251 when `cp1251`, as it is otherwise. Returns the end.
char* WriteRecord(std::span<const std::string_view> texts, bool cp1251, char* to)
{
    std::string_view before;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string_view text = cp1251 ? TrimView(texts[i]) : texts[i];
        // The conversion gives equal texts from equal bytes only, so the bytes as read decide.
        if (i > 0 && text == before) {
            *to++ = 1;
            continue;
        }
        before = text;
        char* const at = to + 1;
        char* end = at;
        if (cp1251) {
            end = WriteCp1251AsUtf8(text, at);
        } else if (!text.empty()) {
            std::memcpy(at, text.data(), text.size());
            end += text.size();
        }
        const auto length = static_cast<std::size_t>(end - at);
        const std::size_t n = LengthBytes(length << 1);
        if (n > 1)
            std::memmove(at + n - 1, at, length);
        to = PutLength(length << 1, to) + length;
    }
    return to;
}

// The most bytes a record of `texts` can take.
std::size_t RecordBound(std::span<const std::string_view> texts, bool cp1251)
{
    std::size_t most = 0;
    for (const std::string_view text : texts)
        most += text.size() * (cp1251 ? 3 : 1) + kLengthBytes;
    return most;
}

} // namespace

const char* TListTexts::Add(std::span<const std::string_view> texts)
{
    char* const record = Room(RecordBound(texts, false));
    End(record, WriteRecord(texts, false, record));
    return record;
}

const char* TListTexts::AddTrimmedCp1251(std::span<const std::string_view> texts)
{
    char* const record = Room(RecordBound(texts, true));
    End(record, WriteRecord(texts, true, record));
    return record;
}

void TListTexts::Clear()
{
    std::vector<std::unique_ptr<char[]>>().swap(m_blocks);
    m_next = nullptr;
    m_limit = nullptr;
    m_held = 0;
}

char* TListTexts::Room(std::size_t most)
{
    if (most > kBlockSize) {
        // A block of its own, beside the current one, which stays current.
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(most));
        m_held += most;
        return m_blocks.back().get();
    }
    if (static_cast<std::size_t>(m_limit - m_next) < most) {
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        m_held += kBlockSize;
        m_next = m_blocks.back().get();
        m_limit = m_next + kBlockSize;
    }
    return m_next;
}

void TListTexts::End(const char* record, const char* end)
{
    // A record in a block of its own leaves the current block as it was.
    if (record != m_next)
        return;
    assert(end <= m_limit);
    m_next += end - record;
}

} // namespace vendrix
