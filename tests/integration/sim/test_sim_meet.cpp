// Robots meeting robots: two robots facing each other 1 m apart see each other with every range
// sensor and stop on contact when driven together, as with walls; a robot is never placed on
// another one.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>

using simtest::SimProcess;

namespace {

// Centres 1000 mm apart on y = 4000, robot 1 facing +x, robot 2 facing it; the room's walls are
// 1700 mm behind each (rim to wall).
const char *const facing = "room 5000 8000\nstart 2000 4000 0\nstart 3000 4000 180\n";

struct where {
    int set, index;
};
where sector(int k) { // first set of the pair looking in direction k * 15 degrees
    if (k < 2)
        return {4, 6 + k};
    if (k < 10)
        return {0, k - 2};
    if (k < 18)
        return {2, k - 10};
    return {4, k - 18};
}

class SimMeet : public ::testing::Test {
  protected:
    void start(const std::string &world, std::vector<std::string> extra = {}) {
        std::string path = simtest::write_file(dir_, "test.world", world);
        std::vector<std::string> args = {"--world", path, "--robots", "2", "--speedup", "20"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset(new SimProcess(args));
        ASSERT_TRUE(sim_->ok());
        ASSERT_EQ(simtest::connect_client(*sim_, 1), 0);
        ASSERT_EQ(Q_ConnectRobot(2), 0);
    }
    void TearDown() override {
        if (sim_) {
            Q_DisconnectRobot(1);
            Q_DisconnectRobot(2);
            EXPECT_EQ(sim_->stop(), 0);
        }
    }
    static long sonar(int id, int k, int ring) {
        where w = sector(k);
        return Q_GetRobotState(id)->SonarController.SonarSet[w.set + ring].Sonar[w.index].Reading;
    }
    static long infrared(int id, int k) {
        where w = sector(k);
        return Q_GetRobotState(id)->InfraredController.InfraredSet[w.set].Infrared[w.index].Reading;
    }
    static int bumper(int id, int k, int ring) {
        where w = sector(k);
        return Q_GetRobotState(id)
            ->BumperController.BumperSet[w.set + ring]
            .Bumper[w.index]
            .Reading;
    }
    static int drive(int id, int mode, long position, long speed) {
        Q_Axis &a = Q_GetRobotState(id)->AxisSet.Axis[0];
        a.Update = 1, a.Mode = (char)mode, a.DesiredPosition = position;
        a.DesiredSpeed = speed, a.Acceleration = 0;
        return Q_SetAxes(id);
    }
    netpeer::TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
};

TEST_F(SimMeet, FacingRobotsReadTheGapBetweenTheirBodiesWithEverySensor) {
    start(facing);
    for (int id = 1; id <= 2; id++) {
        ASSERT_EQ(Q_GetSonar(id), 0);
        ASSERT_EQ(Q_GetInfrared(id), 0);
        for (int ring = 0; ring < 2; ring++)
            EXPECT_EQ(sonar(id, 0, ring), 400) << "robot " << id << " ring " << ring;
        EXPECT_EQ(infrared(id, 0), 400);
        EXPECT_EQ(sonar(id, 12, 0), 1700); // behind: the room's wall, not the other robot
        EXPECT_EQ(infrared(id, 12), 800);
    }
    // The laser, from the centre: the other body's near point straight ahead, 700 mm away.
    simtest::LineClient robot(sim_->socket_path(1));
    std::vector<std::string> answer = robot.ask("GetLaser 1 0", "GetLaser");
    ASSERT_EQ(answer.size(), 2U);
    std::istringstream in(answer[0]);
    std::string word, p, c;
    int data, stamp, n;
    in >> word >> data >> stamp >> p >> c >> n;
    bool ahead = false;
    for (int k = 0; k < n; k++) {
        long x, y;
        in >> x >> y;
        ahead = ahead || (y == 0 && x == 700);
    }
    EXPECT_TRUE(ahead) << answer[0].substr(0, 200);
}

TEST_F(SimMeet, NoisyReadingsOfEachOtherStayWithinTheNoise) {
    start(facing, {"--sonar-noise", "10", "--ir-noise", "10"});
    bool differed = false;
    for (int round = 0; round < 20; round++)
        for (int id = 1; id <= 2; id++) {
            ASSERT_EQ(Q_GetSonar(id), 0);
            ASSERT_EQ(Q_GetInfrared(id), 0);
            for (int ring = 0; ring < 2; ring++) {
                EXPECT_NEAR(sonar(id, 0, ring), 400, 50); // five standard deviations
                differed = differed || sonar(id, 0, ring) != 400;
            }
            EXPECT_NEAR(infrared(id, 0), 400, 50);
        }
    EXPECT_TRUE(differed); // the noise is there
}

TEST_F(SimMeet, DrivenTogetherTheyStopOnContactWithTheirFrontBumpersPressed) {
    start(facing);
    ASSERT_EQ(drive(1, 1, 0, 300), 0);
    ASSERT_EQ(drive(2, 1, 0, 300), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    ASSERT_TRUE(simtest::wait_until_still(2));
    long x1, y1, th1, x2, y2, th2;
    ASSERT_TRUE(simtest::true_pose(sim_->port(), 1, &x1, &y1, &th1));
    ASSERT_TRUE(simtest::true_pose(sim_->port(), 2, &x2, &y2, &th2));
    EXPECT_GT(x1, 2000); // both moved
    EXPECT_LT(x2, 3000);
    EXPECT_NEAR(x2 - x1, 600, 1); // bodies touching, not overlapping
    EXPECT_EQ(y1, 4000);
    EXPECT_EQ(y2, 4000);
    for (int id = 1; id <= 2; id++) {
        ASSERT_EQ(Q_GetAxes(id), 0);
        EXPECT_EQ(Q_GetRobotState(id)->AxisSet.Status & 2, 2) << "robot " << id;
        ASSERT_EQ(Q_GetBumper(id), 0);
        EXPECT_EQ(bumper(id, 0, 0), 1);
        EXPECT_EQ(bumper(id, 0, 1), 1);
        EXPECT_EQ(bumper(id, 12, 0), 0);
        EXPECT_EQ(bumper(id, 6, 0), 0);
        ASSERT_EQ(Q_GetSonar(id), 0);
        EXPECT_LE(sonar(id, 0, 0), 1);
    }
    // Backing away is allowed and releases the bumpers.
    ASSERT_EQ(drive(1, 2, -300, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    ASSERT_TRUE(simtest::true_pose(sim_->port(), 1, &x1, &y1, &th1));
    EXPECT_NEAR(x2 - x1, 900, 1);
    ASSERT_EQ(Q_GetBumper(1), 0);
    EXPECT_EQ(bumper(1, 0, 0), 0);
    ASSERT_EQ(Q_GetBumper(2), 0);
    EXPECT_EQ(bumper(2, 0, 0), 0);
}

TEST_F(SimMeet, ARobotIsNotPlacedOnAnother) {
    start(facing);
    simtest::LineClient scheduler(sim_->port());
    std::vector<std::string> refused = {"Error SetTruePose -3", "Done SetTruePose"};
    EXPECT_EQ(scheduler.ask("SetTruePose 1 2600 4000 0", "SetTruePose"), refused);
    EXPECT_EQ(scheduler.ask("SetTruePose 1 2400 4000 0", "SetTruePose"), refused); // touching
    EXPECT_EQ(scheduler.ask("SetTruePose 2 2000 4100 0", "SetTruePose"), refused);
    EXPECT_EQ(scheduler.ask("SetTruePose 1 2399 4000 0", "SetTruePose"),
              std::vector<std::string>{"Done SetTruePose"});
    // Robot 1 now stands 601 mm from robot 2: the gap, seen from robot 2's front.
    ASSERT_EQ(Q_GetSonar(2), 0);
    EXPECT_EQ(sonar(2, 0, 0), 1);
    // A robot placed where another stood sees nothing of its old place.
    EXPECT_EQ(scheduler.ask("SetTruePose 2 4000 7000 0", "SetTruePose"),
              std::vector<std::string>{"Done SetTruePose"});
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_EQ(sonar(1, 0, 0), 5000 - 2399 - 300); // the room's wall
}

TEST(SimMeetStart, RobotsThatWouldStartOnEachOtherAreRefused) {
    netpeer::TempDir dir;
    std::string world = simtest::write_file(dir, "close.world",
                                            "room 5000 5000\nstart 1000 1000 0\n"
                                            "start 1500 1000 0\n");
    std::string out;
    EXPECT_EQ(simtest::run_sim({"--world", world, "--robots", "2", "--port",
                                std::to_string(netpeer::free_tcp_port()), "--robot-port", "0",
                                "--socket-dir", dir.path()},
                               &out),
              2);
    EXPECT_NE(out.find("robot 2 would start inside a wall, an obstacle or another robot"),
              std::string::npos)
        << out;
}

TEST(SimMeetStart, TheDefaultRowOfRobotsSeesItsNeighbours) {
    SimProcess sim({"--robots", "2"});
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(simtest::connect_client(sim, 1), 0);
    ASSERT_EQ(Q_ConnectRobot(2), 0);
    // Robot 2 stands 1500 mm to the left of robot 1 (the built-in world's start lines).
    ASSERT_EQ(Q_GetSonar(1), 0);
    ASSERT_EQ(Q_GetSonar(2), 0);
    where left = sector(6), right = sector(18);
    EXPECT_EQ(Q_GetRobotState(1)->SonarController.SonarSet[left.set].Sonar[left.index].Reading,
              900);
    EXPECT_EQ(Q_GetRobotState(2)->SonarController.SonarSet[right.set].Sonar[right.index].Reading,
              900);
    Q_DisconnectRobot(1);
    Q_DisconnectRobot(2);
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
