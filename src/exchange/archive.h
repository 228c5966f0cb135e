// ZIP archives of the exchange: packing the export into a one-entry archive that any ZIP tool of
// the office opens, and extracting entries of a given name from the office's archive into a
// folder. Entry names are windows-1251 when written and cp866 when read, as on the devices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

// Results of Extract below 1: the archive as a whole cannot be used.
constexpr int kZipNoFolder = -500; // no target folder given
constexpr int kZipCannotOpen = -14; // the archive cannot be opened for reading
constexpr int kZipNoEndRecord = -100; // no end record: empty file, not an archive, cut off
constexpr int kZipBadDirectory = -101; // the central directory is damaged or lies outside
constexpr int kZipReadFailed = -102; // the archive could not be read

// Results of a single entry (see TZipEntryResult); 0 means extracted.
constexpr int kZipCrcMismatch = -1; // the decoded bytes do not give the stored CRC-32
constexpr int kZipBadData = -2; // the compressed data is damaged, cut off or too long
constexpr int kZipBadLocalHeader = -4; // no local header where the directory points
constexpr int kZipCannotWrite = -5; // the file or its folder cannot be made
constexpr int kZipUnsupportedMethod = -6;
constexpr int kZipEncrypted = -7;
constexpr int kZipUnsafeName = -8; // the name would land outside the target folder
constexpr int kZipOverlapping = -9; // the entry's bytes are shared with another entry's
constexpr int kZipPastLimit = -10; // the entry would take the extraction past its cap

/// The most one extraction writes unless its caller gives another limit; less when the target's
/// file system has less room.
constexpr std::uint64_t kExtractionLimit = std::uint64_t(4) << 30;

/// How one entry that matched the wanted name fared.
struct TZipEntryResult {
    std::string name; // the stored name, in UTF-8
    int result; // 0 when extracted, else one of the entry codes above
};

/// Packs `source` into a new archive `archive` (replacing any file of that name) holding the one
/// entry of the source's file name, deflated. Returns true on success. A missing source fails
/// at once, touching nothing; any other failure leaves no archive of that name, and a killed
/// pack leaves the earlier archive whole. Only a zlib failure is shown, with zlib's text.
bool Pack(const std::filesystem::path& source, const std::filesystem::path& archive);

/// Extracts every entry of `archive` whose stored name matches `wantedName` (exact letter case;
/// "*" and "?" are wildcards; "*" or "*.*" alone take every entry) into `folder`, creating the
/// folders of the entry names. Returns the number of extracted files and folders in place at
/// the end (entries of one name count once), or one of the archive codes above. A failed entry
/// leaves no file of its name; entries sharing their data with another are refused; all that is
/// written stays within `limit`, and within the free space of the target folder's file system.
/// `results`, when given, receives the outcome of every matching entry.
int Extract(const std::filesystem::path& archive, const std::filesystem::path& folder,
    std::string_view wantedName, std::vector<TZipEntryResult>* results = nullptr,
    std::uint64_t limit = kExtractionLimit);

/// zlib's error text for a zlib result code, as shown when packing fails.
std::string ZlibErrorText(int code);

} // namespace vendrix
