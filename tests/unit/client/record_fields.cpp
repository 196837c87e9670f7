// Whole-record comparison of a robot state block (see record_fields.h).
#include "record_fields.h"

#include "matrix.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace records {

namespace {

std::string at(const std::string &path, int i) { return path + "[" + std::to_string(i) + "]"; }

// A field's path is handed on as a function that makes it: only the first walk needs the paths
// (they are the same for every block), and making them all is what a walk costs most.
#define FIELD(path, field) f([&] { return std::string(path); }, field)
#define SENSOR(path, sensor_field) sensor([&] { return std::string(path); }, sensor_field)

// Calls f(path, field) for every scalar field of the state record, in declaration order.
template <typename R, typename F> void visit_state(R &rs, F &&f) {
    FIELD("RobotID", rs.RobotID);
    FIELD("RobotType", rs.RobotType);
    auto &in = rs.Integrator;
    FIELD("Integrator.DataActive", in.DataActive);
    FIELD("Integrator.TimeStampActive", in.TimeStampActive);
    FIELD("Integrator.x", in.x);
    FIELD("Integrator.y", in.y);
    FIELD("Integrator.Steering", in.Steering);
    FIELD("Integrator.Rotation", in.Rotation);
    FIELD("Integrator.TimeStamp", in.TimeStamp);

    auto &as = rs.AxisSet;
    FIELD("AxisSet.Global", as.Global);
    FIELD("AxisSet.Status", as.Status);
    FIELD("AxisSet.AxisCount", as.AxisCount);
    for (int i = 0; i < Q_MAX_AXES; i++) {
        auto &a = as.Axis[i];
        std::string p = at("AxisSet.Axis", i) + ".";
        FIELD(p + "DataActive", a.DataActive);
        FIELD(p + "TimeStampActive", a.TimeStampActive);
        FIELD(p + "Update", a.Update);
        FIELD(p + "TimeStamp", a.TimeStamp);
        FIELD(p + "Mode", a.Mode);
        FIELD(p + "DesiredPosition", a.DesiredPosition);
        FIELD(p + "DesiredSpeed", a.DesiredSpeed);
        FIELD(p + "Acceleration", a.Acceleration);
        FIELD(p + "TrajectoryPosition", a.TrajectoryPosition);
        FIELD(p + "TrajectoryVelocity", a.TrajectoryVelocity);
        FIELD(p + "ActualPosition", a.ActualPosition);
        FIELD(p + "ActualVelocity", a.ActualVelocity);
        FIELD(p + "InProgress", a.InProgress);
    }

    auto &lc = rs.LiftController;
    FIELD("LiftController.Deployed", lc.Deployed);
    FIELD("LiftController.InProgress", lc.InProgress);
    FIELD("LiftController.AxisCount", lc.AxisCount);
    for (int i = 0; i < Q_MAX_LIFT_AXES; i++) {
        auto &a = lc.Axis[i];
        std::string p = at("LiftController.Axis", i) + ".";
        FIELD(p + "DataActive", a.DataActive);
        FIELD(p + "TimeStampActive", a.TimeStampActive);
        FIELD(p + "Update", a.Update);
        FIELD(p + "TimeStamp", a.TimeStamp);
        FIELD(p + "Mode", a.Mode);
        FIELD(p + "Status", a.Status);
        FIELD(p + "DesiredPosition", a.DesiredPosition);
        FIELD(p + "DesiredVelocity", a.DesiredVelocity);
        FIELD(p + "MaxMotor", a.MaxMotor);
        FIELD(p + "Acceleration", a.Acceleration);
        FIELD(p + "Position", a.Position);
        FIELD(p + "Velocity", a.Velocity);
    }

    auto &j = rs.Joystick;
    FIELD("Joystick.X", j.X);
    FIELD("Joystick.Y", j.Y);
    FIELD("Joystick.Theta", j.Theta);
    FIELD("Joystick.ButtonA", j.ButtonA);
    FIELD("Joystick.ButtonB", j.ButtonB);
    FIELD("Joystick.ButtonC", j.ButtonC);

    auto &sc = rs.SonarController;
    FIELD("SonarController.SonarSetCount", sc.SonarSetCount);
    for (int i = 0; i < Q_MAX_SONAR_SETS; i++) {
        auto &s = sc.SonarSet[i];
        std::string p = at("SonarController.SonarSet", i) + ".";
        for (int k = 0; k < Q_MAX_FIRING_ORDER; k++)
            FIELD(at(p + "FiringOrder", k), s.FiringOrder[k]);
        FIELD(p + "FiringDelay", s.FiringDelay);
        FIELD(p + "BlankingInterval", s.BlankingInterval);
        FIELD(p + "DataActive", s.DataActive);
        FIELD(p + "TimeStampActive", s.TimeStampActive);
        FIELD(p + "SonarCount", s.SonarCount);
        for (int k = 0; k < Q_MAX_SONARS; k++) {
            FIELD(at(p + "Sonar", k) + ".Reading", s.Sonar[k].Reading);
            FIELD(at(p + "Sonar", k) + ".TimeStamp", s.Sonar[k].TimeStamp);
        }
    }
    FIELD("SonarController.SonarPaused", sc.SonarPaused);

    auto &ic = rs.InfraredController;
    FIELD("InfraredController.InfraredPaused", ic.InfraredPaused);
    FIELD("InfraredController.InfraredSetCount", ic.InfraredSetCount);
    for (int i = 0; i < Q_MAX_INFRARED_SETS; i++) {
        auto &s = ic.InfraredSet[i];
        std::string p = at("InfraredController.InfraredSet", i) + ".";
        FIELD(p + "DataActive", s.DataActive);
        FIELD(p + "TimeStampActive", s.TimeStampActive);
        FIELD(p + "InfraredCount", s.InfraredCount);
        for (int k = 0; k < Q_MAX_INFRAREDS; k++) {
            FIELD(at(p + "Infrared", k) + ".Reading", s.Infrared[k].Reading);
            FIELD(at(p + "Infrared", k) + ".TimeStamp", s.Infrared[k].TimeStamp);
        }
    }

    auto &bc = rs.BumperController;
    FIELD("BumperController.BumperSetCount", bc.BumperSetCount);
    for (int i = 0; i < Q_MAX_BUMPER_SETS; i++) {
        auto &s = bc.BumperSet[i];
        std::string p = at("BumperController.BumperSet", i) + ".";
        FIELD(p + "DataActive", s.DataActive);
        FIELD(p + "TimeStampActive", s.TimeStampActive);
        FIELD(p + "BumperCount", s.BumperCount);
        for (int k = 0; k < Q_MAX_BUMPERS; k++) {
            FIELD(at(p + "Bumper", k) + ".Reading", s.Bumper[k].Reading);
            FIELD(at(p + "Bumper", k) + ".TimeStamp", s.Bumper[k].TimeStamp);
        }
    }

    auto &c = rs.Compass;
    FIELD("Compass.Reading", c.Reading);
    FIELD("Compass.TimeStamp", c.TimeStamp);
    FIELD("Compass.DataActive", c.DataActive);
    FIELD("Compass.TimeStampActive", c.TimeStampActive);

    FIELD("LaserSet.LaserCount", rs.LaserSet.LaserCount);
    for (int i = 0; i < Q_MAX_LASERS; i++) {
        auto &l = rs.LaserSet.Laser[i];
        std::string p = at("LaserSet.Laser", i) + ".";
        FIELD(p + "Power", l.Power);
        FIELD(p + "DataType", l.DataType);
        FIELD(p + "PointType", l.PointType);
        FIELD(p + "IntegrityChecking", l.IntegrityChecking);
        FIELD(p + "Threshold", l.Threshold);
        FIELD(p + "Width", l.Width);
        FIELD(p + "SamplingCount", l.SamplingCount);
        FIELD(p + "MedianWindow", l.MedianWindow);
        FIELD(p + "Fitting", l.Fitting);
        FIELD(p + "MinPoint", l.MinPoint);
        FIELD(p + "Gap", l.Gap);
        FIELD(p + "DataActive", l.DataActive);
        FIELD(p + "TimeStampActive", l.TimeStampActive);
        FIELD(p + "TimeStamp", l.TimeStamp);
        FIELD(p + "DataCount", l.DataCount);
        for (int k = 0; k < Q_MAX_LASER_DATA; k++)
            FIELD(at(p + "Data", k), l.Data[k]);
    }

    FIELD("K770Set.K770Count", rs.K770Set.K770Count);
    for (int i = 0; i < Q_MAX_K770; i++) {
        auto &k7 = rs.K770Set.K770[i];
        std::string p = at("K770Set.K770", i) + ".";
        FIELD(p + "TotalPoints", k7.TotalPoints);
        FIELD(p + "RequestedPoints", k7.RequestedPoints);
        for (int k = 0; k < Q_MAX_K770_POINTS; k++)
            FIELD(at(p + "Readings", k), k7.Readings[k]);
        for (int k = 0; k < Q_MAX_K770_POINTS; k++)
            FIELD(at(p + "StatusFlags", k), k7.StatusFlags[k]);
        FIELD(p + "SummaryFlags", k7.SummaryFlags);
        FIELD(p + "TimeStamp", k7.TimeStamp);
        FIELD(p + "DataActive", k7.DataActive);
        FIELD(p + "TimeStampActive", k7.TimeStampActive);
    }

    auto &bs = rs.BatterySet;
    FIELD("BatterySet.BatteryCount", bs.BatteryCount);
    for (int i = 0; i < Q_MAX_BATTERIES; i++)
        FIELD(at("BatterySet.Battery", i) + ".Voltage", bs.Battery[i].Voltage);
    FIELD("BatterySet.DataActive", bs.DataActive);

    FIELD("Timer.Timeout", rs.Timer.Timeout);
    FIELD("Timer.Time", rs.Timer.Time);
}

// Calls sensor(path, description) for every sensor description and f(path, field) for every
// other field of the description record, in declaration order.
template <typename X, typename F, typename S> void visit_ext(X &x, F &&f, S &&sensor) {
    for (int i = 0; i < Q_MAX_SONAR_SETS; i++) {
        auto &s = x.SonarController.SonarSet[i];
        std::string p = at("ext.SonarController.SonarSet", i) + ".";
        FIELD(p + "MainLobe", s.MainLobe);
        FIELD(p + "BlindLobe", s.BlindLobe);
        FIELD(p + "SideLobe", s.SideLobe);
        FIELD(p + "BlindLobeAttenuation", s.BlindLobeAttenuation);
        FIELD(p + "SideLobeAttenuation", s.SideLobeAttenuation);
        FIELD(p + "Range", s.Range);
        for (int k = 0; k < Q_MAX_SONARS; k++)
            SENSOR(at(p + "Sonar", k), s.Sonar[k]);
    }
    for (int i = 0; i < Q_MAX_INFRARED_SETS; i++) {
        auto &s = x.InfraredController.InfraredSet[i];
        std::string p = at("ext.InfraredController.InfraredSet", i) + ".";
        FIELD(p + "Dependency", s.Dependency);
        FIELD(p + "MainLobe", s.MainLobe);
        FIELD(p + "Range", s.Range);
        for (int k = 0; k < Q_MAX_INFRAREDS; k++)
            SENSOR(at(p + "Infrared", k), s.Infrared[k]);
    }
    for (int i = 0; i < Q_MAX_BUMPER_SETS; i++)
        for (int k = 0; k < Q_MAX_BUMPERS; k++)
            SENSOR(at(at("ext.BumperController.BumperSet", i) + ".Bumper", k),
                   x.BumperController.BumperSet[i].Bumper[k]);
    for (int i = 0; i < Q_MAX_K770; i++)
        SENSOR(at("ext.K770Set.K770", i), x.K770Set.K770[i]);
}

std::string value_text(double v) { return text_double(v); }
std::string value_text(char v) { return text(v); }
std::string value_text(unsigned char v) { return text(v); }
std::string value_text(s16 v) { return text(v); }
std::string value_text(u16 v) { return text(v); }
std::string value_text(s32 v) { return text(v); }
std::string value_text(u32 v) { return text(v); }

// The next distinct value for a field of each type: never 0 or 1, and different from every
// other field of its width.
struct Filler {
    long long next = 2;
    long long take(long long modulo) {
        long long v = next++ % modulo;
        return v < 2 ? v + 2 : v;
    }
    template <typename Path> void operator()(const Path &, double &v) {
        v = (double)take(1LL << 40) + 0.25;
    }
    template <typename Path> void operator()(const Path &, char &v) { v = (char)take(120); }
    template <typename Path> void operator()(const Path &, unsigned char &v) {
        v = (unsigned char)take(250);
    }
    template <typename Path> void operator()(const Path &, s16 &v) { v = (s16)take(30000); }
    template <typename Path> void operator()(const Path &, u16 &v) { v = (u16)take(60000); }
    template <typename Path> void operator()(const Path &, s32 &v) {
        v = (s32)(100000 + take(1LL << 30));
    }
    template <typename Path> void operator()(const Path &, u32 &v) {
        v = (u32)(200000 + take(1LL << 30));
    }
};

// The values of every field of a block, in the order of the walks.
std::vector<std::string> values_of(const HCLNT_UserData &block) {
    std::vector<std::string> out;
    out.reserve(8000);
    visit_state(block.rs, [&](const auto &, const auto &v) { out.push_back(value_text(v)); });
    visit_ext(
        block.rs_ext, [&](const auto &, const auto &v) { out.push_back(value_text(v)); },
        [&](const auto &, const Q_XSensor &s) {
            out.push_back(text_string(s.ID));
            out.push_back(text_string(s.Reference));
            for (int k = 0; k < 9; k++)
                out.push_back(s.Configuration ? text_double((*s.Configuration)[k]) : "null");
        });
    return out;
}

// The paths of every field, in the same order; made once.
const std::vector<std::string> &paths() {
    static const std::vector<std::string> made = [] {
        std::vector<std::string> out;
        HCLNT_UserData block{};
        visit_state(block.rs, [&](const auto &path, const auto &) { out.push_back(path()); });
        visit_ext(
            block.rs_ext, [&](const auto &path, const auto &) { out.push_back(path()); },
            [&](const auto &path, const Q_XSensor &) {
                std::string p = path();
                out.push_back(p + ".ID");
                out.push_back(p + ".Reference");
                for (int k = 0; k < 9; k++)
                    out.push_back(at(p + ".Configuration", k));
            });
        return out;
    }();
    return made;
}

} // namespace

