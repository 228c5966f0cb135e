// PKZIP decoders for the office's archives, written from the method descriptions of the PKWARE
// application note. Every loop either consumes compressed bits or produces output, and output
// stops at the declared size, so any input ends in bounded time; a damaged stream yields
// BadData rather than a crash.
#include "exchange/zip_methods.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <memory>

namespace vendrix {

namespace {

constexpr std::size_t kInputChunk = 16384;
constexpr std::size_t kOutputBuffer = 32768;

TZipDecode Failure(const TZipOutput& out)
{
    return out.WriteFailed() ? TZipDecode::WriteFailed : TZipDecode::BadData;
}

/// The entry is done when the declared size is there and every byte reached the writer.
TZipDecode Finish(TZipOutput& out)
{
    if (!out.Complete())
        return Failure(out);
    return out.Flush() ? TZipDecode::Ok : TZipDecode::WriteFailed;
}

/// Bits of the compressed stream, least significant bit of each byte first, as all the old
/// PKZIP methods pack them.
class TBitReader {
public:
    explicit TBitReader(TZipInput& in)
        : m_in(in)
    {
    }

    /// Reads `n` (0 to 16) bits into `value`; false when the entry's data has run out.
    bool Get(int n, std::uint32_t& value)
    {
        while (m_count < n) {
            std::uint8_t b;
            if (!m_in.Byte(b))
                return false;
            m_bits |= std::uint32_t(b) << m_count;
            m_count += 8;
        }
        value = m_bits & ((1u << n) - 1u);
        m_bits >>= n;
        m_count -= n;
        return true;
    }

private:
    TZipInput& m_in;
    std::uint32_t m_bits = 0;
    int m_count = 0;
};

/// The history of the sliding-window methods. Distances reaching before the start of the
/// output read zeros, as the method descriptions require; a fresh zeroed window gives that.
class TWindow {
public:
    static constexpr std::uint32_t kSize = 8192; // the largest window (imploding, 8K)

    TWindow()
        : m_bytes(kSize, 0)
    {
    }

    bool Put(TZipOutput& out, std::uint8_t b)
    {
        m_bytes[m_pos++ & (kSize - 1)] = b;
        return out.Put(b);
    }
    /// Copies `length` bytes from `distance` (1 to kSize) back; stops early, without error,
    /// at the declared size, since the old methods end where the output is complete.
    bool Copy(TZipOutput& out, std::uint32_t distance, std::uint32_t length)
    {
        assert(distance >= 1 && distance <= kSize);
        for (std::uint32_t i = 0; i < length && !out.Complete(); ++i) {
            if (!Put(out, m_bytes[(m_pos - distance) & (kSize - 1)]))
                return false;
        }
        return true;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_pos = 0;
};

// ---- Shrinking ---------------------------------------------------------------------------

constexpr int kShrinkCodes = 8192; // 13-bit codes
constexpr int kShrinkControl = 256; // followed by 1 (wider codes) or 2 (partial clear)
constexpr int kShrinkFirstFree = 257;

class TUnshrinker {
public:
    TUnshrinker()
        : m_parent(kShrinkCodes, 0)
        , m_suffix(kShrinkCodes, 0)
        , m_used(kShrinkCodes, 0)
        , m_string(kShrinkCodes, 0)
    {
        for (int c = 0; c < 256; ++c) {
            m_suffix[c] = static_cast<std::uint8_t>(c);
            m_used[c] = 1;
        }
    }

