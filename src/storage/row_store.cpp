// The packed rows of a query: appending a row of windows-1251 values as UTF-8 with their
// lengths, reading one value back by walking its row, and freeing the chunks of rows already
// read.
#include "storage/row_store.h"

#include "storage/codepage.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace vendrix {

void TRowStore::Append(char** values, int count)
{
    assert(count >= 0);
    constexpr std::size_t kChunkSize = 1 << 20;
    constexpr std::size_t kLengthBytes = 5; // the most a length can take
    // Room for the longest UTF-8 form and the longest lengths, so that a chunk never grows past
    // what it reserved and a row never spans two chunks.
    std::size_t room = 0;
    for (int c = 0; c < count; ++c)
        room += (values[c] ? std::strlen(values[c]) * 3 : 0) + kLengthBytes;
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < room) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkSize, room));
    }
    std::string& chunk = m_chunks.back();
    [[maybe_unused]] const std::size_t reserved = chunk.capacity();
    m_rows.push_back({static_cast<std::uint32_t>(m_chunks.size() - 1),
        static_cast<std::uint32_t>(chunk.size()), static_cast<std::uint32_t>(count)});
    for (int c = 0; c < count; ++c) {
        // The text goes in after one byte for its length; a longer length moves it along.
        const std::size_t at = chunk.size();
        chunk.push_back('\0');
        AppendCp1251AsUtf8(values[c] ? std::string_view(values[c]) : std::string_view(), chunk);
        std::size_t length = chunk.size() - at - 1;
        char bytes[kLengthBytes];
        std::size_t n = 0;
        do {
            assert(n < kLengthBytes);
            bytes[n] = static_cast<char>(length & 0x7F);
            length >>= 7;
            if (length != 0)
                bytes[n] = static_cast<char>(bytes[n] | 0x80);
            ++n;
        } while (length != 0);
        if (n > 1)
            chunk.insert(at + 1, n - 1, '\0');
        std::memcpy(chunk.data() + at, bytes, n);
    }
    assert(chunk.capacity() == reserved);
}

std::string_view TRowStore::Value(std::size_t row, int c) const
{
    if (row >= m_rows.size())
        return {};
    const TRowRef& ref = m_rows[row];
    if (c < 0 || static_cast<std::uint32_t>(c) >= ref.count || ref.chunk < m_releasedChunks)
        return {};
    const auto* p = reinterpret_cast<const unsigned char*>(m_chunks[ref.chunk].data()) + ref.offset;
    // The walk stops at value `c`, which the check above keeps within the row's values.
    for (int k = 0;; ++k) {
        assert(static_cast<std::uint32_t>(k) < ref.count);
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            length |= static_cast<std::size_t>(*p & 0x7F) << shift;
            if ((*p++ & 0x80) == 0)
                break;
        }
        if (k == c)
            return {reinterpret_cast<const char*>(p), length};
        p += length;
    }
}

void TRowStore::ReleaseBefore(std::size_t row)
{
    if (row >= m_rows.size())
        return;
    // Rows lie in the chunks in order: every chunk before the one where this row begins holds
    // earlier rows only.
    for (; m_releasedChunks < m_rows[row].chunk; ++m_releasedChunks)
        std::string().swap(m_chunks[m_releasedChunks]);
}

void TRowStore::Clear()
{
    m_chunks.clear();
    m_releasedChunks = 0;
    m_rows.clear();
}

} // namespace vendrix
