// Runs the C robot program (c_client.c, linked from Kavrel.o) against a simulator, once through
// the robot's TCP port and once through its Unix-domain socket.
#include "sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs the program with the scheduler's port; returns its exit status (-1 when it died of a
// signal) and collects its output.
int run_c_client(int port, std::string *output) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        std::string port_text = std::to_string(port);
        execl(C_CLIENT_BINARY, C_CLIENT_BINARY, "127.0.0.1", port_text.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(out[1]);
    char buf[4096];
    ssize_t n;
    output->clear();
    // The program ends itself (alarm) if a step hangs, which closes the pipe.
    while ((n = read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            output->append(buf, (size_t)n);
    close(out[0]);
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

void expect_session(const std::vector<std::string> &sim_args, const char *endpoint) {
    simtest::SimProcess sim(sim_args);
    ASSERT_TRUE(sim.ok());
    std::string output;
    EXPECT_EQ(run_c_client(sim.port(), &output), 0) << output;
    EXPECT_NE(output.find("c_client: robot 1 at "), std::string::npos) << output;
    EXPECT_NE(output.find("c_client: battery 1300"), std::string::npos) << output;
    EXPECT_NE(output.find("c_client: ok"), std::string::npos) << output;
    EXPECT_NE(sim.log().find(endpoint), std::string::npos) << sim.log();
    EXPECT_EQ(sim.stop(), 0);
}

TEST(CClient, TalksToTheSimulatorOverTcp) {
    expect_session({"--speedup", "10", "--announce-host", "127.0.0.1"}, "(tcp) to robot 1");
}

TEST(CClient, TalksToTheSimulatorOverAUnixSocket) {
    expect_session({"--speedup", "10"}, "(unix) to robot 1");
}

} // namespace