std::string text(long long v) { return std::to_string(v); }

std::string text_double(double v) {
    char buf[40];
    auto end = std::to_chars(buf, buf + sizeof buf, v).ptr; // shortest text that reads back as v
    return std::string(buf, end);
}

std::string text_string(const char *s) { return s ? "\"" + std::string(s) + "\"" : "null"; }

Fields fields_of(const HCLNT_UserData &block) {
    std::vector<std::string> values = values_of(block);
    const std::vector<std::string> &names = paths();
    Fields out;
    out.reserve(values.size());
    for (size_t i = 0; i < values.size(); i++)
        out.push_back(Field{names[i], values[i]});
    return out;
}

void fill_distinct(HCLNT_UserData &block) {
    Filler fill;
    visit_state(block.rs, fill);
    visit_ext(block.rs_ext, fill, [&](const auto &path, Q_XSensor &s) {
        std::string p = path();
        free(s.ID);
        free(s.Reference);
        s.ID = strdup(("id " + p).c_str());
        s.Reference = strdup(("frame " + p).c_str());
        if (s.Configuration == nullptr)
            s.Configuration = GEO_AllocMatrix();
        if (s.Configuration != nullptr)
            for (int k = 0; k < 9; k++)
                fill(p, (*s.Configuration)[k]);
    });
}

Fields with_changes(Fields fields, const std::vector<std::pair<std::string, std::string>> &changes,
                    std::string *unknown) {
    static const std::unordered_map<std::string, size_t> index = [] {
        std::unordered_map<std::string, size_t> made;
        const std::vector<std::string> &names = paths();
        for (size_t i = 0; i < names.size(); i++)
            made.emplace(names[i], i);
        return made;
    }();
    for (const auto &c : changes) {
        auto it = index.find(c.first);
        if (it == index.end() || it->second >= fields.size())
            *unknown += c.first + " ";
        else
            fields[it->second].value = c.second;
    }
    return fields;
}

std::string diff(const Fields &before, const Fields &expected, const Fields &found) {
    std::string out;
    for (size_t i = 0; i < expected.size() && i < found.size(); i++)
        if (expected[i].value != found[i].value)
            out += "  " + expected[i].name + ": expected " + expected[i].value + ", found " +
                   found[i].value + " (before: " + before[i].value + ")\n";
    if (expected.size() != found.size())
        out += "  the records have different numbers of fields\n";
    return out;
}

} // namespace records
