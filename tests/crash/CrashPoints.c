// The crash harness's write-point counter: libc's write-side calls are defined here, in the test
// binary, so the calls the layers make land here first and go on to libc's (found with RTLD_NEXT);
// SQLite reaches the disk through its own file layer, so a wrapping layer counts its points instead.
#define _GNU_SOURCE
#include "CrashPoints.h"

#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static struct CrashState* gState;
// Set while SQLite's file layer runs, so its own libc calls are not counted a second time.
static __thread int gInDbLayer;

typedef ssize_t (*WriteFn)(int, const void*, size_t);
typedef ssize_t (*PwriteFn)(int, const void*, size_t, off_t);
typedef int (*FdFn)(int);
typedef int (*TruncFn)(int, off_t);
typedef int (*PathPairFn)(const char*, const char*);
typedef int (*PathFn)(const char*);

static WriteFn realWrite;
static PwriteFn realPwrite, realPwrite64;
static FdFn realFsync, realFdatasync;
static TruncFn realFtruncate;
static PathPairFn realRename, realLink;
static PathFn realUnlink;

static void* Next(const char* name) {
    void* fn = dlsym(RTLD_NEXT, name);
    if (fn == NULL) abort();  // no libc call to forward to: nothing here could work
    return fn;
}

__attribute__((constructor)) static void CrashStartUp(void) {
    realWrite = (WriteFn)Next("write");
    realPwrite = (PwriteFn)Next("pwrite");
    realPwrite64 = (PwriteFn)Next("pwrite64");
    realFsync = (FdFn)Next("fsync");
    realFdatasync = (FdFn)Next("fdatasync");
    realFtruncate = (TruncFn)Next("ftruncate");
    realRename = (PathPairFn)Next("rename");
    realLink = (PathPairFn)Next("link");
    realUnlink = (PathFn)Next("unlink");
    void* page = mmap(NULL, sizeof(struct CrashState), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) abort();
    gState = (struct CrashState*)page;
    memset(gState, 0, sizeof *gState);
}

struct CrashState* CrashShared(void) { return gState; }

void CrashArm(int mode, int target, int after) {
    gState->points = 0;
    gState->injected = 0;
    gState->target = target;
    gState->after = after;
    memset(gState->kinds, 0, sizeof gState->kinds);
    gState->mode = mode;
}

void CrashDisarm(void) { gState->mode = kCrashOff; }

// What to do at a call: pass it, die before it, fail it, or perform it and die after it.
enum Action { kPass, kDieBefore, kFail, kDieAfter };

static enum Action Point(char kind) {
    if (gState == NULL || gState->mode == kCrashOff) return kPass;
    int n = ++gState->points;
    if (n <= CRASH_MAX_POINTS) gState->kinds[n - 1] = kind;
    if (gState->mode == kCrashCount || n != gState->target) return kPass;
    gState->injected = 1;
    if (gState->mode == kCrashFail) return kFail;
    return gState->after ? kDieAfter : kDieBefore;
}

static void Die(void) {
    raise(SIGKILL);
    _exit(99);  // not reached
}

// A write cut off by the process's death: half of it reaches the file first.
static size_t HalfOf(size_t count) { return count / 2; }

ssize_t write(int fd, const void* buf, size_t count) {
    if (gInDbLayer) return realWrite(fd, buf, count);
    switch (Point(kPointWrite)) {
        case kPass: return realWrite(fd, buf, count);
        case kFail: errno = EIO; return -1;
        case kDieBefore:
            if (HalfOf(count) > 0) (void)realWrite(fd, buf, HalfOf(count));
            Die();
            return -1;
        case kDieAfter: (void)realWrite(fd, buf, count); Die(); return -1;
    }
    return -1;
}

static ssize_t Pwrite(PwriteFn real, int fd, const void* buf, size_t count, off_t offset) {
    if (gInDbLayer) return real(fd, buf, count, offset);
    switch (Point(kPointPwrite)) {
        case kPass: return real(fd, buf, count, offset);
        case kFail: errno = EIO; return -1;
        case kDieBefore:
            if (HalfOf(count) > 0) (void)real(fd, buf, HalfOf(count), offset);
            Die();
            return -1;
        case kDieAfter: (void)real(fd, buf, count, offset); Die(); return -1;
    }
    return -1;
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) { return Pwrite(realPwrite, fd, buf, count, offset); }
ssize_t pwrite64(int fd, const void* buf, size_t count, off_t offset) { return Pwrite(realPwrite64, fd, buf, count, offset); }

static int FdCall(FdFn real, int fd, char kind) {
    if (gInDbLayer) return real(fd);
    switch (Point(kind)) {
        case kPass: return real(fd);
        case kFail: errno = EIO; return -1;
        case kDieBefore: Die(); return -1;
        case kDieAfter: (void)real(fd); Die(); return -1;
    }
    return -1;
}

int fsync(int fd) { return FdCall(realFsync, fd, kPointFsync); }
int fdatasync(int fd) { return FdCall(realFdatasync, fd, kPointFsync); }

