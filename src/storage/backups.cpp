// Copies of base.sdb made before every import, and putting one back.
#include "storage/backups.h"

#include "platform/platform.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

namespace vendrix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "base-";
constexpr const char* kExtension = ".sdb";
constexpr const char* kLockName = "program.lock";

bool IsBackupName(const std::string& name)
{
    return name.size() == 32 && name.rfind(kPrefix, 0) == 0
        && name.compare(name.size() - 4, 4, kExtension) == 0;
}

// A new name from the local time to the millisecond, so that names sort as the copies were
// made; two copies within one millisecond wait for the next.
fs::path NewBackupPath()
{
    while (true) {
        const platform::TLocalTime t = platform::LocalNow();
        char name[40];
        std::snprintf(name, sizeof name, "%s%04d-%02d-%02d_%02d-%02d-%02d-%03d%s", kPrefix, t.year,
            t.month, t.day, t.hour, t.minute, t.second, t.millisecond, kExtension);
        const fs::path path = BackupFolder() / name;
        std::error_code ec;
        if (!fs::exists(path, ec))
            return path;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The bytes a copy of the database needs: its pages in use.
std::uintmax_t DatabaseBytesInUse()
{
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q || !q->TryExec("pragma page_count; pragma freelist_count; pragma page_size;"))
        return 0;
    if (q->RowCount() < 3)
        return 0;
    q->GoToRow(0);
    const long long pages = TextToInt(q->Field(0), 0);
    q->GoToRow(1);
    const long long unused = TextToInt(q->Field(0), 0);
    q->GoToRow(2);
    const long long size = TextToInt(q->Field(0), 0);
    return static_cast<std::uintmax_t>(std::max(0LL, pages - unused) * size);
}

std::vector<std::string> BackupNames()
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(BackupFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (IsBackupName(name))
            names.push_back(name);
    }
    std::sort(names.rbegin(), names.rend()); // the names sort by time: newest first
    return names;
}

void RemoveOldBackups()
{
    const std::vector<std::string> names = BackupNames();
    std::error_code ec;
    for (std::size_t i = kBackupsKept; i < names.size(); ++i)
        fs::remove(BackupFolder() / names[i], ec);
}

// Copies the database into `target` through SQLite: a consistent copy, whatever a journal
// left behind. A copy that fails leaves nothing.
bool CopyDatabase(const fs::path& target)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    const bool ok = q && q->TryExec("vacuum into " + SqlString(target.string()));
    if (!ok) {
        std::error_code ec;
        fs::remove(target, ec);
    }
    return ok;
}

} // namespace

fs::path BackupFolder()
{
    return DbPath().parent_path() / "backup";
}

TBackupOutcome MakeBackup(std::string* name)
{
    std::error_code ec;
    // Nothing to copy, and no data folder or database may be made by asking.
    if (!fs::is_regular_file(DbPath(), ec))
        return TBackupOutcome::Failed;
    fs::create_directory(BackupFolder(), ec);
    const std::uintmax_t needed = DatabaseBytesInUse();
    const fs::space_info space = fs::space(BackupFolder(), ec);
    // Room for the copy and as much again, so that the import itself still finds room.
    if (ec || space.available < 2 * needed + (1u << 20))
        return TBackupOutcome::NoRoom;
    const fs::path path = NewBackupPath();
    if (!CopyDatabase(path))
        return TBackupOutcome::Failed;
    if (name)
        *name = path.filename().string();
    RemoveOldBackups();
    return TBackupOutcome::Made;
}

std::vector<TBackup> ListBackups()
{
    std::vector<TBackup> out;
    for (const std::string& name : BackupNames()) {
        TBackup b;
        b.name = name;
        // "base-yyyy-MM-dd_HH-mm-ss-zzz.sdb"
        b.time = name.substr(13, 2) + "." + name.substr(10, 2) + "." + name.substr(5, 4) + " "
            + name.substr(16, 2) + ":" + name.substr(19, 2) + ":" + name.substr(22, 2);
        TSqlQuery q(BackupFolder() / name);
        if (fs::exists(q.Path()) && q.Open() && q.TryExec("select count(*) from DOC_HEADS")
            && q.RowCount() == 1) {
            q.First();
            b.orders = TextToInt(q.Field(0), -1);
        }
        out.push_back(std::move(b));
    }
    return out;
}

TRestoreOutcome RestoreBackup(const std::string& name, std::string* keptAs)
{
    const fs::path source = BackupFolder() / name;
    std::error_code ec;
    if (!IsBackupName(name) || !fs::is_regular_file(source, ec))
        return TRestoreOutcome::NotFound;
    if (ProgramIsRunning())
        return TRestoreOutcome::ProgramRunning;
    // The database being replaced becomes a copy of its own first.
    const fs::path kept = NewBackupPath();
    if (fs::exists(DbPath(), ec) && !CopyDatabase(kept))
        return TRestoreOutcome::Failed;
    const fs::path partial = fs::path(DbPath()).concat(".part");
    fs::copy_file(source, partial, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(partial, DbPath(), ec);
    if (ec) {
        fs::remove(partial, ec);
        return TRestoreOutcome::Failed;
    }
    // A journal of the replaced file must never be played into the restored one; the copy
    // above went through SQLite, so no journal holds anything still needed.
    fs::remove(fs::path(DbPath()).concat("-journal"), ec);
    if (keptAs && fs::exists(kept, ec))
        *keptAs = kept.filename().string();
    return TRestoreOutcome::Restored;
}

TProgramRunningLock::TProgramRunningLock()
{
    const fs::path path = DbPath().parent_path() / kLockName;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

TProgramRunningLock::~TProgramRunningLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ProgramIsRunning()
{
    const fs::path path = DbPath().parent_path() / kLockName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false; // no program has ever run on this folder
    const bool running = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return running;
}

} // namespace vendrix