    TZipDecode Run(TZipInput& in, TZipOutput& out)
    {
        TBitReader bits(in);
        int codeSize = 9;
        int previous = -1;
        while (!out.Complete()) {
            std::uint32_t code;
            if (!bits.Get(codeSize, code))
                return TZipDecode::BadData;
            if (code == kShrinkControl) {
                std::uint32_t command;
                if (!bits.Get(codeSize, command))
                    return TZipDecode::BadData;
                if (command == 1 && codeSize < 13)
                    ++codeSize;
                else if (command == 2)
                    PartialClear();
                else
                    return TZipDecode::BadData;
                continue;
            }
            if (previous < 0) {
                // The first code can only be a plain byte: nothing is defined yet.
                if (code > 255 || !out.Put(static_cast<std::uint8_t>(code)))
                    return Failure(out);
                previous = static_cast<int>(code);
                continue;
            }
            int length;
            if (m_used[code]) {
                length = Expand(static_cast<int>(code));
                if (length < 0)
                    return TZipDecode::BadData;
                Add(previous, m_string[kShrinkCodes - length]);
            } else if (static_cast<int>(code) == m_nextFree) {
                // The code the encoder defined just before using it: the previous string
                // followed by its own first byte.
                length = Expand(previous);
                if (length < 0 || length >= kShrinkCodes)
                    return TZipDecode::BadData;
                const std::uint8_t first = m_string[kShrinkCodes - length];
                Add(previous, first);
                std::memmove(&m_string[kShrinkCodes - length - 1], &m_string[kShrinkCodes - length],
                    static_cast<std::size_t>(length));
                m_string[kShrinkCodes - 1] = first;
                ++length;
            } else {
                return TZipDecode::BadData; // a code that is neither defined nor next
            }
            for (int i = kShrinkCodes - length; i < kShrinkCodes && !out.Complete(); ++i) {
                if (!out.Put(m_string[i]))
                    return Failure(out);
            }
            previous = static_cast<int>(code);
        }
        return Finish(out);
    }

private:
    /// Spells `code` into the tail of m_string; returns its length, -1 when the chain is
    /// broken (a freed link or a loop, which only damaged data produces).
    int Expand(int code)
    {
        int length = 0;
        while (code >= kShrinkFirstFree) {
            if (!m_used[code] || length >= kShrinkCodes - 1)
                return -1;
            m_string[kShrinkCodes - 1 - length++] = m_suffix[code];
            code = m_parent[code];
        }
        if (code == kShrinkControl)
            return -1;
        m_string[kShrinkCodes - 1 - length++] = static_cast<std::uint8_t>(code);
        return length;
    }

    void Add(int parent, std::uint8_t suffix)
    {
        if (m_nextFree >= kShrinkCodes)
            return; // the table is full until the encoder clears it
        m_parent[m_nextFree] = static_cast<std::uint16_t>(parent);
        m_suffix[m_nextFree] = suffix;
        m_used[m_nextFree] = 1;
        AdvanceFree(m_nextFree + 1);
    }

    void AdvanceFree(int from)
    {
        m_nextFree = from;
        while (m_nextFree < kShrinkCodes && m_used[m_nextFree])
            ++m_nextFree;
    }

    /// Frees every code that is no other code's prefix (the leaves of the tree); the freed
    /// codes are reused lowest first.
    void PartialClear()
    {
        std::vector<std::uint8_t> isParent(kShrinkCodes, 0);
        for (int c = kShrinkFirstFree; c < kShrinkCodes; ++c) {
            if (m_used[c] && m_parent[c] >= kShrinkFirstFree)
                isParent[m_parent[c]] = 1;
        }
        for (int c = kShrinkFirstFree; c < kShrinkCodes; ++c) {
            if (!isParent[c])
                m_used[c] = 0;
        }
        AdvanceFree(kShrinkFirstFree);
    }