int ftruncate(int fd, off_t length) {
    if (gInDbLayer) return realFtruncate(fd, length);
    switch (Point(kPointTruncate)) {
        case kPass: return realFtruncate(fd, length);
        case kFail: errno = EIO; return -1;
        case kDieBefore: Die(); return -1;
        case kDieAfter: (void)realFtruncate(fd, length); Die(); return -1;
    }
    return -1;
}

static int PathPair(PathPairFn real, const char* from, const char* to, char kind) {
    if (gInDbLayer) return real(from, to);
    switch (Point(kind)) {
        case kPass: return real(from, to);
        case kFail: errno = EIO; return -1;
        case kDieBefore: Die(); return -1;
        case kDieAfter: (void)real(from, to); Die(); return -1;
    }
    return -1;
}

int rename(const char* from, const char* to) { return PathPair(realRename, from, to, kPointRename); }
int link(const char* from, const char* to) { return PathPair(realLink, from, to, kPointLink); }

int unlink(const char* path) {
    if (gInDbLayer) return realUnlink(path);
    switch (Point(kPointUnlink)) {
        case kPass: return realUnlink(path);
        case kFail: errno = EIO; return -1;
        case kDieBefore: Die(); return -1;
        case kDieAfter: (void)realUnlink(path); Die(); return -1;
    }
    return -1;
}

// ---- SQLite's file layer ----

typedef struct CrashFile {
    sqlite3_file base;   // pMethods: the counting methods below
    sqlite3_file* real;  // the default layer's file, placed right after this header
} CrashFile;

static sqlite3_vfs* gBaseVfs;
static sqlite3_vfs gCrashVfs;

#define REAL(f) (((CrashFile*)(f))->real)

// Runs one call of the default layer with its libc calls left uncounted.
#define IN_DB_LAYER(expr)     \
    do {                      \
        gInDbLayer = 1;       \
        int rc_ = (expr);     \
        gInDbLayer = 0;       \
        return rc_;           \
    } while (0)

static int FClose(sqlite3_file* f) {
    gInDbLayer = 1;
    int rc = REAL(f)->pMethods->xClose(REAL(f));
    gInDbLayer = 0;
    f->pMethods = NULL;
    return rc;
}
static int FRead(sqlite3_file* f, void* buf, int amt, sqlite3_int64 off) {
    IN_DB_LAYER(REAL(f)->pMethods->xRead(REAL(f), buf, amt, off));
}
static int FWrite(sqlite3_file* f, const void* buf, int amt, sqlite3_int64 off) {
    switch (Point(kPointDbWrite)) {
        case kPass: break;
        case kFail: return SQLITE_IOERR_WRITE;
        case kDieBefore:
            gInDbLayer = 1;
            if (amt / 2 > 0) (void)REAL(f)->pMethods->xWrite(REAL(f), buf, amt / 2, off);
            Die();
            break;
        case kDieAfter:
            gInDbLayer = 1;
            (void)REAL(f)->pMethods->xWrite(REAL(f), buf, amt, off);
            Die();
            break;
    }
    IN_DB_LAYER(REAL(f)->pMethods->xWrite(REAL(f), buf, amt, off));
}
static int FTruncate(sqlite3_file* f, sqlite3_int64 size) {
    switch (Point(kPointDbTruncate)) {
        case kPass: break;
        case kFail: return SQLITE_IOERR_TRUNCATE;
        case kDieBefore: Die(); break;
        case kDieAfter:
            gInDbLayer = 1;
            (void)REAL(f)->pMethods->xTruncate(REAL(f), size);
            Die();
            break;
    }
    IN_DB_LAYER(REAL(f)->pMethods->xTruncate(REAL(f), size));
}
static int FSync(sqlite3_file* f, int flags) {
    switch (Point(kPointDbSync)) {
        case kPass: break;
        case kFail: return SQLITE_IOERR_FSYNC;
        case kDieBefore: Die(); break;
        case kDieAfter:
            gInDbLayer = 1;
            (void)REAL(f)->pMethods->xSync(REAL(f), flags);
            Die();
            break;
    }
    IN_DB_LAYER(REAL(f)->pMethods->xSync(REAL(f), flags));
}
static int FFileSize(sqlite3_file* f, sqlite3_int64* size) { IN_DB_LAYER(REAL(f)->pMethods->xFileSize(REAL(f), size)); }
static int FLock(sqlite3_file* f, int level) { IN_DB_LAYER(REAL(f)->pMethods->xLock(REAL(f), level)); }
static int FUnlock(sqlite3_file* f, int level) { IN_DB_LAYER(REAL(f)->pMethods->xUnlock(REAL(f), level)); }
static int FCheckReserved(sqlite3_file* f, int* out) {
    IN_DB_LAYER(REAL(f)->pMethods->xCheckReservedLock(REAL(f), out));
}
static int FFileControl(sqlite3_file* f, int op, void* arg) {
    IN_DB_LAYER(REAL(f)->pMethods->xFileControl(REAL(f), op, arg));
}
static int FSectorSize(sqlite3_file* f) { IN_DB_LAYER(REAL(f)->pMethods->xSectorSize(REAL(f))); }
static int FDeviceChars(sqlite3_file* f) { IN_DB_LAYER(REAL(f)->pMethods->xDeviceCharacteristics(REAL(f))); }

