/* The bridge's lock file (see lockfile.h).
 *
 * Creation is O_CREAT|O_EXCL, so only one process can create the file. The creator takes the
 * advisory lock, then writes its id, and keeps the lock until it ends; nobody reads the id
 * without the advisory lock, so nobody sees it half written. A process that finds the file
 * already there takes the advisory lock without waiting: failing means a live owner; succeeding
 * lets it read the recorded id in peace, and only a dead id is taken over (rewritten in place,
 * the advisory lock kept, so no third process can take it too). An owner removes the file before
 * it drops the advisory lock, and whoever opened the old file checks that the path still names
 * it, trying again otherwise. */
#include "lockfile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define LOCKFILE_ATTEMPTS 8      /* rounds of create-or-examine while the file keeps changing */
#define LOCKFILE_FLOCK_TRIES 200 /* a creator's tries for its advisory lock ... */
#define LOCKFILE_FLOCK_PAUSE_NS 5000000L /* ... this far apart (1 s in all) */
#define LOCKFILE_RETRY 2                 /* examine: the file changed under us, start again */

/* Whether fd is still the file the path names. */
static bool same_file(int fd, const char *path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

static int write_pid(int fd) {
    char text[32];
    int n = snprintf(text, sizeof text, "%ld\n", (long)getpid());
    if (ftruncate(fd, 0) != 0)
        return -1;
    return pwrite(fd, text, (size_t)n, 0) == n ? 0 : -1;
}

/* The process id the file records, or 0 when its text is not one (empty, foreign, too long). */
static pid_t recorded_pid(int fd) {
    char text[16];
    ssize_t n = pread(fd, text, sizeof text, 0);
    if (n > 0 && text[n - 1] == '\n')
        n--;
    if (n <= 0 || n > 10)
        return 0;
    long long value = 0;
    for (ssize_t i = 0; i < n; i++) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
    }
    return value > 0 && value <= INT_MAX ? (pid_t)value : 0;
}

/* Whether no running process has this id. Our own id in a file we did not write is a leftover
 * of an earlier process that had it. */
static bool is_dead(pid_t pid) {
    if (pid == getpid())
        return true;
    return kill(pid, 0) != 0 && errno == ESRCH;
}

/* The advisory lock on a file this process just created. Someone examining the new file may
 * hold it for a moment; they never keep it, since an empty file is never taken over. */
static int flock_created(int fd) {
    const struct timespec pause = {0, LOCKFILE_FLOCK_PAUSE_NS};
    for (int i = 0; i < LOCKFILE_FLOCK_TRIES; i++) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return -1;
        nanosleep(&pause, NULL);
    }
    return -1;
}

static int created(LOCKFILE_Lock *lock, int fd) {
    if (flock_created(fd) == 0 && write_pid(fd) == 0) {
        lock->fd = fd;
        return LOCKFILE_TAKEN;
    }
    int saved = errno;
    unlink(lock->path);
    close(fd);
    errno = saved;
    return LOCKFILE_ERROR;
}

/* An existing lock file: held by a live owner, foreign, or a dead owner's to take over. */
static int examine(LOCKFILE_Lock *lock) {
    int fd = open(lock->path, O_RDWR | O_CLOEXEC);
    if (fd < 0) /* gone meanwhile: try again; there but not ours to write: someone else's */
        return errno == ENOENT ? LOCKFILE_RETRY : LOCKFILE_HELD;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int held = errno == EWOULDBLOCK;
        close(fd);
        return held ? LOCKFILE_HELD : LOCKFILE_ERROR;
    }
    if (!same_file(fd, lock->path)) { /* its owner removed it after we opened it */
        close(fd);
        return LOCKFILE_RETRY;
    }
    pid_t owner = recorded_pid(fd);
    if (owner == 0 || !is_dead(owner)) {
        close(fd);
        return LOCKFILE_HELD;
    }
    if (write_pid(fd) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return LOCKFILE_ERROR;
    }
    lock->fd = fd;
    lock->previous = owner;
    return LOCKFILE_TAKEN_OVER;
}

int LOCKFILE_Take(LOCKFILE_Lock *lock, const char *path) {
    lock->fd = -1;
    lock->previous = 0;
    size_t len = strlen(path);
    if (len == 0 || len > LOCKFILE_PATH_MAX) {
        errno = len == 0 ? ENOENT : ENAMETOOLONG;
        return LOCKFILE_ERROR;
    }
    memcpy(lock->path, path, len + 1);
    for (int attempt = 0; attempt < LOCKFILE_ATTEMPTS; attempt++) {
        int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0)
            return created(lock, fd);
        if (errno != EEXIST)
            return LOCKFILE_ERROR;
        int result = examine(lock);
        if (result != LOCKFILE_RETRY)
            return result;
    }
    return LOCKFILE_HELD; /* the file kept changing: other copies are starting and ending */
}

void LOCKFILE_Release(LOCKFILE_Lock *lock) {
    if (lock->fd < 0)
        return;
    if (same_file(lock->fd, lock->path)) /* never remove a file someone put there by hand */
        unlink(lock->path);
    close(lock->fd); /* drops the advisory lock after the file is gone */
    lock->fd = -1;
}
