// Thread layer: the entry and exit routines run in order on a new thread, joining waits for
// it, exceptions end in the cleanup handler, and the mutex excludes and refuses misuse.
#include "gxthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Records where and in which order its routines ran. Members are written on the worker and
// read by the test only after JoinThread, which must order them.
class Recorder : public gxThread {
  public:
    void *ThreadEntryRoutine(gxThread_t *thread) override {
        entryThread = pthread_self();
        entryHandle = thread;
        log += "entry;";
        if (fail) {
            throw std::runtime_error("entry failed");
        }
        work = 42;
        return nullptr;
    }
    void ThreadExitRoutine(gxThread_t *thread) override {
        exitThread = pthread_self();
        exitHandle = thread;
        log += "exit;";
    }
    void ThreadCleanupHandler(gxThread_t *) override { log += "cleanup;"; }

    bool fail = false;
    int work = 0;
    std::string log;
    pthread_t entryThread{};
    pthread_t exitThread{};
    gxThread_t *entryHandle = nullptr;
    gxThread_t *exitHandle = nullptr;
};

TEST(GxThread, EntryThenExitRunOnOneNewThreadAndJoinWaitsForBoth) {
    Recorder worker;
    gxThread_t *handle = worker.CreateThread(gxTHREAD_TYPE_JOINABLE, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(worker.JoinThread(handle), 0);

    EXPECT_EQ(worker.log, "entry;exit;");
    EXPECT_EQ(worker.work, 42);
    EXPECT_FALSE(pthread_equal(worker.entryThread, pthread_self()));
    EXPECT_TRUE(pthread_equal(worker.entryThread, worker.exitThread));
    EXPECT_EQ(worker.entryHandle, handle);
    EXPECT_EQ(worker.exitHandle, handle);
    EXPECT_EQ(handle->GetThreadState(), gxTHREAD_STATE_JOINED);
    EXPECT_EQ(handle->GetThreadObject(), &worker);
    delete handle;
}

TEST(GxThread, JoinRefusesNullAndSecondJoin) {
    Recorder worker;
    EXPECT_EQ(worker.JoinThread(nullptr), -1);
    gxThread_t *handle = worker.CreateThread(1, 0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(worker.JoinThread(handle), 0);
    EXPECT_EQ(worker.JoinThread(handle), -1);
    delete handle;
}

TEST(GxThread, ThrowingEntryRunsCleanupThenExit) {
    Recorder worker;
    worker.fail = true;
    gxThread_t *handle = worker.CreateThread(1, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(worker.JoinThread(handle), 0);
    EXPECT_EQ(worker.log, "entry;cleanup;exit;");
    delete handle;
}

TEST(GxThread, DeletingAnUnjoinedHandleWaitsForTheThread) {
    Recorder worker;
    gxThread_t *handle = worker.CreateThread(1, 0);
    ASSERT_NE(handle, nullptr);
    delete handle; // must wait: worker is destroyed right after
    EXPECT_EQ(worker.log, "entry;exit;");
}

// A thread joining its own handle would wait for ever; it is refused instead.
class SelfJoiner : public gxThread {
  public:
    void *ThreadEntryRoutine(gxThread_t *thread) override {
        result = JoinThread(thread);
        return nullptr;
    }
    int result = 0;
};

TEST(GxThread, SelfJoinIsRefused) {
    SelfJoiner worker;
    gxThread_t *handle = worker.CreateThread(1, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(worker.JoinThread(handle), 0);
    EXPECT_EQ(worker.result, -1);
    delete handle;
}

// Reads the stack size its own thread was given.
class StackProbe : public gxThread {
  public:
    void *ThreadEntryRoutine(gxThread_t *) override {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            pthread_attr_getstacksize(&attr, &size);
            pthread_attr_destroy(&attr);
        }
        return nullptr;
    }
    size_t size = 0;
};

TEST(GxThread, StackSizeIsHonoured) {
    StackProbe worker;
    const int wanted = 4 << 20;
    gxThread_t *handle = worker.CreateThread(1, wanted);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(worker.JoinThread(handle), 0);
    EXPECT_GE(worker.size, static_cast<size_t>(wanted));
    EXPECT_EQ(handle->GetStackSize(), wanted);
    delete handle;
}

// Adds to a plain counter under the shared mutex.
class Adder : public gxThread {
  public:
    Adder(gxMutex &mutex, long &counter) : mutex(mutex), counter(counter) {}
    void *ThreadEntryRoutine(gxThread_t *) override {
        for (int i = 0; i < 20000; i++) {
            mutex.MutexLock();
            counter++;
            mutex.MutexUnlock();
        }
        return nullptr;
    }
    gxMutex &mutex;
    long &counter;
};

TEST(GxMutex, ExcludesConcurrentWriters) {
    gxMutex mutex(gxPROCESS_PRIVATE);
    long counter = 0;
    std::vector<Adder *> workers;
    std::vector<gxThread_t *> handles;
    for (int i = 0; i < 4; i++) {
        workers.push_back(new Adder(mutex, counter));
        handles.push_back(workers.back()->CreateThread(1, 0));
        ASSERT_NE(handles.back(), nullptr);
    }
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(workers[i]->JoinThread(handles[i]), 0);
        delete handles[i];
        delete workers[i];
    }
    EXPECT_EQ(counter, 4L * 20000L);
}

// Tries the mutex from another thread while the test holds it.
class TryLocker : public gxThread {
  public:
    explicit TryLocker(gxMutex &mutex) : mutex(mutex) {}
    void *ThreadEntryRoutine(gxThread_t *) override {
        tryResult = mutex.MutexTryLock();
        unlockResult = mutex.MutexUnlock();
        return nullptr;
    }
    gxMutex &mutex;
    int tryResult = 0;
    int unlockResult = 0;
};

TEST(GxMutex, RefusesSecondLockTryLockWhileHeldAndForeignUnlock) {
    gxMutex mutex(0);
    ASSERT_EQ(mutex.MutexLock(), 0);
    EXPECT_EQ(mutex.MutexLock(), -1); // not recursive: refused rather than a deadlock
    TryLocker other(mutex);
    gxThread_t *handle = other.CreateThread(1, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(other.JoinThread(handle), 0);
    delete handle;
    EXPECT_EQ(other.tryResult, -1);
    EXPECT_EQ(other.unlockResult, -1);
    EXPECT_EQ(mutex.MutexUnlock(), 0);
    EXPECT_EQ(mutex.MutexTryLock(), 0);
    EXPECT_EQ(mutex.MutexUnlock(), 0);
}

} // namespace
