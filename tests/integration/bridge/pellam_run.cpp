// Child-process runner of Pellam for the bridge tests.
#include "pellam_run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

Result run(const std::string &input, const std::vector<std::pair<std::string, std::string>> &env,
           const netpeer::TempDir &dir, int timeout_s) {
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
