// Copies of base.sdb made before every import, their check, and putting one back.
#include "storage/backups.h"

#include "platform/platform.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <thread>

namespace vendrix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "base-";
constexpr const char* kExtension = ".sdb";
constexpr const char* kLockName = "program.lock";
// The copies in the order they were made, one a line, oldest first: "import NAME" for a copy
// made before an office answer, "replaced NAME" for a database a restore replaced. The names
// carry the clock's time, which may go back; this order never does.
constexpr const char* kOrderName = "backup-order.txt";
constexpr std::string_view kMadeBeforeImport = "import";
constexpr std::string_view kMadeByRestore = "replaced";

bool IsBackupName(const std::string& name)
{
    return name.size() == 32 && name.rfind(kPrefix, 0) == 0
        && name.compare(name.size() - 4, 4, kExtension) == 0;
}

fs::path OrderPath()
{
    return DbPath().parent_path() / kOrderName;
}

// A new name from the local time to the millisecond; two copies within one millisecond (or a
// clock set back onto an existing name) wait for the next.
fs::path NewBackupPath()
{
    while (true) {
        const platform::TLocalTime t = platform::LocalNow();
        char name[40];
        std::snprintf(name, sizeof name, "%s%04d-%02d-%02d_%02d-%02d-%02d-%03d%s", kPrefix, t.year,
            t.month, t.day, t.hour, t.minute, t.second, t.millisecond, kExtension);
        fs::path path = BackupFolder() / name;
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

struct TMade {
    std::string name;
    bool beforeImport;
};

// The copies in the backup folder in the order they were made, oldest first. Copies the order
// does not know (made by an older release, or the order file lost) count as older than every
// known one, among themselves by name.
std::vector<TMade> MadeOrder()
{
    std::vector<std::string> present;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(BackupFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (IsBackupName(name))
            present.push_back(name);
    }
    std::vector<TMade> known;
    std::ifstream in(OrderPath());
    std::string kind, name;
    while (in >> kind >> name) {
        const auto it = std::find(present.begin(), present.end(), name);
        if (it == present.end())
            continue;
        present.erase(it);
        known.push_back({name, kind == kMadeBeforeImport});
    }
    std::sort(present.begin(), present.end());
    std::vector<TMade> order;
    order.reserve(present.size() + known.size());
    for (std::string& unknown : present)
        order.push_back({std::move(unknown), true});
    order.insert(order.end(), known.begin(), known.end());
    return order;
}

// Writes the order anew, whole or not at all.
void WriteOrder(const std::vector<TMade>& order)
{
    const fs::path path = OrderPath();
    const fs::path partial = fs::path(path).concat(".part");
    {
        std::ofstream out(partial, std::ios::trunc);
        for (const TMade& made : order)
            out << (made.beforeImport ? kMadeBeforeImport : kMadeByRestore) << ' ' << made.name
                << '\n';
        if (!out.flush())
            return;
    }
    MakePrivate(partial);
    std::error_code ec;
    fs::rename(partial, path, ec);
}

// Records `copy` as the copy made last; with `rotate`, keeps only the kBackupsKept copies made
// last, whatever their names say.
void RecordMade(const fs::path& copy, bool beforeImport, bool rotate)
{
    std::vector<TMade> order = MadeOrder();
    const std::string name = copy.filename().string();
    std::erase_if(order, [&](const TMade& m) { return m.name == name; });
    order.push_back({name, beforeImport});
    if (rotate && order.size() > static_cast<std::size_t>(kBackupsKept)) {
        const auto surplus = static_cast<std::ptrdiff_t>(order.size()) - kBackupsKept;
        std::error_code ec;
        for (auto it = order.begin(); it != order.begin() + surplus; ++it)
            fs::remove(BackupFolder() / it->name, ec);
        order.erase(order.begin(), order.begin() + surplus);
    }
    WriteOrder(order);
}

// A copy as the agent sees it, checked.
TBackup Described(const TMade& made)
{
    TBackup b;
    b.name = made.name;
    b.beforeImport = made.beforeImport;
    // "base-yyyy-MM-dd_HH-mm-ss-zzz.sdb"
    const std::string& n = b.name;
    b.time = n.substr(13, 2) + "." + n.substr(10, 2) + "." + n.substr(5, 4) + " " + n.substr(16, 2)
        + ":" + n.substr(19, 2) + ":" + n.substr(22, 2);
    b.damaged = !CheckDatabaseCopy(BackupFolder() / n, &b.orders);
    if (b.damaged)
        b.orders = -1;
    return b;
}

// An empty file only the owner may read, where SQLite is to write a database: SQLite would
// make it readable by everyone the umask lets.
bool PreparePrivateFile(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return MakePrivate(path);
}

// Copies the database into `target` through SQLite: a consistent copy, whatever a journal
// left behind. A copy that fails leaves nothing.
bool CopyDatabase(const fs::path& target)
{
    bool ok = PreparePrivateFile(target);
    if (ok) {
        auto q = TSqlQuery::Create(DbPath(), true);
        // The whole file is copied in one statement, which may take long on a large database;
        // it reads tables as they are stored, never a view of the office's.
        if (q)
            q->UnboundStatementTime();
        ok = q && q->TryExec("vacuum into " + SqlString(target.string()));
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(target, ec);
    }
    return ok;
}

// Copies the file's bytes as they are, for a database SQLite can no longer read: whatever it
// holds is kept for the office to look at.
bool CopyRawFile(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
    if (ec || !MakePrivate(target)) {
        fs::remove(target, ec);
        return false;
    }
    return true;
}

// Puts the copy at `source` in place of base.sdb through a file beside it, so that base.sdb is
// either the old file or the whole copy.
bool PutInPlace(const fs::path& source)
{
    const fs::path partial = fs::path(DbPath()).concat(".part");
    if (!CopyRawFile(source, partial))
        return false;
    std::error_code ec;
    fs::rename(partial, DbPath(), ec);
    if (ec) {
        fs::remove(partial, ec);
        return false;
    }
    // A journal of the replaced file must never be played into the restored one: nothing in it
    // is still needed, the replaced file having been kept whole.
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        fs::remove(fs::path(DbPath()).concat(suffix), ec);
    return true;
}

// The running lock's file, made private; -1 when it cannot be opened.
int OpenLockFile(bool create)
{
    const fs::path path = DbPath().parent_path() / kLockName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd >= 0)
        ::fchmod(fd, 0600);
    return fd;
}

// The descriptor of the running lock this process took first (the program's own share); -1
// while it holds none.
int g_ownShareFd = -1;

// The running lock taken whole, for as long as a restore replaces the database: refused while
// a program or a companion command holds its share. Inside the running program (`ownShare`)
// the program's own share is converted, since a second descriptor would be refused by it, and
// shared again at the end.
class TExclusiveLock {
public:
    explicit TExclusiveLock(bool ownShare)
    {
        if (ownShare && g_ownShareFd >= 0) {
            if (::flock(g_ownShareFd, LOCK_EX | LOCK_NB) == 0) {
                m_converted = g_ownShareFd;
                return;
            }
            m_refused = true;
            // Linux drops the share when the conversion fails: it is taken again at once.
            // Another holder only shares, so nothing stands in the way (should a companion's
            // restore slip in meanwhile, its end is waited for).
            ::flock(g_ownShareFd, LOCK_SH);
            return;
        }
        m_fd = OpenLockFile(true);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
            m_refused = true;
        }
    }
    ~TExclusiveLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        // Back to a share in one step: no restore can take the lock in between.
        if (m_converted >= 0)
            ::flock(m_converted, LOCK_SH);
    }
    TExclusiveLock(const TExclusiveLock&) = delete;
    TExclusiveLock& operator=(const TExclusiveLock&) = delete;

    bool Refused() const { return m_refused; }

