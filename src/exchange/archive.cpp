// Packing the export and extracting the office's archive. The packed archive is laid out byte
// for byte as the office's tools have always received it from the devices: one deflated entry,
// version 10, the DOS time stamp of the source in local time and the archive attribute; it
// appears under its name only when complete. Extraction walks the central directory, decodes
// every PKZIP method the office's archivers may have used, checks the CRC-32, keeps every
// written file inside the target folder, refuses entries that share their data and stops at a
// cap on what one extraction writes, so a hostile archive costs no more than what it writes.
#include "exchange/archive.h"

#include "exchange/zip_methods.h"
#include "platform/atomic_file.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "storage/codepage.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <system_error>

namespace vendrix {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 16384;
constexpr std::uintmax_t kInMemoryLimit = 4194304; // larger sources pack through a file
constexpr std::uint64_t kMaxZip32 = 0xFFFFFFFFu; // sizes and offsets have 32 bits

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlag8kWindow = 0x0002;
constexpr std::uint16_t kFlagLiteralTree = 0x0004;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

constexpr std::uint16_t kPackVersion = 10;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint32_t kArchiveAttribute = 0x20;
constexpr std::uint32_t kReadOnlyAttribute = 0x01;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

TFile OpenFile(const fs::path& path, const char* mode)
{
    return TFile(std::fopen(path.c_str(), mode));
}

/// Closes a file that was written; true when every byte reached the file system.
bool CloseWritten(TFile& file)
{
    std::FILE* f = file.release();
    const bool clean = !std::ferror(f);
    return std::fclose(f) == 0 && clean;
}

bool ReadAt(std::FILE* file, std::uint64_t offset, std::uint8_t* to, std::size_t size)
{
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0
        && std::fread(to, 1, size, file) == size;
}

/// Removes a file when the scope ends, unless told to keep it.
class TRemoveUnlessKept {
public:
    explicit TRemoveUnlessKept(fs::path path = {})
        : m_path(std::move(path))
    {
    }
    ~TRemoveUnlessKept()
    {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove(m_path, ec);
    }
    TRemoveUnlessKept(const TRemoveUnlessKept&) = delete;
    TRemoveUnlessKept& operator=(const TRemoveUnlessKept&) = delete;

    void Set(fs::path path) { m_path = std::move(path); }
    void Keep() { m_path.clear(); }

private:
    fs::path m_path;
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint16_t Get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return Get16(p) | (std::uint32_t(Get16(p + 2)) << 16);
}

// ---- Packing -----------------------------------------------------------------------------

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

// ---- Extracting --------------------------------------------------------------------------

/// One entry of the central directory.
struct TEntry {
    std::string name; // UTF-8
    std::uint16_t flags = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t attributes = 0;
    std::uint32_t localOffset = 0;
    bool wanted = false; // the name matches the wanted name
    bool overlaps = false; // its bytes share bytes with another entry's
};

/// The characters of a UTF-8 text as byte runs (a lead byte and its continuation bytes, as
/// Utf8Length counts them), so that "?" stands for one character, not one byte; two runs are
/// equal exactly when their characters are.
std::vector<std::string_view> Characters(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= text.size(); ++i) {
        if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            out.push_back(text.substr(start, i - start));
            start = i;
        }
    }
    return out;
}

/// True when `name` matches `pattern`, where "*" stands for any run of characters and "?"
/// for one; letter case counts. Backtracks only to the last "*", so it ends in n * m steps.
bool WildcardMatch(
    const std::vector<std::string_view>& name, const std::vector<std::string_view>& pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == "?" || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == "*") {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == "*")
        ++p;
    return p == pattern.size();
}

bool NameWanted(const std::string& name, std::string_view wanted)
{
    if (wanted == "*" || wanted == "*.*")
        return true;
    return WildcardMatch(Characters(name), Characters(wanted));
}

