// The exact bytes of every request line, as the robot server receives them (the connection's
// "1:" prefix included), checked by a scripted robot server.
#include "client.h"
#include "client_peers.h"
#include "conn_errors.h"
#include "kavrel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using netpeer::Script;
using netpeer::ScriptedPeer;

namespace {

struct Request {
    const char *line; // what the server must read
    const char *word; // the command word it acknowledges
};

class Requests : public ::testing::Test {
  protected:
    // Starts the scheduler and a robot server described by lines that then expects requests.
    void start(const std::vector<std::string> &description, const std::vector<Request> &requests) {
        sched_port = netpeer::free_tcp_port();
        int robot_port = netpeer::free_tcp_port();
        Script s;
        clientpeers::list_answer(
            s, {"AddRegistered 1 127.0.0.1 " + std::to_string(robot_port) + " /none"});
        s.drain();
        scheduler.listen_tcp(sched_port, s);
        Script r;
        r.expect("1:GetConstMembers");
        clientpeers::send_acked(r, description);
        for (const auto &q : requests)
            r.expect(q.line).send(std::string("Done ") + q.word + "\n");
        r.drain();
        robot.listen_tcp(robot_port, r);
        ASSERT_EQ(Q_InitializeClient("127.0.0.1", sched_port), 0);
        // The list of an earlier test's scheduler may still name robot 1 at another port.
        ASSERT_EQ(Q_UpdateRobotList(), 0);
        ASSERT_EQ(Q_ConnectRobot(1), 0);
        rs = Q_GetRobotState(1);
        ASSERT_NE(rs, nullptr);
    }
    void TearDown() override {
        Q_DisconnectRobot(1);
        Q_InitializeClient("127.0.0.1", sched_port);
        clientpeers::poll_until_done(robot, scheduler);
        // A peer still running waits for a line or a connection that never came; the peers'
        // destructors stop it.
        ASSERT_TRUE(robot.done() && scheduler.done()) << "a peer did not end its script";
        EXPECT_EQ(robot.finish(), 0) << "the robot server read other lines than expected";
        EXPECT_EQ(scheduler.finish(), 0);
    }

