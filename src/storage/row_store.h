// The rows a query keeps: every row received, the column names first, as UTF-8 packed into
// large chunks: each value is its length (7 bits a byte, low bits first) and its text, one row
// after another. A million goods cost their text, a byte or two a value and 12 bytes a row, not
// a string each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

class TRowStore {
public:
    /// Appends a row of `count` values in the database's windows-1251 bytes (a null value as
    /// empty text), converted to UTF-8.
    void Append(char** values, int count);
    /// Value `c` of stored row `row` (0 is the column names); empty when there is none or its
    /// chunk was released.
    std::string_view Value(std::size_t row, int c) const;
    /// Rows stored, the column names included.
    std::size_t Size() const { return m_rows.size(); }
    bool Empty() const { return m_rows.empty(); }
    /// Frees the chunks that hold only rows before `row`; those rows read as empty afterwards.
    void ReleaseBefore(std::size_t row);
    /// Forgets every row.
    void Clear();

private:
    struct TRowRef {
        std::uint32_t chunk;
        std::uint32_t offset;
        std::uint32_t count; // values in the row
    };
    static_assert(sizeof(TRowRef) == 12, "a kept row costs 12 bytes besides its values");

    std::vector<std::string> m_chunks;
    std::size_t m_releasedChunks = 0; // chunks before this one have been freed
    std::vector<TRowRef> m_rows;
};

} // namespace vendrix
