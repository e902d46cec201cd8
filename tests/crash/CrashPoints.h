// The crash harness's write-point counter: every write, positional write, flush, truncation, rename,
// link and unlink made by this process (the system's own layers call them through libc), and every
// write, sync and truncation SQLite makes through its file layer, is one numbered write point. Armed,
// the counter kills the process (SIGKILL) or fails the call (EIO) at a chosen point.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum CrashMode {
    kCrashOff = 0,    // calls pass through uncounted
    kCrashCount = 1,  // calls pass through and are counted (a dry run)
    kCrashKill = 2,   // at the chosen point the process kills itself
    kCrashFail = 3,   // at the chosen point the call fails with EIO (SQLite: an I/O error)
};

// The kinds of write point, as recorded per point.
enum CrashPointKind {
    kPointWrite = 'w',     // write(2)
    kPointPwrite = 'p',    // pwrite(2)
    kPointFsync = 's',     // fsync(2) / fdatasync(2)
    kPointTruncate = 't',  // ftruncate(2)
    kPointRename = 'r',    // rename(2)
    kPointLink = 'l',      // link(2)
    kPointUnlink = 'u',    // unlink(2)
    kPointDbWrite = 'W',   // SQLite file layer: write
    kPointDbSync = 'S',    // SQLite file layer: sync
    kPointDbTruncate = 'T' // SQLite file layer: truncate
};

#define CRASH_MAX_POINTS 4096

// Shared with forked children (one anonymous shared page set up before main), so the parent reads
// what a child counted and whether the chosen point was reached.
struct CrashState {
    int mode;            // enum CrashMode
    int target;          // the point (from 1) to act at
    int after;           // kill mode: nonzero = perform the call first, then die
    int points;          // points counted since arming
    int injected;        // 1 once the chosen point acted (set before dying)
    char kinds[CRASH_MAX_POINTS];  // the kind of each point (by number - 1)
};

// The shared state; never null after start-up.
struct CrashState* CrashShared(void);

// Arms the counter: points are counted from 1; at `target` the mode acts. kCrashCount ignores target.
void CrashArm(int mode, int target, int after);
// Stops counting; the state (points, kinds, injected) stays readable.
void CrashDisarm(void);

// Makes a file layer that delegates to SQLite's default one and counts its writes, syncs and
// truncations, and makes it the default. 0 on success, else an SQLite result code. Idempotent.
int CrashInstallSqliteLayer(void);

#ifdef __cplusplus
}
#endif
