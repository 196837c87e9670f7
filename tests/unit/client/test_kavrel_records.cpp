// Every one of the 22 server messages against the whole robot state block: each field of both
// records starts with a value of its own, the line is dispatched, and every field must then hold
// exactly what the message names and nothing else may have changed. A value stored in a
// neighbour's field, a set walked past its count or a group that should have been skipped shows
// as a named field in a readable difference.
#include "command.h"
#include "connect.h"
#include "kavrel.h"
#include "record_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using records::text;
using records::text_double;
using records::text_string;
using Changes = std::vector<std::pair<std::string, std::string>>;

constexpr int kFd = 901; // a descriptor number no socket of the test uses

// The robot every state message is sent to: each unit has fewer elements in use than its array
// holds, so a walk past a count changes a field that must keep its value.
void describe(Q_RobotState &rs) {
    rs.AxisSet.AxisCount = 3;
    rs.LiftController.AxisCount = 2;
    rs.SonarController.SonarSetCount = 2;
    rs.SonarController.SonarSet[0].SonarCount = 3;
    rs.SonarController.SonarSet[1].SonarCount = 2;
    rs.InfraredController.InfraredSetCount = 2;
    rs.InfraredController.InfraredSet[0].InfraredCount = 2;
    rs.InfraredController.InfraredSet[1].InfraredCount = 1;
    rs.BumperController.BumperSetCount = 2;
    rs.BumperController.BumperSet[0].BumperCount = 2;
    rs.BumperController.BumperSet[1].BumperCount = 1;
    rs.LaserSet.LaserCount = 2;
    rs.K770Set.K770Count = 2;
    rs.BatterySet.BatteryCount = 3;
}

struct Case {
    std::string line;
    Changes changes; // every field the line writes, with the value it must then hold
};

class Records : public ::testing::Test {
  protected:
    void SetUp() override {
        CONN_Initialize();
        CMD_Initialize();
        static bool registered = (HCLNT_Initialize(), true);
        (void)registered;
        ci = CONN_AllocConnInfo(1, kFd);
        ASSERT_NE(ci, nullptr);
        block = HCLNT_AllocUserData();
        ci->user_data = block;
        ci->user_free = HCLNT_FreeUserData;
    }
    void TearDown() override { CONN_FreeConnInfo(ci); }

    // Dispatches the line on a block whose fields all differ and compares the whole block.
    void check(const Case &c) {
        records::fill_distinct(*block);
        describe(block->rs);
        records::Fields before = records::fields_of(*block);
        char *reply = CMD_ExecuteRaw(kFd, (c.line + "\n").c_str());
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(std::string(reply), "Done " + c.line.substr(0, c.line.find(' ')) + "\n");
        free(reply);
        std::string unknown;
        records::Fields expected = records::with_changes(before, c.changes, &unknown);
        ASSERT_EQ(unknown, "") << "the test names fields the records do not have";
        std::string d = records::diff(before, expected, records::fields_of(*block));
        EXPECT_TRUE(d.empty()) << "after \"" << c.line
                               << "\", fields differ from the expected record:\n"
                               << d;
    }

    CONN_ConnInfo *ci = nullptr;
    HCLNT_UserData *block = nullptr;
};

std::string axis(int i, const char *field) {
    return "AxisSet.Axis[" + std::to_string(i) + "]." + field;
}
std::string lift(int i, const char *field) {
    return "LiftController.Axis[" + std::to_string(i) + "]." + field;
}
std::string sonar(int set, int k, const char *field) {
    return "SonarController.SonarSet[" + std::to_string(set) + "].Sonar[" + std::to_string(k) +
           "]." + field;
}
std::string sonar_set(int set, const std::string &field) {
    return "SonarController.SonarSet[" + std::to_string(set) + "]." + field;
}
std::string laser(int i, const std::string &field) {
    return "LaserSet.Laser[" + std::to_string(i) + "]." + field;
}
std::string data(int i, int k) { return laser(i, "Data[" + std::to_string(k) + "]"); }

// The changes of one sensor pose group: identifier, frame, and the matrix
// [cos, -sin, x; sin, cos, y; 0, 0, 1].
Changes pose(const std::string &path, const char *id, const char *ref, int sine, int cosine, int x,
             int y) {
    Changes c = {{path + ".ID", text_string(id)}, {path + ".Reference", text_string(ref)}};
    const double m[9] = {
        (double)cosine, -(double)sine, (double)x, (double)sine, (double)cosine, (double)y, 0, 0, 1};
    for (int k = 0; k < 9; k++)
        c.push_back({path + ".Configuration[" + std::to_string(k) + "]", text_double(m[k])});
    return c;
}

