// The exact bytes of every request line, as the robot server receives them (the connection's
// "1:" prefix included), checked by a scripted robot server; and every Set request (and the flags
// of every Get request) word by word against the record fields it sends.
#include "client.h"
#include "client_peers.h"
#include "conn_errors.h"
#include "kavrel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
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

// The words a request must write, built while the record fields it sends get their values:
// every number a value of its own, every flag 0 except the one that is hot. A request is run once
// per flag of its line with that flag hot, so two fields can never trade places unseen.
struct Words {
    explicit Words(int hot_flag) : hot(hot_flag) {}
    int hot;        // the flag that is 1 (-1: none)
    int flags = 0;  // flags written so far
    long next = 11; // the next number; fits every field's width, char included
    std::vector<std::pair<std::string, std::string>> words; // (field, expected text)

    void word(const std::string &field, const std::string &text) { words.push_back({field, text}); }
    template <typename T> void flag(const std::string &field, T &f) {
        f = (T)(flags++ == hot);
        word(field, f ? "1" : "0");
    }
    template <typename T> void number(const std::string &field, T &f) {
        f = (T)(next++);
        word(field, std::to_string((long long)f));
    }
    void decimal(const std::string &field, double &f) {
        long v = next++;
        f = (double)v + 0.25;
        word(field, std::to_string(v) + ".25");
    }
};

using LineOf = std::function<void(Words &, Q_RobotState &)>;

std::string at(const char *path, u32 i, const char *field) {
    return std::string(path) + "[" + std::to_string(i) + "]." + field;
}

// The per-element request flags of a Get list: the word, then DataActive and TimeStampActive of
// each element in use.
template <typename Element>
void flag_list(Words &w, const char *word, const char *path, u32 count, Element *elements) {
    w.word("selector", word);
    for (u32 i = 0; i < count; i++) {
        w.flag(at(path, i, "DataActive"), elements[i].DataActive);
        w.flag(at(path, i, "TimeStampActive"), elements[i].TimeStampActive);
    }
}

void k770_list(Words &w, const char *word, Q_RobotState &rs) {
    w.word("selector", word);
    for (u32 i = 0; i < rs.K770Set.K770Count; i++) {
        Q_K770 &k = rs.K770Set.K770[i];
        w.flag(at("K770Set.K770", i, "DataActive"), k.DataActive);
        w.flag(at("K770Set.K770", i, "TimeStampActive"), k.TimeStampActive);
        w.number(at("K770Set.K770", i, "RequestedPoints"), k.RequestedPoints);
    }
}

struct RequestLine {
    const char *name;
    int (*call)(s32);
    LineOf line; // the words the request writes, after the connection's "1:" prefix
};