    ScriptedPeer scheduler, robot;
    int sched_port = 0;
    Q_RobotState *rs = nullptr;
};

TEST_F(Requests, EveryRequestLine) {
    start(clientpeers::small_robot(),
          {
              {"1:GetAxes 1 0 1 0", "GetAxes"},
              {"1:SetAxes 0 0 1 2 500 100 20", "SetAxes"},
              {"1:SetLift 1 1 10 20 30 40", "SetLift"},
              {"1:ZeroLift 0", "ZeroLift"},
              {"1:ZeroLift 1", "ZeroLift"},
              {"1:DeployLift", "DeployLift"},
              {"1:RetractLift", "RetractLift"},
              {"1:GetLift 1 1", "GetLift"},
              {"1:1:SetJoystick 0.25 0 -1.5 1 0 0", "SetJoystick"},
              {"1:1:SetTimer 5.000000000000000000000000000000e+00", "SetTimer"},
              {"1:1:GetTimer", "GetTimer"},
              {"1:SetSonarConfiguration 0 10 20 0 255 1 2 0 1 2 255", "SetSonarConfiguration"},
              {"1:1:GetSonarConfiguration", "GetSonarConfiguration"},
              {"1:GetSonar 1 0 0 1", "GetSonar"},
              {"1:GetInfrared 1 0", "GetInfrared"},
              {"1:GetBumper 1 0", "GetBumper"},
              {"1:SetLaserConfiguration 1 0 1 1 0.5 300 7 3 1.25 4 0.1", "SetLaserConfiguration"},
              {"1:1:GetLaserConfiguration", "GetLaserConfiguration"},
              {"1:GetLaser 1 0", "GetLaser"},
              {"1:GetK770", "GetK770"},
              {"1:GetBattery", "GetBattery"},
              {"1:GetCompass 1", "GetCompass"},
              {"1:GetIntegratedConfiguration 0", "GetIntegratedConfiguration"},
              {"1:1:SetIntegratedConfiguration 10 -20 3 4", "SetIntegratedConfiguration"},
              {"1:GetState axes 1 0 1 0 sonar 1 0 0 1 infrared 1 0 bumper 1 0 laser 1 0 k770  "
               "compass 1 1 battery 1 configuration 1 0",
               "GetState"},
              {"1:1:Speak \"a\\\"b\\\\\\12\"", "Speak"},
              {"1:1:Speak \"\\1\\37 \xe9\xff~\"", "Speak"},
          });
    EXPECT_EQ(Q_GetAxes(1), 0);

    Q_AxisSet &as = rs->AxisSet;
    as.Global = 0;
    as.Axis[1] = Q_Axis{1, 0, 1, 0, 2, 500, 100, 20, 0, 0, 0, 0, 0};
    EXPECT_EQ(Q_SetAxes(1), 0);
    EXPECT_EQ(as.Axis[0].Update, 0);
    EXPECT_EQ(as.Axis[1].Update, 0);

    EXPECT_EQ(Q_SetLift(1), 0); // no Update set: nothing is sent
    Q_LiftAxis &lift = rs->LiftController.Axis[0];
    lift.Update = 1, lift.Mode = 1, lift.DesiredPosition = 10, lift.DesiredVelocity = 20;
    lift.Acceleration = 30, lift.MaxMotor = 40;
    EXPECT_EQ(Q_SetLift(1), 0);
    EXPECT_EQ(lift.Update, 0);
    EXPECT_EQ(Q_ZeroLift(1, 256), 0); // only the low 8 bits count
    EXPECT_EQ(Q_ZeroLift(1, 3), 0);
    EXPECT_EQ(Q_DeployLift(1), 0);
    EXPECT_EQ(Q_RetractLift(1), 0);
    lift.TimeStampActive = 1;
    EXPECT_EQ(Q_GetLift(1), 0);

    rs->Joystick = Q_Joystick{0.25, 0, -1.5, 1, 0, 0};
    EXPECT_EQ(Q_SetJoystick(1), 0);
    rs->Timer.Timeout = 5;
    EXPECT_EQ(Q_SetTimer(1), 0);
    EXPECT_EQ(Q_GetTimer(1), 0);

    Q_SonarSet *ss = rs->SonarController.SonarSet;
    ss[0].FiringDelay = 10, ss[0].BlankingInterval = 20;
    ss[0].FiringOrder[0] = 0, ss[0].FiringOrder[1] = 255;
    ss[1].FiringDelay = 1, ss[1].BlankingInterval = 2;
    ss[1].FiringOrder[0] = 0, ss[1].FiringOrder[1] = 1, ss[1].FiringOrder[2] = 2;
    ss[1].FiringOrder[3] = 7; // beyond the set's three sonars: not sent
    EXPECT_EQ(Q_SetSonarConfiguration(1), 0);
    EXPECT_EQ(Q_GetSonarConfiguration(1), 0);
    ss[1].DataActive = 0, ss[1].TimeStampActive = 1;
    EXPECT_EQ(Q_GetSonar(1), 0);
    EXPECT_EQ(Q_GetInfrared(1), 0);
    EXPECT_EQ(Q_GetBumper(1), 0);

    Q_Laser &l = rs->LaserSet.Laser[0];
    l.Power = 1, l.DataType = 0, l.PointType = 1, l.IntegrityChecking = 1, l.Threshold = 0.5;
    l.Width = 300, l.SamplingCount = 7, l.MedianWindow = 3, l.Fitting = 1.25, l.MinPoint = 4;
    l.Gap = 0.1;
    EXPECT_EQ(Q_SetLaserConfiguration(1), 0);
    EXPECT_EQ(Q_GetLaserConfiguration(1), 0);
    EXPECT_EQ(Q_GetLaser(1), 0);
    EXPECT_EQ(Q_GetK770(1), 0);
    EXPECT_EQ(Q_GetBattery(1), 0);
    rs->Compass.TimeStampActive = 1;
    EXPECT_EQ(Q_GetCompass(1), 0);
    EXPECT_EQ(Q_GetIntegratedConfiguration(1), 0);
    rs->Integrator.x = 10, rs->Integrator.y = -20, rs->Integrator.Steering = 3;
    rs->Integrator.Rotation = 4;
    EXPECT_EQ(Q_SetIntegratedConfiguration(1), 0);
    EXPECT_EQ(Q_GetState(1), 0);
    EXPECT_EQ(Q_Speak(1, "a\"b\\\n"), 0);
    EXPECT_EQ(Q_Speak(1, "\x01\x1f \xe9\xff~\0ignored"), 0);
}

TEST_F(Requests, StateOfARobotWithOneAxisOnly) {
    start({"SetAxesDescription 1", "Done GetConstMembers"},
          {{"1:GetState axes 1 0 sonar infrared bumper laser k770  compass 1 0 battery 1 "
            "configuration 1 0",
            "GetState"},
           {"1:GetK770", "GetK770"}});
    EXPECT_EQ(Q_GetState(1), 0);
    EXPECT_EQ(Q_GetK770(1), 0);
}

TEST_F(Requests, PointRangeSensorsSendTheirRequestedPoints) {
    start({"SetK770Description 2 361 k0 base 0 1 0 0 100 k1 base 0 1 0 0", "Done GetConstMembers"},
          {{"1:GetK770 1 0 361 1 0 50", "GetK770"}});
    rs->K770Set.K770[1].RequestedPoints = 50;
    EXPECT_EQ(Q_GetK770(1), 0);
}

} // namespace