Changes operator+(Changes a, const Changes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Records, AxesAndLift) {
    // Axis 0 carries no data, axis 1 a time stamp, axis 2 none; axis 3 is beyond the count.
    check({"SetAxes 1 258 0 1 1 5 101 102 103 104 105 106 107 1 1 0 201 202 203 204 205 206 207 0",
           {{"AxisSet.Global", "1"},
            {"AxisSet.Status", "2"},
            {axis(1, "TimeStamp"), "5"},
            {axis(1, "DesiredPosition"), "101"},
            {axis(1, "DesiredSpeed"), "102"},
            {axis(1, "Acceleration"), "103"},
            {axis(1, "TrajectoryPosition"), "104"},
            {axis(1, "TrajectoryVelocity"), "105"},
            {axis(1, "ActualPosition"), "106"},
            {axis(1, "ActualVelocity"), "107"},
            {axis(1, "InProgress"), "1"},
            {axis(2, "DesiredPosition"), "201"},
            {axis(2, "DesiredSpeed"), "202"},
            {axis(2, "Acceleration"), "203"},
            {axis(2, "TrajectoryPosition"), "204"},
            {axis(2, "TrajectoryVelocity"), "205"},
            {axis(2, "ActualPosition"), "206"},
            {axis(2, "ActualVelocity"), "207"},
            {axis(2, "InProgress"), "0"}}});
    // On the line the acceleration comes before the motor limit.
    check({"SetLift 0 1 0 1 1 9 2 -5 100 50 7 8 95 48",
           {{"LiftController.Deployed", "0"},
            {"LiftController.InProgress", "1"},
            {lift(1, "TimeStamp"), "9"},
            {lift(1, "Mode"), "2"},
            {lift(1, "Status"), "-5"},
            {lift(1, "DesiredPosition"), "100"},
            {lift(1, "DesiredVelocity"), "50"},
            {lift(1, "Acceleration"), "7"},
            {lift(1, "MaxMotor"), "8"},
            {lift(1, "Position"), "95"},
            {lift(1, "Velocity"), "48"}}});
    check({"SetLift 1 0 1 0 258 6 10 20 30 40 50 60 0",
           {{"LiftController.Deployed", "1"},
            {"LiftController.InProgress", "0"},
            {lift(0, "Mode"), "2"},
            {lift(0, "Status"), "6"},
            {lift(0, "DesiredPosition"), "10"},
            {lift(0, "DesiredVelocity"), "20"},
            {lift(0, "Acceleration"), "30"},
            {lift(0, "MaxMotor"), "40"},
            {lift(0, "Position"), "50"},
            {lift(0, "Velocity"), "60"}}});
}

TEST_F(Records, PoseCompassTimerBattery) {
    check({"SetIntegratedConfiguration 1 77 12.9 -3.7 45 90",
           {{"Integrator.TimeStamp", "77"},
            {"Integrator.x", "12"},
            {"Integrator.y", "-3"},
            {"Integrator.Steering", "45"},
            {"Integrator.Rotation", "90"}}});
    check({"SetIntegratedConfiguration 0 1 2 3 4",
           {{"Integrator.x", "1"},
            {"Integrator.y", "2"},
            {"Integrator.Steering", "3"},
            {"Integrator.Rotation", "4"}}});
    check({"SetCompass 1 9 -17.9", {{"Compass.TimeStamp", "9"}, {"Compass.Reading", "-17"}}});
    check({"SetCompass 0 33.5", {{"Compass.Reading", "33"}}});
    check({"SetTimer 5 123456", {{"Timer.Timeout", "5"}, {"Timer.Time", "123456"}}});
    check({"SetBattery 1200 1210 1220",
           {{"BatterySet.Battery[0].Voltage", "1200"},
            {"BatterySet.Battery[1].Voltage", "1210"},
            {"BatterySet.Battery[2].Voltage", "1220"}}});
}

TEST_F(Records, Sonars) {
    // Set 0 (three sonars) ends early with 255; set 1 (two) has no end mark.
    check({"SetSonarConfiguration 1 10.5 20 0 2 255 30 40 1 0 5",
           {{"SonarController.SonarPaused", "1"},
            {sonar_set(0, "FiringDelay"), "10"},
            {sonar_set(0, "BlankingInterval"), "20"},
            {sonar_set(0, "FiringOrder[0]"), "0"},
            {sonar_set(0, "FiringOrder[1]"), "2"},
            {sonar_set(0, "FiringOrder[2]"), "255"},
            {sonar_set(1, "FiringDelay"), "30"},
            {sonar_set(1, "BlankingInterval"), "40"},
            {sonar_set(1, "FiringOrder[0]"), "1"},
            {sonar_set(1, "FiringOrder[1]"), "0"},
            {sonar_set(1, "FiringOrder[2]"), "5"}}});
    check({"SetSonar 1 1 2 550 61 0 120 62 255 1 0 1 33 0 44",
           {{sonar(0, 2, "Reading"), "550"},
            {sonar(0, 2, "TimeStamp"), "61"},
            {sonar(0, 0, "Reading"), "120"},
            {sonar(0, 0, "TimeStamp"), "62"},
            {sonar(1, 1, "Reading"), "33"},
            {sonar(1, 0, "Reading"), "44"}}});
    check({"SetSonar 0 1 0 1 7 255", {{sonar(1, 1, "Reading"), "7"}}});
}

