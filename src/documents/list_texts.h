// The texts of a reference list, kept apart from its nodes: every node points at one record of
// its texts in an arena that only grows, so a million goods cost their bytes and a byte or two
// of length each instead of five strings. A record is the node's texts one after another, each
// preceded by a length (LEB128: 7 bits a byte, low bits first) whose lowest bit says "the same
// bytes as the text before" (nothing follows then): a name and its sort name are mostly equal.
// The arena's blocks never move, so a record stays where it is until the arena is cleared.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace vendrix {

class TListTexts {
public:
    /// The size of a block; a record that cannot fit one gets a block of its own.
    static constexpr std::size_t kBlockSize = std::size_t {4} << 20;

    TListTexts() = default;
    TListTexts(const TListTexts&) = delete;
    TListTexts& operator=(const TListTexts&) = delete;

    /// Appends a record of UTF-8 texts as they are; returns where it begins, valid until Clear.
    const char* Add(std::span<const std::string_view> texts);
    /// Appends a record of texts in the database's windows-1251 bytes, each trimmed (as Trim)
    /// and converted to UTF-8; returns where it begins, valid until Clear.
    const char* AddTrimmedCp1251(std::span<const std::string_view> texts);
    /// Frees every record.
    void Clear();
    /// Bytes of the blocks held.
    std::size_t BytesHeld() const { return m_held; }

private:
    // Room for a record of at most `most` bytes, at the end of the current block or in a block
    // of its own; End says how much of it was used.
    char* Room(std::size_t most);
    void End(const char* record, const char* end);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr; // where the current block's free room begins
    char* m_limit = nullptr; // the end of the current block
    std::size_t m_held = 0;
};

/// Text `index` of the record at `record`, which holds more than `index` texts; empty when
/// there is no record.
inline std::string_view RecordText(const char* record, int index)
{
    if (!record)
        return {};
    const auto* p = reinterpret_cast<const unsigned char*>(record);
    std::string_view text;
    for (int k = 0;; ++k) {
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            length |= static_cast<std::size_t>(*p & 0x7F) << shift;
            if ((*p++ & 0x80) == 0)
                break;
        }
        // With the lowest bit set the text before stands again.
        if ((length & 1) == 0) {
            text = {reinterpret_cast<const char*>(p), length >> 1};
            p += length >> 1;
        }
        if (k == index)
            return text;
    }
}

} // namespace vendrix
