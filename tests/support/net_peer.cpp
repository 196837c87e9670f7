// Scripted loopback peers running in child processes.
#include "net_peer.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace netpeer {

int free_tcp_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, (sockaddr *)&addr, sizeof addr) < 0 ||
        getsockname(fd, (sockaddr *)&addr, &len) < 0)
        throw std::runtime_error("no free TCP port");
    close(fd);
    return ntohs(addr.sin_port);
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/rovak-net-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", path_.c_str());
}

namespace {

// Line reader and writer over the child's connection.
struct Conn {
    int fd;
    std::string pending;
    bool eof = false;

    bool read_line(std::string &line) {
        for (;;) {
            size_t lf = pending.find('\n');
            if (lf != std::string::npos) {
                line = pending.substr(0, lf);
                pending.erase(0, lf + 1);
                return true;
            }
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) {
                eof = true;
                return false;
            }
            pending.append(buf, (size_t)n);
        }
    }
    bool send_all(const std::string &text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += (size_t)n;
        }
        return true;
    }
};

int fail(const char *what, const std::string &want, const std::string &got) {
    std::fprintf(stderr, "peer: %s: expected '%s', got '%s'\n", what, want.c_str(), got.c_str());
    return 1;
}

// "Done <command>" for a line "[<id>:]<command> ...", or "" for a "Note" line.
std::string echo_answer(const std::string &line) {
    size_t end = line.find(' ');
    std::string word = line.substr(0, end);
    size_t colon = word.rfind(':');
    if (colon != std::string::npos)
        word.erase(0, colon + 1);
    return word == "Note" ? std::string() : "Done " + word + "\n";
}

// Answers every line as echo_answer says; with a path, first appends the line to that file.
int run_echo(Conn &c, const std::string &path = "") {
    std::string line;
    while (c.read_line(line)) {
        if (!path.empty()) {
            FILE *f = std::fopen(path.c_str(), "a");
            if (f == nullptr || std::fprintf(f, "%s\n", line.c_str()) < 0 || std::fclose(f) != 0)
                return fail("record", path, "cannot append");
        }
        std::string reply = echo_answer(line);
        if (!reply.empty() && !c.send_all(reply))
            return 0;
    }
    return 0;
}

int run_script(Conn &c, const std::vector<Step> &steps) {
    std::string line;
    for (const Step &s : steps) {
        switch (s.kind) {
        case Step::Expect:
        case Step::ExpectN:
            for (int i = 0; i < s.count; i++) {
                if (!c.read_line(line))
                    return fail("end of stream", s.text, "");
                if (line != s.text)
                    return fail("line", s.text, line);
            }
            break;
        case Step::Send:
            if (!c.send_all(s.text))
                return fail("send", s.text, "failed");
            break;
        case Step::Close:
            close(c.fd);
            return 0;
        case Step::Echo:
            return run_echo(c);
        case Step::Record:
            return run_echo(c, s.text);
        case Step::DrainEof:
            while (c.read_line(line)) {
            }
            return 0;
        case Step::Pause:
            usleep((useconds_t)s.count * 1000);
            break;
        }
    }
    while (c.read_line(line)) {
    }
    return 0;
}

// Closes every inherited descriptor but keep, so the test's own sockets see end of stream when
// the test closes them.
void close_inherited(int keep) {
    for (int fd = 3; fd < 4096; fd++)
        if (fd != keep)
            close(fd);
}

int connect_child(int family, const std::string &where, int port) {
    int fd = socket(family, SOCK_STREAM, 0);
    if (family == AF_INET) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((unsigned short)port);
        return connect(fd, (sockaddr *)&a, sizeof a) == 0 ? fd : -1;
    }
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, where.c_str(), sizeof a.sun_path - 1);
    return connect(fd, (sockaddr *)&a, sizeof a) == 0 ? fd : -1;
}

int listener(int family, const std::string &path, int port) {
    int fd = socket(family, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int rc;
    if (family == AF_INET) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((unsigned short)port);
        rc = bind(fd, (sockaddr *)&a, sizeof a);
    } else {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        unlink(path.c_str());
        rc = bind(fd, (sockaddr *)&a, sizeof a);
    }
    if (rc < 0 || listen(fd, 5) < 0)
        throw std::runtime_error("peer cannot listen");
    return fd;
}

} // namespace

void ScriptedPeer::start(int listen_fd, int family, const std::string &where, int port,
                         const Script &script) {
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ > 0) {
        if (listen_fd >= 0)
            close(listen_fd);
        return;
    }
    int fd =
        listen_fd >= 0 ? accept(listen_fd, nullptr, nullptr) : connect_child(family, where, port);
    if (fd < 0)
        _exit(2);
    close_inherited(fd);
    Conn c{fd, std::string(), false};
    _exit(run_script(c, script.steps()));
}

void ScriptedPeer::listen_tcp(int port, const Script &script) {
    start(listener(AF_INET, "", port), AF_INET, "", port, script);
}

void ScriptedPeer::listen_unix(const std::string &path, const Script &script) {
    start(listener(AF_UNIX, path, 0), AF_UNIX, path, 0, script);
}

void ScriptedPeer::connect_tcp(int port, const Script &script) {
    start(-1, AF_INET, "", port, script);
}

void ScriptedPeer::connect_unix(const std::string &path, const Script &script) {
    start(-1, AF_UNIX, path, 0, script);
}

static int exit_code(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ScriptedPeer::done() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
        return false;
    pid_ = -1;
    code_ = exit_code(status);
    return true;
}

int ScriptedPeer::finish() {
    if (pid_ <= 0)
        return code_;
    // Bounded: a peer stuck on a step (say, waiting for a connection that never comes) fails the
    // test instead of hanging the whole binary.
    int status = 0;
    pid_t got = 0;
    for (int waited_ms = 0; got == 0 && waited_ms < 30000; waited_ms += 10) {
        got = waitpid(pid_, &status, WNOHANG);
        if (got == 0)
            usleep(10000);
    }
    if (got == 0) {
        std::fprintf(stderr, "peer: still running after 30 s; killed\n");
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    code_ = got <= 0 ? -1 : exit_code(status);
    return code_;
}

ScriptedPeer::~ScriptedPeer() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

} // namespace netpeer
