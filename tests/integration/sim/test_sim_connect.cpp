// The simulator's scheduler list, connections over both transports, the descriptions of the
// default robot, and its command line.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <cmath>
#include <gtest/gtest.h>

using simtest::SimProcess;

namespace {

// Sector of element i of a set in the 24-sector ring the bridge builds.
int sector_of(int set, int i) {
    int pair = set / 2;
    if (pair == 0)
        return 2 + i;
    if (pair == 1)
        return 10 + i;
    return i < 6 ? 18 + i : i - 6;
}

TEST(SimScheduler, ListsEveryRobotWithItsEndpoints) {
    SimProcess sim({"--robots", "3"});
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", sim.port()), 0);
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    Q_RobotListEntry *list = Q_GetRobotList();
    ASSERT_NE(list, nullptr);
    // The client keeps the first robot first and the rest in descending order.
    int ids[3];
    for (int k = 0; k < 3; k++) {
        ASSERT_NE(list[k].hostname, nullptr);
        ids[k] = list[k].id;
        EXPECT_NE(list[k].port, 0);
    }
    EXPECT_EQ(list[3].hostname, nullptr);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(ids[2], 2);
    EXPECT_EQ(std::string(HCLNT_FindRobotEntry(2)->unixpath), sim.socket_path(2));
    EXPECT_NE(list[0].port, list[1].port);

    // Each endpoint serves its own robot.
    simtest::LineClient status(sim.port());
    ASSERT_EQ(status.ask("0:SetTruePose 2 2000 3500 1571", "SetTruePose").size(), 1u);
    ASSERT_EQ(Q_ConnectRobot(2), 0);
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    ASSERT_EQ(Q_GetCompass(2), 0);
    ASSERT_EQ(Q_GetCompass(1), 0);
    EXPECT_EQ(Q_GetRobotState(2)->Compass.Reading, 1571);
    EXPECT_EQ(Q_GetRobotState(1)->Compass.Reading, 0);
    EXPECT_EQ(Q_DisconnectRobot(2), 0);
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimConnect, LocalClientTakesTheUnixSocketAndReadsTheDescriptions) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(simtest::connect_client(sim), 0);
    Q_RobotState *rs = Q_GetRobotState(1);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->RobotType, 'H');
    EXPECT_EQ(rs->AxisSet.AxisCount, 3u);
    EXPECT_EQ(rs->LiftController.AxisCount, 1u);
    EXPECT_EQ(rs->SonarController.SonarSetCount, 6u);
    EXPECT_EQ(rs->InfraredController.InfraredSetCount, 6u);
    EXPECT_EQ(rs->BumperController.BumperSetCount, 6u);
    for (int s = 0; s < 6; s++) {
        EXPECT_EQ(rs->SonarController.SonarSet[s].SonarCount, 8u);
        EXPECT_EQ(rs->InfraredController.InfraredSet[s].InfraredCount, 8u);
        EXPECT_EQ(rs->BumperController.BumperSet[s].BumperCount, 8u);
    }
    EXPECT_EQ(rs->LaserSet.LaserCount, 1u);
    EXPECT_EQ(rs->K770Set.K770Count, 0u);
    EXPECT_EQ(rs->BatterySet.BatteryCount, 4u);
    Q_RobotStateExt *ext = Q_GetRobotStateExt(1);
    EXPECT_DOUBLE_EQ(ext->SonarController.SonarSet[0].Range, 5000);
    EXPECT_DOUBLE_EQ(ext->InfraredController.InfraredSet[0].Range, 800);
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_NE(sim.log().find("(unix) to robot 1"), std::string::npos);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimConnect, AnotherHostNameMakesTheClientUseTcp) {
    SimProcess sim({"--announce-host", "127.0.0.1"});
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(simtest::connect_client(sim), 0);
    EXPECT_EQ(Q_GetBattery(1), 0);
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_NE(sim.log().find("(tcp) to robot 1"), std::string::npos);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimConnect, SensorPosesFollowTheSectorLayout) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(simtest::connect_client(sim), 0);
    Q_RobotStateExt *ext = Q_GetRobotStateExt(1);
    ASSERT_NE(ext, nullptr);
    for (int s = 0; s < 6; s++) {
        for (int i = 0; i < 8; i++) {
            const Q_XSensor *views[3] = {&ext->SonarController.SonarSet[s].Sonar[i],
                                         &ext->InfraredController.InfraredSet[s].Infrared[i],
                                         &ext->BumperController.BumperSet[s].Bumper[i]};
            for (const Q_XSensor *x : views) {
                ASSERT_NE(x->Configuration, nullptr);
                const double *m = *x->Configuration;
                // Rotation in thousandths: [cos, -sin, x; sin, cos, y].
                double dir = std::atan2(m[3], m[0]) * 180 / M_PI;
                double want = sector_of(s, i) * 15.0;
                double diff = std::remainder(dir - want, 360.0);
                EXPECT_LT(std::fabs(diff), 0.1) << "set " << s << " sensor " << i;
                EXPECT_NEAR(std::hypot(m[2], m[5]), 300, 1);
                EXPECT_STREQ(x->Reference, "base");
            }
        }
    }
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimCommandLine, HelpAndBadOptionsAndBadWorlds) {
    std::string out;
    EXPECT_EQ(simtest::run_sim({"--help"}, &out), 0);
    EXPECT_NE(out.find("Usage: rovak-sim"), std::string::npos);
    EXPECT_EQ(simtest::run_sim({"--speedup", "fast"}, &out), 2);
    EXPECT_NE(out.find("bad value 'fast' for option '--speedup'"), std::string::npos);
    EXPECT_EQ(simtest::run_sim({"--no-such-option"}, &out), 2);
    EXPECT_EQ(simtest::run_sim({"--robots"}, &out), 2);

    netpeer::TempDir dir;
    std::string bad = simtest::write_file(dir, "bad.world", "room 4000 4000\nwall 1 2 3\n");
    EXPECT_EQ(simtest::run_sim({"--world", bad}, &out), 2);
    EXPECT_NE(out.find("bad.world:2: wrong number of values"), std::string::npos) << out;
    std::string blocked = simtest::write_file(dir, "blocked.world", "circle 1000 1000 500\n");
    EXPECT_EQ(simtest::run_sim({"--world", blocked, "--pose", "1000,1000,0"}, &out), 2);
    EXPECT_NE(out.find("would start inside"), std::string::npos);
    EXPECT_EQ(simtest::run_sim({"--world", dir.file("missing.world")}, &out), 2);
}

} // namespace
