// Stand-ins for the handheld's platform services that the core needs: the running program's
// folder, the device's unique identifier, GUID generation, special folders, local time and
// case-insensitive text comparison. Small std-only API; QtCore does the work inside.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix::platform {

/// Folder of the running program file (from /proc/self/exe); empty when it cannot be read.
std::filesystem::path RunningProgramFolder();

/// The name the desktop knows the program by: its desktop entry, icon and metainfo file.
constexpr const char* kDesktopId = "org.vendrix.Agent";

/// The user's own folder for the program's data: $XDG_DATA_HOME/vendrix, or
/// ~/.local/share/vendrix when that is unset or not absolute. Empty when there is no home.
std::filesystem::path UserDataFolder();

/// True when `folder` can keep the "data" and "exchange" folders beside the program, as a
/// portable copy does: the folder can be written and is not an installed program's folder
/// ("bin" with the desktop entry in "../share/applications").
bool IsPortableFolder(const std::filesystem::path& folder);

/// The folder that serves as the program folder for data and exchange: the running program's
/// own folder when it is portable, else the user data folder, created when missing.
std::filesystem::path WorkingProgramFolder();

/// The device's unique identifier for the given application data: 20 bytes, the same on every
/// call on one machine. Fails (returns false) when the machine has no identifier.
bool DeviceUniqueId(
    const std::vector<std::uint8_t>& applicationData, std::vector<std::uint8_t>& out);

/// A new random GUID as 36 upper-case hexadecimal characters in groups 8-4-4-4-12, without
/// braces; empty when generation fails.
std::string NewGuid();

/// The user's documents folder, created when missing; empty when there is none.
std::string DocumentsFolder();

/// The local calendar date and time of day now.
struct TLocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
TLocalTime LocalNow();

/// The local date and time of a file's last write; false when the file cannot be examined.
bool FileLocalTime(const std::filesystem::path& file, TLocalTime& out);

/// True when `text` begins with `prefix`, comparing the first as many characters as `prefix`
/// has, ignoring letter case by Unicode rules (so "ива" begins "Иванов"). Both are UTF-8.
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

/// The same test for one prefix against many texts: the prefix is case-folded once, and each
/// text is read character by character without allocating, as the quick search of a long
/// reference list needs.
class TPrefixMatcher {
public:
    explicit TPrefixMatcher(std::string_view prefix);
    bool Matches(std::string_view text) const;

private:
    std::vector<char32_t> m_folded;
};

} // namespace vendrix::platform