// Version 1 methods only: the table files use no shared memory and no memory mapping, and SQLite
// does without both when the file layer offers neither.
static const sqlite3_io_methods gCrashMethods = {
    1,           FClose,     FRead,           FWrite,         FTruncate,   FSync,
    FFileSize,   FLock,      FUnlock,         FCheckReserved, FFileControl, FSectorSize,
    FDeviceChars, NULL,      NULL,            NULL,           NULL,        NULL,
    NULL,
};

static int VOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    (void)vfs;
    CrashFile* cf = (CrashFile*)file;
    cf->real = (sqlite3_file*)(cf + 1);
    gInDbLayer = 1;
    int rc = gBaseVfs->xOpen(gBaseVfs, name, cf->real, flags, outFlags);
    gInDbLayer = 0;
    cf->base.pMethods = (rc == SQLITE_OK && cf->real->pMethods != NULL) ? &gCrashMethods : NULL;
    return rc;
}
static int VDelete(sqlite3_vfs* v, const char* name, int syncDir) {
    (void)v;
    IN_DB_LAYER(gBaseVfs->xDelete(gBaseVfs, name, syncDir));
}
static int VAccess(sqlite3_vfs* v, const char* name, int flags, int* out) {
    (void)v;
    IN_DB_LAYER(gBaseVfs->xAccess(gBaseVfs, name, flags, out));
}
static int VFullPathname(sqlite3_vfs* v, const char* name, int n, char* out) {
    (void)v;
    IN_DB_LAYER(gBaseVfs->xFullPathname(gBaseVfs, name, n, out));
}
static void* VDlOpen(sqlite3_vfs* v, const char* name) { (void)v; return gBaseVfs->xDlOpen(gBaseVfs, name); }
static void VDlError(sqlite3_vfs* v, int n, char* msg) { (void)v; gBaseVfs->xDlError(gBaseVfs, n, msg); }
static void (*VDlSym(sqlite3_vfs* v, void* h, const char* sym))(void) { (void)v; return gBaseVfs->xDlSym(gBaseVfs, h, sym); }
static void VDlClose(sqlite3_vfs* v, void* h) { (void)v; gBaseVfs->xDlClose(gBaseVfs, h); }
static int VRandomness(sqlite3_vfs* v, int n, char* out) { (void)v; return gBaseVfs->xRandomness(gBaseVfs, n, out); }
static int VSleep(sqlite3_vfs* v, int us) { (void)v; return gBaseVfs->xSleep(gBaseVfs, us); }
static int VCurrentTime(sqlite3_vfs* v, double* t) { (void)v; return gBaseVfs->xCurrentTime(gBaseVfs, t); }
static int VGetLastError(sqlite3_vfs* v, int n, char* msg) { (void)v; return gBaseVfs->xGetLastError(gBaseVfs, n, msg); }
static int VCurrentTimeInt64(sqlite3_vfs* v, sqlite3_int64* t) {
    (void)v;
    return gBaseVfs->xCurrentTimeInt64(gBaseVfs, t);
}

int CrashInstallSqliteLayer(void) {
    if (gBaseVfs != NULL) return SQLITE_OK;
    int rc = sqlite3_initialize();
    if (rc != SQLITE_OK) return rc;
    sqlite3_vfs* base = sqlite3_vfs_find(NULL);
    if (base == NULL || base->iVersion < 2) return SQLITE_ERROR;
    gBaseVfs = base;
    memset(&gCrashVfs, 0, sizeof gCrashVfs);
    gCrashVfs.iVersion = 2;
    gCrashVfs.szOsFile = (int)sizeof(CrashFile) + base->szOsFile;
    gCrashVfs.mxPathname = base->mxPathname;
    gCrashVfs.zName = "tervano-crash";
    gCrashVfs.xOpen = VOpen;
    gCrashVfs.xDelete = VDelete;
    gCrashVfs.xAccess = VAccess;
    gCrashVfs.xFullPathname = VFullPathname;
    gCrashVfs.xDlOpen = VDlOpen;
    gCrashVfs.xDlError = VDlError;
    gCrashVfs.xDlSym = VDlSym;
    gCrashVfs.xDlClose = VDlClose;
    gCrashVfs.xRandomness = VRandomness;
    gCrashVfs.xSleep = VSleep;
    gCrashVfs.xCurrentTime = VCurrentTime;
    gCrashVfs.xGetLastError = VGetLastError;
    gCrashVfs.xCurrentTimeInt64 = VCurrentTimeInt64;
    return sqlite3_vfs_register(&gCrashVfs, 1);
}
