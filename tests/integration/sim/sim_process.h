// A rovak-sim child process for integration tests: started on free ports with its sockets and
// log in a temporary directory, stopped (SIGTERM) at the end, with its exit status kept so a
// test can check that it never crashed. Also a raw line client for the scheduler's status
// queries and for feeding arbitrary bytes to an endpoint.
#ifndef ROVAK_TESTS_SIM_PROCESS_H
#define ROVAK_TESTS_SIM_PROCESS_H

#include "net_peer.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

class SimProcess {
  public:
    // Starts the simulator with --port, --robot-port 0, --socket-dir, --log and the extra
    // arguments, and waits until it reports ready. ok() is false when it did not start.
    explicit SimProcess(const std::vector<std::string> &extra = {});
    ~SimProcess(); // stops it if still running
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool ok() const { return ready_; }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const netpeer::TempDir &dir() const { return dir_; }
    std::string log() const; // the event log so far
    // The port of the live view named in the event log ("view at http://127.0.0.1:PORT/"), or
    // 0 when the simulator runs without one.
    int view_port() const;
    std::string socket_path(int robot) const;
    // Sends SIGTERM and waits; returns the exit status (0 for a clean stop), or -1 when the
    // process died of a signal.
    int stop();

  private:
    netpeer::TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
    int status_ = -1;
};

// Runs the simulator binary with args to completion; returns its exit status and output.
int run_sim(const std::vector<std::string> &args, std::string *output);

// A blocking line connection (TCP on 127.0.0.1 or a Unix-domain path). A buffer size above 0
// fixes the socket's kernel send and receive buffers (set before connecting, so the kernel does
// not grow them), which bounds what the kernel can hold for a peer that stops reading.
class LineClient {
  public:
    explicit LineClient(int tcp_port, int buffer_size = 0);
    explicit LineClient(const std::string &unix_path, int buffer_size = 0);
    ~LineClient();
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(const std::string &bytes);
    // Reads lines until one equals last (included) or the peer closes; false on close.
    bool read_until(const std::string &last, std::vector<std::string> *lines);
    // Sends line (a line feed is added) and collects the answer up to "Done <word>".
    std::vector<std::string> ask(const std::string &line, const std::string &word);
    void close_now();

  private:
    int fd_ = -1;
    std::string pending_;
};

// Points the client library at the simulator's scheduler and connects robot id: 0 or the
// client's error code.
int connect_client(const SimProcess &sim, int id = 1);
// Polls robot id's axes until none is in progress (at most 30 s of wall time); false when the
// motion did not end or a request failed.
bool wait_until_still(int id);
// Writes a world file into the simulator's future directory and returns its path.
std::string write_file(const netpeer::TempDir &dir, const std::string &name,
                       const std::string &text);

// The true pose of robot id from the scheduler's status query: x, y (mm), heading (mrad).
bool true_pose(int port, int id, long *x, long *y, long *th);

} // namespace simtest

#endif
