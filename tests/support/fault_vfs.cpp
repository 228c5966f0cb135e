// The fault file system: a shim over SQLite's default VFS. Each file it opens is the real
// file with a thin record in front whose methods forward to the real ones, counting the write
// points and lock requests on the way and failing the armed one. One thread, as the program.
#include "support/fault_vfs.h"

#include <sqlite3.h>

#include <cassert>
#include <utility>

namespace vendrix::test {

namespace {

enum class TArm { None, Write, Busy };

// An open file: our record, with the real file's record right behind it in the same block.
struct TFaultFile {
    sqlite3_file base;
    sqlite3_file* real;
};

struct TFaultState {
    sqlite3_vfs* real = nullptr; // the file system we stand in front of
    sqlite3_vfs shim {};
    bool installed = false;
    TArm arm = TArm::None;
    int at = 0; // the write point that fails, or the first lock request refused
    int writes = 0;
    int locks = 0;
    bool fired = false;
    std::function<void(int)> onWrite; // told of every write point
};

TFaultState g;

sqlite3_file* Real(sqlite3_file* file)
{
    return reinterpret_cast<TFaultFile*>(file)->real;
}

// Counts one write point; true when it is the one armed to fail.
bool WritePointFails()
{
    ++g.writes;
    if (g.onWrite)
        g.onWrite(g.writes);
    if (g.arm != TArm::Write || g.writes != g.at)
        return false;
    g.fired = true;
    return true;
}

int Close(sqlite3_file* f)
{
    return Real(f)->pMethods->xClose(Real(f));
}

int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset)
{
    return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
}

int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
{
    if (WritePointFails())
        return SQLITE_IOERR_WRITE;
    return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
}

int Truncate(sqlite3_file* f, sqlite3_int64 size)
{
    if (WritePointFails())
        return SQLITE_IOERR_TRUNCATE;
    return Real(f)->pMethods->xTruncate(Real(f), size);
}

int Sync(sqlite3_file* f, int flags)
{
    if (WritePointFails())
        return SQLITE_IOERR_FSYNC;
    return Real(f)->pMethods->xSync(Real(f), flags);
}

int FileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return Real(f)->pMethods->xFileSize(Real(f), size);
}

int Lock(sqlite3_file* f, int level)
{
    ++g.locks;
    if (g.arm == TArm::Busy && g.locks >= g.at) {
        g.fired = true;
        return SQLITE_BUSY;
    }
    return Real(f)->pMethods->xLock(Real(f), level);
}

int Unlock(sqlite3_file* f, int level)
{
    return Real(f)->pMethods->xUnlock(Real(f), level);
}

int CheckReservedLock(sqlite3_file* f, int* out)
{
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}

int FileControl(sqlite3_file* f, int op, void* arg)
{
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}

int SectorSize(sqlite3_file* f)
{
    return Real(f)->pMethods->xSectorSize(Real(f));
}

int DeviceCharacteristics(sqlite3_file* f)
{
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}

// Shared memory and memory mapping exist only in newer method sets; SQLite asks for them only
// when the real file's set has them, since ours gives the same version.
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out)
{
    return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}

int ShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}

void ShmBarrier(sqlite3_file* f)
{
    Real(f)->pMethods->xShmBarrier(Real(f));
}

int ShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}

int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}

int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page)
{
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

sqlite3_io_methods MethodsOfVersion(int version)
{
    sqlite3_io_methods m {};
    m.iVersion = version;
    m.xClose = Close;
    m.xRead = Read;
    m.xWrite = Write;
    m.xTruncate = Truncate;
    m.xSync = Sync;
    m.xFileSize = FileSize;
    m.xLock = Lock;
    m.xUnlock = Unlock;
    m.xCheckReservedLock = CheckReservedLock;
    m.xFileControl = FileControl;
    m.xSectorSize = SectorSize;
    m.xDeviceCharacteristics = DeviceCharacteristics;
    if (version >= 2) {
        m.xShmMap = ShmMap;
        m.xShmLock = ShmLock;
        m.xShmBarrier = ShmBarrier;
        m.xShmUnmap = ShmUnmap;
    }
    if (version >= 3) {
        m.xFetch = Fetch;
        m.xUnfetch = Unfetch;
    }
    return m;
}

const sqlite3_io_methods kMethods[]
    = {MethodsOfVersion(1), MethodsOfVersion(2), MethodsOfVersion(3)};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    auto* ours = reinterpret_cast<TFaultFile*>(file);
    ours->real = reinterpret_cast<sqlite3_file*>(ours + 1);
    ours->real->pMethods = nullptr;
    const int rc = g.real->xOpen(g.real, name, ours->real, flags, outFlags);
    // Without real methods SQLite must not call ours either, not even xClose.
    const sqlite3_io_methods* real = ours->real->pMethods;
    ours->base.pMethods = real ? &kMethods[real->iVersion >= 3 ? 2 : real->iVersion - 1] : nullptr;
    return rc;
}