    std::vector<std::uint16_t> m_parent;
    std::vector<std::uint8_t> m_suffix;
    std::vector<std::uint8_t> m_used;
    std::vector<std::uint8_t> m_string; // spelled strings, right-aligned
    int m_nextFree = kShrinkFirstFree;
};

// ---- Reducing ----------------------------------------------------------------------------

constexpr std::uint8_t kReduceDle = 144; // starts a repeated sequence

/// What the next byte of the probabilistic layer is to the repetition layer above it.
enum class TReduceState {
    Literal, // a byte of the output, or the DLE that starts a repeated sequence
    AfterDle, // 0 for a DLE of the output, else the length (low bits) and the distance's top
    MoreLength, // added to a length that filled its bits
    Distance // the low byte of the distance; the repeated sequence follows
};

/// Bits needed for an index into a follower set of `n` (1 to 32) bytes.
int FollowerIndexBits(int n)
{
    int bits = 1;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

TZipDecode Unreduce(TZipInput& in, TZipOutput& out, int factor)
{
    TBitReader bits(in);
    struct TFollowers {
        std::uint8_t count = 0;
        std::uint8_t indexBits = 0;
        std::array<std::uint8_t, 32> bytes {};
    };
    std::vector<TFollowers> sets(256);
    for (int j = 255; j >= 0; --j) {
        std::uint32_t n;
        if (!bits.Get(6, n) || n > 32)
            return TZipDecode::BadData;
        sets[j].count = static_cast<std::uint8_t>(n);
        sets[j].indexBits
            = static_cast<std::uint8_t>(n ? FollowerIndexBits(static_cast<int>(n)) : 0);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint32_t b;
            if (!bits.Get(8, b))
                return TZipDecode::BadData;
            sets[j].bytes[i] = static_cast<std::uint8_t>(b);
        }
    }

    const std::uint32_t lengthMask = 0xFFu >> factor;
    TWindow window;
    std::uint8_t last = 0;
    TReduceState state = TReduceState::Literal;
    std::uint32_t v = 0; // the byte after the DLE of the sequence being read
    std::uint32_t length = 0;
    while (!out.Complete()) {
        // The probabilistic layer: one byte, often as an index into the follower set of the
        // byte before.
        std::uint32_t c;
        const TFollowers& set = sets[last];
        if (set.count == 0) {
            if (!bits.Get(8, c))
                return TZipDecode::BadData;
        } else {
            std::uint32_t literal;
            if (!bits.Get(1, literal))
                return TZipDecode::BadData;
            if (literal) {
                if (!bits.Get(8, c))
                    return TZipDecode::BadData;
            } else {
                std::uint32_t index;
                if (!bits.Get(set.indexBits, index) || index >= set.count)
                    return TZipDecode::BadData;
                c = set.bytes[index];
            }
        }
        last = static_cast<std::uint8_t>(c);

        // The repetition layer over those bytes. Past AfterDle a sequence is being read: `v` is
        // the non-zero byte after its DLE, and MoreLength comes only after a length of all ones.
        bool ok = true;
        switch (state) {
        case TReduceState::Literal:
            if (c != kReduceDle)
                ok = window.Put(out, static_cast<std::uint8_t>(c));
            else
                state = TReduceState::AfterDle;
            break;
        case TReduceState::AfterDle:
            if (c != 0) {
                v = c;
                length = v & lengthMask;
                state = length == lengthMask ? TReduceState::MoreLength : TReduceState::Distance;
            } else {
                ok = window.Put(out, kReduceDle);
                state = TReduceState::Literal;
            }
            break;
        case TReduceState::MoreLength:
            assert(v != 0 && length == lengthMask);
            length += c;
            state = TReduceState::Distance;
            break;
        case TReduceState::Distance:
            assert(v != 0);
            ok = window.Copy(out, ((v >> (8 - factor)) << 8) + c + 1, length + 3);
            state = TReduceState::Literal;
            break;
        }
        if (!ok)
            return Failure(out);
    }
    return Finish(out);
}

// ---- Imploding ---------------------------------------------------------------------------

/// A Shannon-Fano code as the imploder stores it: bit lengths, from which the codes follow.
/// Codes of one length are consecutive numbers, so a length's first code, count and the
/// symbols in code order decode it.
class TShannonFano {
public:
    /// Reads the stored lengths of `symbols` (64 or 256) codes and builds the code; false when
    /// they are damaged (wrong number of lengths, a code that does not fit).
    bool Read(TBitReader& bits, int symbols)
    {
        std::uint32_t bytes;
        if (!bits.Get(8, bytes))
            return false;
        std::vector<std::uint8_t> lengths;
        for (std::uint32_t i = 0; i <= bytes; ++i) {
            std::uint32_t b;
            if (!bits.Get(8, b))
                return false;
            const std::uint32_t count = (b >> 4) + 1;
            if (lengths.size() + count > static_cast<std::size_t>(symbols))
                return false;
            lengths.insert(lengths.end(), count, static_cast<std::uint8_t>((b & 15) + 1));
        }
        if (lengths.size() != static_cast<std::size_t>(symbols))
            return false;
        return Build(lengths);
    }