TEST_F(Records, InfraredAndBumpers) {
    auto ir = [](int set, int k, const char *field) {
        return "InfraredController.InfraredSet[" + std::to_string(set) + "].Infrared[" +
               std::to_string(k) + "]." + field;
    };
    auto bumper = [](int set, int k, const char *field) {
        return "BumperController.BumperSet[" + std::to_string(set) + "].Bumper[" +
               std::to_string(k) + "]." + field;
    };
    check({"SetInfrared 1 1 10 1 20 2 1 0 30",
           {{ir(0, 0, "Reading"), "10"},
            {ir(0, 0, "TimeStamp"), "1"},
            {ir(0, 1, "Reading"), "20"},
            {ir(0, 1, "TimeStamp"), "2"},
            {ir(1, 0, "Reading"), "30"}}});
    check({"SetInfrared 0 1 1 40 3", {{ir(1, 0, "Reading"), "40"}, {ir(1, 0, "TimeStamp"), "3"}}});
    check({"SetBumper 1 0 3 4 1 1 257 8",
           {{bumper(0, 0, "Reading"), "3"},
            {bumper(0, 1, "Reading"), "4"},
            {bumper(1, 0, "Reading"), "1"},
            {bumper(1, 0, "TimeStamp"), "8"}}});
    check({"SetBumper 0 1 0 5", {{bumper(1, 0, "Reading"), "5"}}});
}

TEST_F(Records, LaserConfigurationOneSettingAtATime) {
    // The four settings stored as flags are set one at a time, so no two can trade places
    // unseen; the 16-bit values keep their low bits.
    const char *names[] = {"Power", "DataType", "PointType", "IntegrityChecking"};
    for (int hot = 0; hot < 4; hot++) {
        std::string flags;
        Changes changes;
        for (int k = 0; k < 4; k++) {
            flags += k == hot ? "1 " : "0 ";
            changes.push_back({laser(0, names[k]), k == hot ? "1" : "0"});
            changes.push_back({laser(1, names[k]), k == 3 - hot ? "1" : "0"});
        }
        std::string other;
        for (int k = 0; k < 4; k++)
            other += k == 3 - hot ? "1 " : "0 ";
        check({"SetLaserConfiguration " + flags + "0.5 300 7 3 1.25 4 0.125 " + other +
                   "2.5 65537 9 70000 3.75 5 4.5",
               changes + Changes{{laser(0, "Threshold"), text_double(0.5)},
                                 {laser(0, "Width"), "300"},
                                 {laser(0, "SamplingCount"), "7"},
                                 {laser(0, "MedianWindow"), "3"},
                                 {laser(0, "Fitting"), text_double(1.25)},
                                 {laser(0, "MinPoint"), "4"},
                                 {laser(0, "Gap"), text_double(0.125)},
                                 {laser(1, "Threshold"), text_double(2.5)},
                                 {laser(1, "Width"), "1"},
                                 {laser(1, "SamplingCount"), "9"},
                                 {laser(1, "MedianWindow"), "4464"},
                                 {laser(1, "Fitting"), text_double(3.75)},
                                 {laser(1, "MinPoint"), "5"},
                                 {laser(1, "Gap"), text_double(4.5)}}});
    }
}

TEST_F(Records, LaserScansOfEachLayout) {
    // Two values per point: laser 0 skipped, laser 1 with its time stamp after the data.
    check({"SetLaser 0 1 1 p c 2 1.5 2.5 3.5 4.5 77",
           {{data(1, 0), text_double(1.5)},
            {data(1, 1), text_double(2.5)},
            {data(1, 2), text_double(3.5)},
            {data(1, 3), text_double(4.5)},
            {laser(1, "DataCount"), "2"},
            {laser(1, "TimeStamp"), "77"}}});
    // One value per point.
    check({"SetLaser 1 0 p x 3 5.5 6.5 7.5 0",
           {{data(0, 0), text_double(5.5)},
            {data(0, 1), text_double(6.5)},
            {data(0, 2), text_double(7.5)},
            {laser(0, "DataCount"), "3"}}});
    // Four values per item at a stride of two: the second item overwrites the first one's last
    // two values, and two items write Data[0] to Data[5].
    check({"SetLaser 1 1 r c 2 10 11 12 13 20 21 22 23 66 0",
           {{data(0, 0), text_double(10)},
            {data(0, 1), text_double(11)},
            {data(0, 2), text_double(20)},
            {data(0, 3), text_double(21)},
            {data(0, 4), text_double(22)},
            {data(0, 5), text_double(23)},
            {laser(0, "DataCount"), "2"},
            {laser(0, "TimeStamp"), "66"}}});
}

