/* The mutex of the thread layer, on a POSIX mutex. */
#include "gxthread.h"

gxMutex::gxMutex(int type) : mutex(), valid(false), held(false), owner(pthread_t()) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) {
        return;
    }
    int shared = type == gxPROCESS_SHARED ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE;
    valid = pthread_mutexattr_setpshared(&attr, shared) == 0 &&
            pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK) == 0 &&
            pthread_mutex_init(&mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
}

gxMutex::~gxMutex() {
    if (valid) {
        pthread_mutex_destroy(&mutex);
    }
}

bool gxMutex::heldByCaller() const {
    return held.load() && pthread_equal(owner.load(), pthread_self());
}

int gxMutex::MutexLock() {
    // A second lock by the holder, or an unlock by someone else, is refused here, before the
    // system call, so that it is reported to the caller and not as a fault of the program.
    if (!valid || heldByCaller() || pthread_mutex_lock(&mutex) != 0) {
        return -1;
    }
    owner.store(pthread_self());
    held.store(true);
    return 0;
}

int gxMutex::MutexTryLock() {
    if (!valid || heldByCaller() || pthread_mutex_trylock(&mutex) != 0) {
        return -1;
    }
    owner.store(pthread_self());
    held.store(true);
    return 0;
}

int gxMutex::MutexUnlock() {
    if (!valid || !heldByCaller()) {
        return -1;
    }
    held.store(false);
    return pthread_mutex_unlock(&mutex) == 0 ? 0 : -1;
}