    /// Decodes one symbol, reading its code bit by bit; -1 when the data runs out or no code
    /// matches.
    int Decode(TBitReader& bits) const
    {
        std::uint32_t code = 0;
        for (int length = 1; length <= 16; ++length) {
            std::uint32_t bit;
            if (!bits.Get(1, bit))
                return -1;
            // The stream holds each code bit-reversed, so its first bit is the code's top bit.
            code = (code << 1) | bit;
            if (m_count[length] && code >= m_first[length]
                && code - m_first[length] < m_count[length])
                return m_symbols[m_offset[length] + code - m_first[length]];
        }
        return -1;
    }

private:
    bool Build(const std::vector<std::uint8_t>& lengths)
    {
        // Sorted by length, ties kept in stored order; codes are handed out from the longest,
        // highest-numbered symbol upwards, each the previous plus the previous length's step.
        std::vector<int> order(lengths.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        std::stable_sort(
            order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });

        std::vector<std::uint32_t> codes(lengths.size());
        std::uint32_t code = 0;
        std::uint32_t step = 0;
        int lastLength = 0;
        for (int i = static_cast<int>(order.size()) - 1; i >= 0; --i) {
            code += step;
            const int length = lengths[order[i]];
            if (length != lastLength) {
                lastLength = length;
                step = 1u << (16 - length);
            }
            // Damaged lengths overflow the 16-bit space or leave a code misaligned with its
            // length; either would make the code ambiguous.
            if (code > 0xFFFFu || code % step != 0)
                return false;
            codes[order[i]] = code >> (16 - length);
        }

        m_count.fill(0);
        m_first.fill(0);
        for (std::size_t s = 0; s < lengths.size(); ++s)
            ++m_count[lengths[s]];
        int offset = 0;
        for (int length = 1; length <= 16; ++length) {
            m_offset[length] = offset;
            offset += static_cast<int>(m_count[length]); // at most the 256 symbols
        }
        m_symbols.assign(lengths.size(), 0);
        std::array<std::uint32_t, 17> placed {};
        // Walking in assignment order gives each length's symbols in increasing code order.
        for (int i = static_cast<int>(order.size()) - 1; i >= 0; --i) {
            const int s = order[i];
            const int length = lengths[s];
            if (placed[length] == 0)
                m_first[length] = codes[s];
            m_symbols[m_offset[length] + placed[length]++] = static_cast<std::uint16_t>(s);
        }
        return true;
    }

