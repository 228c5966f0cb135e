// The first two steps of every start, before any window: fix where the database lies (creating
// the data folder) and check, create or upgrade its schema, loading the reference lists.
#pragma once

#include <filesystem>

namespace vendrix {

/// Runs the storage start-up for the program living in `programFolder`. False when the database
/// cannot be opened or brought up to date; the caller then shows "Ошибка при открытии БД."
/// and ends with exit code 1.
bool StartStorage(const std::filesystem::path& programFolder);

/// The message of a failed start.
constexpr const char* kOpenDatabaseFailed = "Ошибка при открытии БД.";

} // namespace vendrix
