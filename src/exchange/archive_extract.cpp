// Extracting the office's archive. Extraction walks the central directory, decodes every PKZIP
// method the office's archivers may have used, checks the CRC-32, keeps every written file
// inside the target folder, refuses entries that share their data and stops at a cap on what
// one extraction writes, so a hostile archive costs no more than what it writes.
#include "exchange/archive.h"

#include "exchange/zip_format.h"
#include "exchange/zip_methods.h"
#include "platform/utf8.h"
#include "storage/codepage.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace vendrix {

namespace {

namespace fs = std::filesystem;

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

/// True for the methods Decode knows: stored, shrunk, reduced, imploded and deflated.
bool MethodSupported(std::uint16_t method)
{
    return method <= kMethodDeflated && method != kMethodTokenized;
}

TZipDecode Decode(std::uint16_t method, std::uint16_t flags, TZipInput& in, TZipOutput& out)
{
    switch (method) {
    case kMethodStored:
        return DecodeStored(in, out);
    case kMethodShrunk:
        return DecodeShrunk(in, out);
    case kMethodReduced1:
    case kMethodReduced2:
    case kMethodReduced3:
    case kMethodReduced4:
        return DecodeReduced(in, out, method - kMethodReduced1 + 1);
    case kMethodImploded:
        return DecodeImploded(in, out, flags & kFlag8kWindow, flags & kFlagLiteralTree);
    default:
        // MethodSupported let no other method through.
        assert(method == kMethodDeflated);
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

/// What one extraction into `folder` may write: `limit`, or the free space of the folder's
/// file system when that is less (asked of the nearest folder that exists yet).
std::uint64_t ExtractionBudget(const fs::path& folder, std::uint64_t limit)
{
    std::error_code ec;
    fs::path existing = fs::absolute(folder, ec);
    while (!ec && !fs::exists(existing, ec) && existing.has_relative_path())
        existing = existing.parent_path();
    const fs::space_info space = fs::space(existing, ec);
    return ec ? limit : std::min<std::uint64_t>(limit, space.available);
}

/// Makes the folders of an entry's name below `folder`. Returns 0 or the entry's failure code;
/// `parent` receives the deepest folder made (the entry itself for a folder entry) and
/// `fileName` the name of the entry's file, left empty for a folder entry.
int MakeEntryFolders(
    const TEntry& entry, const fs::path& folder, fs::path& parent, std::string& fileName)
{
    std::vector<std::string> parts;
    bool isFolder = false;
    if (!SplitEntryName(entry.name, parts, isFolder))
        return kZipUnsafeName;
    const int made = MakeFolders(folder, parts, isFolder ? parts.size() : parts.size() - 1, parent);
    if (made == 0 && !isFolder)
        fileName = parts.back();
    return made;
}

/// How an entry's data is to be read, from its local header (and descriptor).
struct TEntryData {
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint64_t start = 0; // where the compressed data begins in the archive
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
};

/// Reads the local header of `entry` into `data`. Returns 0, or the entry's failure code when
/// the header is missing, the entry shares its bytes, is encrypted or uses an unknown method.
int ReadLocalHeader(std::FILE* archive, const TEntry& entry, TEntryData& data)
{
    std::uint8_t local[kLocalHeaderSize];
    if (!ReadAt(archive, entry.localOffset, local, sizeof local) || Get32(local) != kLocalSignature)
        return kZipBadLocalHeader;
    if (entry.overlaps)
        return kZipOverlapping;
    data.flags = Get16(local + 6);
    data.method = Get16(local + 8);
    if ((data.flags | entry.flags) & kFlagEncrypted)
        return kZipEncrypted;
    if (!MethodSupported(data.method))
        return kZipUnsupportedMethod;
    data.start = std::uint64_t(entry.localOffset) + kLocalHeaderSize + Get16(local + 26)
        + Get16(local + 28);
    data.crc = Get32(local + 14);
    data.compressedSize = Get32(local + 18);
    data.size = Get32(local + 22);
    return 0;
}

/// Checks that the entry's data lies inside the archive and that the local header, or the
/// descriptor after the data, tells the directory's sizes. Returns 0 or kZipBadData.
int CheckSizes(std::FILE* archive, std::uint64_t archiveSize, const TEntry& entry, TEntryData& data)
{
    const std::uint64_t dataEnd = data.start + entry.compressedSize;
    if (dataEnd > archiveSize)
        return kZipBadData;
    if ((data.flags & kFlagDescriptor)
        && !ReadDescriptor(archive, archiveSize, dataEnd, data.crc, data.compressedSize, data.size))
        return kZipBadData;
    // The local header (or descriptor) and the directory must tell the same sizes: the data
    // is bounded by one and the output by the other.
    if (data.compressedSize != entry.compressedSize || data.size != entry.size
        || (data.method == kMethodStored && data.compressedSize != data.size))
        return kZipBadData;
    return 0;
}

/// Decodes the entry's data into `sink`, taking what is written off `budget`. Returns 0, or
/// the entry's failure code when the data is damaged, the CRC-32 differs or writing fails.
int DecodeInto(std::FILE* archive, const TEntryData& data, std::FILE* sink, std::uint64_t& budget)
{
    if (std::fseek(archive, static_cast<long>(data.start), SEEK_SET) != 0)
        return kZipBadData;
    TZipInput in(archive, data.compressedSize);
    TZipOutput out(data.size, [sink, &budget](const std::uint8_t* bytes, std::size_t n) {
        // A file removed again after a failure was written all the same: it counts too.
        budget -= n;
        return std::fwrite(bytes, 1, n, sink) == n;
    });
    const TZipDecode decoded = Decode(data.method, data.flags, in, out);
    if (decoded == TZipDecode::WriteFailed)
        return kZipCannotWrite;
    if (decoded != TZipDecode::Ok)
        return kZipBadData;
    return out.Crc() == data.crc ? 0 : kZipCrcMismatch;
}

/// Decodes the entry into a temporary file in `parent` and, once it is complete and checked,
/// gives it the entry's stamp and attributes and renames it to `file`. Returns 0 or the entry's
/// failure code; a failure leaves no temporary file behind.
int WriteEntryFile(std::FILE* archive, const TEntry& entry, const TEntryData& data,
    const fs::path& parent, const fs::path& file, std::uint64_t& budget)
{
    fs::path temporaryPath;
    TFile temporary = CreateTemporary(parent, temporaryPath);
    if (!temporary)
        return kZipCannotWrite;
    TRemoveUnlessKept dropTemporary(temporaryPath);
    const int decoded = DecodeInto(archive, data, temporary.get(), budget);
    if (decoded != 0)
        return decoded;
    if (!CloseWritten(temporary))
        return kZipCannotWrite;

    ApplyStampAndAttributes(temporaryPath, entry);
    std::error_code ec;
    fs::rename(temporaryPath, file, ec);
    if (ec)
        return kZipCannotWrite;
    dropTemporary.Keep();
    return 0;
}

/// Extracts one entry below `folder`, writing at most `budget` bytes and taking what it wrote
/// off it. Returns 0 or the entry's failure code; `target` receives the path of the file or
/// folder once the entry has claimed it (a failure from then on leaves nothing there).
int ExtractEntry(std::FILE* archive, std::uint64_t archiveSize, const TEntry& entry,
    const fs::path& folder, std::uint64_t& budget, fs::path& target)
{
    fs::path parent;
    std::string fileName;
    const int made = MakeEntryFolders(entry, folder, parent, fileName);
    if (made != 0)
        return made;
    if (fileName.empty()) { // a folder entry: its folder is all there is to make
        target = parent;
        return 0;
    }

    const fs::path file = parent / fileName;
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(file, ec)))
        return kZipCannotWrite;
    // The device replaces the file of the entry's name before decoding, so a failed entry
    // leaves no file of that name, not even an older one.
    TRemoveUnlessKept dropTarget(file);
    target = file;

    TEntryData data;
    if (const int rc = ReadLocalHeader(archive, entry, data); rc != 0)
        return rc;
    if (const int rc = CheckSizes(archive, archiveSize, entry, data); rc != 0)
        return rc;
    // The output never passes the declared size, so checking it first keeps the cap without
    // writing a byte.
    if (data.size > budget)
        return kZipPastLimit;
    if (const int rc = WriteEntryFile(archive, entry, data, parent, file, budget); rc != 0)
        return rc;
    dropTarget.Keep();
    return 0;
}

} // namespace

int Extract(const fs::path& archive, const fs::path& folder, std::string_view wantedName,
    std::vector<TZipEntryResult>* results, std::uint64_t limit)
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
    std::uint64_t budget = ExtractionBudget(folder, limit);
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

} // namespace vendrix