void InitShim()
{
    sqlite3_vfs& s = g.shim;
    s = *g.real;
    s.iVersion = g.real->iVersion < 2 ? g.real->iVersion : 2; // no system-call overrides
    s.szOsFile = static_cast<int>(sizeof(TFaultFile)) + g.real->szOsFile;
    s.pNext = nullptr;
    s.zName = "vendrix-faults";
    s.pAppData = nullptr;
    s.xOpen = Open;
    s.xDelete = [](sqlite3_vfs*, const char* name, int syncDir) {
        return g.real->xDelete(g.real, name, syncDir);
    };
    s.xAccess = [](sqlite3_vfs*, const char* name, int flags, int* out) {
        return g.real->xAccess(g.real, name, flags, out);
    };
    s.xFullPathname = [](sqlite3_vfs*, const char* name, int size, char* out) {
        return g.real->xFullPathname(g.real, name, size, out);
    };
    s.xDlOpen = [](sqlite3_vfs*, const char* name) { return g.real->xDlOpen(g.real, name); };
    s.xDlError = [](sqlite3_vfs*, int size, char* out) { g.real->xDlError(g.real, size, out); };
    s.xDlSym = [](sqlite3_vfs*, void* lib, const char* symbol) {
        return g.real->xDlSym(g.real, lib, symbol);
    };
    s.xDlClose = [](sqlite3_vfs*, void* lib) { g.real->xDlClose(g.real, lib); };
    s.xRandomness
        = [](sqlite3_vfs*, int size, char* out) { return g.real->xRandomness(g.real, size, out); };
    s.xSleep = [](sqlite3_vfs*, int us) { return g.real->xSleep(g.real, us); };
    s.xCurrentTime = [](sqlite3_vfs*, double* out) { return g.real->xCurrentTime(g.real, out); };
    s.xGetLastError = [](sqlite3_vfs*, int size, char* out) {
        return g.real->xGetLastError(g.real, size, out);
    };
    if (s.iVersion >= 2 && g.real->xCurrentTimeInt64) {
        s.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* out) {
            return g.real->xCurrentTimeInt64(g.real, out);
        };
    }
}

void Arm(TArm arm, int n)
{
    g.arm = arm;
    g.at = n;
    g.fired = false;
    ResetFaultCounters();
}

} // namespace

void InstallFaultVfs()
{
    if (g.installed)
        return;
    g.real = sqlite3_vfs_find(nullptr);
    assert(g.real);
    InitShim();
    sqlite3_vfs_register(&g.shim, 1);
    g.installed = true;
}

void RemoveFaultVfs()
{
    if (!g.installed)
        return;
    DisarmFaults();
    sqlite3_vfs_unregister(&g.shim);
    sqlite3_vfs_register(g.real, 1);
    g.installed = false;
}

void ArmWriteFault(int n)
{
    Arm(TArm::Write, n);
}

void ArmBusyLocks(int n)
{
    Arm(TArm::Busy, n);
}

void DisarmFaults()
{
    g.arm = TArm::None;
}

void ResetFaultCounters()
{
    g.writes = 0;
    g.locks = 0;
}

void OnWritePoint(std::function<void(int point)> hook)
{
    g.onWrite = std::move(hook);
}

int WritePoints()
{
    return g.writes;
}

int LockPoints()
{
    return g.locks;
}

bool FaultFired()
{
    return g.fired;
}

} // namespace vendrix::test
