// Real loopback peers for socket and protocol tests: a free TCP port, a temporary directory for
// Unix-domain socket paths, and a scripted peer that runs in a child process.
//
// The peer's listening socket (or the address it connects to) is set up before the child is
// forked, so the test can connect at once without races. The child follows its script step by
// step; a line that differs from the expected one makes it print both on stderr and exit with
// status 1, which finish() reports. After the last step the child waits for the test's side to
// close the connection, unless the script closed it itself.
#ifndef ROVAK_TESTS_NET_PEER_H
#define ROVAK_TESTS_NET_PEER_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace netpeer {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
int free_tcp_port();

// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

struct Step {
    enum Kind {
        Expect,   // read one line (without its line feed) and compare it with text
        ExpectN,  // read count lines, each equal to text
        Send,     // write text as it is
        Close,    // close the connection and end the script
        Echo,     // until end of stream: answer "Done <command>" to every line whose command
                  // (after any "<id>:" prefix) is not "Note"
        DrainEof, // read and discard until end of stream, then end the script
        Pause,    // sleep count milliseconds (what was sent before leaves in a write of its own)
        Record,   // as Echo, and each line read is first appended (line feed included) to the
                  // file named by text, so the test can read what arrived once it is answered
    };
    Kind kind;
    std::string text;
    int count;
};

// Builder of a peer's steps.
class Script {
  public:
    Script &expect(const std::string &line) { return add(Step::Expect, line, 1); }
    Script &expect_n(const std::string &line, int n) { return add(Step::ExpectN, line, n); }
    Script &send(const std::string &text) { return add(Step::Send, text, 0); }
    Script &answer(const std::string &line, const std::string &reply) {
        return expect(line).send(reply);
    }
    Script &close() { return add(Step::Close, "", 0); }
    Script &echo() { return add(Step::Echo, "", 0); }
    Script &drain() { return add(Step::DrainEof, "", 0); }
    Script &pause(int ms) { return add(Step::Pause, "", ms); }
    Script &record(const std::string &path) { return add(Step::Record, path, 0); }

    const std::vector<Step> &steps() const { return steps_; }

  private:
    Script &add(Step::Kind k, const std::string &t, int n) {
        steps_.push_back(Step{k, t, n});
        return *this;
    }
    std::vector<Step> steps_;
};

class ScriptedPeer {
  public:
    ScriptedPeer() = default;
    ~ScriptedPeer(); // kills a child that is still running
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    // The child listens (on 127.0.0.1:port or at path), accepts one connection and runs script.
    void listen_tcp(int port, const Script &script);
    void listen_unix(const std::string &path, const Script &script);
    // The child connects to a listener of the test and runs script.
    void connect_tcp(int port, const Script &script);
    void connect_unix(const std::string &path, const Script &script);

    // Waits for the child; 0 when every step went as written.
    int finish();
    // True once the child has ended (without waiting); finish() then returns at once.
    bool done();
    pid_t pid() const { return pid_; }

  private:
    void start(int listen_fd, int family, const std::string &where, int port, const Script &script);
    pid_t pid_ = -1;
    int code_ = -1;
};

} // namespace netpeer

#endif
