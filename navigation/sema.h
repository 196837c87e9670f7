/* The robot semaphore: one System V semaphore (set key 4914, semaphore 0) that serialises every
 * robot request and sensor read among the navigator and its worker threads, and among every
 * process on the machine that uses this library. Value 0 means free, 1 taken.
 *
 * The operations carry SEM_UNDO, so the system gives back a semaphore that a dying process
 * still holds; a holder must therefore give it back from the process that took it. It is not
 * re-entrant: a holder must not take it again before giving it back.
 *
 * Within one process the threads also pass a gate of the process's own, so they stay one at a
 * time even when the system set is removed under them by another process.
 *
 * Error convention: 0 for success and -1 for failure (p_sem returns nothing and fails
 * silently, as its callers have no way to go on other than carrying on). */
#ifndef ROVAK_SEMA_H
#define ROVAK_SEMA_H

#include <sys/sem.h>

#include <atomic>

#define SEM_KEY 4914 /* IPC key of the robot semaphore set */

/* Identifier of the set from the last create or open (-1 after a failed one). Atomic because
 * every worker thread opens the set again before using it. */
extern std::atomic<int> sem;

/* The two operations of a take: wait until semaphore 0 is 0, then add 1, as one atomic step. */
extern const struct sembuf operacao[2];

/* Takes the semaphore of set id, waiting while another holder has it. A wait cut short by a
 * signal is resumed; any other failure (no such set) returns without the semaphore. */
void p_sem(int id);

/* Gives back the semaphore of set id. The semop result: 0, or -1 when it failed (no such set,
 * or the semaphore was not taken: giving back never waits). */
int v_sem(int id);

/* Holds the semaphore of set id for the lifetime of the object: taken on construction, given
 * back on destruction, so every way out of a scope (an exception included) gives it back. */
class SemHold {
  public:
    explicit SemHold(int id) : id_(id) { p_sem(id_); }
    ~SemHold() { v_sem(id_); }
    SemHold(const SemHold &) = delete;
    SemHold &operator=(const SemHold &) = delete;

  private:
    int id_;
};

/* Creates the set, or opens it when it already exists; a newly created set starts free (0),
 * an existing one keeps its value. Stores the identifier in sem and returns it; -1 on failure.
 * *created (when given) tells whether this call made the set, so that a caller that gives up
 * removes only a set of its own. */
int sem_create_set(bool *created = nullptr);

/* Opens the existing set. Stores the identifier in sem and returns it; -1 when there is none. */
int sem_open_set();

/* Removes the set from the system; later opens fail until it is created again. 0, or -1 when
 * there was no set to remove. */
int sem_remove_set();

#endif