/// Walks the central directory of `count` entries at `offset`, marking the wanted ones.
int ReadEntries(std::FILE* file, std::uint32_t offset, std::uint32_t size, std::uint16_t count,
    std::string_view wanted, std::vector<TEntry>& entries)
{
    std::vector<std::uint8_t> dir(size);
    if (size > 0 && !ReadAt(file, offset, dir.data(), size))
        return kZipReadFailed;
    std::size_t pos = 0;
    for (int i = 0; i < count; ++i) {
        if (dir.size() - pos < kCentralHeaderSize || Get32(&dir[pos]) != kCentralSignature)
            return kZipBadDirectory;
        const std::uint8_t* h = &dir[pos];
        const std::size_t nameLength = Get16(h + 28);
        const std::size_t recordSize
            = kCentralHeaderSize + nameLength + Get16(h + 30) + Get16(h + 32);
        if (dir.size() - pos < recordSize)
            return kZipBadDirectory;
        TEntry e;
        e.flags = Get16(h + 8);
        e.time = Get16(h + 12);
        e.date = Get16(h + 14);
        e.crc = Get32(h + 16);
        e.compressedSize = Get32(h + 20);
        e.size = Get32(h + 24);
        e.attributes = Get32(h + 38);
        e.localOffset = Get32(h + 42);
        const std::string raw(reinterpret_cast<const char*>(h + kCentralHeaderSize), nameLength);
        // The devices' archivers write OEM (cp866) names; a name flagged as UTF-8 by a newer
        // archiver is taken as such, since reading it as cp866 would garble it.
        e.name = (e.flags & kFlagUtf8Name) && platform::IsUtf8(raw) ? raw : Cp866ToUtf8(raw);
        e.wanted = NameWanted(e.name, wanted);
        entries.push_back(std::move(e));
        pos += recordSize;
    }
    return 0;
}

/// Finds the end record (searching back over a possible archive comment) and reads the
/// central directory it points to.
int ReadDirectory(
    std::FILE* file, std::uint64_t fileSize, std::string_view wanted, std::vector<TEntry>& entries)
{
    const std::uint64_t tailSize = std::min<std::uint64_t>(fileSize, kEndRecordSize + 0xFFFF);
    if (tailSize < kEndRecordSize)
        return kZipNoEndRecord;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(tailSize));
    if (!ReadAt(file, fileSize - tailSize, tail.data(), tail.size()))
        return kZipReadFailed;
    bool signatureSeen = false;
    for (std::size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
        const std::uint8_t* p = &tail[i];
        if (Get32(p) != kEndSignature)
            continue;
        signatureSeen = true;
        const std::uint64_t endOffset = fileSize - tailSize + i;
        const std::uint32_t dirSize = Get32(p + 12);
        const std::uint32_t dirOffset = Get32(p + 16);
        // Bytes of compressed data can look like the signature: only a record whose comment
        // and directory fit the file is the real one.
        if (endOffset + kEndRecordSize + Get16(p + 20) > fileSize
            || std::uint64_t(dirOffset) + dirSize > endOffset)
            continue;
        return ReadEntries(file, dirOffset, dirSize, Get16(p + 10), wanted, entries);
    }
    return signatureSeen ? kZipBadDirectory : kZipNoEndRecord;
}

/// Splits an entry name into the folders and file below the target folder. False for a name
/// that would climb out of it or start elsewhere: "..", an absolute path, a drive letter.
/// Both "/" and "\" separate folders, as they do on the device.
bool SplitEntryName(const std::string& name, std::vector<std::string>& parts, bool& isFolder)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return false;
    if (name.size() >= 2 && name[1] == ':'
        && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return false;
    isFolder = name.back() == '/' || name.back() == '\\';
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part == ".." || part.find('\0') != std::string::npos)
            return false;
        if (!part.empty() && part != ".")
            parts.push_back(part);
        start = end + 1;
    }
    return isFolder || !parts.empty();
}

