// Motion of the simulated base and lift: position and velocity modes, odometry against the
// true pose, collisions with bumper contact, joystick, watchdog timer and lift.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

using simtest::SimProcess;

namespace {

class SimMotion : public ::testing::Test {
  protected:
    void start(const std::string &world, std::vector<std::string> extra = {}) {
        std::string path = simtest::write_file(dir_, "test.world", world);
        std::vector<std::string> args = {"--world", path, "--speedup", "20"};
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
    // Commands one axis and sends the line.
    int command(int axis, int mode, long position, long speed, long accel) {
        Q_Axis &a = rs_->AxisSet.Axis[axis];
        a.Update = 1;
        a.Mode = (char)mode;
        a.DesiredPosition = position;
        a.DesiredSpeed = speed;
        a.Acceleration = accel;
        return Q_SetAxes(1);
    }
    void expect_pose(long x, long y, long th) {
        long px, py, pth;
        ASSERT_TRUE(simtest::true_pose(sim_->port(), 1, &px, &py, &pth));
        EXPECT_NEAR(px, x, 1);
        EXPECT_NEAR(py, y, 1);
        EXPECT_NEAR(pth, th, 1);
    }
    void expect_odometry(long x, long y, long rotation) {
        ASSERT_EQ(Q_GetIntegratedConfiguration(1), 0);
        EXPECT_NEAR(rs_->Integrator.x, x, 1);
        EXPECT_NEAR(rs_->Integrator.y, y, 1);
        EXPECT_NEAR(rs_->Integrator.Rotation, rotation, 1);
    }
    // Bumper reading of a sector of the 24-sector ring (the first set of its pair).
    int bumper(int k) {
        int set = k < 2 ? 4 : k < 10 ? 0 : k < 18 ? 2 : 4;
        int i = k < 2 ? 6 + k : k < 10 ? k - 2 : k < 18 ? k - 10 : k - 18;
        return rs_->BumperController.BumperSet[set].Bumper[i].Reading;
    }
    netpeer::TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    Q_RobotState *rs_ = nullptr;
};

const char *const room = "room 10000 8000\nstart 2000 4000 0\n";

TEST_F(SimMotion, PositionModesMoveByAndToAndOdometryFollows) {
    start(room);
    ASSERT_EQ(command(0, 2, 1000, 400, 800), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Axis[0].ActualPosition, 1000);
    EXPECT_EQ(rs_->AxisSet.Axis[0].DesiredPosition, 1000);
    EXPECT_EQ(rs_->AxisSet.Axis[0].ActualVelocity, 0);
    expect_odometry(1000, 0, 0);
    expect_pose(3000, 4000, 0);

    ASSERT_EQ(command(2, 2, 1571, 0, 0), 0); // a quarter turn left at the default speed
    ASSERT_TRUE(simtest::wait_until_still(1));
    expect_odometry(1000, 0, 1571);
    ASSERT_EQ(command(0, 2, 500, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    expect_odometry(1000, 500, 1571);
    expect_pose(3000, 4500, 1571);

    // Absolute: back to axis position 0, that is 1500 mm backwards along the new heading.
    ASSERT_EQ(command(0, 3, 0, 600, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Axis[0].ActualPosition, 0);
    expect_pose(3000, 3000, 1571);
}

// Sideways after a quarter turn to the left: the robot's left is then the room's smaller x, for
// the true pose and for the odometry alike.
TEST_F(SimMotion, SidewaysMoveAfterATurnFollowsTheHeading) {
    start(room);
    ASSERT_EQ(command(2, 2, 1571, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    ASSERT_EQ(command(1, 2, 400, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    expect_odometry(-400, 0, 1571);
    expect_pose(1600, 4000, 1571);
}

TEST_F(SimMotion, VelocityModeRunsUntilStopped) {
    start(room);
    ASSERT_EQ(command(1, 1, 0, 250, 500), 0); // sideways, to the left
    long y = 0;
    for (int i = 0; i < 100000 && y < 500; i++) {
        ASSERT_EQ(Q_GetIntegratedConfiguration(1), 0);
        y = rs_->Integrator.y;
    }
    ASSERT_EQ(Q_GetAxes(1), 0);
    EXPECT_EQ(rs_->AxisSet.Axis[1].ActualVelocity, 250);
    EXPECT_EQ(rs_->AxisSet.Axis[1].InProgress, 1);
    EXPECT_EQ(rs_->AxisSet.Status & 1, 1);
    ASSERT_EQ(command(1, 0, 0, 0, 500), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Axis[1].ActualVelocity, 0);
    ASSERT_EQ(Q_GetIntegratedConfiguration(1), 0);
    long ox = rs_->Integrator.x, oy = rs_->Integrator.y;
    EXPECT_GT(oy, 500);
    long px, py, pth;
    ASSERT_TRUE(simtest::true_pose(sim_->port(), 1, &px, &py, &pth));
    EXPECT_NEAR(px - 2000, ox, 1);
    EXPECT_NEAR(py - 4000, oy, 1);
}

TEST_F(SimMotion, SettingTheOdometryMovesItsFrame) {
    start(room);
    Q_Integrator &in = rs_->Integrator;
    in.x = 100, in.y = -200, in.Steering = 0, in.Rotation = 3000;
    ASSERT_EQ(Q_SetIntegratedConfiguration(1), 0);
    expect_odometry(100, -200, 3000);
    ASSERT_EQ(command(0, 2, 1000, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    expect_odometry(100 + std::lround(1000 * std::cos(3.0)),
                    -200 + std::lround(1000 * std::sin(3.0)), 3000);
    EXPECT_EQ(in.Steering, 0);
    expect_pose(3000, 4000, 0); // the world does not care
}

TEST_F(SimMotion, SeededOdometryDriftDepartsFromTheTruth) {
    start(room, {"--odometry-drift", "0.2", "--seed", "3"});
    ASSERT_EQ(command(0, 2, 1000, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    ASSERT_EQ(Q_GetIntegratedConfiguration(1), 0);
    EXPECT_NE(rs_->Integrator.x, 1000);
    EXPECT_NEAR(rs_->Integrator.x, 1000, 100);
    expect_pose(3000, 4000, 0);
}

TEST_F(SimMotion, DrivingIntoAWallStopsTheBaseAndPressesTheFrontBumpers) {
    start("room 10000 8000\nwall 2800 0 2800 8000\nstart 2000 4000 0\n");
    ASSERT_EQ(command(0, 1, 0, 300, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Status & 2, 2);
    long px, py, pth;
    ASSERT_TRUE(simtest::true_pose(sim_->port(), 1, &px, &py, &pth));
    EXPECT_NEAR(px, 2500, 1);
    ASSERT_EQ(Q_GetBumper(1), 0);
    EXPECT_EQ(bumper(0), 1);
    EXPECT_EQ(rs_->BumperController.BumperSet[5].Bumper[6].Reading, 1); // lower ring too
    EXPECT_EQ(bumper(12), 0);
    EXPECT_EQ(bumper(6), 0);
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_LE(rs_->SonarController.SonarSet[4].Sonar[6].Reading, 1);

    // Backing away is allowed and releases the bumpers.
    ASSERT_EQ(command(0, 2, -200, 0, 0), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Status & 2, 0);
    ASSERT_EQ(Q_GetBumper(1), 0);
    EXPECT_EQ(bumper(0), 0);
}

TEST_F(SimMotion, JoystickDrivesAndTheWatchdogStops) {
    start(room);
    rs_->Joystick.X = 0.2;
    ASSERT_EQ(Q_SetJoystick(1), 0);
    ASSERT_EQ(Q_GetAxes(1), 0);
    EXPECT_EQ(rs_->AxisSet.Axis[0].DesiredSpeed, 300);
    rs_->Joystick.X = 0;
    ASSERT_EQ(Q_SetJoystick(1), 0);
    ASSERT_TRUE(simtest::wait_until_still(1));

    rs_->Timer.Timeout = 1;
    ASSERT_EQ(Q_SetTimer(1), 0);
    ASSERT_EQ(command(2, 1, 0, 500, 0), 0);
    // No request for well over a simulated second: the watchdog brakes every axis.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(simtest::wait_until_still(1));
    EXPECT_EQ(rs_->AxisSet.Axis[2].ActualVelocity, 0);
}

TEST_F(SimMotion, LiftDeploysMovesAndRetracts) {
    start(room);
    ASSERT_EQ(Q_DeployLift(1), 0);
    Q_LiftAxis &a = rs_->LiftController.Axis[0];
    a.Update = 1, a.Mode = 3, a.DesiredPosition = 200, a.DesiredVelocity = 100;
    a.Acceleration = 0, a.MaxMotor = 7;
    ASSERT_EQ(Q_SetLift(1), 0);
    bool moving = true;
    for (int i = 0; i < 100000 && moving; i++) {
        ASSERT_EQ(Q_GetLift(1), 0);
        moving = rs_->LiftController.InProgress;
    }
    EXPECT_EQ(rs_->LiftController.Deployed, 1);
    EXPECT_EQ(a.Position, 200);
    EXPECT_EQ(a.MaxMotor, 7);
    EXPECT_EQ(a.Mode, 3);
    ASSERT_EQ(Q_ZeroLift(1, 0), 0);
    ASSERT_EQ(Q_GetLift(1), 0);
    EXPECT_EQ(a.Position, 0);
    ASSERT_EQ(Q_RetractLift(1), 0);
    ASSERT_EQ(Q_GetLift(1), 0);
    EXPECT_EQ(rs_->LiftController.Deployed, 0);
}

} // namespace
