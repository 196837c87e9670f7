/* Threads and handles of the thread layer, on POSIX threads. */
#include "gxthread.h"

#include <limits.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <new>

gxThread_t::gxThread_t(gxThread *owner, int type, int stackSize)
    : owner(owner), type(type), stackSize(stackSize), state(gxTHREAD_STATE_RUNNING), worker(),
      started(false), joined(false), joining(false) {}

gxThread_t::~gxThread_t() {
    if (!started || isJoined()) {
        return;
    }
    // A thread cannot wait for itself; let it end on its own instead.
    if (pthread_equal(pthread_self(), worker)) {
        pthread_detach(worker);
        return;
    }
    Join();
}

bool gxThread_t::isJoined() {
    std::lock_guard<std::mutex> hold(joinLock);
    return joined;
}

void *gxThread_t::Start(void *handle) {
    static_cast<gxThread_t *>(handle)->Run();
    return nullptr;
}

void gxThread_t::Run() {
    // An exception must not leave the thread (it would end the process); the cleanup handler
    // gets the chance to undo what the entry routine left half done.
    try {
        owner->ThreadEntryRoutine(this);
    } catch (...) {
        try {
            owner->ThreadCleanupHandler(this);
        } catch (...) {
        }
    }
    try {
        owner->ThreadExitRoutine(this);
    } catch (...) {
    }
    state.store(gxTHREAD_STATE_EXITED);
}

int gxThread_t::Join() {
    if (!started || pthread_equal(pthread_self(), worker)) {
        return -1;
    }
    // Claim the join under the lock but wait outside it, so nothing that needs the lock can
    // be held up by the wait (the thread itself may try to join its own handle).
    {
        std::lock_guard<std::mutex> hold(joinLock);
        if (joined || joining) {
            return -1;
        }
        joining = true;
    }
    int rc = pthread_join(worker, nullptr);
    std::lock_guard<std::mutex> hold(joinLock);
    joining = false;
    if (rc != 0) {
        return -1;
    }
    joined = true;
    state.store(gxTHREAD_STATE_JOINED);
    return 0;
}

gxThread::~gxThread() {}

void gxThread::ThreadExitRoutine(gxThread_t *) {}

void gxThread::ThreadCleanupHandler(gxThread_t *) {}

gxThread_t *gxThread::CreateThread(int type, int stackSize) {
    gxThread_t *handle = new (std::nothrow) gxThread_t(this, type, stackSize);
    if (handle == nullptr) {
        return nullptr;
    }
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        delete handle;
        return nullptr;
    }
    bool ok = true;
    if (stackSize > 0) {
        size_t size =
            std::max(static_cast<size_t>(stackSize), static_cast<size_t>(PTHREAD_STACK_MIN));
        ok = pthread_attr_setstacksize(&attr, size) == 0;
    }
    // The handle is complete before the thread starts: the thread may use it (even join it)
    // from its first step.
    handle->started = true;
    ok = ok && pthread_create(&handle->worker, &attr, &gxThread_t::Start, handle) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) {
        handle->started = false;
        delete handle;
        return nullptr;
    }
    return handle;
}

int gxThread::JoinThread(gxThread_t *handle) {
    if (handle == nullptr) {
        return -1;
    }
    return handle->Join();
}

void gxThread::mSleep(unsigned long ms) {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(ms / 1000);
    left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    // A signal cuts nanosleep short; sleep on for what is left.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void gxThread::sSleep(unsigned long s) { mSleep(s * 1000UL); }
