// The robot client library against a simulator that misbehaves the way real servers and networks
// do: acknowledgements written in pieces, a server that goes silent, one that floods and never
// reads, a connection lost under requests sent without waiting. Each case runs over TCP and over
// the Unix-domain socket (the client picks the latter when the announced host is this machine).
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using simtest::SimProcess;

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer keeps freed blocks in a quarantine of its own (256 MB by default), so
// resident memory says nothing about the program's own use there.
#define ROVAK_RSS_MEANINGFUL 0
#else
#define ROVAK_RSS_MEANINGFUL 1
#endif

namespace {

std::vector<std::string> events;
void on_sonar(s32 id, int error) {
    events.push_back("GetSonar " + std::to_string(id) + " " + std::to_string(error));
}
void on_battery(s32 id, int error) {
    events.push_back("GetBattery " + std::to_string(id) + " " + std::to_string(error));
}

long resident_kib() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void poll_for(std::chrono::milliseconds span) {
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end)
        Q_PollClient();
}

class ClientFaults : public ::testing::TestWithParam<bool> {
  protected:
    // Starts the simulator with the fault options; robots are announced as 127.0.0.1 for TCP or
    // under this machine's name for the Unix-domain socket.
    void start(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--speedup", "20"};
        if (!GetParam())
            args.insert(args.end(), {"--announce-host", "127.0.0.1"});
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset(new SimProcess(args));
        ASSERT_TRUE(sim_->ok());
        ASSERT_EQ(Q_InitializeClient("127.0.0.1", sim_->port()), 0); // callbacks need it first
        if (!registered_) {
            Q_RegisterCallback("GetSonar", on_sonar);
            Q_RegisterCallback("GetBattery", on_battery);
            registered_ = true;
        }
        events.clear();
    }
    void TearDown() override {
        Q_UnregisterCallback("GetSonar", on_sonar);
        Q_UnregisterCallback("GetBattery", on_battery);
        Q_SetSynchronous(1);
        Q_SetTimeout(old_timeout_);
        Q_DisconnectRobot(1);
        if (sim_ && sim_->pid() > 0) {
            EXPECT_EQ(sim_->stop(), 0); // never a crash, whatever was injected
        }
    }
    std::unique_ptr<SimProcess> sim_;
    bool registered_ = false;
    long old_timeout_ = Q_GetTimeout();
};

INSTANTIATE_TEST_SUITE_P(Kinds, ClientFaults, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Unix" : "Tcp"; });

// The "Done" that ends a failed request comes in a write of its own, 150 ms after its "Error":
// each request still gets its own result, its own state, and its callbacks once.
TEST_P(ClientFaults, SplitAcknowledgementsKeepEveryRequestToItsOwnAnswer) {
    start({"--fail", "GetSonar:-9", "--split-acks", "150", "--battery", "1250,1240,1230,1220"});
    ASSERT_EQ(simtest::connect_client(*sim_), 0);
    events.clear();
    Q_RobotState *rs = Q_GetRobotState(1);
    for (int round = 0; round < 3; round++) {
        EXPECT_EQ(Q_GetSonar(1), -9);
        rs->BatterySet.Battery[0].Voltage = 0;
        rs->BatterySet.Battery[3].Voltage = 0;
        EXPECT_EQ(Q_GetBattery(1), 0);
        // The answer's data had arrived when the call returned, not a stale "Done GetSonar".
        EXPECT_EQ(rs->BatterySet.Battery[0].Voltage, 1250);
        EXPECT_EQ(rs->BatterySet.Battery[3].Voltage, 1220);
    }
    poll_for(std::chrono::milliseconds(400)); // late lines must not call anything again
    std::vector<std::string> want;
    for (int round = 0; round < 3; round++)
        want.insert(want.end(), {"GetSonar 0 -9", "GetBattery 1 0"});
    EXPECT_EQ(events, want);
}

TEST_P(ClientFaults, ErrorCodesThatAreMissingOrZeroReadAsMinus1) {
    start({"--fail", "GetSonar:0", "--fail", "GetBattery", "--fail", "GetBumper:-1000000"});
    ASSERT_EQ(simtest::connect_client(*sim_), 0);
    EXPECT_EQ(Q_GetSonar(1), -1);
    EXPECT_EQ(Q_GetBattery(1), -1);
    EXPECT_EQ(Q_GetBumper(1), -1000000); // any other code is passed on
    EXPECT_EQ(Q_GetInfrared(1), 0);      // the connection stays usable
}

TEST_P(ClientFaults, SilentServerEndsEveryBlockingCallWithMinus6) {
    Q_SetTimeout(400);
    // Nothing answered at all: the robot list times out.
    start({"--silent-after", "0"});
    EXPECT_EQ(Q_UpdateRobotList(), -6);
    EXPECT_EQ(Q_ConnectRobot(1), -6);
    EXPECT_EQ(sim_->stop(), 0);

    // The list and the descriptions answered, then silence: the request times out, the
    // connection is closed and its state released; callbacks hear of it once.
    start({"--silent-after", "1"});
    ASSERT_EQ(simtest::connect_client(*sim_), 0);
    EXPECT_EQ(Q_GetSonar(1), -6);
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    EXPECT_EQ(Q_GetSonar(1), CONN_ERR_NO_CONNECTION);
    EXPECT_EQ(events, (std::vector<std::string>{"GetSonar 1 -6"}));
    // A new connection is answered again (the simulator counts per connection).
    EXPECT_EQ(Q_ConnectRobot(1), 0);
}

// The server pushes state lines and never reads: the client's acknowledgements can go nowhere.
// The client gives the connection up at its output limit instead of growing.
TEST_P(ClientFaults, FloodingPeerThatNeverReadsIsReportedLostWithBoundedMemory) {
    start({"--flood"});
    ASSERT_EQ(simtest::connect_client(*sim_), 0);
    long before = resident_kib();
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    long peak = before;
    CONN_ConnInfo *ci = nullptr;
    while (CONN_IDtoConnInfo(1, &ci) == 0 && std::chrono::steady_clock::now() < limit) {
        Q_PollClient();
        peak = std::max(peak, resident_kib());
    }
    EXPECT_NE(CONN_IDtoConnInfo(1, &ci), 0); // lost and released
    if (ROVAK_RSS_MEANINGFUL) {
        EXPECT_LT(peak, 64 * 1024) << "resident KiB before " << before;
    }
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
}

TEST_P(ClientFaults, RequestsSentWithoutWaitingGetMinus6OnceWhenTheConnectionIsLost) {
    start({"--delay", "2000"});
    ASSERT_EQ(simtest::connect_client(*sim_), 0);
    Q_SetSynchronous(0);
    events.clear();
    ASSERT_EQ(Q_GetSonar(1), 0);
    ASSERT_EQ(Q_GetBattery(1), 0);
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_EQ(sim_->stop(), 0); // the answers were still held
    CONN_ConnInfo *ci = nullptr;
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (events.size() < 3 && std::chrono::steady_clock::now() < limit)
        Q_PollClient();
    poll_for(std::chrono::milliseconds(100));
    EXPECT_EQ(events,
              (std::vector<std::string>{"GetSonar 1 -6", "GetBattery 1 -6", "GetSonar 1 -6"}));
    EXPECT_EQ(CONN_IDtoConnInfo(1, &ci), CONN_ERR_LOST);
}

} // namespace
