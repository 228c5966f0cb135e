// Packing the export into the archive that travels to the office. The archive is laid out byte
// for byte as the office's tools have always received it from the devices: one deflated entry,
// version 10, the DOS time stamp of the source in local time and the archive attribute; it
// appears under its name only when complete.
#include "exchange/archive.h"

#include "exchange/zip_format.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"
#include "storage/codepage.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace vendrix {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 16384;
constexpr std::uintmax_t kInMemoryLimit = 4194304; // larger sources pack through a file
constexpr std::uint16_t kPackVersion = 10;

void ShowZlibError(int code)
{
    UI().Message(ZlibErrorText(code), TIcon::Error);
}

/// The DOS time and date of a local time stamp. DOS dates cover 1980 to 2107 only; a stamp
/// outside is pinned to the nearest end rather than wrapped into a wrong year.
void DosStamp(const platform::TLocalTime& t, std::uint16_t& time, std::uint16_t& date)
{
    platform::TLocalTime s = t;
    if (s.year < 1980)
        s = {1980, 1, 1, 0, 0, 0, 0};
    else if (s.year > 2107)
        s = {2107, 12, 31, 23, 59, 58, 0};
    time = static_cast<std::uint16_t>((s.second / 2) | (s.minute << 5) | (s.hour << 11));
    date = static_cast<std::uint16_t>(s.day | (s.month << 5) | ((s.year - 1980) << 9));
}

/// Where the compressed export collects until its size is known for the local header: memory
/// for a source up to 4 MiB, else a temporary file in the program folder.
class TPackBuffer {
public:
    /// Prepares the buffer; false when no temporary file can be made.
    bool Open(bool toFile)
    {
        if (!toFile)
            return true;
        const fs::path folder = ProgramFolder();
        for (int i = 0; i <= 0xFFFF; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%04X", i);
            const fs::path path = folder / (i == 0 ? "pack.tmp" : name);
            errno = 0;
            // Created exclusively, so a file of someone else's is never taken over.
            TFile file(std::fopen(path.c_str(), "w+bx"));
            if (!file) {
                if (errno != EEXIST)
                    return false;
                continue;
            }
            // Unlinked at once, used through the handle: a killed pack leaves no data behind.
            std::error_code ec;
            if (!fs::remove(path, ec))
                return false;
            m_file = std::move(file);
            return true;
        }
        return false;
    }

    bool Append(const std::uint8_t* data, std::size_t size)
    {
        m_size += size;
        if (!m_file) {
            m_memory.insert(m_memory.end(), data, data + size);
            return true;
        }
        return std::fwrite(data, 1, size, m_file.get()) == size;
    }

    std::uint64_t Size() const { return m_size; }

    bool CopyTo(std::FILE* out)
    {
        if (!m_file)
            return std::fwrite(m_memory.data(), 1, m_memory.size(), out) == m_memory.size();
        if (std::fflush(m_file.get()) != 0 || std::fseek(m_file.get(), 0, SEEK_SET) != 0)
            return false;
        std::vector<std::uint8_t> chunk(kChunk);
        std::uint64_t copied = 0;
        while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), m_file.get())) {
            if (std::fwrite(chunk.data(), 1, got, out) != got)
                return false;
            copied += got;
        }
        return copied == m_size;
    }

private:
    TFile m_file;
    std::vector<std::uint8_t> m_memory;
    std::uint64_t m_size = 0;
};