const RequestLine kSetRequests[] = {
    {"Q_SetAxes", Q_SetAxes,
     [](Words &w, Q_RobotState &rs) {
         Q_AxisSet &as = rs.AxisSet;
         w.word("command", "SetAxes");
         w.flag("AxisSet.Global", as.Global);
         for (u32 i = 0; i < as.AxisCount; i++) {
             Q_Axis &a = as.Axis[i];
             w.flag(at("AxisSet.Axis", i, "Update"), a.Update);
             if (!a.Update)
                 continue;
             w.number(at("AxisSet.Axis", i, "Mode"), a.Mode);
             w.number(at("AxisSet.Axis", i, "DesiredPosition"), a.DesiredPosition);
             w.number(at("AxisSet.Axis", i, "DesiredSpeed"), a.DesiredSpeed);
             w.number(at("AxisSet.Axis", i, "Acceleration"), a.Acceleration);
         }
     }},
    {"Q_SetLift", Q_SetLift,
     [](Words &w, Q_RobotState &rs) {
         Q_LiftController &lc = rs.LiftController;
         w.word("command", "SetLift");
         for (u32 i = 0; i < lc.AxisCount; i++) {
             Q_LiftAxis &a = lc.Axis[i];
             w.flag(at("LiftController.Axis", i, "Update"), a.Update);
             if (!a.Update)
                 continue;
             w.number(at("LiftController.Axis", i, "Mode"), a.Mode);
             w.number(at("LiftController.Axis", i, "DesiredPosition"), a.DesiredPosition);
             w.number(at("LiftController.Axis", i, "DesiredVelocity"), a.DesiredVelocity);
             w.number(at("LiftController.Axis", i, "Acceleration"), a.Acceleration);
             w.number(at("LiftController.Axis", i, "MaxMotor"), a.MaxMotor);
         }
     }},
    {"Q_SetJoystick", Q_SetJoystick,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "1:SetJoystick");
         w.decimal("Joystick.X", rs.Joystick.X);
         w.decimal("Joystick.Y", rs.Joystick.Y);
         w.decimal("Joystick.Theta", rs.Joystick.Theta);
         w.flag("Joystick.ButtonA", rs.Joystick.ButtonA);
         w.flag("Joystick.ButtonB", rs.Joystick.ButtonB);
         w.flag("Joystick.ButtonC", rs.Joystick.ButtonC);
     }},
    {"Q_SetTimer", Q_SetTimer,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "1:SetTimer");
         rs.Timer.Timeout = -1234;
         w.word("Timer.Timeout", "-1.234000000000000000000000000000e+03");
     }},
    {"Q_SetSonarConfiguration", Q_SetSonarConfiguration,
     [](Words &w, Q_RobotState &rs) {
         Q_SonarController &sc = rs.SonarController;
         w.word("command", "SetSonarConfiguration");
         w.flag("SonarController.SonarPaused", sc.SonarPaused);
         // Set 0 (three sonars) ends its order early; set 1 (two) has more entries than sonars.
         Q_SonarSet &s0 = sc.SonarSet[0], &s1 = sc.SonarSet[1];
         w.number("SonarSet[0].FiringDelay", s0.FiringDelay);
         w.number("SonarSet[0].BlankingInterval", s0.BlankingInterval);
         w.number("SonarSet[0].FiringOrder[0]", s0.FiringOrder[0]);
         w.number("SonarSet[0].FiringOrder[1]", s0.FiringOrder[1]);
         s0.FiringOrder[2] = Q_FIRING_END;
         s0.FiringOrder[3] = 99;
         w.word("end mark of set 0", "255");
         w.number("SonarSet[1].FiringDelay", s1.FiringDelay);
         w.number("SonarSet[1].BlankingInterval", s1.BlankingInterval);
         w.number("SonarSet[1].FiringOrder[0]", s1.FiringOrder[0]);
         w.number("SonarSet[1].FiringOrder[1]", s1.FiringOrder[1]);
         s1.FiringOrder[2] = 98;
         w.word("end mark of set 1", "255");
     }},
    {"Q_SetLaserConfiguration", Q_SetLaserConfiguration,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "SetLaserConfiguration");
         for (u32 i = 0; i < rs.LaserSet.LaserCount; i++) {
             Q_Laser &l = rs.LaserSet.Laser[i];
             w.flag(at("LaserSet.Laser", i, "Power"), l.Power);
             w.flag(at("LaserSet.Laser", i, "DataType"), l.DataType);
             w.flag(at("LaserSet.Laser", i, "PointType"), l.PointType);
             w.flag(at("LaserSet.Laser", i, "IntegrityChecking"), l.IntegrityChecking);
             w.decimal(at("LaserSet.Laser", i, "Threshold"), l.Threshold);
             w.number(at("LaserSet.Laser", i, "Width"), l.Width);
             w.number(at("LaserSet.Laser", i, "SamplingCount"), l.SamplingCount);
             w.number(at("LaserSet.Laser", i, "MedianWindow"), l.MedianWindow);
             w.decimal(at("LaserSet.Laser", i, "Fitting"), l.Fitting);
             w.number(at("LaserSet.Laser", i, "MinPoint"), l.MinPoint);
             w.decimal(at("LaserSet.Laser", i, "Gap"), l.Gap);
         }
     }},
    {"Q_SetIntegratedConfiguration", Q_SetIntegratedConfiguration,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "1:SetIntegratedConfiguration");
         w.number("Integrator.x", rs.Integrator.x);
         w.number("Integrator.y", rs.Integrator.y);
         w.number("Integrator.Steering", rs.Integrator.Steering);
         w.number("Integrator.Rotation", rs.Integrator.Rotation);
     }},
};

