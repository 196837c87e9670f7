// rovak-sim child process and raw line client (see sim_process.h).
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <chrono>
#include <thread>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {

static std::vector<char *> argv_of(std::vector<std::string> &args) {
    std::vector<char *> v;
    for (std::string &a : args)
        v.push_back(&a[0]);
    v.push_back(nullptr);
    return v;
}

SimProcess::SimProcess(const std::vector<std::string> &extra) {
    port_ = netpeer::free_tcp_port();
    std::vector<std::string> args = {ROVAK_SIM_BINARY, "--port", std::to_string(port_),
                                     "--robot-port",   "0",      "--socket-dir",
                                     dir_.path(),      "--log",  dir_.file("sim.log")};
    args.insert(args.end(), extra.begin(), extra.end());
    int out[2];
    if (pipe(out) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char *> argv = argv_of(args);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The simulator prints one line once every endpoint listens (or exits on failure).
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    ready_ = line == "rovak-sim: ready";
}

SimProcess::~SimProcess() { stop(); }

int SimProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int st = 0;
        while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        pid_ = -1;
    }
    return status_;
}

std::string SimProcess::log() const {
    std::ifstream f(dir_.file("sim.log"));
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int SimProcess::view_port() const {
    std::string text = log();
    const std::string mark = "view at http://127.0.0.1:";
    size_t at = text.find(mark);
    return at == std::string::npos ? 0 : atoi(text.c_str() + at + mark.size());
}

std::string SimProcess::socket_path(int robot) const {
    return dir_.file("rovak-sim-" + std::to_string(port_) + "-" + std::to_string(robot) + ".sock");
}

int run_sim(const std::vector<std::string> &args_in, std::string *output) {
    std::vector<std::string> args = {ROVAK_SIM_BINARY};
    args.insert(args.end(), args_in.begin(), args_in.end());
    int out[2];
    if (pipe(out) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        std::vector<char *> argv = argv_of(args);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buf[4096];
    ssize_t n;
    output->clear();
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        output->append(buf, (size_t)n);
    close(out[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

static void set_buffers(int fd, int size) {
    if (fd >= 0 && size > 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
}

LineClient::LineClient(int tcp_port, int buffer_size) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    set_buffers(fd_, buffer_size);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)tcp_port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, (sockaddr *)&a, sizeof a) != 0)
        close_now();
}

LineClient::LineClient(const std::string &unix_path, int buffer_size) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    set_buffers(fd_, buffer_size);
    sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    strncpy(a.sun_path, unix_path.c_str(), sizeof a.sun_path - 1);
    if (fd_ >= 0 && connect(fd_, (sockaddr *)&a, sizeof a) != 0)
        close_now();
}

LineClient::~LineClient() { close_now(); }

void LineClient::close_now() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

void LineClient::send(const std::string &bytes) {
    size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += (size_t)n;
    }
}

bool LineClient::read_until(const std::string &last, std::vector<std::string> *lines) {
    for (;;) {
        size_t lf;
        while ((lf = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            lines->push_back(line);
            if (line == last)
                return true;
        }
        char buf[4096];
        ssize_t n = fd_ >= 0 ? recv(fd_, buf, sizeof buf, 0) : 0;
        if (n <= 0)
            return false;
        pending_.append(buf, (size_t)n);
    }
}

std::vector<std::string> LineClient::ask(const std::string &line, const std::string &word) {
    send(line + "\n");
    std::vector<std::string> lines;
    read_until("Done " + word, &lines);
    return lines;
}

int connect_client(const SimProcess &sim, int id) {
    /* A fresh list: an earlier simulator of the same process may still be listed. */
    int rc = Q_InitializeClient("127.0.0.1", sim.port());
    if (rc == 0)
        rc = Q_UpdateRobotList();
    return rc != 0 ? rc : Q_ConnectRobot(id);
}

bool wait_until_still(int id) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit) {
        if (Q_GetAxes(id) != 0)
            return false;
        Q_RobotState *rs = Q_GetRobotState(id);
        bool moving = false;
        for (u32 i = 0; i < rs->AxisSet.AxisCount; i++)
            moving = moving || rs->AxisSet.Axis[i].InProgress;
        if (!moving)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::string write_file(const netpeer::TempDir &dir, const std::string &name,
                       const std::string &text) {
    std::string path = dir.file(name);
    std::ofstream(path) << text;
    return path;
}

bool true_pose(int port, int id, long *x, long *y, long *th) {
    LineClient c(port);
    for (const std::string &l : c.ask("0:GetTruePose " + std::to_string(id), "GetTruePose")) {
        long got;
        if (sscanf(l.c_str(), "TruePose %ld %ld %ld %ld", &got, x, y, th) == 4 && got == id)
            return true;
    }
    return false;
}

} // namespace simtest
