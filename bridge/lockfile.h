/* The bridge's lock file: one copy of the program per lock path.
 *
 * The file holds the owner's process id as decimal digits and a line feed, and the owner keeps an
 * advisory lock (flock) on it for its whole life. Taking the lock is atomic: of any number of
 * processes that try at once, exactly one succeeds. A lock file that records a process which no
 * longer exists, and that nobody holds, is taken over (the caller is told, to say so); any other
 * existing lock file (empty, unreadable, foreign text, a live process) is left alone and refused.
 *
 * Errors: LOCKFILE_Take returns one of the LOCKFILE_ results below and prints nothing; the
 * caller reports. Every wait inside is bounded. */
#ifndef ROVAK_LOCKFILE_H
#define ROVAK_LOCKFILE_H

#include <sys/types.h>

#define LOCKFILE_TAKEN 0      /* created: this process owns the lock */
#define LOCKFILE_TAKEN_OVER 1 /* a dead process's file taken over: this process owns it */
#define LOCKFILE_HELD (-1)    /* another lock file exists; it was left as it was */
#define LOCKFILE_ERROR (-2)   /* the file cannot be created or read (errno says why) */

#define LOCKFILE_PATH_MAX 4000 /* longest lock path accepted, in bytes */

typedef struct LOCKFILE_Lock {
    int fd;         /* open, flock-ed lock file; -1 when not held */
    pid_t previous; /* the dead owner after LOCKFILE_TAKEN_OVER */
    char path[LOCKFILE_PATH_MAX + 1];
} LOCKFILE_Lock;

/* Takes the lock at path for this process and writes its id into the file. On LOCKFILE_TAKEN
 * and LOCKFILE_TAKEN_OVER lock holds it until LOCKFILE_Release; otherwise lock->fd is -1. */
int LOCKFILE_Take(LOCKFILE_Lock *lock, const char *path);
/* Removes the lock file (only when the path still names the file this process holds) and drops
 * the advisory lock. Safe to call more than once and on a lock never taken. */
void LOCKFILE_Release(LOCKFILE_Lock *lock);

#endif
