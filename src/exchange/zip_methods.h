// The decoders of the PKZIP compression methods an office's archive may use: stored, shrunk
// (LZW with partial clearing), reduced (four compression factors, with follower sets), imploded
// (Shannon-Fano trees over a 4K or 8K window) and deflated (zlib's raw inflate). Each reads the
// compressed bytes of one entry and never past them, and writes the decoded bytes through a
// buffer that refuses to go beyond the size the archive declares, so a damaged or hostile
// archive fails its entry instead of overrunning memory, the disk or the loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace vendrix {

/// The compressed bytes of one archive entry, read in chunks from the archive file (or from
/// memory) and never further than the entry's compressed size.
class TZipInput {
public:
    /// Reads `length` bytes from `file`, which is positioned at the start of the entry's data.
    TZipInput(std::FILE* file, std::uint64_t length);
    /// Reads from `size` bytes in memory, which must outlive the input.
    TZipInput(const std::uint8_t* data, std::size_t size);

    /// The next byte; false at the end of the entry's data or when the archive cannot be read.
    bool Byte(std::uint8_t& b)
    {
        if (m_pos == m_end && !Refill())
            return false;
        b = *m_pos++;
        return true;
    }
    /// Hands out the buffered bytes (refilling first when none are buffered) without copying;
    /// returns their number, 0 at the end of the data or on a read failure.
    std::size_t Take(const std::uint8_t*& data);

private:
    bool Refill();

    std::FILE* m_file = nullptr;
    std::uint64_t m_left = 0; // bytes of the entry not yet read from the file
    std::vector<std::uint8_t> m_buffer;
    const std::uint8_t* m_pos = nullptr;
    const std::uint8_t* m_end = nullptr;
};

/// Where an entry's decoded bytes go: a 32 KiB buffer in front of the writer, the running
/// CRC-32 of everything passed on, and the declared uncompressed size as a hard limit.
class TZipOutput {
public:
    using TWriter = std::function<bool(const std::uint8_t* data, std::size_t size)>;

    TZipOutput(std::uint64_t declaredSize, TWriter writer);

    /// Appends one byte; false when the writer failed or the declared size is already reached.
    bool Put(std::uint8_t b)
    {
        if (m_count == m_limit || (m_fill == m_buffer.size() && !Flush()))
            return false;
        m_buffer[m_fill++] = b;
        ++m_count;
        return true;
    }
    /// Appends `size` bytes; false (appending nothing) when they would pass the declared size
    /// or the writer failed.
    bool Write(const std::uint8_t* data, std::size_t size);
    /// The free part of the buffer, flushing first when it is full; nullptr when the writer
    /// failed. `Commit` then accounts for the bytes placed there.
    std::uint8_t* Space(std::size_t& room);
    /// Accounts for `size` bytes placed at `Space`; false when they pass the declared size.
    bool Commit(std::size_t size);
    /// Passes the buffered bytes to the writer; false when it fails.
    bool Flush();

    /// True once exactly the declared size has been produced.
    bool Complete() const { return m_count == m_limit; }
    bool WriteFailed() const { return m_writeFailed; }
    /// CRC-32 of the bytes flushed so far (call `Flush` first for all of them).
    std::uint32_t Crc() const { return m_crc; }

private:
    std::uint64_t m_limit;
    std::uint64_t m_count = 0;
    TWriter m_writer;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_fill = 0;
    std::uint32_t m_crc = 0;
    bool m_writeFailed = false;
};

enum class TZipDecode {
    Ok, // the declared size was produced from the entry's data
    BadData, // the data is damaged, cut off, or decodes to more than the declared size
    WriteFailed // the writer refused the output (disk full, ...)
};

/// Copies a stored entry (method 0).
TZipDecode DecodeStored(TZipInput& in, TZipOutput& out);
/// Expands a shrunk entry (method 1): LZW codes of 9 to 13 bits with partial clearing.
TZipDecode DecodeShrunk(TZipInput& in, TZipOutput& out);
/// Expands a reduced entry (methods 2 to 5, `factor` 1 to 4).
TZipDecode DecodeReduced(TZipInput& in, TZipOutput& out, int factor);
/// Expands an imploded entry (method 6): an 8K window when `window8k` (flag bit 1), else 4K;
/// three Shannon-Fano trees when `literalTree` (flag bit 2), else two.
TZipDecode DecodeImploded(TZipInput& in, TZipOutput& out, bool window8k, bool literalTree);
/// Inflates a deflated entry (method 8) with zlib's raw inflate.
TZipDecode DecodeDeflated(TZipInput& in, TZipOutput& out);

} // namespace vendrix
