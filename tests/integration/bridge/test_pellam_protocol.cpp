// The Pellam program byte for byte: its input words, token groups, messages, lock file and exit
// status, against a scripted scheduler and robot server on loopback.
#include "pellam_run.h"

#include "../../unit/client/client_peers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

using netpeer::Script;
using netpeer::ScriptedPeer;
using pellamtest::Result;

namespace {

bool exists(const std::string &p) { return access(p.c_str(), F_OK) == 0; }

class Pellam : public ::testing::Test {
  protected:
    // The scheduler lists robot 1 at the robot server, which describes itself and then follows
    // the given requests.
    void serve(Script requests, bool listed = true) {
        sched_port = netpeer::free_tcp_port();
        int robot_port = netpeer::free_tcp_port();
        Script s;
        clientpeers::list_answer(
            s, {listed ? "AddRegistered 1 127.0.0.1 " + std::to_string(robot_port) + " /none"
                       : "AddRegistered 2 127.0.0.1 " + std::to_string(robot_port) + " /none"});
        s.drain();
        scheduler.listen_tcp(sched_port, s);
        sched_started = true;
        if (!listed)
            return;
        Script r;
        r.expect("1:GetConstMembers");
        clientpeers::send_acked(r, pellamtest::full_robot());
        for (const auto &step : requests.steps())
            add_step(r, step);
        robot.listen_tcp(robot_port, r);
        robot_started = true;
    }
    static void add_step(Script &s, const netpeer::Step &st) {
        switch (st.kind) {
        case netpeer::Step::Expect:
            s.expect(st.text);
            break;
        case netpeer::Step::ExpectN:
            s.expect_n(st.text, st.count);
            break;
        case netpeer::Step::Send:
            s.send(st.text);
            break;
        case netpeer::Step::Close:
            s.close();
            break;
        case netpeer::Step::Echo:
            s.echo();
            break;
        case netpeer::Step::DrainEof:
            s.drain();
            break;
        case netpeer::Step::Pause:
            s.pause(st.count);
            break;
        case netpeer::Step::Record:
            s.record(st.text);
            break;
        }
    }
    pellamtest::Env env() const {
        return {{"PELLAM_SCHEDULER_HOST", "127.0.0.1"},
                {"PELLAM_SCHEDULER_PORT", std::to_string(sched_port)},
                {"PELLAM_LOCK", lock()}};
    }
    Result run(const std::string &input) { return pellamtest::run(input, env(), dir); }
    std::string lock() const { return dir.file("pellam.lock"); }
    void TearDown() override {
        if (robot_started) {
            EXPECT_EQ(robot.finish(), 0) << "robot server script";
        }
        if (sched_started) {
            EXPECT_EQ(scheduler.finish(), 0) << "scheduler script";
        }
    }

    netpeer::TempDir dir;
    ScriptedPeer scheduler, robot;
    bool robot_started = false, sched_started = false;
    int sched_port = 0;
};

// One request and its answer; the client acknowledges every data line.
Script &ask(Script &s, const std::string &request, const std::string &data, const char *word) {
    s.expect(request);
    if (data.empty())
        return s.send(std::string("Done ") + word + "\n");
    s.send(data + "\nDone " + word + "\n");
    return s.expect("Done " + data.substr(0, data.find(' ')));
}

Script battery(Script &s, const std::string &volts) {
    for (int i = 0; i < 4; i++)
        ask(s, "1:GetBattery", "SetBattery " + volts, "GetBattery");
    return s;
}

std::string axes(int v0, int v1, int v2) {
    std::string line = "SetAxes 0 0";
    for (int v : {v0, v1, v2})
        line += " 1 0 0 0 0 0 0 0 " + std::to_string(v) + " 0";
    return line;
}

TEST_F(Pellam, WordsWithoutCommandsAnswerNothing) {
    Script r;
    r.drain();
    serve(r);
    Result res = run("direction=front, distance=500, nothing important, direction=left, goodbye");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "Success!\n");
    EXPECT_EQ(res.err, "Success!\nGoodbye. Connection closed.\n");
    EXPECT_FALSE(exists(lock()));
}

TEST_F(Pellam, OneWordTwoAnswersAndScaling) {
    Script r;
    battery(r, "1299 -150 99 -99");
    for (int v : {0, 1, 2})
        ask(r, "1:GetAxes 1 0 1 0 1 0", axes(120 + v, -40, 7), "GetAxes");
    ask(r, "1:GetIntegratedConfiguration 0", "SetIntegratedConfiguration 0 1500.7 -20 3 -4",
        "GetIntegratedConfiguration");
    r.drain();
    serve(r);
    Result res = run("get=battery,get=speed get,odometry goodbye");
    EXPECT_EQ(res.out, " B 12 -1 0 0 B  V 120 -40 7 V  O 1500 -20 3 -4 O Success!\n");
}

