// Child processes of the navigation integration tests: the simulator and the JVM.
#include "sim_run.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdio.h>
#include <stdlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/sem.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace simtest {

namespace {

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

[[noreturn]] void execArgs(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// Waits for the child's "ready" line on fd; false on end of file or after timeout_ms.
bool awaitReady(int fd, int timeout_ms) {
    std::string seen;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        seen.append(buf, static_cast<size_t>(n));
        if (seen.find("rovak-sim: ready") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

bool Sim::start(double speedup, const std::vector<std::string> &extra, int port) {
    port_ = port != 0 ? port : netpeer::free_tcp_port();
    std::vector<std::string> args = {SIM_BIN,
                                     "--port",
                                     std::to_string(port_),
                                     "--robot-port",
                                     "0",
                                     "--socket-dir",
                                     dir_.path(),
                                     "--speedup",
                                     std::to_string(speedup),
                                     "--log",
                                     dir_.file("sim.log")};
    args.insert(args.end(), extra.begin(), extra.end());
    int out[2];
    if (pipe(out) != 0)
        return false;
    pid_ = fork();
    if (pid_ == 0) {
        /* A test process that dies without its destructors (a signal, an abort) takes the
         * simulator with it instead of leaving it running. */
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execArgs(args);
    }
    close(out[1]);
    bool ready = pid_ > 0 && awaitReady(out[0], 20000);
    close(out[0]); // the simulator prints nothing after its ready line that we need
    if (!ready) {
        stop();
        return false;
    }
    setenv("ROVAK_SCHEDULER_HOST", "localhost", 1);
    setenv("ROVAK_SCHEDULER_PORT", std::to_string(port_).c_str(), 1);
    return true;
}

void Sim::stop() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200; i++) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string Sim::log() const { return slurp(dir_.file("sim.log")); }

Result runJava(const std::string &mainClass, const std::vector<std::string> &args,
               const netpeer::TempDir &dir, int timeout_s) {
    std::vector<std::string> rest = {"-cp", JAVA_CLASSPATH, mainClass};
    rest.insert(rest.end(), args.begin(), args.end());
    return runJvm(rest, dir, timeout_s);
}

Result runJvm(const std::vector<std::string> &args, const netpeer::TempDir &dir, int timeout_s) {
    std::string out = dir.file("java.out"), err = dir.file("java.err");
    std::vector<std::string> argv = {JAVA_BIN, "-Djava.awt.headless=true",
                                     "-Dtrelvo.library=" TRELVO_LIB};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fo, 1), dup2(fe, 2);
        if (chdir(dir.path().c_str()) != 0)
            _exit(126);
        execArgs(argv);
    }
    Result r;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.out = slurp(out), r.err = slurp(err);
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

std::string writeWorld(const netpeer::TempDir &dir, const std::vector<std::string> &lines) {
    std::string path = dir.file("test.world");
    std::ofstream out(path);
    for (const auto &l : lines)
        out << l << "\n";
    return path;
}

namespace {

// Sends one status line to the scheduler on port and returns what came back up to its "Done"
// or "Error" line; empty when the scheduler cannot be reached.
std::string statusQuery(int port, const std::string &request) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0) {
        if (fd >= 0)
            close(fd);
        return "";
    }
    std::string seen;
    bool ok = write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size());
    char buf[512];
    ssize_t n;
    while (ok && seen.find("Done") == std::string::npos &&
           seen.find("Error") == std::string::npos && (n = read(fd, buf, sizeof buf)) > 0)
        seen.append(buf, static_cast<size_t>(n));
    close(fd);
    return seen;
}

} // namespace

bool truePose(int port, int id, double *x, double *y, double *heading) {
    std::string seen = statusQuery(port, "GetTruePose " + std::to_string(id) + "\n");
    size_t at = seen.find("TruePose ");
    int got = 0;
    return at != std::string::npos &&
           sscanf(seen.c_str() + at, "TruePose %d %lf %lf %lf", &got, x, y, heading) == 4 &&
           got == id;
}

bool setTruePose(int port, int id, int x, int y, int heading) {
    std::string seen =
        statusQuery(port, "SetTruePose " + std::to_string(id) + " " + std::to_string(x) + " " +
                              std::to_string(y) + " " + std::to_string(heading) + "\n");
    return seen.find("Done SetTruePose") != std::string::npos;
}

bool semaphoreExists() { return semget(4914, 1, 0) >= 0; }

} // namespace simtest