TEST_F(Records, PointRangeScans) {
    check({"SetK770 0 1 1 88 3 100 200 300",
           {{"K770Set.K770[1].TimeStamp", "88"},
            {"K770Set.K770[1].Readings[0]", "100"},
            {"K770Set.K770[1].Readings[1]", "200"},
            {"K770Set.K770[1].Readings[2]", "300"}}});
    check({"SetK770 1 0 2 7 8 0",
           {{"K770Set.K770[0].Readings[0]", "7"}, {"K770Set.K770[0].Readings[1]", "8"}}});
}

TEST_F(Records, CountDescriptions) {
    check({"SetRobotType Holonomic", {{"RobotType", text('H')}}});
    check({"SetAxesDescription 2", {{"AxisSet.AxisCount", "2"}}});
    check({"SetLiftDescription 1", {{"LiftController.AxisCount", "1"}}});
    check({"SetLaserDescription 1", {{"LaserSet.LaserCount", "1"}}});
    check({"SetBatteryDescription 4", {{"BatterySet.BatteryCount", "4"}}});
}

TEST_F(Records, SensorDescriptions) {
    const std::string s = "ext.SonarController.SonarSet[0].";
    check({"SetSonarDescription 1 2 0.5 0.25 0.75 2 3 300 S0 base 0 1 100 0 S1 frame 1 0 7 100",
           Changes{{"SonarController.SonarSetCount", "1"},
                   {sonar_set(0, "SonarCount"), "2"},
                   {s + "MainLobe", text_double(0.5)},
                   {s + "BlindLobe", text_double(0.25)},
                   {s + "SideLobe", text_double(0.75)},
                   {s + "BlindLobeAttenuation", text_double(2)},
                   {s + "SideLobeAttenuation", text_double(3)},
                   {s + "Range", text_double(300)}} +
               pose(s + "Sonar[0]", "S0", "base", 0, 1, 100, 0) +
               pose(s + "Sonar[1]", "S1", "frame", 1, 0, 7, 100)});
    const std::string ir = "ext.InfraredController.InfraredSet[";
    check({"SetInfraredDescription 2 1 10 400 I0 base 0 1 1 2 0 20 500",
           Changes{{"InfraredController.InfraredSetCount", "2"},
                   {"InfraredController.InfraredSet[0].InfraredCount", "1"},
                   {"InfraredController.InfraredSet[1].InfraredCount", "0"},
                   {ir + "0].MainLobe", text_double(10)},
                   {ir + "0].Range", text_double(400)},
                   {ir + "1].MainLobe", text_double(20)},
                   {ir + "1].Range", text_double(500)}} +
               pose(ir + "0].Infrared[0]", "I0", "base", 0, 1, 1, 2)});
    const std::string b = "ext.BumperController.BumperSet[";
    check({"SetBumperDescription 2 1 B0 base 0 1 0 0 1 B1 hull 1 0 5 6",
           Changes{{"BumperController.BumperSetCount", "2"},
                   {"BumperController.BumperSet[0].BumperCount", "1"},
                   {"BumperController.BumperSet[1].BumperCount", "1"}} +
               pose(b + "0].Bumper[0]", "B0", "base", 0, 1, 0, 0) +
               pose(b + "1].Bumper[0]", "B1", "hull", 1, 0, 5, 6)});
    check({"SetK770Description 2 361 K0 base 0 1 0 0 100 K1 mast -1 0 3 4",
           Changes{{"K770Set.K770Count", "2"},
                   {"K770Set.K770[0].TotalPoints", "361"},
                   {"K770Set.K770[0].RequestedPoints", "361"},
                   {"K770Set.K770[1].TotalPoints", "100"},
                   {"K770Set.K770[1].RequestedPoints", "100"}} +
               pose("ext.K770Set.K770[0]", "K0", "base", 0, 1, 0, 0) +
               pose("ext.K770Set.K770[1]", "K1", "mast", -1, 0, 3, 4)});
}

} // namespace
