/* Thread layer of the navigation library: worker thread objects, their handles and a mutex.
 *
 * A worker derives from gxThread and overrides ThreadEntryRoutine (and, if it needs to,
 * ThreadExitRoutine). CreateThread starts the entry routine on a new thread and returns the
 * handle; on that thread the exit routine runs right after the entry routine returns. The
 * caller waits for the thread with JoinThread and then deletes the handle, and after that the
 * thread object.
 *
 * Error convention: int results are 0 for success and -1 for failure; pointer results are null
 * on failure. Nothing here throws. */
#ifndef ROVAK_GXTHREAD_H
#define ROVAK_GXTHREAD_H

#include <atomic>
#include <mutex>
#include <pthread.h>

/* Thread types accepted by CreateThread. Every thread is joinable: a detached thread could
 * outlive the object it runs, so the detached type is accepted and treated as joinable. */
enum gxThreadType { gxTHREAD_TYPE_DETACHED = 0, gxTHREAD_TYPE_JOINABLE = 1 };

/* Life of one thread, as seen through its handle. */
enum gxThreadState {
    gxTHREAD_STATE_RUNNING = 0, /* the entry or exit routine is still running */
    gxTHREAD_STATE_EXITED = 1,  /* the exit routine has returned; the thread is ending */
    gxTHREAD_STATE_JOINED = 2   /* JoinThread has waited for it */
};

/* Mutex sharing: private to the process, or shared between processes when the mutex itself
 * lies in shared memory. */
enum gxProcessType { gxPROCESS_PRIVATE = 0, gxPROCESS_SHARED = 1 };

class gxThread;

/* Handle of one started thread. Created by CreateThread, deleted by the caller once the thread
 * has been joined; deleting a handle whose thread was not joined waits for the thread first. */
class gxThread_t {
  public:
    ~gxThread_t();
    gxThread_t(const gxThread_t &) = delete;
    gxThread_t &operator=(const gxThread_t &) = delete;

    /* The current gxThreadState of the thread. */
    gxThreadState GetThreadState() const { return state.load(); }
    /* The type and stack size the thread was created with. */
    int GetThreadType() const { return type; }
    int GetStackSize() const { return stackSize; }
    /* The thread object whose routines this thread runs. */
    gxThread *GetThreadObject() const { return owner; }

  private:
    friend class gxThread;
    gxThread_t(gxThread *owner, int type, int stackSize);
    static void *Start(void *handle);
    void Run();
    int Join();
    bool isJoined();

    gxThread *owner;
    int type;
    int stackSize;
    std::atomic<gxThreadState> state;
    std::mutex joinLock; /* guards joined and joining */
    pthread_t worker;
    bool started;
    bool joined;
    bool joining; /* a caller is waiting in pthread_join */
};

/* Base of every worker thread object. */
class gxThread {
  public:
    gxThread() = default;
    virtual ~gxThread();
    gxThread(const gxThread &) = delete;
    gxThread &operator=(const gxThread &) = delete;

    /* The thread's work, run on the new thread with its own handle. Its result is ignored. */
    virtual void *ThreadEntryRoutine(gxThread_t *thread) = 0;
    /* Runs on the thread right after the entry routine (or the cleanup handler) returns.
     * Does nothing unless overridden. */
    virtual void ThreadExitRoutine(gxThread_t *thread);
    /* Runs on the thread instead of the rest of the entry routine when the entry routine ends
     * by throwing; the exit routine follows. Does nothing unless overridden. */
    virtual void ThreadCleanupHandler(gxThread_t *thread);

    /* Starts ThreadEntryRoutine on a new thread and returns its handle, owned by the caller.
     * type is a gxThreadType; a stack size of 0 means the system's default, a larger one is at
     * least the system minimum. Null when the thread cannot be started. */
    gxThread_t *CreateThread(int type = gxTHREAD_TYPE_JOINABLE, int stackSize = 0);
    /* Waits until the thread of handle has ended. 0 once it has; -1 for a null handle, a
     * handle already joined or being joined by another caller, or a thread joining itself. */
    int JoinThread(gxThread_t *handle);

    /* Sleep the calling thread for ms milliseconds, or for s seconds. */
    static void mSleep(unsigned long ms);
    static void sSleep(unsigned long s);
};

/* A mutex, never recursive: a second lock by the thread that holds it, and an unlock by a
 * thread that does not hold it, are refused (-1). */
class gxMutex {
  public:
    /* type is a gxProcessType. */
    explicit gxMutex(int type = gxPROCESS_PRIVATE);
    ~gxMutex();
    gxMutex(const gxMutex &) = delete;
    gxMutex &operator=(const gxMutex &) = delete;

    /* Take the mutex, waiting for it; take it only if free; give it back. 0 on success, -1 on
     * failure (for MutexTryLock: the mutex is held by someone). */
    int MutexLock();
    int MutexTryLock();
    int MutexUnlock();

    /* The same operations under the standard names, so std::lock_guard can hold a gxMutex. */
    void lock() { MutexLock(); }
    bool try_lock() { return MutexTryLock() == 0; }
    void unlock() { MutexUnlock(); }

  private:
    bool heldByCaller() const;

    pthread_mutex_t mutex;
    bool valid;
    std::atomic<bool> held;       /* some thread holds the mutex */
    std::atomic<pthread_t> owner; /* the thread that holds it, while held */
};

#endif