TEST_F(Pellam, SonarAndInfraredMaps) {
    int sonar[6][8], ir[6][8];
    for (int i = 0; i < 6; i++)
        for (int j = 0; j < 8; j++) {
            sonar[i][j] = 1000 * (i / 2 + 1) + 100 * j + (i % 2 ? -1 : 0); // the odd set is nearer
            ir[i][j] = 10 * j + (i % 2 ? 5 : 0) - 3 * (i == 4);            // the odd set is larger
        }
    sonar[0][3] = 800, sonar[1][3] = 650;
    sonar[4][6] = -250;
    Script r;
    std::string flags = "1:GetSonar 1 0 1 0 1 0 1 0 1 0 1 0";
    for (int i = 0; i < 6; i++)
        ask(r, flags, pellamtest::sonar_line(sonar), "GetSonar");
    for (int i = 0; i < 6; i++)
        ask(r, "1:GetInfrared 1 0 1 0 1 0 1 0 1 0 1 0", pellamtest::infrared_line(ir),
            "GetInfrared");
    r.drain();
    serve(r);
    Result res = run("get=sonar get=IR");
    std::string expected = " S";
    auto sector_sonar = [&](int pair, int s) {
        return std::min(sonar[2 * pair][s], sonar[2 * pair + 1][s]);
    };
    auto sector_ir = [&](int pair, int s) {
        return std::max(ir[2 * pair][s], ir[2 * pair + 1][s]);
    };
    const int layout[24][2] = {{2, 6}, {2, 7}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5},
                               {0, 6}, {0, 7}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5},
                               {1, 6}, {1, 7}, {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}};
    for (const auto &l : layout)
        expected += " " + std::to_string(sector_sonar(l[0], l[1]) / 100);
    expected += " S  I";
    for (const auto &l : layout)
        expected += " " + std::to_string(sector_ir(l[0], l[1]) / 10);
    expected += " I Success!\n";
    EXPECT_EQ(res.out, expected);
    EXPECT_NE(res.out.find(" S -2 "), std::string::npos); // -250 / 100 truncates toward zero
    EXPECT_NE(res.out.find(" 6 "), std::string::npos);    // min(800, 650) / 100
}

TEST_F(Pellam, GoodbyeEndsTheWordAndCommandsAreCaseSensitive) {
    Script r;
    r.drain();
    serve(r);
    Result res = run("get=Sonar get=goodbye get= get get,  goodbye,get=sonar get=battery");
    EXPECT_EQ(res.out, "Success!\n");
    EXPECT_EQ(res.err, "Success!\nGoodbye. Connection closed.\n");
}

TEST_F(Pellam, EndOfInputClosesAsGoodbye) {
    Script r;
    battery(r, "1000 1000 1000 1000");
    r.drain();
    serve(r);
    Result res = run("get=battery");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, " B 10 10 10 10 B Success!\n");
    EXPECT_EQ(res.err, "Success!\nGoodbye. Connection closed.\n");
    EXPECT_FALSE(exists(lock()));
}

TEST_F(Pellam, OverlongWordsAndParametersAreCutSafely) {
    Script r;
    battery(r, "100 200 300 400");
    r.drain();
    serve(r);
    std::string longword(100, 'x');
    // A 100-character word, a word whose command lies beyond character 73, a parameter longer
    // than 9 characters, then a plain request.
    Result res =
        run(longword + " " + std::string(80, 'y') + "get=battery get=" + std::string(300, 'b') +
            " get=batteryzzzz get=battery goodbye");
    EXPECT_EQ(res.out, " B 1 2 3 4 B Success!\n");
}

TEST_F(Pellam, RobotServerDropsMidSession) {
    Script r;
    battery(r, "100 100 100 100");
    r.expect("1:GetBattery").close();
    serve(r);
    Result res = run("get=battery get=battery get=battery");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, " B 1 1 1 1 B Connection lost!\n"); // the disconnect's true outcome
    EXPECT_EQ(res.err, "Success!\nConnection lost!\nGoodbye. Connection closed.\n");
    EXPECT_FALSE(exists(lock()));
}

TEST_F(Pellam, RobotNotListed) {
    serve(Script(), false);
    Result res = run("get=battery goodbye");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "");
    EXPECT_EQ(res.err, "Robot not found!\n");
    EXPECT_FALSE(exists(lock()));
}

TEST_F(Pellam, NoScheduler) {
    sched_port = netpeer::free_tcp_port();
    Result res = run("goodbye");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.err, "Connection failed!\n");
    EXPECT_FALSE(exists(lock()));
}

