// The first two steps of every start, before any window: fix where the database lies (creating
// the data folder) and check, create or upgrade its schema, loading the reference lists. When
// that fails, the way back: the copy of the database made before the last office answer.
#pragma once

#include <filesystem>
#include <string>

namespace vendrix {

/// Runs the storage start-up for the program living in `programFolder`. False when the database
/// cannot be opened or brought up to date; the caller then shows "Ошибка при открытии БД."
/// and ends with exit code 1.
bool StartStorage(const std::filesystem::path& programFolder);

/// The program's start: StartStorage, and when it fails, or the goods could not be read, says
/// so and offers to put back the copy made before the last import («Да»/«Нет», «Нет» the
/// default), starting again on it when the agent agrees. False when the program cannot start
/// (shown).
bool StartStorageOrGoBack(const std::filesystem::path& programFolder);

/// For a start that failed: the line that names the copy made before the last import and the
/// companion's command that puts it back; empty when there is no such copy.
std::string WayBackAdvice();

/// The message of a failed start.
constexpr const char* kOpenDatabaseFailed = "Ошибка при открытии БД.";
/// What a start says when the goods could not be read.
constexpr const char* kGoodsUnread = "Справочник товаров не прочитан.";

} // namespace vendrix
