// Pellam against the real simulator: readings of a known world; a robot server that drops the
// connection or falls silent in the middle of a session; and every way a session can end, each
// of which must remove the lock file.
#include "pellam_run.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The 24 numbers between the frame letters of the group that starts with " <letter>".
std::vector<int> group(const std::string &out, char letter) {
    std::vector<int> v;
    size_t at = out.find(std::string(" ") + letter + " ");
    if (at == std::string::npos)
        return v;
    std::istringstream in(out.substr(at + 3));
    std::string word;
    while (in >> word && word != std::string(1, letter))
        v.push_back(std::stoi(word));
    return v;
}

// A wall 1000 mm in front of the robot's rim (the body's radius is 300 mm) inside a large room.
const char *kWorld = "room 8000 8000\n"
                     "wall 3300 3000 3300 5000\n"
                     "start 2000 4000 0\n";

pellamtest::Env sim_env(const simtest::SimProcess &sim) {
    return {{"PELLAM_SCHEDULER_HOST", "127.0.0.1"},
            {"PELLAM_SCHEDULER_PORT", std::to_string(sim.port())},
            {"PELLAM_LOCK", sim.dir().file("pellam.lock")}};
}

pellamtest::Result run_pellam(const simtest::SimProcess &sim, const std::string &input,
                              pellamtest::Env extra = {}) {
    pellamtest::Env env = sim_env(sim);
    env.insert(env.end(), extra.begin(), extra.end());
    return pellamtest::run(input, env, sim.dir());
}

bool exists(const std::string &p) { return access(p.c_str(), F_OK) == 0; }