/// A raw deflate stream at level 9, ended however packing ends.
class TDeflater {
public:
    TDeflater() = default;
    ~TDeflater()
    {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    int Init()
    {
        const int rc = deflateInit2(&m_stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        m_ready = rc == Z_OK;
        return rc;
    }
    int End()
    {
        m_ready = false;
        return deflateEnd(&m_stream);
    }
    z_stream& Stream() { return m_stream; }

private:
    z_stream m_stream {};
    bool m_ready = false;
};

/// The source of a pack: open for reading, with its size, time stamp and entry name.
struct TPackSource {
    TFile file;
    std::uintmax_t size = 0;
    platform::TLocalTime stamp {};
    std::string name; // windows-1251, without folders
};

/// Opens the source of a pack. False when it is missing or no regular file, when its name
/// does not fit an entry, or when writing `archive` would overwrite it.
bool OpenSource(const fs::path& source, const fs::path& archive, TPackSource& out)
{
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return false;
    // The archive, or its temporary file, over its own source would destroy the source.
    if (fs::equivalent(source, archive, ec)
        || fs::equivalent(source, platform::TAtomicFile::TemporaryPathOf(archive), ec))
        return false;
    out.size = fs::file_size(source, ec);
    if (ec)
        return false;
    if (!platform::FileLocalTime(source, out.stamp))
        out.stamp = platform::LocalNow();
    out.name = Utf8ToCp1251(source.filename().string());
    if (out.name.empty() || out.name.size() > 255)
        return false;
    out.file = OpenFile(source, "rb");
    return out.file != nullptr;
}

/// The CRC-32 and size of the bytes deflated.
struct TDeflated {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

/// Deflates the whole of `in` (raw, level 9) into `buffer` in 16 KiB chunks. False when the
/// source cannot be read, the buffer not written or zlib fails; zlib's text is then shown.
bool DeflateChunks(std::FILE* in, TPackBuffer& buffer, TDeflated& done)
{
    TDeflater deflater;
    int rc = deflater.Init();
    if (rc != Z_OK) {
        ShowZlibError(rc);
        return false;
    }
    z_stream& z = deflater.Stream();
    std::vector<std::uint8_t> input(kChunk);
    std::vector<std::uint8_t> output(kChunk);
    z.next_out = output.data();
    z.avail_out = kChunk;
    const auto drain = [&] {
        const std::size_t filled = kChunk - z.avail_out;
        z.next_out = output.data();
        z.avail_out = kChunk;
        return buffer.Append(output.data(), filled);
    };

    done.crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
    while (std::size_t got = std::fread(input.data(), 1, kChunk, in)) {
        done.size += got;
        done.crc
            = static_cast<std::uint32_t>(crc32(done.crc, input.data(), static_cast<uInt>(got)));
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(got);
        while (z.avail_in > 0) {
            rc = deflate(&z, Z_NO_FLUSH);
            // With room for output deflate takes all the input; stopping short means a fault.
            if (rc != Z_OK || (z.avail_out > 0 && z.avail_in > 0)) {
                ShowZlibError(rc != Z_OK ? rc : Z_STREAM_ERROR);
                return false;
            }
            if (z.avail_out == 0 && !drain())
                return false;
        }
    }
    if (std::ferror(in))
        return false;
    while ((rc = deflate(&z, Z_FINISH)) != Z_STREAM_END) {
        if (rc != Z_OK || z.avail_out > 0) {
            ShowZlibError(rc != Z_OK ? rc : Z_STREAM_ERROR);
            return false;
        }
        if (!drain())
            return false;
    }
    if (!drain())
        return false;
    rc = deflater.End();
    if (rc != Z_OK) {
        ShowZlibError(rc);
        return false;
    }
    return true;
}

/// Bytes 4 to 29 of the local header, which the central directory repeats: version 10, no
/// flags, deflated, the DOS stamp, CRC, sizes, name length and no extra field.
std::vector<std::uint8_t> HeaderFields(const platform::TLocalTime& stamp, const TDeflated& data,
    std::uint32_t compressedSize, std::uint32_t nameLength)
{
    std::uint16_t dosTime;
    std::uint16_t dosDate;
    DosStamp(stamp, dosTime, dosDate);
    std::vector<std::uint8_t> out;
    Put16(out, kPackVersion);
    Put16(out, 0); // flags: no data descriptor, no encryption
    Put16(out, kMethodDeflated);
    Put16(out, dosTime);
    Put16(out, dosDate);
    Put32(out, data.crc);
    Put32(out, compressedSize);
    Put32(out, static_cast<std::uint32_t>(data.size));
    Put16(out, nameLength);
    Put16(out, 0); // extra field length
    return out;
}

/// The local header and the name, which the compressed data follows.
std::vector<std::uint8_t> LocalHeader(
    const std::vector<std::uint8_t>& fields, const std::string& name)
{
    std::vector<std::uint8_t> out;
    out.reserve(4 + fields.size() + name.size());
    Put32(out, kLocalSignature);
    out.insert(out.end(), fields.begin(), fields.end());
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

/// The central directory header of the one entry, with the name.
std::vector<std::uint8_t> CentralDirectory(
    const std::vector<std::uint8_t>& fields, const std::string& name)
{
    std::vector<std::uint8_t> out;
    Put32(out, kCentralSignature);
    Put16(out, kPackVersion); // made by: MS-DOS, 1.0
    out.insert(out.end(), fields.begin(), fields.end());
    Put16(out, 0); // file comment length
    Put16(out, 0); // disk number start
    Put16(out, 0); // internal attributes
    Put32(out, kArchiveAttribute);
    Put32(out, 0); // offset of the local header
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

/// The end of central directory record of a one-entry archive.
std::vector<std::uint8_t> EndRecord(std::uint32_t nameLength, std::uint32_t compressedSize)
{
    std::vector<std::uint8_t> out;
    Put32(out, kEndSignature);
    Put16(out, 0); // this disk
    Put16(out, 0); // disk with the central directory
    Put16(out, 1); // entries on this disk
    Put16(out, 1); // entries in total
    Put32(out, static_cast<std::uint32_t>(kCentralHeaderSize) + nameLength);
    Put32(out, static_cast<std::uint32_t>(kLocalHeaderSize) + nameLength + compressedSize);
    Put16(out, 0); // archive comment length
    return out;
}

bool WriteBytes(std::FILE* file, const std::vector<std::uint8_t>& bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

} // namespace

std::string ZlibErrorText(int code)
{
    switch (code) {
    case Z_NEED_DICT:
        return "need dictionary";
    case Z_STREAM_END:
        return "stream end";
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "Unknown zlib error " + std::to_string(code);
    }
}

bool Pack(const fs::path& source, const fs::path& archive)
{
    TPackSource src;
    if (!OpenSource(source, archive, src))
        return false;
    // Written under a temporary name and renamed into place when complete: a killed pack
    // leaves the earlier archive whole, and the next pack removes what it left.
    platform::TAtomicFile out(archive);
    std::FILE* file = out.Open();
    if (!file)
        return false;
    // A pack that fails leaves no archive at all: an earlier one must not travel to the office
    // in place of this export, whose XML file the caller keeps.
    TRemoveUnlessKept dropArchive(archive);
    TPackBuffer buffer;
    TDeflated deflated;
    if (!buffer.Open(src.size > kInMemoryLimit) || !DeflateChunks(src.file.get(), buffer, deflated))
        return false;
    // Without the ZIP64 extension sizes end at 4 GiB; an archive claiming less would be corrupt.
    if (deflated.size > kMaxZip32 || buffer.Size() > kMaxZip32 - kLocalHeaderSize - src.name.size())
        return false;

    const auto compressedSize = static_cast<std::uint32_t>(buffer.Size());
    const auto nameLength = static_cast<std::uint32_t>(src.name.size());
    const std::vector<std::uint8_t> fields
        = HeaderFields(src.stamp, deflated, compressedSize, nameLength);
    if (!WriteBytes(file, LocalHeader(fields, src.name)) || !buffer.CopyTo(file)
        || !WriteBytes(file, CentralDirectory(fields, src.name))
        || !WriteBytes(file, EndRecord(nameLength, compressedSize)) || !out.Commit())
        return false;
    dropArchive.Keep();
    return true;
}

} // namespace vendrix