/// Makes the first `depth` folders of `parts` below `folder` and gives the deepest in `made`.
/// A folder of the name that is really a symbolic link is refused: following it could lead
/// outside the target folder.
int MakeFolders(const fs::path& folder, const std::vector<std::string>& parts, std::size_t depth,
    fs::path& made)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    made = folder;
    for (std::size_t i = 0; i < depth; ++i) {
        made /= parts[i];
        const fs::file_status status = fs::symlink_status(made, ec);
        if (fs::is_symlink(status))
            return kZipUnsafeName;
        if (fs::is_directory(status))
            continue;
        if (fs::exists(status) || !fs::create_directory(made, ec))
            return kZipCannotWrite;
    }
    return fs::is_directory(made, ec) ? 0 : kZipCannotWrite;
}

/// An exclusive new file in `folder` to decode into, so the entry's name only ever holds a
/// complete, checked file.
TFile CreateTemporary(const fs::path& folder, fs::path& path)
{
    for (int i = 0; i < 1000; ++i) {
        path = folder / (".extract-" + std::to_string(i) + ".tmp");
        errno = 0;
        TFile file(std::fopen(path.c_str(), "wbx"));
        if (file || errno != EEXIST)
            return file;
    }
    return nullptr;
}

/// Gives a finished file the entry's time stamp (DOS date and time, local) and its read-only
/// attribute; the others (archive, hidden, system) have no counterpart here.
void ApplyStampAndAttributes(const fs::path& file, const TEntry& entry)
{
    std::tm tm {};
    tm.tm_year = 80 + (entry.date >> 9);
    tm.tm_mon = ((entry.date >> 5) & 15) - 1;
    tm.tm_mday = entry.date & 31;
    tm.tm_hour = entry.time >> 11;
    tm.tm_min = (entry.time >> 5) & 63;
    tm.tm_sec = (entry.time & 31) * 2;
    tm.tm_isdst = -1;
    std::error_code ec;
    // A damaged stamp leaves the time of extraction instead of an invented date.
    if (tm.tm_mon >= 0 && tm.tm_mon < 12 && tm.tm_mday >= 1 && tm.tm_hour < 24 && tm.tm_min < 60
        && tm.tm_sec < 60) {
        const std::time_t t = std::mktime(&tm);
        if (t != static_cast<std::time_t>(-1))
            fs::last_write_time(file,
                std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)), ec);
    }
    if (entry.attributes & kReadOnlyAttribute)
        fs::permissions(file,
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
            fs::perm_options::remove, ec);
}

/// The CRC and sizes after the data of an entry with flag bit 3, with or without the
/// descriptor's own signature; false when they lie outside the archive.
bool ReadDescriptor(std::FILE* file, std::uint64_t fileSize, std::uint64_t offset,
    std::uint32_t& crc, std::uint32_t& compressedSize, std::uint32_t& size)
{
    std::uint8_t d[16];
    const std::uint64_t available = fileSize > offset ? fileSize - offset : 0;
    if (available < 12 || !ReadAt(file, offset, d, std::min<std::uint64_t>(available, 16)))
        return false;
    const std::size_t skip = available >= 16 && Get32(d) == kDescriptorSignature ? 4 : 0;
    crc = Get32(d + skip);
    compressedSize = Get32(d + skip + 4);
    size = Get32(d + skip + 8);
    return true;
}

TZipDecode Decode(std::uint16_t method, std::uint16_t flags, TZipInput& in, TZipOutput& out)
{
    switch (method) {
    case 0:
        return DecodeStored(in, out);
    case 1:
        return DecodeShrunk(in, out);
    case 2:
    case 3:
    case 4:
    case 5:
        return DecodeReduced(in, out, method - 1);
    case 6:
        return DecodeImploded(in, out, flags & kFlag8kWindow, flags & kFlagLiteralTree);
    default:
        return DecodeDeflated(in, out);
    }
}