const RequestLine kGetRequests[] = {
    {"Q_GetAxes", Q_GetAxes,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetAxes", "AxisSet.Axis", rs.AxisSet.AxisCount, rs.AxisSet.Axis);
     }},
    {"Q_GetLift", Q_GetLift,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetLift", "LiftController.Axis", rs.LiftController.AxisCount,
                   rs.LiftController.Axis);
     }},
    {"Q_GetSonar", Q_GetSonar,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetSonar", "SonarController.SonarSet", rs.SonarController.SonarSetCount,
                   rs.SonarController.SonarSet);
     }},
    {"Q_GetInfrared", Q_GetInfrared,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetInfrared", "InfraredController.InfraredSet",
                   rs.InfraredController.InfraredSetCount, rs.InfraredController.InfraredSet);
     }},
    {"Q_GetBumper", Q_GetBumper,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetBumper", "BumperController.BumperSet", rs.BumperController.BumperSetCount,
                   rs.BumperController.BumperSet);
     }},
    {"Q_GetLaser", Q_GetLaser,
     [](Words &w, Q_RobotState &rs) {
         flag_list(w, "GetLaser", "LaserSet.Laser", rs.LaserSet.LaserCount, rs.LaserSet.Laser);
     }},
    {"Q_GetK770", Q_GetK770, [](Words &w, Q_RobotState &rs) { k770_list(w, "GetK770", rs); }},
    {"Q_GetCompass", Q_GetCompass,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "GetCompass");
         w.flag("Compass.TimeStampActive", rs.Compass.TimeStampActive);
     }},
    {"Q_GetIntegratedConfiguration", Q_GetIntegratedConfiguration,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "GetIntegratedConfiguration");
         w.flag("Integrator.TimeStampActive", rs.Integrator.TimeStampActive);
     }},
    {"Q_GetState", Q_GetState,
     [](Words &w, Q_RobotState &rs) {
         w.word("command", "GetState");
         flag_list(w, "axes", "AxisSet.Axis", rs.AxisSet.AxisCount, rs.AxisSet.Axis);
         flag_list(w, "sonar", "SonarController.SonarSet", rs.SonarController.SonarSetCount,
                   rs.SonarController.SonarSet);
         flag_list(w, "infrared", "InfraredController.InfraredSet",
                   rs.InfraredController.InfraredSetCount, rs.InfraredController.InfraredSet);
         flag_list(w, "bumper", "BumperController.BumperSet", rs.BumperController.BumperSetCount,
                   rs.BumperController.BumperSet);
         flag_list(w, "laser", "LaserSet.Laser", rs.LaserSet.LaserCount, rs.LaserSet.Laser);
         k770_list(w, "k770", rs);
         w.word("the second of two spaces", "");
         w.word("selector", "compass");
         w.flag("Compass.DataActive", rs.Compass.DataActive);
         w.flag("Compass.TimeStampActive", rs.Compass.TimeStampActive);
         w.word("selector", "battery");
         w.flag("BatterySet.DataActive", rs.BatterySet.DataActive);
         w.word("selector", "configuration");
         w.flag("Integrator.DataActive", rs.Integrator.DataActive);
         w.flag("Integrator.TimeStampActive", rs.Integrator.TimeStampActive);
     }},
};

