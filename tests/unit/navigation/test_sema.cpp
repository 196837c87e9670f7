// Robot semaphore: creation and opening of the set, mutual exclusion between processes and
// between threads, release of a dead holder's semaphore, and a wait resumed after a signal.
#include "sema.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

int semValue(int id) { return semctl(id, 0, GETVAL); }

// True when the semaphore is held: a wait-for-free that must not block fails with EAGAIN.
bool semHeld(int id) {
    struct sembuf probe = {0, 0, IPC_NOWAIT};
    return semop(id, &probe, 1) == -1 && errno == EAGAIN;
}

// Waits for semaphore 0 of id to have `waiters` threads waiting for it to become free.
void awaitWaiters(int id, int waiters) {
    while (semctl(id, 0, GETZCNT) != waiters) {
        sched_yield();
    }
}

class Sema : public ::testing::Test {
  protected:
    void SetUp() override {
        sem_remove_set(); // a set left behind by an earlier, killed run
        id = sem_create_set();
        ASSERT_GE(id, 0);
    }
    void TearDown() override { sem_remove_set(); }
    int id = -1;
};

TEST_F(Sema, NewSetStartsFreeAndIsFoundByOpen) {
    EXPECT_EQ(semValue(id), 0);
    EXPECT_EQ(sem.load(), id);
    sem.store(-1);
    EXPECT_EQ(sem_open_set(), id);
    EXPECT_EQ(sem.load(), id);
}

TEST_F(Sema, TakeAndGiveBack) {
    p_sem(id);
    EXPECT_EQ(semValue(id), 1);
    EXPECT_TRUE(semHeld(id));
    EXPECT_EQ(v_sem(id), 0);
    EXPECT_EQ(semValue(id), 0);
    EXPECT_FALSE(semHeld(id));
}

TEST_F(Sema, CreatingAgainKeepsAHeldSemaphoreHeld) {
    p_sem(id);
    EXPECT_EQ(sem_create_set(), id);
    EXPECT_EQ(semValue(id), 1);
    EXPECT_EQ(v_sem(id), 0);
}

TEST_F(Sema, RemovedSetCannotBeOpenedOrUsed) {
    EXPECT_EQ(sem_remove_set(), 0);
    EXPECT_EQ(sem_open_set(), -1);
    EXPECT_EQ(sem.load(), -1);
    EXPECT_EQ(sem_remove_set(), -1);
    p_sem(id); // no set: returns instead of waiting
    EXPECT_EQ(v_sem(id), -1);
    id = sem_create_set();
    EXPECT_GE(id, 0);
}

// Shared between the test and its child process.
struct SharedCounter {
    std::atomic<int> inside;
    std::atomic<int> overlaps;
    volatile int count;
};

void addUnderSemaphore(int id, SharedCounter *shared, int rounds) {
    for (int i = 0; i < rounds; i++) {
        p_sem(id);
        if (shared->inside.fetch_add(1) != 0) {
            shared->overlaps++;
        }
        int seen = shared->count;
        sched_yield(); // invite the other side in between the read and the write
        shared->count = seen + 1;
        shared->inside.fetch_sub(1);
        v_sem(id);
    }
}

TEST_F(Sema, ExcludesAnotherProcess) {
    const int rounds = 300;
    void *mem = mmap(nullptr, sizeof(SharedCounter), PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    SharedCounter *shared = new (mem) SharedCounter();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        addUnderSemaphore(sem_open_set(), shared, rounds);
        _exit(0);
    }
    addUnderSemaphore(id, shared, rounds);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(shared->overlaps.load(), 0);
    EXPECT_EQ(shared->count, 2 * rounds);
    EXPECT_EQ(semValue(id), 0);
    munmap(mem, sizeof(SharedCounter));
}

TEST_F(Sema, HolderInAnotherProcessBlocksUntilItGivesBack) {
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char c = 0;
        p_sem(sem_open_set());
        bool ok = write(toParent[1], "t", 1) == 1 && read(toChild[0], &c, 1) == 1;
        _exit(ok && v_sem(sem.load()) == 0 ? 0 : 1);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    EXPECT_TRUE(semHeld(id));
    ASSERT_EQ(write(toChild[1], "g", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(semHeld(id));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        close(fd);
    }
}

// A holder that exits or is killed without giving the semaphore back must not block the others.
TEST_F(Sema, DeadHolderReleasesTheSemaphore) {
    for (bool killed : {false, true}) {
        int toParent[2];
        ASSERT_EQ(pipe(toParent), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            p_sem(sem_open_set());
            if (write(toParent[1], "t", 1) != 1 || !killed) {
                _exit(0);
            }
            pause();
            _exit(0);
        }
        char c = 0;
        ASSERT_EQ(read(toParent[0], &c, 1), 1);
        if (killed) {
            kill(child, SIGKILL);
        }
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        EXPECT_EQ(semValue(id), 0) << (killed ? "killed" : "exited");
        close(toParent[0]);
        close(toParent[1]);
    }
    p_sem(id);
    EXPECT_EQ(v_sem(id), 0);
}

TEST_F(Sema, ExcludesThreadsOfOneProcess) {
    long counter = 0; // guarded by the semaphore alone
    auto add = [this, &counter] {
        for (int i = 0; i < 2000; i++) {
            p_sem(id);
            counter++;
            v_sem(id);
        }
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    EXPECT_EQ(counter, 4000);
}

// Another process may remove the set while this one uses it: its threads must still take turns
// (the client library's connection allows one request at a time).
TEST_F(Sema, ThreadsStayExcludedWhenTheSetIsRemoved) {
    std::atomic<int> inside{0}, overlaps{0};
    long counter = 0;
    auto add = [&] {
        for (int i = 0; i < 3000; i++) {
            p_sem(id);
            if (inside.fetch_add(1) != 0)
                overlaps++;
            long seen = counter;
            sched_yield();
            counter = seen + 1;
            inside.fetch_sub(1);
            v_sem(id);
        }
    };
    std::thread a(add), b(add);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sem_remove_set(), 0); // as another process would
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 6000);
    id = sem_create_set();
    EXPECT_GE(id, 0);
}

void onSignal(int) {}

// A wait cut short by a signal goes on waiting: the waiter ends up holding the semaphore.
TEST_F(Sema, WaitInterruptedBySignalIsResumed) {
    struct sigaction action = {};
    action.sa_handler = onSignal; // no SA_RESTART: semop returns EINTR
    struct sigaction previous;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    // Held as another process holds it (straight on the set, past this process's gate), so the
    // waiter waits inside the system call.
    struct sembuf take[2] = {operacao[0], operacao[1]};
    ASSERT_EQ(semop(id, take, 2), 0);
    std::atomic<bool> done(false);
    std::thread waiter([this, &done] {
        p_sem(id);
        done = true;
    });
    awaitWaiters(id, 1);
    pthread_kill(waiter.native_handle(), SIGUSR1);
    awaitWaiters(id, 1); // waiting again after the interruption
    EXPECT_FALSE(done.load());
    struct sembuf give = {0, -1, SEM_UNDO};
    EXPECT_EQ(semop(id, &give, 1), 0);
    waiter.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(semValue(id), 1);
    EXPECT_EQ(v_sem(id), 0);
    sigaction(SIGUSR1, &previous, nullptr);
}

} // namespace
