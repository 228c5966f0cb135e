// A test-only SQLite file system that stands in front of the default one, so that the program's
// own connections can be made to meet a failing disk or a database locked by somebody else at
// any chosen step. It counts the write points of every open file (writes, syncs, truncations)
// and its lock requests, and tells a test of every write point that wants to hear of them;
// armed, it fails exactly one write point, or refuses every lock from a given one on. Disarmed,
// it only forwards to the real file system.
#pragma once

#include <functional>

namespace vendrix::test {

/// Puts the fault file system in front of SQLite's default one and makes it the default, so
/// every later sqlite3_open goes through it. Does nothing when it is already in place.
void InstallFaultVfs();
/// Makes the original file system the default again. Every connection opened through the
/// fault file system must have been closed.
void RemoveFaultVfs();

/// Installs the fault file system for the lifetime of the guard.
class TFaultVfsGuard {
public:
    TFaultVfsGuard() { InstallFaultVfs(); }
    ~TFaultVfsGuard() { RemoveFaultVfs(); }
    TFaultVfsGuard(const TFaultVfsGuard&) = delete;
    TFaultVfsGuard& operator=(const TFaultVfsGuard&) = delete;
};

/// Restarts both counters and makes the `n`th write point from now fail once, with
/// SQLITE_IOERR_WRITE, SQLITE_IOERR_FSYNC or SQLITE_IOERR_TRUNCATE by its kind; the points after
/// it work again.
void ArmWriteFault(int n);
/// Restarts both counters and makes every lock request from the `n`th from now on answer
/// SQLITE_BUSY, until disarmed.
void ArmBusyLocks(int n);
/// Back to forwarding only; the counters keep their values.
void DisarmFaults();
/// Restarts both counters without arming anything.
void ResetFaultCounters();

/// Calls `hook` at every write point from now on, before the point passes, with the point's
/// number since the counters were restarted; an empty hook stops that. For a test that must
/// act at a chosen step of a write, such as killing the process.
void OnWritePoint(std::function<void(int point)> hook);

/// Write points (xWrite, xSync, xTruncate) passed since the counters were restarted.
int WritePoints();
/// Lock requests (xLock) passed since the counters were restarted.
int LockPoints();
/// True when the armed fault has been delivered at least once since it was armed.
bool FaultFired();

} // namespace vendrix::test
