// Q_GetSonar round trip through the robot client library against a raw blocking write/read
// exchange of the same bytes, over loopback TCP and over a Unix-domain socket, in one run.
// The peer is a child process that plays the scheduler and robot 1's server: it answers
// "GetSonar" with one "SetSonar" line and "Done GetSonar", and ignores acknowledgements.
// Usage: client_roundtrip [rounds] (default 20000).
#include "client.h"
#include "kavrel.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

int listen_tcp(int *port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0), one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd, (sockaddr *)&a, sizeof a);
    getsockname(fd, (sockaddr *)&a, &n);
    *port = ntohs(a.sin_port);
    listen(fd, 8);
    return fd;
}

int listen_unix(const std::string &path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    unlink(path.c_str());
    bind(fd, (sockaddr *)&a, sizeof a);
    listen(fd, 8);
    return fd;
}

std::string answer_to(const std::string &line, int robot_port, const std::string &path) {
    std::string cmd = line.substr(line.find(':') == std::string::npos ? 0 : line.find(':') + 1);
    cmd = cmd.substr(0, cmd.find(' '));
    char host[100];
    gethostname(host, sizeof host); // the client takes the local socket for its own host name
    if (cmd == "GetRegisteredList")
        return "AddRegistered 1 " + std::string(path.empty() ? "127.0.0.1" : host) + " " +
               std::to_string(robot_port) + " " + (path.empty() ? "/none" : path) +
               "\nDone GetRegisteredList\n";
    if (cmd == "GetConstMembers")
        return "SetSonarDescription 1 1 1 1 1 1 1 4000 s0 base 0 1 0 0\nDone GetConstMembers\n";
    if (cmd == "GetSonar")
        return "SetSonar 1 0 0 1000 255\nDone GetSonar\n";
    return ""; // acknowledgements
}

// The peer: listeners for the scheduler, robot TCP and robot Unix, any number of connections.
void run_peer(int sched, int robot, int unix_fd, int robot_port, const std::string &path) {
    std::vector<pollfd> fds = {{sched, POLLIN, 0}, {robot, POLLIN, 0}, {unix_fd, POLLIN, 0}};
    std::vector<std::string> pending(3);
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        for (size_t i = 0; i < fds.size(); i++) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            if (i < 3) {
                int c = accept(fds[i].fd, nullptr, nullptr), one = 1;
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                fds.push_back({c, POLLIN, 0});
                pending.emplace_back();
                continue;
            }
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            pending[i].append(buf, (size_t)n);
            size_t lf;
            std::string out;
            while ((lf = pending[i].find('\n')) != std::string::npos) {
                out += answer_to(pending[i].substr(0, lf), robot_port, path);
                pending[i].erase(0, lf + 1);
            }
            if (!out.empty() && write(fds[i].fd, out.data(), out.size()) < 0)
                fds[i].fd = -1;
        }
    }
}

int connect_raw(int port, const std::string &path) {
    int fd;
    if (path.empty()) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, (sockaddr *)&a, sizeof a);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    } else {
        fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        connect(fd, (sockaddr *)&a, sizeof a);
    }
    return fd;
}

// One raw exchange of the bytes the client library moves for one Q_GetSonar.
void raw_exchange(int fd) {
    static const char req[] = "Done SetSonar\n1:GetSonar 1 0\n";
    if (write(fd, req, sizeof req - 1) < 0)
        return;
    std::string got;
    char buf[256];
    while (got.find("Done GetSonar\n") == std::string::npos) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return;
        got.append(buf, (size_t)n);
    }
}

} // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 20000;
    char dir[] = "/tmp/bench-client-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    std::string path = std::string(dir) + "/robot1.sock";
    int sched_port, robot_port;
    int sched = listen_tcp(&sched_port), robot = listen_tcp(&robot_port);
    int unix_fd = listen_unix(path);

    const char *kinds[] = {"TCP", "Unix"};
    for (int kind = 0; kind < 2; kind++) {
        std::string unix_path = kind ? path : "";
        pid_t pid = fork();
        if (pid == 0) {
            run_peer(sched, robot, unix_fd, robot_port, unix_path);
            _exit(0);
        }
        Q_InitializeClient("127.0.0.1", sched_port);
        if (Q_ConnectRobot(1) != 0) {
            fprintf(stderr, "%s: connect failed\n", kinds[kind]);
            kill(pid, SIGKILL);
            return 1;
        }
        int raw = connect_raw(robot_port, unix_path);
        double client_us = 0, raw_us = 0;
        for (int i = 0; i < rounds; i++) {
            auto t0 = Clock::now();
            Q_GetSonar(1);
            auto t1 = Clock::now();
            raw_exchange(raw);
            auto t2 = Clock::now();
            client_us += std::chrono::duration<double, std::micro>(t1 - t0).count();
            raw_us += std::chrono::duration<double, std::micro>(t2 - t1).count();
        }
        printf("%-4s Q_GetSonar %7.1f us   raw %7.1f us   ratio %.2f   (%d rounds)\n", kinds[kind],
               client_us / rounds, raw_us / rounds, client_us / raw_us, rounds);
        close(raw);
        Q_DisconnectRobot(1);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    unlink(path.c_str());
    rmdir(dir);
    return 0;
}