    std::array<std::uint32_t, 17> m_count {};
    std::array<std::uint32_t, 17> m_first {};
    std::array<int, 17> m_offset {};
    std::vector<std::uint16_t> m_symbols;
};

TZipDecode Explode(TZipInput& in, TZipOutput& out, bool window8k, bool literalTree)
{
    TBitReader bits(in);
    TShannonFano literals;
    TShannonFano lengths;
    TShannonFano distances;
    if ((literalTree && !literals.Read(bits, 256)) || !lengths.Read(bits, 64)
        || !distances.Read(bits, 64))
        return TZipDecode::BadData;

    const std::uint32_t minimumMatch = literalTree ? 3 : 2;
    const int lowDistanceBits = window8k ? 7 : 6;
    TWindow window;
    while (!out.Complete()) {
        std::uint32_t isLiteral;
        if (!bits.Get(1, isLiteral))
            return TZipDecode::BadData;
        if (isLiteral) {
            std::uint32_t b;
            if (literalTree) {
                const int s = literals.Decode(bits);
                if (s < 0)
                    return TZipDecode::BadData;
                b = static_cast<std::uint32_t>(s);
            } else if (!bits.Get(8, b)) {
                return TZipDecode::BadData;
            }
            if (!window.Put(out, static_cast<std::uint8_t>(b)))
                return Failure(out);
            continue;
        }
        std::uint32_t low;
        if (!bits.Get(lowDistanceBits, low))
            return TZipDecode::BadData;
        const int high = distances.Decode(bits);
        if (high < 0)
            return TZipDecode::BadData;
        const int lengthCode = lengths.Decode(bits);
        if (lengthCode < 0)
            return TZipDecode::BadData;
        std::uint32_t length = static_cast<std::uint32_t>(lengthCode) + minimumMatch;
        if (lengthCode == 63) {
            std::uint32_t extra;
            if (!bits.Get(8, extra))
                return TZipDecode::BadData;
            length += extra;
        }
        const std::uint32_t distance
            = ((static_cast<std::uint32_t>(high) << lowDistanceBits) | low) + 1;
        if (!window.Copy(out, distance, length))
            return Failure(out);
    }
    return Finish(out);
}

// ---- Deflating ---------------------------------------------------------------------------

struct TInflateEnd {
    void operator()(z_stream* s) const
    {
        inflateEnd(s);
        delete s;
    }
};

TZipDecode Inflate(TZipInput& in, TZipOutput& out)
{
    auto raw = std::make_unique<z_stream>();
    std::memset(raw.get(), 0, sizeof(z_stream));
    if (inflateInit2(raw.get(), -MAX_WBITS) != Z_OK)
        return TZipDecode::BadData;
    const std::unique_ptr<z_stream, TInflateEnd> stream(raw.release());
    z_stream& z = *stream;
    for (;;) {
        if (z.avail_in == 0) {
            const std::uint8_t* data;
            const std::size_t size = in.Take(data);
            if (size == 0)
                return TZipDecode::BadData; // the stream never reached its end
            z.next_in = const_cast<Bytef*>(data);
            z.avail_in = static_cast<uInt>(size);
        }
        std::size_t room;
        std::uint8_t* space = out.Space(room);
        if (!space)
            return TZipDecode::WriteFailed;
        z.next_out = space;
        z.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (!out.Commit(room - z.avail_out))
            return TZipDecode::BadData; // more than the declared size
        if (rc == Z_STREAM_END)
            break;
        // With room for output and input at hand inflate always moves on; anything else
        // (a damaged stream, a preset dictionary) ends the entry.
        if (rc != Z_OK)
            return TZipDecode::BadData;
    }
    return Finish(out);
}

} // namespace

// ---- Input and output --------------------------------------------------------------------

TZipInput::TZipInput(std::FILE* file, std::uint64_t length)
    : m_file(file)
    , m_left(length)
    , m_buffer(kInputChunk)
{
}

TZipInput::TZipInput(const std::uint8_t* data, std::size_t size)
    : m_pos(data)
    , m_end(data + size)
{
}

bool TZipInput::Refill()
{
    if (!m_file || m_left == 0)
        return false;
    const std::size_t want
        = static_cast<std::size_t>(std::min<std::uint64_t>(m_left, m_buffer.size()));
    const std::size_t got = std::fread(m_buffer.data(), 1, want, m_file);
    if (got == 0) {
        m_left = 0; // a short archive or a read error: the data ends here
        return false;
    }
    m_left -= got;
    m_pos = m_buffer.data();
    m_end = m_pos + got;
    return true;
}

std::size_t TZipInput::Take(const std::uint8_t*& data)
{
    if (m_pos == m_end && !Refill())
        return 0;
    data = m_pos;
    const auto size = static_cast<std::size_t>(m_end - m_pos);
    m_pos = m_end;
    return size;
}

TZipOutput::TZipOutput(std::uint64_t declaredSize, TWriter writer)
    : m_limit(declaredSize)
    , m_writer(std::move(writer))
    , m_buffer(kOutputBuffer)
{
}

bool TZipOutput::Write(const std::uint8_t* data, std::size_t size)
{
    if (size > m_limit - m_count)
        return false;
    while (size > 0) {
        std::size_t room;
        std::uint8_t* space = Space(room);
        if (!space)
            return false;
        const std::size_t n = std::min(room, size);
        std::memcpy(space, data, n);
        Commit(n);
        data += n;
        size -= n;
    }
    return true;
}

std::uint8_t* TZipOutput::Space(std::size_t& room)
{
    if (m_fill == m_buffer.size() && !Flush())
        return nullptr;
    room = m_buffer.size() - m_fill;
    return m_buffer.data() + m_fill;
}

bool TZipOutput::Commit(std::size_t size)
{
    if (size > m_limit - m_count)
        return false;
    m_fill += size;
    m_count += size;
    return true;
}

bool TZipOutput::Flush()
{
    if (m_writeFailed)
        return false;
    if (m_fill == 0)
        return true;
    if (!m_writer(m_buffer.data(), m_fill)) {
        m_writeFailed = true;
        return false;
    }
    m_crc = static_cast<std::uint32_t>(crc32(m_crc, m_buffer.data(), static_cast<uInt>(m_fill)));
    m_fill = 0;
    return true;
}

// ---- The methods -------------------------------------------------------------------------

TZipDecode DecodeStored(TZipInput& in, TZipOutput& out)
{
    const std::uint8_t* data;
    while (std::size_t size = in.Take(data)) {
        if (!out.Write(data, size))
            return Failure(out);
    }
    return Finish(out);
}

TZipDecode DecodeShrunk(TZipInput& in, TZipOutput& out)
{
    TUnshrinker unshrinker;
    return unshrinker.Run(in, out);
}

TZipDecode DecodeReduced(TZipInput& in, TZipOutput& out, int factor)
{
    if (factor < 1 || factor > 4)
        return TZipDecode::BadData;
    return Unreduce(in, out, factor);
}

TZipDecode DecodeImploded(TZipInput& in, TZipOutput& out, bool window8k, bool literalTree)
{
    return Explode(in, out, window8k, literalTree);
}

TZipDecode DecodeDeflated(TZipInput& in, TZipOutput& out)
{
    return Inflate(in, out);
}

} // namespace vendrix
