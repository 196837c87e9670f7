// Range sensors, bumpers, compass, laser and the combined state request of the simulator,
// checked against the geometry of a known world.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <gtest/gtest.h>

using simtest::SimProcess;

namespace {

// Robot at (2000, 0) facing +x; walls 1000 mm ahead of the front sensors, 1200 mm behind the
// rear ones and 500 mm to the left; nothing within range on the right.
const char *const corridor = "wall 3300 -3000 3300 3000\n"
                             "wall 500 -3000 500 3000\n"
                             "wall -1000 800 6000 800\n";

struct where {
    int set, index;
};
// (first set of the pair, index) of a sector of the 24-sector ring.
where sector(int k) {
    if (k < 2)
        return {4, 6 + k};
    if (k < 10)
        return {0, k - 2};
    if (k < 18)
        return {2, k - 10};
    return {4, k - 18};
}

long sonar(Q_RobotState *rs, int k, int ring = 0) {
    where w = sector(k);
    return rs->SonarController.SonarSet[w.set + ring].Sonar[w.index].Reading;
}

long infrared(Q_RobotState *rs, int k) {
    where w = sector(k);
    return rs->InfraredController.InfraredSet[w.set].Infrared[w.index].Reading;
}

class SimSensors : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra = {}) {
        std::string world = simtest::write_file(dir_, "corridor.world", corridor);
        std::vector<std::string> args = {"--world", world, "--pose", "2000,0,0", "--speedup", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset(new SimProcess(args));
        ASSERT_TRUE(sim_->ok());
        ASSERT_EQ(simtest::connect_client(*sim_), 0);
        rs_ = Q_GetRobotState(1);
    }
    void TearDown() override {
        if (sim_) {
            Q_DisconnectRobot(1);
            EXPECT_EQ(sim_->stop(), 0);
        }
    }
    netpeer::TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    Q_RobotState *rs_ = nullptr;
};

TEST_F(SimSensors, SonarAndInfraredRangesMatchTheWalls) {
    start();
    ASSERT_EQ(Q_GetSonar(1), 0);
    for (int ring = 0; ring < 2; ring++) {
        EXPECT_NEAR(sonar(rs_, 0, ring), 1000, 2);  // ahead
        EXPECT_NEAR(sonar(rs_, 12, ring), 1200, 2); // behind
        EXPECT_NEAR(sonar(rs_, 6, ring), 500, 2);   // left
        EXPECT_EQ(sonar(rs_, 18, ring), 5000);      // right: nothing within range
    }
    // The cone sees the near wall before its axis does: 30 degrees off the wall normal.
    EXPECT_LT(sonar(rs_, 2), 1000 / 0.866);
    ASSERT_EQ(Q_GetInfrared(1), 0);
    EXPECT_NEAR(infrared(rs_, 6), 500, 2);
    EXPECT_EQ(infrared(rs_, 0), 800); // beyond the infrared range
    ASSERT_EQ(Q_GetBumper(1), 0);
    for (int s = 0; s < 6; s++)
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(rs_->BumperController.BumperSet[s].Bumper[i].Reading, 0);
}

TEST_F(SimSensors, SeededNoiseRepeatsAndStaysNearTheTruth) {
    std::vector<long> first;
    for (int run = 0; run < 2; run++) {
        start({"--sonar-noise", "20", "--seed", "5"});
        std::vector<long> got;
        for (int i = 0; i < 5; i++) {
            ASSERT_EQ(Q_GetSonar(1), 0);
            got.push_back(sonar(rs_, 0));
            EXPECT_NEAR(got.back(), 1000, 150);
        }
        if (run == 0)
            first = got;
        else
            EXPECT_EQ(got, first);
        Q_DisconnectRobot(1);
        EXPECT_EQ(sim_->stop(), 0);
        sim_.reset();
    }
    EXPECT_NE(first, std::vector<long>(5, 1000));
}

TEST_F(SimSensors, FiringOrderAndPauseDecideWhichSonarsUpdate) {
    start();
    ASSERT_EQ(Q_GetSonarConfiguration(1), 0);
    Q_SonarSet &set4 = rs_->SonarController.SonarSet[4];
    EXPECT_EQ(set4.FiringDelay, 40);
    EXPECT_EQ(set4.FiringOrder[0], 0u);
    EXPECT_EQ(set4.FiringOrder[8], 255u);
    set4.FiringOrder[0] = 6;
    set4.FiringOrder[1] = 255;
    ASSERT_EQ(Q_SetSonarConfiguration(1), 0);
    ASSERT_EQ(Q_GetSonarConfiguration(1), 0);
    EXPECT_EQ(set4.FiringOrder[0], 6u);
    EXPECT_EQ(set4.FiringOrder[1], 255u);

    set4.Sonar[0].Reading = -7; // sonar 0 no longer fires: it keeps what the client holds
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_EQ(set4.Sonar[0].Reading, -7);
    EXPECT_NEAR(set4.Sonar[6].Reading, 1000, 2);

    // Paused sonars repeat their last readings wherever the robot goes.
    rs_->SonarController.SonarPaused = 1;
    ASSERT_EQ(Q_SetSonarConfiguration(1), 0);
    simtest::LineClient status(sim_->port());
    ASSERT_EQ(status.ask("0:SetTruePose 1 2500 0 0", "SetTruePose").size(), 1u);
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_NEAR(set4.Sonar[6].Reading, 1000, 2);
    rs_->SonarController.SonarPaused = 0;
    ASSERT_EQ(Q_SetSonarConfiguration(1), 0);
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_NEAR(set4.Sonar[6].Reading, 500, 2);
}

TEST_F(SimSensors, CompassLaserTimerAndCombinedState) {
    start({"--pose", "2000,0,90", "--battery", "1250,1240,1230,1220"});
    rs_->Compass.TimeStampActive = 1;
    ASSERT_EQ(Q_GetCompass(1), 0);
    EXPECT_EQ(rs_->Compass.Reading, 1571);

    ASSERT_EQ(Q_GetLaserConfiguration(1), 0);
    EXPECT_EQ(rs_->LaserSet.Laser[0].SamplingCount, 181);
    ASSERT_EQ(Q_GetLaser(1), 0);
    // Facing the left wall (500 mm beyond the body): the middle beam sees it 800 mm ahead.
    const double *d = rs_->LaserSet.Laser[0].Data;
    bool found = false;
    for (int k = 0; k < 181 && !found; k++)
        found = std::abs(d[2 * k + 1]) < 1 && std::abs(d[2 * k] - 800) < 2;
    EXPECT_TRUE(found);

    rs_->Timer.Timeout = 5;
    ASSERT_EQ(Q_SetTimer(1), 0);
    ASSERT_EQ(Q_GetTimer(1), 0);
    EXPECT_EQ(rs_->Timer.Timeout, 5);

    rs_->SonarController.SonarSet[0].Sonar[4].Reading = 0;
    ASSERT_EQ(Q_GetState(1), 0);
    EXPECT_EQ(rs_->BatterySet.Battery[0].Voltage, 1250);
    EXPECT_EQ(rs_->BatterySet.Battery[3].Voltage, 1220);
    // Turned to the left: the wall 1000 mm along +x is now on the right, the far one on the left.
    EXPECT_NEAR(sonar(rs_, 18), 1000, 2);
    EXPECT_NEAR(sonar(rs_, 6), 1200, 2);
    EXPECT_EQ(rs_->Integrator.x, 0);
}

} // namespace
