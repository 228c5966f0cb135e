// The agent's way back from an office answer: before every import the database is copied into
// "data/backup/", the newest three copies are kept, and a copy can be put back in place of
// "base.sdb" while no program works on it, the replaced file becoming one more copy. The way
// back never depends on what it undoes: listing and restoring need only the program folder,
// work when base.sdb is damaged, not a database or absent, and check every copy before they
// call it good or put it in place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vendrix {

constexpr int kBackupsKept = 3;

/// One copy of the database.
struct TBackup {
    std::string name; // file name in the backup folder, "base-yyyy-MM-dd_HH-mm-ss-zzz.sdb"
    std::string time; // when it was made by the clock of that moment, "dd.MM.yyyy HH:mm:ss"
    int orders = -1; // documents in its journal; -1 when the copy is damaged
    bool damaged = false; // not a database, fails its check or lacks the agent's tables
    bool beforeImport = false; // made before an office answer (not kept by a restore)
};

enum class TBackupOutcome { Made, NoRoom, NotWritable, Failed };

/// The folder of the copies: "backup" in the data folder.
std::filesystem::path BackupFolder();

/// Copies the database (through SQLite, so the copy is consistent) into the backup folder and
/// removes all but the kBackupsKept copies made last. NoRoom, without touching anything, when
/// the disk lacks room for the copy; NotWritable when the data folder cannot be written;
/// Failed when SQLite could not write it (nothing is left of it). `name` receives the copy's
/// file name. Shows nothing.
TBackupOutcome MakeBackup(std::string* name = nullptr);

/// The copies, in the order they were made, the last made first (whatever the times in their
/// names say: the clock may have gone back), each checked.
std::vector<TBackup> ListBackups();

/// The copy made before the last import that is not damaged; empty name when there is none.
TBackup LastImportBackup();

/// Whether the file at `path` is a sound copy of the agent's database: it opens as SQLite,
/// passes SQLite's quick check and holds the journal's and the settings' tables. `orders`
/// receives the number of documents.
bool CheckDatabaseCopy(const std::filesystem::path& path, int* orders = nullptr);

enum class TRestoreOutcome { Restored, NotFound, Damaged, ProgramRunning, Failed };

/// Puts the copy `name` in place of base.sdb. Refused while a program or a command of the
/// companion works on the database, and for a damaged copy (base.sdb untouched). The replaced
/// database, sound or not, is first kept as one more copy (its name in `keptAs`), so a restore
/// can be undone. Shows nothing.
TRestoreOutcome RestoreBackup(const std::string& name, std::string* keptAs = nullptr);

/// The same for the program that runs on the database (the agent's «Вернуть»): the running
/// lock this process holds is taken whole for the swap and shared again afterwards, so the
/// restore is refused (ProgramRunning) only while another program or a companion command
/// holds its share. The caller has ended its own work on the database first. Shows nothing.
TRestoreOutcome RestoreBackupInProgram(const std::string& name, std::string* keptAs = nullptr);

/// Undoes an office answer from the copy made before it, inside the process that ran it (which
/// holds the running lock itself): the copy goes in place of base.sdb and the spoilt database
/// is dropped. False when the copy could not be put in place.
bool UndoFromBackup(const std::string& name);

/// Held by the running program, and by the companion while it works on the database, so that a
/// restore knows to refuse. The first one a process takes is its own share, which the program's
/// own restore takes whole.
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

/// True while a program or a companion command holds its running lock on this database.
bool ProgramIsRunning();

/// Makes a file only its owner may read and write (the database holds the FTP password and the
/// clients), whatever the umask; false when that failed.
bool MakePrivate(const std::filesystem::path& file);

} // namespace vendrix
