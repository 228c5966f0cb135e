// The first two steps of every start, before any window: fix where the database lies (creating
// the data folder) and check, create or upgrade its schema, loading the reference lists. When
// that fails, the way back: the copy of the database made before the last office answer. The
// same way back while the program runs, to any copy, starting the storage again on it.
#pragma once

#include <filesystem>
#include <string>

namespace vendrix {

struct TBackup;

/// Runs the storage start-up for the program living in `programFolder`. False when the database
/// cannot be opened or brought up to date; the caller then shows "Ошибка при открытии БД."
/// and ends with exit code 1.
bool StartStorage(const std::filesystem::path& programFolder);

/// The program's start: StartStorage, and when it fails, or the goods could not be read, says
/// so and offers to put back the copy made before the last import («Да»/«Нет», «Нет» the
/// default), starting again on it when the agent agrees. False when the program cannot start
/// (shown).
bool StartStorageOrGoBack(const std::filesystem::path& programFolder);

/// The agent's way back while the program runs («Вернуть» in «Резервные копии»): refuses a
/// damaged copy, asks «Вернуть копию базы от ...?» («Нет» the default), puts the copy in place
/// (RestoreBackupInProgram: the replaced database kept as one more copy) and starts the storage
/// on it again, the reference lists reloaded. Every outcome is shown: a refusal or failure says
/// why with base.sdb unchanged, success names the copy and what the replaced database was kept
/// as, and a copy the program cannot start on is said so, with the replaced database offered
/// back. The caller has closed every window that works on the database. True when base.sdb was
/// replaced: what the caller shows from it must be read again.
bool RestoreCopyInProgram(const TBackup& copy);

/// For a start that failed: the line that names the copy made before the last import and the
/// companion's command that puts it back; empty when there is no such copy.
std::string WayBackAdvice();

/// The message of a failed start.
constexpr const char* kOpenDatabaseFailed = "Ошибка при открытии БД.";
/// What a start says when the goods could not be read.
constexpr const char* kGoodsUnread = "Справочник товаров не прочитан.";

} // namespace vendrix