/// Marks every entry whose bytes (local header, name, extra field, compressed data) share a
/// byte with another entry's. Archivers never share data between entries; a hostile archive
/// points thousands of entries at one stream so that a few megabytes decode over and over.
void MarkOverlaps(std::FILE* file, std::uint64_t fileSize, std::vector<TEntry>& entries)
{
    struct TSpan {
        std::uint64_t start;
        std::uint64_t end;
        std::size_t entry;
    };
    std::vector<TSpan> spans;
    spans.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TEntry& e = entries[i];
        std::uint8_t local[kLocalHeaderSize];
        std::uint64_t end = std::uint64_t(e.localOffset) + kLocalHeaderSize;
        // An unreadable local header fails its entry anyway; it still claims its 30 bytes.
        if (ReadAt(file, e.localOffset, local, sizeof local) && Get32(local) == kLocalSignature)
            end += Get16(local + 26) + Get16(local + 28) + std::uint64_t(e.compressedSize);
        // Data said to run past the archive is never decoded (its entry fails alone), so it
        // must not take down the entries it seems to cover.
        if (end <= fileSize)
            spans.push_back({e.localOffset, end, i});
    }
    std::sort(spans.begin(), spans.end(),
        [](const TSpan& a, const TSpan& b) { return a.start < b.start; });
    // In order of start, a span overlaps a later one exactly when it reaches past the next
    // start, and an earlier one exactly when it starts before the furthest end so far.
    std::uint64_t reach = 0;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        if ((k > 0 && spans[k].start < reach)
            || (k + 1 < spans.size() && spans[k + 1].start < spans[k].end))
            entries[spans[k].entry].overlaps = true;
        reach = std::max(reach, spans[k].end);
    }
}

std::uint64_t g_extractionLimit = kExtractionLimit;

/// What one extraction into `folder` may write: the set limit, or the free space of the
/// folder's file system when that is less (asked of the nearest folder that exists yet).
std::uint64_t ExtractionBudget(const fs::path& folder)
{
    std::error_code ec;
    fs::path existing = fs::absolute(folder, ec);
    while (!ec && !fs::exists(existing, ec) && existing.has_relative_path())
        existing = existing.parent_path();
    const fs::space_info space = fs::space(existing, ec);
    return ec ? g_extractionLimit : std::min<std::uint64_t>(g_extractionLimit, space.available);
}

