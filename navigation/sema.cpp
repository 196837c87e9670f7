/* The robot semaphore on System V semaphores. */
#include "sema.h"

#include <errno.h>

#include <condition_variable>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#define SEM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SEM_TSAN 1
#endif
#endif

#ifdef SEM_TSAN
#include <sanitizer/tsan_interface.h>
#endif

std::atomic<int> sem(-1);

const struct sembuf operacao[2] = {{0, 0, SEM_UNDO}, {0, 1, SEM_UNDO}};

namespace {

/* The argument of semctl, which callers must declare themselves. */
union semun {
    int val;
    struct semid_ds *buf;
    unsigned short *array;
};

/* The thread sanitizer does not see a semop as a lock: tell it that a take follows the give
 * before it, so the data the semaphore guards is not reported as racing. */
#ifdef SEM_TSAN
char semSyncToken;
void semAcquired() { __tsan_acquire(&semSyncToken); }
void semReleasing() { __tsan_release(&semSyncToken); }
#else
void semAcquired() {}
void semReleasing() {}
#endif

/* The process's own gate in front of the machine-wide semaphore. The system semaphore can vanish
 * under a holder (another process removes set 4914); the gate still keeps this process's threads
 * one at a time on the robot connection, which the client library requires. It is a flag under
 * a mutex rather than a mutex, since a give may come from another thread than the take. */
std::mutex gateMutex;
std::condition_variable gateOpened;
bool gateClosed = false;

void closeGate() {
    std::unique_lock<std::mutex> lock(gateMutex);
    gateOpened.wait(lock, [] { return !gateClosed; });
    gateClosed = true;
}

void openGate() {
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gateClosed = false;
    }
    gateOpened.notify_one();
}

} // namespace

void p_sem(int id) {
    closeGate();
    // Each call builds its own operations: a buffer shared between threads could be rewritten
    // by a concurrent give while this take is being issued.
    struct sembuf take[2] = {operacao[0], operacao[1]};
    int rc;
    while ((rc = semop(id, take, 2)) != 0 && errno == EINTR) {
    }
    if (rc == 0) {
        semAcquired();
    }
}

int v_sem(int id) {
    // IPC_NOWAIT: a holder always finds 1 here; a caller that does not hold the semaphore gets
    // a failure instead of waiting for somebody else's take.
    struct sembuf give = {0, -1, SEM_UNDO | IPC_NOWAIT};
    semReleasing();
    int rc = semop(id, &give, 1);
    // EAGAIN: nobody held it, so neither did this caller, and the gate is not its to open. Any
    // other outcome (given back, or the set is gone) ends the caller's hold.
    if (rc == 0 || errno != EAGAIN)
        openGate();
    return rc;
}

int sem_create_set(bool *created) {
    int id = semget(SEM_KEY, 1, IPC_CREAT | IPC_EXCL | 0777);
    if (created != nullptr) {
        *created = id >= 0;
    }
    if (id >= 0) {
        // Created here: start free, whatever the system's initial value.
        union semun arg;
        arg.val = 0;
        if (semctl(id, 0, SETVAL, arg) != 0) {
            semctl(id, 0, IPC_RMID); /* unusable: not left behind */
            id = -1;
            if (created != nullptr) {
                *created = false;
            }
        }
    } else if (errno == EEXIST) {
        id = semget(SEM_KEY, 1, 0777);
    }
    sem.store(id);
    return id;
}

int sem_open_set() {
    int id = semget(SEM_KEY, 1, 0777);
    sem.store(id);
    return id;
}

int sem_remove_set() {
    int id = semget(SEM_KEY, 1, 0777);
    if (id < 0) {
        return -1;
    }
    return semctl(id, 0, IPC_RMID) == 0 ? 0 : -1;
}