private:
    int m_fd = -1; // a descriptor of its own, closed at the end
    int m_converted = -1; // the program's own share, taken whole until the end
    bool m_refused = false;
};

// Puts the copy `name` in place of base.sdb, the replaced database kept as one more copy, under
// the running lock taken whole (see TExclusiveLock for `ownShare`).
TRestoreOutcome Restore(const std::string& name, std::string* keptAs, bool ownShare)
{
    const fs::path source = BackupFolder() / name;
    std::error_code ec;
    if (!IsBackupName(name) || !fs::is_regular_file(source, ec))
        return TRestoreOutcome::NotFound;
    // Held to the end, so that no program starts on the database while it is replaced.
    const TExclusiveLock lock(ownShare);
    if (lock.Refused())
        return TRestoreOutcome::ProgramRunning;
    if (!CheckDatabaseCopy(source))
        return TRestoreOutcome::Damaged;
    // The database being replaced becomes a copy of its own first: through SQLite when it can
    // still be read, else byte for byte.
    fs::path kept;
    if (fs::exists(DbPath(), ec)) {
        fs::create_directory(BackupFolder(), ec);
        kept = NewBackupPath();
        if (!CopyDatabase(kept) && !CopyRawFile(DbPath(), kept))
            return TRestoreOutcome::Failed;
        RecordMade(kept, false, false);
    }
    if (!PutInPlace(source))
        return TRestoreOutcome::Failed;
    if (keptAs && !kept.empty())
        *keptAs = kept.filename().string();
    return TRestoreOutcome::Restored;
}

} // namespace

