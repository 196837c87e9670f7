// The real simulator in a child process on free ports, and a runner for the Java front end,
// for the navigation integration tests.
#ifndef ROVAK_TESTS_SIM_RUN_H
#define ROVAK_TESTS_SIM_RUN_H

#include "net_peer.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

// One simulator process. start() waits for its "ready" line and points the robot vendor
// library of this process (and of children started later) at it through the environment.
class Sim {
  public:
    explicit Sim(const netpeer::TempDir &dir) : dir_(dir) {}
    ~Sim() { stop(); }
    Sim(const Sim &) = delete;
    Sim &operator=(const Sim &) = delete;

    // Starts rovak-sim with --speedup speedup and the extra arguments, its scheduler on port
    // (0: a free one); false when it did not come up within 20 s.
    bool start(double speedup, const std::vector<std::string> &extra = {}, int port = 0);
    // Stops the process (SIGTERM, then SIGKILL) and waits for it.
    void stop();
    int port() const { return port_; }
    // The simulator's event log so far.
    std::string log() const;

  private:
    const netpeer::TempDir &dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

struct Result {
    int status = -1; // exit status, or -1 when it had to be killed
    std::string out, err;
};

// Runs the Java front end (trelvo.Demo, or the class main of the test jar) with args; kills it
// after timeout_s seconds.
Result runJava(const std::string &mainClass, const std::vector<std::string> &args,
               const netpeer::TempDir &dir, int timeout_s = 120);
// Runs the virtual machine with the library property and args after it (such as "-jar" and
// the jar); kills it after timeout_s seconds.
Result runJvm(const std::vector<std::string> &args, const netpeer::TempDir &dir,
              int timeout_s = 120);

// Writes a world file of the given lines into dir and returns its path.
std::string writeWorld(const netpeer::TempDir &dir, const std::vector<std::string> &lines);

// The robot's real pose in the world from the scheduler on port: x, y mm and heading mrad.
bool truePose(int port, int id, double *x, double *y, double *heading);

// Places the robot on the scheduler on port at x, y mm with heading mrad (its odometry is not
// touched); false when the simulator refuses (an overlap with an obstacle, say).
bool setTruePose(int port, int id, int x, int y, int heading);

// True when the robot semaphore set exists on this machine.
bool semaphoreExists();

} // namespace simtest

#endif
