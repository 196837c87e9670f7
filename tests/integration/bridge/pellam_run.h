// Runs the real Pellam program in a child process with prepared standard input and environment,
// against scripted scheduler and robot server peers on loopback or the simulator.
#ifndef ROVAK_TESTS_PELLAM_RUN_H
#define ROVAK_TESTS_PELLAM_RUN_H

#include "net_peer.h"

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace pellamtest {

using Env = std::vector<std::pair<std::string, std::string>>;

struct Result {
    int status = -1; // exit status, or -1 when it had to be killed
    std::string out, err;
};

// Runs Pellam with input on standard input and env added to the environment; kills it after
// timeout_s seconds.
Result run(const std::string &input, const Env &env, const netpeer::TempDir &dir,
           int timeout_s = 30);

// Children held between fork and exec until open() is called, so that several start at once.
class Gate {
  public:
    Gate();
    ~Gate();
    void open();                // lets every child waiting on it go
    void pass_in_child() const; // in a child: waits until open()

  private:
    int fds_[2];
};

// A running Pellam whose standard input is a pipe the test writes, standard output a file or a
// pipe the test can close, and standard error a file. Every wait is bounded.
class Bridge {
  public:
    enum Output { ToFile, ToPipe, ToDevFull };
    Bridge(const Env &env, const netpeer::TempDir &dir, const std::string &name,
           Output output = ToFile, const Gate *gate = nullptr);
    ~Bridge(); // kills it if still running
    Bridge(const Bridge &) = delete;
    Bridge &operator=(const Bridge &) = delete;

    pid_t pid() const { return pid_; }
    int output_fd() const { return out_pipe_; } // the test's end of a ToPipe output
    void send(const std::string &text);
    void close_input();
    void close_output(); // the test's (reading) end of a ToPipe output
    std::string out();   // a ToPipe output: what has arrived so far
    std::string err() const;
    // Waits until standard output (or error) contains text or the program ends: true if it does.
    bool wait_out(const std::string &text, int timeout_s = 30);
    bool wait_err(const std::string &text, int timeout_s = 30);
    bool ended(); // without waiting
    // Waits for the end: the exit status, or -1 when it was killed after timeout_s (or died of a
    // signal).
    int wait(int timeout_s = 30);

  private:
    bool wait_for(bool (Bridge::*ready)(const std::string &), const std::string &text,
                  int timeout_s);
    bool out_has(const std::string &text) { return out().find(text) != std::string::npos; }
    bool err_has(const std::string &text) { return err().find(text) != std::string::npos; }
    pid_t pid_ = -1;
    int status_ = -1;
    bool piped_output_;
    int in_ = -1, out_pipe_ = -1;
    std::string out_file_, err_file_, piped_;
};

// Description of a robot as Pellam expects one: 3 axes, 6 sonar sets of 8, 6 infrared sets of 8,
// 6 bumper sets of 2, 4 batteries.
std::vector<std::string> full_robot();

// Sonar (or infrared) readings of 6 sets of 8 as one state line.
std::string sonar_line(const int r[6][8]);
std::string infrared_line(const int r[6][8]);

} // namespace pellamtest

#endif