// Every line a request writes, recorded by a robot server that answers each with "Done".
class RequestWords : public ::testing::Test {
  protected:
    void SetUp() override {
        lines_file = dir.file("lines");
        sched_port = netpeer::free_tcp_port();
        int robot_port = netpeer::free_tcp_port();
        Script s;
        clientpeers::list_answer(
            s, {"AddRegistered 1 127.0.0.1 " + std::to_string(robot_port) + " /none"});
        s.drain();
        scheduler.listen_tcp(sched_port, s);
        // Each unit has fewer elements than its array holds, so a walk past a count shows.
        Script r;
        r.expect("1:GetConstMembers");
        clientpeers::send_acked(
            r, {"SetAxesDescription 3", "SetLiftDescription 2",
                "SetSonarDescription 2 3 1 1 1 1 1 4000 a r 0 1 0 0 b r 0 1 0 0 c r 0 1 0 0 "
                "2 1 1 1 1 1 4000 d r 0 1 0 0 e r 0 1 0 0",
                "SetInfraredDescription 2 1 1 500 i r 0 1 0 0 1 1 500 j r 0 1 0 0",
                "SetBumperDescription 2 1 b r 0 1 0 0 1 c r 0 1 0 0", "SetLaserDescription 2",
                "SetK770Description 2 361 k r 0 1 0 0 100 l r 0 1 0 0", "SetBatteryDescription 2",
                "Done GetConstMembers"});
        r.record(lines_file);
        robot.listen_tcp(robot_port, r);
        ASSERT_EQ(Q_InitializeClient("127.0.0.1", sched_port), 0);
        ASSERT_EQ(Q_UpdateRobotList(), 0);
        ASSERT_EQ(Q_ConnectRobot(1), 0);
        rs = Q_GetRobotState(1);
        ASSERT_NE(rs, nullptr);
    }
    void TearDown() override {
        Q_DisconnectRobot(1);
        Q_InitializeClient("127.0.0.1", sched_port);
        clientpeers::poll_until_done(robot, scheduler);
        EXPECT_EQ(robot.finish(), 0);
        EXPECT_EQ(scheduler.finish(), 0);
    }

    // The lines recorded so far.
    std::vector<std::string> recorded() const {
        std::vector<std::string> lines;
        std::ifstream in(lines_file);
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    // Runs the request once per flag of its line (once when it has none), each time with that
    // flag alone set, and compares the line it wrote with the words expected, word by word.
    void check(const RequestLine &q) {
        Q_RobotState probe = *rs;
        Words count(-1);
        q.line(count, probe);
        for (int hot = count.flags ? 0 : -1; hot < count.flags; hot++) {
            Words w(hot);
            q.line(w, *rs);
            size_t before = recorded().size();
            ASSERT_EQ(q.call(1), 0) << q.name;
            std::vector<std::string> lines = recorded();
            ASSERT_EQ(lines.size(), before + 1) << q.name << " wrote no line";
            std::string sent = lines.back();
            std::string d = compare(w, sent);
            EXPECT_TRUE(d.empty())
                << q.name << " with flag " << hot << " set wrote\n  " << sent << d;
        }
    }

    // One line per word that differs: its place, the field it carries, expected and sent text.
    static std::string compare(const Words &w, const std::string &sent) {
        std::vector<std::string> got;
        for (size_t from = 0;;) {
            size_t space = sent.find(' ', from);
            got.push_back(sent.substr(from, space - from));
            if (space == std::string::npos)
                break;
            from = space + 1;
        }
        std::string out;
        std::vector<std::pair<std::string, std::string>> want = w.words;
        want[0].second = "1:" + want[0].second; // the connection's prefix
        for (size_t i = 0; i < want.size() || i < got.size(); i++) {
            std::string field = i < want.size() ? want[i].first : "(no more words expected)";
            std::string expected = i < want.size() ? want[i].second : "(nothing)";
            std::string found = i < got.size() ? got[i] : "(missing)";
            if (expected != found)
                out += "\n  word " + std::to_string(i) + " (" + field + "): expected '" + expected +
                       "', sent '" + found + "'";
        }
        return out;
    }

    netpeer::TempDir dir;
    std::string lines_file;
    ScriptedPeer scheduler, robot;
    int sched_port = 0;
    Q_RobotState *rs = nullptr;
};

TEST_F(RequestWords, EverySetRequestWordByWord) {
    for (const RequestLine &q : kSetRequests)
        check(q);
    // The Update flags a request has sent are cleared.
    for (const Q_Axis &a : rs->AxisSet.Axis)
        EXPECT_EQ(a.Update, 0);
    for (const Q_LiftAxis &a : rs->LiftController.Axis)
        EXPECT_EQ(a.Update, 0);
}

TEST_F(RequestWords, EveryGetRequestFlagByFlag) {
    for (const RequestLine &q : kGetRequests)
        check(q);
}

} // namespace