fs::path BackupFolder()
{
    return DbPath().parent_path() / "backup";
}

bool MakePrivate(const fs::path& file)
{
    std::error_code ec;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, ec);
    return !ec;
}

TBackupOutcome MakeBackup(std::string* name)
{
    std::error_code ec;
    // Nothing to copy, and no data folder or database may be made by asking.
    if (!fs::is_regular_file(DbPath(), ec))
        return TBackupOutcome::Failed;
    fs::create_directory(BackupFolder(), ec);
    fs::permissions(BackupFolder(), fs::perms::owner_all, ec);
    if (::access(BackupFolder().c_str(), W_OK) != 0
        || ::access(DbPath().parent_path().c_str(), W_OK) != 0)
        return TBackupOutcome::NotWritable;
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
    RecordMade(path, true, true);
    return TBackupOutcome::Made;
}

bool CheckDatabaseCopy(const fs::path& path, int* orders)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false; // opening would make an empty database of it
    TSqlQuery q(path);
    if (!q.Open() || !q.TryExec("pragma quick_check") || q.RowCount() != 1)
        return false;
    q.First();
    if (q.Field(0) != "ok")
        return false;
    q.ClearResults();
    if (!q.TryExec("select count(*) from sqlite_master where type='table' and upper(name) in "
                   "('DOC_HEADS', 'DOC_ORDERS', 'DOC_SKUS', 'DOC_COMPETS', 'MY_OPTIONS')")
        || q.RowCount() != 1)
        return false;
    q.First();
    if (q.Field(0) != "5")
        return false;
    q.ClearResults();
    if (!q.TryExec("select count(*) from DOC_HEADS") || q.RowCount() != 1)
        return false;
    q.First();
    if (orders)
        *orders = TextToInt(q.Field(0), -1);
    return true;
}

std::vector<TBackup> ListBackups()
{
    std::vector<TBackup> out;
    const std::vector<TMade> order = MadeOrder();
    for (auto made = order.rbegin(); made != order.rend(); ++made)
        out.push_back(Described(*made));
    return out;
}

TBackup LastImportBackup()
{
    // Checked one at a time, the last made first: a check reads the whole copy.
    const std::vector<TMade> order = MadeOrder();
    for (auto made = order.rbegin(); made != order.rend(); ++made) {
        if (!made->beforeImport)
            continue;
        TBackup b = Described(*made);
        if (!b.damaged)
            return b;
    }
    return {};
}

TRestoreOutcome RestoreBackup(const std::string& name, std::string* keptAs)
{
    return Restore(name, keptAs, false);
}

TRestoreOutcome RestoreBackupInProgram(const std::string& name, std::string* keptAs)
{
    return Restore(name, keptAs, true);
}

bool UndoFromBackup(const std::string& name)
{
    const fs::path source = BackupFolder() / name;
    return IsBackupName(name) && CheckDatabaseCopy(source) && PutInPlace(source);
}

TProgramRunningLock::TProgramRunningLock()
{
    m_fd = OpenLockFile(true);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd >= 0 && g_ownShareFd < 0)
        g_ownShareFd = m_fd;
}

TProgramRunningLock::~TProgramRunningLock()
{
    if (m_fd >= 0 && g_ownShareFd == m_fd)
        g_ownShareFd = -1;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ProgramIsRunning()
{
    const int fd = OpenLockFile(false);
    if (fd < 0)
        return false; // no program has ever run on this folder
    const bool running = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return running;
}

} // namespace vendrix