/// Extracts one entry below `folder`, writing at most `budget` bytes and taking what it wrote
/// off it. Returns 0 or the entry's failure code; `target` receives the path of the file or
/// folder once the entry has claimed it (a failure from then on leaves nothing there).
int ExtractEntry(std::FILE* archive, std::uint64_t archiveSize, const TEntry& entry,
    const fs::path& folder, std::uint64_t& budget, fs::path& target)
{
    std::vector<std::string> parts;
    bool isFolder = false;
    if (!SplitEntryName(entry.name, parts, isFolder))
        return kZipUnsafeName;
    fs::path parent;
    const int made = MakeFolders(folder, parts, isFolder ? parts.size() : parts.size() - 1, parent);
    if (made != 0)
        return made;
    if (isFolder) {
        target = parent;
        return 0;
    }

    const fs::path file = parent / parts.back();
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        return kZipCannotWrite;
    // The device replaces the file of the entry's name before decoding, so a failed entry
    // leaves no file of that name, not even an older one.
    TRemoveUnlessKept dropTarget(file);
    target = file;

    std::uint8_t local[kLocalHeaderSize];
    if (!ReadAt(archive, entry.localOffset, local, sizeof local) || Get32(local) != kLocalSignature)
        return kZipBadLocalHeader;
    if (entry.overlaps)
        return kZipOverlapping;
    const std::uint16_t flags = Get16(local + 6);
    const std::uint16_t method = Get16(local + 8);
    if ((flags | entry.flags) & kFlagEncrypted)
        return kZipEncrypted;
    if (method == 7 || method > 8)
        return kZipUnsupportedMethod;

    const std::uint64_t dataStart = std::uint64_t(entry.localOffset) + kLocalHeaderSize
        + Get16(local + 26) + Get16(local + 28);
    const std::uint64_t dataEnd = dataStart + entry.compressedSize;
    if (dataEnd > archiveSize)
        return kZipBadData;
    std::uint32_t crc = Get32(local + 14);
    std::uint32_t compressedSize = Get32(local + 18);
    std::uint32_t size = Get32(local + 22);
    if ((flags & kFlagDescriptor)
        && !ReadDescriptor(archive, archiveSize, dataEnd, crc, compressedSize, size))
        return kZipBadData;
    // The local header (or descriptor) and the directory must tell the same sizes: the data
    // is bounded by one and the output by the other.
    if (compressedSize != entry.compressedSize || size != entry.size
        || (method == 0 && compressedSize != size))
        return kZipBadData;
    // The output never passes the declared size, so checking it first keeps the cap without
    // writing a byte.
    if (size > budget)
        return kZipPastLimit;

    fs::path temporaryPath;
    TFile temporary = CreateTemporary(parent, temporaryPath);
    if (!temporary)
        return kZipCannotWrite;
    TRemoveUnlessKept dropTemporary(temporaryPath);
    if (std::fseek(archive, static_cast<long>(dataStart), SEEK_SET) != 0)
        return kZipBadData;

    TZipInput in(archive, compressedSize);
    std::FILE* sink = temporary.get();
    TZipOutput out(size, [sink, &budget](const std::uint8_t* data, std::size_t n) {
        // A file removed again after a failure was written all the same: it counts too.
        budget -= n;
        return std::fwrite(data, 1, n, sink) == n;
    });
    const TZipDecode decoded = Decode(method, flags, in, out);
    if (decoded == TZipDecode::WriteFailed)
        return kZipCannotWrite;
    if (decoded != TZipDecode::Ok)
        return kZipBadData;
    if (out.Crc() != crc)
        return kZipCrcMismatch;
    if (!CloseWritten(temporary))
        return kZipCannotWrite;

    ApplyStampAndAttributes(temporaryPath, entry);
    fs::rename(temporaryPath, file, ec);
    if (ec)
        return kZipCannotWrite;
    dropTemporary.Keep();
    dropTarget.Keep();
    return 0;
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

int Extract(const fs::path& archive, const fs::path& folder, std::string_view wantedName,
    std::vector<TZipEntryResult>* results)
{
    if (folder.empty())
        return kZipNoFolder;
    std::error_code ec;
    if (!fs::is_regular_file(archive, ec))
        return kZipCannotOpen;
    TFile file = OpenFile(archive, "rb");
    if (!file)
        return kZipCannotOpen;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return kZipReadFailed;
    const long size = std::ftell(file.get());
    if (size < 0)
        return kZipReadFailed;

    std::vector<TEntry> entries;
    const int rc = ReadDirectory(file.get(), static_cast<std::uint64_t>(size), wantedName, entries);
    if (rc < 0)
        return rc;
    MarkOverlaps(file.get(), static_cast<std::uint64_t>(size), entries);
    std::uint64_t budget = ExtractionBudget(folder);
    // Whether each file or folder the entries made is still in place: a later entry of the
    // same name replaces the file, or removes it when it fails, so only the end state counts.
    std::map<fs::path, bool> inPlace;
    for (const TEntry& entry : entries) {
        if (!entry.wanted)
            continue;
        fs::path target;
        const int result = ExtractEntry(
            file.get(), static_cast<std::uint64_t>(size), entry, folder, budget, target);
        if (results)
            results->push_back({entry.name, result});
        if (!target.empty())
            inPlace[target] = result == 0;
    }
    return static_cast<int>(std::count_if(
        inPlace.begin(), inPlace.end(), [](const auto& item) { return item.second; }));
}

void SetExtractionLimit(std::uint64_t bytes)
{
    g_extractionLimit = bytes;
}

} // namespace vendrix
