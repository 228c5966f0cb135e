// The agent's way back from an office answer: before every import the database is copied into
// "data/backup/", the newest three copies are kept, and a copy can be put back in place of
// "base.sdb" while the program is not running, the replaced file becoming one more copy.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vendrix {

constexpr int kBackupsKept = 3;

/// One copy of the database.
struct TBackup {
    std::string name; // file name in the backup folder, "base-yyyy-MM-dd_HH-mm-ss-zzz.sdb"
    std::string time; // when it was made, "dd.MM.yyyy HH:mm:ss"
    int orders = -1; // documents in its journal; -1 when the copy cannot be read
};

enum class TBackupOutcome { Made, NoRoom, Failed };

/// The folder of the copies: "backup" in the data folder.
std::filesystem::path BackupFolder();

/// Copies the database (through SQLite, so the copy is consistent) into the backup folder and
/// removes all but the newest kBackupsKept copies. NoRoom, without touching anything, when the
/// disk lacks room for the copy; Failed when SQLite could not write it (nothing is left of it).
/// `name` receives the copy's file name. Shows nothing.
TBackupOutcome MakeBackup(std::string* name = nullptr);

/// The copies, newest first.
std::vector<TBackup> ListBackups();

enum class TRestoreOutcome { Restored, NotFound, ProgramRunning, Failed };

/// Puts the copy `name` in place of base.sdb. Refused while the program runs; the replaced
/// database is first kept as one more copy (its name in `keptAs`), so a restore can be undone.
/// Shows nothing.
TRestoreOutcome RestoreBackup(const std::string& name, std::string* keptAs = nullptr);

/// Held by the running program for its whole life, so that a restore knows to refuse.
class TProgramRunningLock {
public:
    /// Takes the lock in the data folder (after the database location is fixed).
    TProgramRunningLock();
    ~TProgramRunningLock();
    TProgramRunningLock(const TProgramRunningLock&) = delete;
    TProgramRunningLock& operator=(const TProgramRunningLock&) = delete;

private:
    int m_fd = -1;
};

/// True while a program holds its running lock on this database.
bool ProgramIsRunning();

} // namespace vendrix