std::string slurp(const std::string &path) {
    std::ifstream f(path);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

TEST(PellamSim, ReadingsOfAKnownWorld) {
    netpeer::TempDir dir;
    std::string world = simtest::write_file(dir, "room.world", kWorld);
    simtest::SimProcess sim({"--world", world, "--battery", "1299,1250,1201,1100"});
    ASSERT_TRUE(sim.ok());
    pellamtest::Result r =
        run_pellam(sim, "get=battery get=odometry get=speed get=sonar get=IR goodbye");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Success!\nGoodbye. Connection closed.\n");
    EXPECT_EQ(r.out.substr(0, 17), " B 12 12 12 11 B ");
    EXPECT_NE(r.out.find(" O 0 0 0 0 O "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" V 0 0 0 V "), std::string::npos) << r.out;
    std::vector<int> sonar = group(r.out, 'S');
    ASSERT_EQ(sonar.size(), 24u) << r.out;
    EXPECT_EQ(sonar[0], 10);  // the wall ahead: 1000 mm
    EXPECT_EQ(sonar[6], 37);  // the room's wall to the left: 4000 - 300 mm
    EXPECT_EQ(sonar[12], 17); // behind: 2000 - 300 mm
    EXPECT_EQ(sonar[18], 37);
    EXPECT_EQ(group(r.out, 'I').size(), 24u);
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "Success!\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(PellamSim, RobotServerDropsMidSession) {
    // The description request and two battery requests are answered; the third drops.
    simtest::SimProcess sim({"--drop-after", "3"});
    ASSERT_TRUE(sim.ok());
    pellamtest::Result r = run_pellam(sim, "get=battery get=battery");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Connection lost!\n");
    EXPECT_EQ(r.err, "Success!\nConnection lost!\nGoodbye. Connection closed.\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(PellamSim, SecondCopyIsRefused) {
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    std::ofstream(sim.dir().file("pellam.lock")) << "";
    pellamtest::Result r = run_pellam(sim, "goodbye");
    EXPECT_EQ(r.err, "Lock file found. Program aborted.\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(PellamSim, SilentServerEndsThroughTheTimeOut) {
    // As above, but the third battery request is read and never answered.
    simtest::SimProcess sim({"--silent-after", "3"});
    ASSERT_TRUE(sim.ok());
    pellamtest::Result r =
        run_pellam(sim, "get=battery get=battery", {{"ROVAK_TIMEOUT_MS", "1000"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Connection lost!\n");
    // The client library may add its own diagnostic about the time-out in between.
    const std::string closing = "Connection lost!\nGoodbye. Connection closed.\n";
    EXPECT_EQ(r.err.rfind("Success!\n", 0), 0u) << r.err;
    ASSERT_GE(r.err.size(), closing.size());
    EXPECT_EQ(r.err.substr(r.err.size() - closing.size()), closing);
    EXPECT_FALSE(exists(sim.dir().file("pellam.lock")));
    EXPECT_EQ(sim.stop(), 0);
}

// Several bridges released at the same moment, many times over: exactly one serves each time,
// its id is in the lock file, and the others refuse without touching it.
TEST(PellamSim, BridgesStartedTogetherLetExactlyOneServe) {
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    const std::string lock = sim.dir().file("pellam.lock");
    for (int round = 0; round < 12; round++) {
        pellamtest::Gate gate;
        std::vector<std::unique_ptr<pellamtest::Bridge>> bridges;
        for (int i = 0; i < 3; i++)
            bridges.push_back(std::make_unique<pellamtest::Bridge>(
                sim_env(sim), sim.dir(), "r" + std::to_string(round) + "b" + std::to_string(i),
                pellamtest::Bridge::ToFile, &gate));
        gate.open();
        pellamtest::Bridge *winner = nullptr;
        int refused = 0;
        for (auto &b : bridges) {
            b->wait_err("Success!\n");
            if (b->ended()) {
                EXPECT_EQ(b->wait(), 0);
                EXPECT_EQ(b->err(), "Lock file found. Program aborted.\n");
                refused++;
            } else {
                EXPECT_EQ(b->err(), "Success!\n");
                EXPECT_EQ(winner, nullptr) << "round " << round << ": two bridges serve";
                winner = b.get();
            }
        }
        ASSERT_NE(winner, nullptr) << "round " << round;
        EXPECT_EQ(refused, 2);
        EXPECT_EQ(slurp(lock), std::to_string(winner->pid()) + "\n");
        winner->send("goodbye\n");
        EXPECT_EQ(winner->wait(), 0);
        EXPECT_FALSE(exists(lock));
    }
    EXPECT_EQ(sim.stop(), 0);
}

// A serving bridge is stopped by a signal, or by its parent closing the bridge's standard
// output: it closes as on "goodbye" and removes its lock file.
TEST(PellamSim, EverySessionEndRemovesTheLock) {
    simtest::SimProcess sim({"--battery", "1350"});
    ASSERT_TRUE(sim.ok());
    const std::string lock = sim.dir().file("pellam.lock");
    const struct {
        int sig; // 0: the parent closes its end of the output pipe instead
        const char *closing;
    } ends[] = {{SIGINT, ""}, {SIGTERM, ""}, {SIGHUP, ""}, {0, "Standard output failed!\n"}};
    for (const auto &e : ends) {
        pellamtest::Bridge b(sim_env(sim), sim.dir(), "end" + std::to_string(e.sig),
                             pellamtest::Bridge::ToPipe);
        b.send("get=battery\n");
        ASSERT_TRUE(b.wait_out(" B 13 13 13 13 B ")) << e.sig << ": " << b.err();
        ASSERT_TRUE(exists(lock));
        if (e.sig != 0)
            kill(b.pid(), e.sig);
        else
            b.close_output();
        EXPECT_EQ(b.wait(), 0) << e.sig;
        EXPECT_EQ(b.err(), std::string("Success!\n") + e.closing + "Goodbye. Connection closed.\n");
        if (e.sig != 0) {
            EXPECT_EQ(b.out(), " B 13 13 13 13 B Success!\n");
        }
        EXPECT_FALSE(exists(lock)) << e.sig;
    }
    EXPECT_EQ(sim.stop(), 0);
}

// A parent that stops reading: the bridge blocks writing an answer into the full pipe. A signal
// must still end it, without a closing line that could block again.
TEST(PellamSim, SignalEndsABridgeBlockedOnItsOutput) {
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    pellamtest::Bridge b(sim_env(sim), sim.dir(), "stuck", pellamtest::Bridge::ToPipe);
    ASSERT_EQ(fcntl(b.output_fd(), F_SETPIPE_SZ, 8192), 8192);
    std::string words;
    for (int i = 0; i < 400; i++) // far more answers than the pipe holds
        words += "get=sonar ";
    b.send(words);
    // Blocked: more than half the pipe queued, and nothing more for a while.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int queued = 0, last = -1, still = 0;
    while (still < 20 && std::chrono::steady_clock::now() < until && !b.ended()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ioctl(b.output_fd(), FIONREAD, &queued);
        still = queued >= 4096 && queued == last ? still + 1 : 0;
        last = queued;
    }
    ASSERT_EQ(still, 20) << queued << " " << b.err();
    kill(b.pid(), SIGTERM);
    EXPECT_EQ(b.wait(), 0);
    EXPECT_EQ(b.err(), "Success!\nGoodbye. Connection closed.\n");
    EXPECT_FALSE(exists(sim.dir().file("pellam.lock")));
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
