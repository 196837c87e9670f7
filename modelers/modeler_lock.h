/* An advisory lock on one shape's files.
 *
 * Requests for the same shape write the same two files; a request holds the shape's lock from
 * saving the SAT file through converting it and answering, so the SAT file and the scene always
 * come from one request. The lock is flock(2) on a lock file of its own (created when missing,
 * never removed or replaced, so every request locks the same file). Readers of the shape's files
 * (the Solid program) take it shared: any number of readers at once, never beside a writer, so
 * they never see the files of two requests mixed. The kernel releases it when
 * the descriptor is closed, and so when the process ends, however it ends: a killed request
 * never leaves the shape locked. flock works between processes of one host only; docs/modelers.md
 * says what a deployment on several hosts needs.
 *
 * Errors: the constructor reports through state(); nothing throws. Not for use by two threads. */
#ifndef ROVAK_MODELER_LOCK_H
#define ROVAK_MODELER_LOCK_H

#include <string>

class ModelerLock {
  public:
    enum State {
        HELD,    // the lock is ours until release() or destruction
        BUSY,    // another holder kept it for the whole wait
        NO_FILE, // the lock file cannot be opened or created
    };

    enum Mode {
        EXCLUSIVE, // a writer: no other holder at all
        SHARED,    // a reader: other readers, but no writer
    };

    // Takes the lock of the file at path in mode, waiting at most waitMs milliseconds for the
    // holders that keep it from us to let go.
    ModelerLock(const std::string &path, int waitMs, Mode mode = EXCLUSIVE);
    ~ModelerLock() { release(); }
    ModelerLock(const ModelerLock &) = delete;
    ModelerLock &operator=(const ModelerLock &) = delete;

    State state() const { return state_; }
    // Lets the lock go (no effect when it is not held).
    void release();

  private:
    int fd_ = -1;
    State state_ = NO_FILE;
};

#endif
