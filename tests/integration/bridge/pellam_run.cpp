// Child-process runner of Pellam for the bridge tests.
#include "pellam_run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pellamtest {

static std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

Result run(const std::string &input, const Env &env, const netpeer::TempDir &dir, int timeout_s) {
    std::string in = dir.file("stdin"), out = dir.file("stdout"), err = dir.file("stderr");
    std::ofstream(in, std::ios::binary) << input;
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto &kv : env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        unsetenv("TERM"); // no curses screen in tests
        int fi = open(in.c_str(), O_RDONLY);
        int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fi, 0), dup2(fo, 1), dup2(fe, 2);
        execl(PELLAM_BIN, "Pellam", (char *)nullptr);
        _exit(127);
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
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

Gate::Gate() {
    if (pipe2(fds_, O_CLOEXEC) != 0)
        fds_[0] = fds_[1] = -1;
}

Gate::~Gate() {
    for (int fd : fds_)
        if (fd >= 0)
            close(fd);
}

void Gate::open() {
    close(fds_[1]);
    fds_[1] = -1;
}

void Gate::pass_in_child() const {
    close(fds_[1]); // the child's copy would keep the gate shut
    char c;
    while (read(fds_[0], &c, 1) < 0 && errno == EINTR) {
    }
}

Bridge::Bridge(const Env &env, const netpeer::TempDir &dir, const std::string &name, Output output,
               const Gate *gate)
    : piped_output_(output == ToPipe), out_file_(dir.file(name + ".out")),
      err_file_(dir.file(name + ".err")) {
    int in[2], out[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || (output == ToPipe && pipe2(out, O_CLOEXEC) != 0))
        return;
    pid_ = fork();
    if (pid_ == 0) {
        if (gate != nullptr)
            gate->pass_in_child();
        for (const auto &kv : env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        unsetenv("TERM"); // no curses screen in tests
        int fo = output == ToPipe ? out[1]
                                  : open(output == ToDevFull ? "/dev/full" : out_file_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int fe = open(err_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in[0], 0), dup2(fo, 1), dup2(fe, 2);
        execl(PELLAM_BIN, "Pellam", (char *)nullptr);
        _exit(127);
    }
    close(in[0]);
    in_ = in[1];
    if (output == ToPipe) {
        close(out[1]);
        out_pipe_ = out[0];
    }
}

Bridge::~Bridge() {
    if (pid_ > 0 && !ended()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_input();
    close_output();
}

void Bridge::send(const std::string &text) {
    if (in_ >= 0 && write(in_, text.data(), text.size()) != (ssize_t)text.size())
        ADD_FAILURE() << "could not write to the bridge's input";
}

void Bridge::close_input() {
    if (in_ >= 0)
        close(in_);
    in_ = -1;
}

void Bridge::close_output() {
    if (out_pipe_ >= 0)
        close(out_pipe_);
    out_pipe_ = -1;
}

std::string Bridge::out() {
    if (!piped_output_)
        return slurp(out_file_);
    if (out_pipe_ < 0)
        return piped_;
    pollfd p{out_pipe_, POLLIN, 0};
    char buf[4096];
    while (poll(&p, 1, 0) > 0) {
        ssize_t n = read(out_pipe_, buf, sizeof buf);
        if (n <= 0)
            break;
        piped_.append(buf, (size_t)n);
    }
    return piped_;
}

std::string Bridge::err() const { return slurp(err_file_); }

bool Bridge::ended() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -pid_; // remembered for messages, never waited for again
    }
    return pid_ <= 0;
}

bool Bridge::wait_for(bool (Bridge::*ready)(const std::string &), const std::string &text,
                      int timeout_s) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    for (;;) {
        bool over = ended(); // checked before the text, so nothing written at the end is missed
        if ((this->*ready)(text))
            return true;
        if (over || std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool Bridge::wait_out(const std::string &text, int timeout_s) {
    return wait_for(&Bridge::out_has, text, timeout_s);
}

bool Bridge::wait_err(const std::string &text, int timeout_s) {
    return wait_for(&Bridge::err_has, text, timeout_s);
}

int Bridge::wait(int timeout_s) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
    while (!ended()) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -pid_;
            return status_ = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

static std::string pose(const std::string &id) { return " " + id + " base 0 1 0 0"; }

std::vector<std::string> full_robot() {
    std::string sonar = "SetSonarDescription 6", ir = "SetInfraredDescription 6",
                bumper = "SetBumperDescription 6";
    for (int i = 0; i < 6; i++) {
        sonar += " 8 0.5 0 0 0 0 4000";
        ir += " 8 0.3 800";
        bumper += " 2" + pose("b") + pose("b");
        for (int j = 0; j < 8; j++) {
            sonar += pose("s" + std::to_string(i) + std::to_string(j));
            ir += pose("i" + std::to_string(i) + std::to_string(j));
        }
    }
    return {"SetRobotType H",          "SetAxesDescription 3", sonar, ir, bumper,
            "SetBatteryDescription 4", "Done GetConstMembers"};
}

static std::string set_line(const char *word, const int r[6][8], bool indexed) {
    std::string s = word;
    for (int i = 0; i < 6; i++) {
        s += " 1 0";
        for (int j = 0; j < 8; j++)
            s += (indexed ? " " + std::to_string(j) : "") + " " + std::to_string(r[i][j]);
    }
    return s;
}

std::string sonar_line(const int r[6][8]) { return set_line("SetSonar", r, true); }
std::string infrared_line(const int r[6][8]) { return set_line("SetInfrared", r, false); }

} // namespace pellamtest
