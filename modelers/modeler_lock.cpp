/* The per-shape advisory lock: flock on a lock file, taken exclusive or shared with a bounded
 * wait. */
#include "modeler_lock.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

long long nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void sleepMs(long ms) {
    timespec pause{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&pause, nullptr);
}

} // namespace

ModelerLock::ModelerLock(const std::string &path, int waitMs, Mode mode) {
    // A reader needs no write access to the lock file; flock works on any open descriptor.
    int access = mode == SHARED ? O_RDONLY : O_RDWR;
    fd_ = open(path.c_str(), access | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        state_ = NO_FILE;
        return;
    }
    // flock has no time-out of its own: try without blocking, backing off from 1 ms to 20 ms.
    const long long until = nowMs() + waitMs;
    long pause = 1;
    for (;;) {
        if (flock(fd_, (mode == SHARED ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) {
            state_ = HELD;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (nowMs() >= until) {
            close(fd_);
            fd_ = -1;
            state_ = BUSY;
            return;
        }
        sleepMs(pause);
        pause = pause < 20 ? pause * 2 : 20;
    }
    close(fd_);
    fd_ = -1;
    state_ = NO_FILE;
}

void ModelerLock::release() {
    if (fd_ < 0)
        return;
    flock(fd_, LOCK_UN);
    close(fd_);
    fd_ = -1;
}
