// The robot vendor library against the real simulator: connection, odometry, motion, sonar
// directions and bumpers.
#include "sim_run.h"
#include "vx9200.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

// A 4 m x 4 m room with the robot at (1000, 2000) facing +x: walls 2700 mm ahead of the rim,
// 700 mm behind it and 1700 mm to either side.
class VendorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string world = simtest::writeWorld(dir, {"room 4000 4000", "start 1000 2000 0"});
        ASSERT_TRUE(sim.start(20, {"--world", world}));
        ASSERT_EQ(robot.Connect(), 0);
        state = robot.GetRobotState();
        ASSERT_NE(state, nullptr);
        ASSERT_EQ(motion.ZeroRobot(state), 0);
    }
    // The binding keeps its connection for the whole process: drop it with this simulator, so
    // that the next test connects to its own.
    void TearDown() override { robot.Disconnect(); }
    // Polls Moving until the motion ends; false when it never does.
    bool awaitRest() {
        for (int i = 0; i < 200000; i++)
            if (!motion.Moving(state))
                return true;
        return false;
    }

    netpeer::TempDir dir;
    simtest::Sim sim{dir};
    Rovak robot;
    Cinematic motion;
    Q_RobotState *state = nullptr;
    const Coord speed = {300, 300, 300}, accel = {600, 600, 300};
};

TEST(VendorConnect, TwoThreadsConnectOnce) {
    netpeer::TempDir dir;
    simtest::Sim sim(dir);
    ASSERT_TRUE(sim.start(20));
    int results[2] = {-99, -99};
    std::thread a([&] { results[0] = Rovak().Connect(); });
    std::thread b([&] { results[1] = Rovak().Connect(); });
    a.join();
    b.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(Rovak().Connect(), 0); /* already connected counts as connected */
    EXPECT_NE(Rovak().GetRobotState(), nullptr);
    EXPECT_EQ(Rovak().Disconnect(), 0);
}

TEST(VendorConnect, NoSchedulerFails) {
    setenv("ROVAK_SCHEDULER_HOST", "localhost", 1);
    setenv("ROVAK_SCHEDULER_PORT", std::to_string(netpeer::free_tcp_port()).c_str(), 1);
    EXPECT_NE(Rovak().Connect(), 0);
    EXPECT_EQ(Rovak().GetRobotState(), nullptr);
}

TEST_F(VendorTest, OdometryFollowsARelativeMove) {
    Coord start = motion.GetOdometry(state);
    EXPECT_EQ(start.x, 0);
    EXPECT_EQ(start.y, 0);
    ASSERT_EQ(motion.SetPosition(state, Coord{500, 300, 0}, speed, accel, 2), 0);
    EXPECT_TRUE(motion.Moving(state));
    ASSERT_TRUE(awaitRest());
    Coord end = motion.GetOdometry(state);
    EXPECT_NEAR(end.x, 500, 5);
    EXPECT_NEAR(end.y, 300, 5);
    double x, y, h;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_NEAR(x, 1500, 5);
    EXPECT_NEAR(y, 2300, 5);
    EXPECT_EQ(motion.SetPosition(state, Coord{100, 0, 0}, speed, accel, 3), -1); /* mode 2 only */
}

TEST_F(VendorTest, StopEndsAMotionEarly) {
    ASSERT_EQ(motion.SetPosition(state, Coord{1500, 0, 0}, speed, accel, 2), 0);
    while (motion.GetOdometry(state).x < 100)
        ASSERT_TRUE(motion.Moving(state));
    ASSERT_EQ(motion.Stop(state), 0);
    ASSERT_TRUE(awaitRest());
    Coord end = motion.GetOdometry(state);
    EXPECT_GT(end.x, 100);
    EXPECT_LT(end.x, 1000);
}

TEST_F(VendorTest, SonarAndInfraredDirectionsSeeTheKnownWalls) {
    SenSonar sonar;
    SenIr ir;
    const int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int set = 0; set < 6; set++)
        ASSERT_EQ(sonar.Start(state, set, order, 0), 0);
    ASSERT_EQ(ir.Start(state), 0);
    ASSERT_EQ(Q_GetSonar(VX_ROBOT_ID), 0);
    ASSERT_EQ(Q_GetInfrared(VX_ROBOT_ID), 0);
    struct {
        int direction, range;
    } walls[] = {{0, 2700}, {6, 1700}, {12, 700}, {18, 1700}};
    for (const auto &w : walls) {
        EXPECT_NEAR(sonar.Read(state, w.direction), w.range, 15) << "direction " << w.direction;
    }
    EXPECT_NEAR(ir.Read(state, 12), 700, 15);
    EXPECT_EQ(ir.Read(state, 0), VX_NO_ECHO); /* nothing within the infrared range */
    EXPECT_EQ(sonar.Read(state, 24), -1);
    EXPECT_EQ(sonar.Read(nullptr, 0), -1);
    EXPECT_EQ(sonar.StopAll(state), 0);
}

TEST_F(VendorTest, BumperRecordsAContact) {
    SenBumper bumper;
    ASSERT_EQ(Q_GetBumper(VX_ROBOT_ID), 0);
    EXPECT_LT(bumper.Read(state).pressed, 0);
    ASSERT_EQ(motion.SetPosition(state, Coord{0, 0, 0}, speed, accel, 2), 0);
    ASSERT_EQ(motion.SetPosition(state, Coord{3000, 0, 0}, speed, accel, 2), 0);
    ASSERT_TRUE(awaitRest()); /* the wall 2700 mm ahead stops it */
    ASSERT_EQ(Q_GetBumper(VX_ROBOT_ID), 0);
    BumperRecord hit = bumper.Read(state);
    EXPECT_EQ(hit.pressed, 0); /* straight ahead */
    EXPECT_EQ(hit.set, 4);
    EXPECT_EQ(hit.bumper, 6);
    EXPECT_NEAR(motion.GetOdometry(state).x, 2700, 10);
}

TEST_F(VendorTest, BatteryAndSpeech) {
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(robot.GetBattery(state, i), 1300);
    EXPECT_EQ(robot.GetBattery(state, 4), -1);
    EXPECT_EQ(robot.Speak("Conectado!"), 0);
    EXPECT_NE(sim.log().find("says: Conectado!"), std::string::npos);
}

} // namespace