TEST_F(Pellam, SecondCopyIsRefusedWhileTheLockExists) {
    sched_port = netpeer::free_tcp_port();
    { std::ofstream(lock()) << ""; }
    Result res = run("goodbye");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out, "");
    EXPECT_EQ(res.err, "Lock file found. Program aborted.\n");
    EXPECT_TRUE(exists(lock())); // the other copy's lock stays
}

TEST_F(Pellam, LockThatCannotBeCreated) {
    sched_port = netpeer::free_tcp_port();
    Result res =
        pellamtest::run("goodbye", {{"PELLAM_LOCK", dir.file("missing/dir/pellam.lock")}}, dir);
    EXPECT_EQ(res.status, 0);
    EXPECT_NE(res.err.find("Cannot create the lock file"), std::string::npos) << res.err;
    EXPECT_NE(res.err.find("Program aborted."), std::string::npos);
}

TEST_F(Pellam, FailedOutputEndsTheSessionLikeGoodbye) {
    // /dev/full refuses every write: the first answer fails and the session ends there. A
    // bridge that went on would wait for answers the robot never sends and report a loss.
    Script r;
    battery(r, "100 100 100 100");
    r.drain();
    serve(r);
    pellamtest::Bridge bridge(env(), dir, "full", pellamtest::Bridge::ToDevFull);
    bridge.send("get=battery get=battery get=battery");
    EXPECT_EQ(bridge.wait(), 0);
    EXPECT_EQ(bridge.err(), "Success!\nStandard output failed!\nGoodbye. Connection closed.\n");
    EXPECT_FALSE(exists(lock()));
}

// Lock file contents that must stop a second copy, each left exactly as it was.
TEST_F(Pellam, ExistingLockFilesAreRefused) {
    sched_port = netpeer::free_tcp_port();
    const std::string refused[] = {
        "",       "\n",   "pellam\n", std::to_string(getpid()) + "\n", std::to_string(getpid()),
        "12ab\n", "-5\n", "0\n",      "99999999999999999999\n",        " 1\n"};
    for (const std::string &content : refused) {
        { std::ofstream(lock()) << content; }
        Result res = run("goodbye");
        EXPECT_EQ(res.status, 0);
        EXPECT_EQ(res.err, "Lock file found. Program aborted.\n") << '"' << content << '"';
        std::ifstream f(lock());
        std::string kept((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(kept, content);
    }
}

TEST_F(Pellam, LockOfADeadProcessIsTakenOver) {
    pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    { std::ofstream(lock()) << dead << "\n"; }
    Script r;
    r.drain();
    serve(r);
    Result res = run("goodbye");
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.err, "Lock file of process " + std::to_string(dead) +
                           ", which no longer runs, taken over.\nSuccess!\n"
                           "Goodbye. Connection closed.\n");
    EXPECT_EQ(res.out, "Success!\n");
    EXPECT_FALSE(exists(lock()));
}

// Refused settings: one line naming the variable, status 0, nothing started and no lock file.
TEST_F(Pellam, BadEnvironmentValuesAreRefused) {
    const struct {
        const char *name;
        std::string value;
    } cases[] = {
        {"PELLAM_SCHEDULER_PORT", "91536"},
        {"PELLAM_SCHEDULER_PORT", "abc"},
        {"PELLAM_SCHEDULER_PORT", "0"},
        {"PELLAM_SCHEDULER_PORT", "65536"},
        {"PELLAM_SCHEDULER_PORT", "-1"},
        {"PELLAM_SCHEDULER_PORT", "+7073"},
        {"PELLAM_SCHEDULER_PORT", " 7073"},
        {"PELLAM_SCHEDULER_PORT", "7073x"},
        {"PELLAM_SCHEDULER_PORT", "4294974369"}, // 2^32 + 7073
        {"PELLAM_SCHEDULER_HOST", "local host"},
        {"PELLAM_SCHEDULER_HOST", std::string(256, 'h')},
        {"PELLAM_LOCK", "/tmp/" + std::string(4000, 'l')},
    };
    for (const auto &c : cases) {
        pellamtest::Env e = {{"PELLAM_SCHEDULER_HOST", "127.0.0.1"},
                             {"PELLAM_SCHEDULER_PORT", "7073"},
                             {"PELLAM_LOCK", lock()}};
        for (auto &kv : e)
            if (kv.first == c.name)
                kv.second = c.value;
        Result res = pellamtest::run("goodbye", e, dir);
        EXPECT_EQ(res.status, 0) << c.name << "=" << c.value;
        EXPECT_EQ(res.out, "");
        EXPECT_EQ(res.err.rfind(std::string(c.name) + " must be ", 0), 0u) << res.err;
        EXPECT_EQ(std::count(res.err.begin(), res.err.end(), '\n'), 1) << res.err;
        EXPECT_FALSE(exists(lock()));
    }
}

} // namespace
