// Each fault-injection option of the simulator, seen through the robot client library.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <chrono>
#include <gtest/gtest.h>

using simtest::SimProcess;

namespace {

class SimFaults : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra) {
        std::vector<std::string> args = {"--speedup", "20", "--battery", "1250,1240,1230,1220"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset(new SimProcess(args));
        ASSERT_TRUE(sim_->ok());
        ASSERT_EQ(simtest::connect_client(*sim_), 0);
        rs_ = Q_GetRobotState(1);
    }
    void TearDown() override {
        if (sim_) {
            Q_DisconnectRobot(1);
            EXPECT_EQ(sim_->stop(), 0); // never a crash, whatever was injected
        }
    }
    void expect_batteries() {
        EXPECT_EQ(rs_->BatterySet.Battery[0].Voltage, 1250);
        EXPECT_EQ(rs_->BatterySet.Battery[3].Voltage, 1220);
    }
    std::unique_ptr<SimProcess> sim_;
    Q_RobotState *rs_ = nullptr;
};

TEST_F(SimFaults, DropAfterClosesTheConnectionInsteadOfAnswering) {
    start({"--drop-after", "3"});   // GetConstMembers was the first request
    EXPECT_EQ(Q_GetBattery(1), 0);  // 2
    EXPECT_EQ(Q_GetSonar(1), 0);    // 3
    EXPECT_EQ(Q_GetBattery(1), -6); // 4: dropped
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    EXPECT_NE(sim_->log().find("fault: dropping connection"), std::string::npos);
    // A new connection starts counting afresh.
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    rs_ = Q_GetRobotState(1);
    EXPECT_EQ(Q_GetBattery(1), 0);
    expect_batteries();
}

TEST_F(SimFaults, FailAnswersTheChosenWordsWithTheirCodes) {
    start({"--fail", "GetSonar:-13", "--fail", "SetAxes"});
    EXPECT_EQ(Q_GetSonar(1), -13);
    EXPECT_EQ(Q_SetAxes(1), -1); // no code given: the client's default
    EXPECT_EQ(Q_GetBattery(1), 0);
    expect_batteries();
    EXPECT_EQ(Q_GetSonar(1), -13); // the connection stays usable
}

TEST_F(SimFaults, DelayedAnswersStillArriveInOrder) {
    start({"--delay", "50"});
    rs_->Timer.Timeout = 3;
    Q_SetSynchronous(0);
    EXPECT_EQ(Q_SetTimer(1), 0); // not awaited
    Q_SetSynchronous(1);
    EXPECT_EQ(Q_GetTimer(1), 0); // the first answer ("Done SetTimer") must not end this wait
    EXPECT_EQ(rs_->Timer.Timeout, 3);
    EXPECT_EQ(Q_GetBattery(1), 0);
    expect_batteries();
}

TEST_F(SimFaults, MalformedLinesBeforeEveryAnswerLeaveTheClientWorking) {
    start({"--malformed-every", "1"});
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(Q_GetBattery(1), 0);
        expect_batteries();
        EXPECT_EQ(Q_GetAxes(1), 0);
        EXPECT_EQ(rs_->AxisSet.AxisCount, 3u);
    }
    EXPECT_EQ(Q_GetSonar(1), 0);
}

TEST_F(SimFaults, LongLinesUpToTheClientsLimitAreRead) {
    start({"--long-line", "20000"});
    EXPECT_EQ(Q_GetBattery(1), 0);
    expect_batteries();
    EXPECT_EQ(Q_GetCompass(1), 0);
}

TEST_F(SimFaults, ALineBeyondTheClientsLimitCostsTheConnection) {
    std::vector<std::string> args = {"--long-line", "70000"};
    sim_.reset(new SimProcess(args));
    ASSERT_TRUE(sim_->ok());
    // The descriptions come after the over-long line the client refuses.
    EXPECT_EQ(simtest::connect_client(*sim_), -6);
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
}

TEST_F(SimFaults, UnsolicitedLinesUpdateTheStateWithoutARequest) {
    start({"--unsolicited", "5"});
    rs_->BatterySet.Battery[0].Voltage = 0;
    rs_->Integrator.x = -99;
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((rs_->BatterySet.Battery[0].Voltage == 0 || rs_->Integrator.x == -99) &&
           std::chrono::steady_clock::now() < limit)
        Q_PollClient();
    expect_batteries();
    EXPECT_EQ(rs_->Integrator.x, 0);
    EXPECT_EQ(Q_GetBattery(1), 0); // requests go on working between pushes
}

} // namespace
