// The lock file: ownership, refusal, take-over of a dead owner's file, and many processes racing
// for it at once (exactly one may win each time).
#include "lockfile.h"

#include "net_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string slurp(const std::string &path) {
    std::ifstream f(path);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool exists(const std::string &p) { return access(p.c_str(), F_OK) == 0; }

pid_t dead_pid() {
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST(LockFile, OwnedUntilReleased) {
    netpeer::TempDir dir;
    const std::string path = dir.file("pellam.lock");
    LOCKFILE_Lock a, b;
    ASSERT_EQ(LOCKFILE_Take(&a, path.c_str()), LOCKFILE_TAKEN);
    EXPECT_EQ(slurp(path), std::to_string(getpid()) + "\n");
    // A second owner in the same process is refused too: the advisory lock is per open file.
    EXPECT_EQ(LOCKFILE_Take(&b, path.c_str()), LOCKFILE_HELD);
    EXPECT_EQ(b.fd, -1);
    LOCKFILE_Release(&b); // never taken: nothing happens
    EXPECT_TRUE(exists(path));
    LOCKFILE_Release(&a);
    EXPECT_FALSE(exists(path));
    LOCKFILE_Release(&a);
    EXPECT_EQ(LOCKFILE_Take(&b, path.c_str()), LOCKFILE_TAKEN);

    // A file put in its place by hand is not the owner's to remove.
    unlink(path.c_str());
    { std::ofstream(path) << "by hand"; }
    LOCKFILE_Release(&b);
    EXPECT_EQ(slurp(path), "by hand");
}

TEST(LockFile, DeadOwnerIsTakenOverAndForeignFilesAreKept) {
    netpeer::TempDir dir;
    const std::string path = dir.file("pellam.lock");
    pid_t dead = dead_pid();
    { std::ofstream(path) << dead << "\n"; }
    LOCKFILE_Lock lock;
    ASSERT_EQ(LOCKFILE_Take(&lock, path.c_str()), LOCKFILE_TAKEN_OVER);
    EXPECT_EQ(lock.previous, dead);
    EXPECT_EQ(slurp(path), std::to_string(getpid()) + "\n");
    LOCKFILE_Release(&lock);

    const std::string foreign[] = {"", "1\n", std::to_string(getppid()), "x\n", "2147483648\n"};
    for (const std::string &text : foreign) {
        { std::ofstream(path) << text; }
        EXPECT_EQ(LOCKFILE_Take(&lock, path.c_str()), LOCKFILE_HELD) << '"' << text << '"';
        EXPECT_EQ(slurp(path), text);
    }
}

TEST(LockFile, UnusablePaths) {
    netpeer::TempDir dir;
    LOCKFILE_Lock lock;
    EXPECT_EQ(LOCKFILE_Take(&lock, dir.file("no/such/dir/pellam.lock").c_str()), LOCKFILE_ERROR);
    EXPECT_EQ(errno, ENOENT);
    std::string long_path = dir.path() + "/" + std::string(LOCKFILE_PATH_MAX, 'x');
    EXPECT_EQ(LOCKFILE_Take(&lock, long_path.c_str()), LOCKFILE_ERROR);
    EXPECT_EQ(lock.fd, -1);
}

// Racers are forked children held at a gate; each reports its result as one byte and keeps
// what it took until the parent lets them all go.
struct Race {
    int gate[2], hold[2], report[2];
    std::vector<pid_t> racers;
    Race() {
        if (pipe(gate) != 0 || pipe(hold) != 0 || pipe(report) != 0)
            ADD_FAILURE() << "pipe";
    }
    void start(const std::string &path, int n) {
        for (int i = 0; i < n; i++) {
            pid_t pid = fork();
            if (pid == 0) {
                close(gate[1]), close(hold[1]), close(report[0]);
                char c;
                (void)!read(gate[0], &c, 1);
                LOCKFILE_Lock lock;
                c = (char)('0' + 2 + LOCKFILE_Take(&lock, path.c_str()));
                (void)!write(report[1], &c, 1);
                (void)!read(hold[0], &c, 1);
                LOCKFILE_Release(&lock);
                _exit(0);
            }
            racers.push_back(pid);
        }
        close(gate[1]);
    }
    // The results of all racers (bounded wait), as counts by result.
    std::vector<int> results() {
        std::vector<int> counts(4, 0);
        for (size_t got = 0; got < racers.size();) {
            pollfd p{report[0], POLLIN, 0};
            if (poll(&p, 1, 30000) <= 0)
                break;
            char c;
            if (read(report[0], &c, 1) == 1 && c >= '0' && c < '4')
                counts[c - '0']++, got++;
        }
        return counts;
    }
    ~Race() {
        close(hold[1]);
        for (pid_t pid : racers)
            waitpid(pid, nullptr, 0);
        close(gate[0]), close(hold[0]), close(report[0]), close(report[1]);
    }
};

TEST(LockFile, ExactlyOneOfManyRacersWins) {
    netpeer::TempDir dir;
    const std::string path = dir.file("pellam.lock");
    for (bool stale : {false, true})
        for (int round = 0; round < 15; round++) {
            if (stale)
                std::ofstream(path) << dead_pid() << "\n";
            std::vector<int> counts;
            {
                Race race;
                race.start(path, 6);
                counts = race.results();
            }
            const int won = 2 + (stale ? LOCKFILE_TAKEN_OVER : LOCKFILE_TAKEN);
            EXPECT_EQ(counts[won], 1) << (stale ? "stale" : "fresh") << " round " << round;
            EXPECT_EQ(counts[2 + LOCKFILE_HELD], 5);
            EXPECT_FALSE(exists(path)); // the winner released it
        }
}

} // namespace
