// Where the agent's database lies: base.sdb in the "data" folder of the program folder, fixed
// once at start, and whether the file was there before: a new database gets the default
// settings and the first-run questions.
#pragma once

#include <filesystem>

namespace vendrix {

/// Fixes the database location: the "data" folder in `programFolder` (created when missing) and
/// "base.sdb" in it; records whether the file existed. Returns false when the data folder is
/// missing and cannot be created (the user has been told).
bool InitDatabaseLocation(const std::filesystem::path& programFolder);
/// Full path of the database file.
const std::filesystem::path& DbPath();
/// True when the database file did not exist when its location was fixed.
bool IsNewDatabase();

} // namespace vendrix
