// Whole-record comparison of a robot state block (see record_fields.h).
#include "record_fields.h"

#include "matrix.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace records {

namespace {

std::string at(const std::string &path, int i) { return path + "[" + std::to_string(i) + "]"; }

// Calls f(path, field) for every scalar field of the state record, in declaration order.
template <typename R, typename F> void visit_state(R &rs, F &&f) {
    f("RobotID", rs.RobotID);
    f("RobotType", rs.RobotType);
    auto &in = rs.Integrator;
    f("Integrator.DataActive", in.DataActive);
    f("Integrator.TimeStampActive", in.TimeStampActive);
    f("Integrator.x", in.x);
    f("Integrator.y", in.y);
    f("Integrator.Steering", in.Steering);
    f("Integrator.Rotation", in.Rotation);
    f("Integrator.TimeStamp", in.TimeStamp);

    auto &as = rs.AxisSet;
    f("AxisSet.Global", as.Global);
    f("AxisSet.Status", as.Status);
    f("AxisSet.AxisCount", as.AxisCount);
    for (int i = 0; i < Q_MAX_AXES; i++) {
        auto &a = as.Axis[i];
        std::string p = at("AxisSet.Axis", i) + ".";
        f(p + "DataActive", a.DataActive);
        f(p + "TimeStampActive", a.TimeStampActive);
        f(p + "Update", a.Update);
        f(p + "TimeStamp", a.TimeStamp);
        f(p + "Mode", a.Mode);
        f(p + "DesiredPosition", a.DesiredPosition);
        f(p + "DesiredSpeed", a.DesiredSpeed);
        f(p + "Acceleration", a.Acceleration);
        f(p + "TrajectoryPosition", a.TrajectoryPosition);
        f(p + "TrajectoryVelocity", a.TrajectoryVelocity);
        f(p + "ActualPosition", a.ActualPosition);
        f(p + "ActualVelocity", a.ActualVelocity);
        f(p + "InProgress", a.InProgress);
    }

    auto &lc = rs.LiftController;
    f("LiftController.Deployed", lc.Deployed);
    f("LiftController.InProgress", lc.InProgress);
    f("LiftController.AxisCount", lc.AxisCount);
    for (int i = 0; i < Q_MAX_LIFT_AXES; i++) {
        auto &a = lc.Axis[i];
        std::string p = at("LiftController.Axis", i) + ".";
        f(p + "DataActive", a.DataActive);
        f(p + "TimeStampActive", a.TimeStampActive);
        f(p + "Update", a.Update);
        f(p + "TimeStamp", a.TimeStamp);
        f(p + "Mode", a.Mode);
        f(p + "Status", a.Status);
        f(p + "DesiredPosition", a.DesiredPosition);
        f(p + "DesiredVelocity", a.DesiredVelocity);
        f(p + "MaxMotor", a.MaxMotor);
        f(p + "Acceleration", a.Acceleration);
        f(p + "Position", a.Position);
        f(p + "Velocity", a.Velocity);
    }

    auto &j = rs.Joystick;
    f("Joystick.X", j.X);
    f("Joystick.Y", j.Y);
    f("Joystick.Theta", j.Theta);
    f("Joystick.ButtonA", j.ButtonA);
    f("Joystick.ButtonB", j.ButtonB);
    f("Joystick.ButtonC", j.ButtonC);

    auto &sc = rs.SonarController;
    f("SonarController.SonarSetCount", sc.SonarSetCount);
    for (int i = 0; i < Q_MAX_SONAR_SETS; i++) {
        auto &s = sc.SonarSet[i];
        std::string p = at("SonarController.SonarSet", i) + ".";
        for (int k = 0; k < Q_MAX_FIRING_ORDER; k++)
            f(at(p + "FiringOrder", k), s.FiringOrder[k]);
        f(p + "FiringDelay", s.FiringDelay);
        f(p + "BlankingInterval", s.BlankingInterval);
        f(p + "DataActive", s.DataActive);
        f(p + "TimeStampActive", s.TimeStampActive);
        f(p + "SonarCount", s.SonarCount);
        for (int k = 0; k < Q_MAX_SONARS; k++) {
            f(at(p + "Sonar", k) + ".Reading", s.Sonar[k].Reading);
            f(at(p + "Sonar", k) + ".TimeStamp", s.Sonar[k].TimeStamp);
        }
    }
    f("SonarController.SonarPaused", sc.SonarPaused);

    auto &ic = rs.InfraredController;
    f("InfraredController.InfraredPaused", ic.InfraredPaused);
    f("InfraredController.InfraredSetCount", ic.InfraredSetCount);
    for (int i = 0; i < Q_MAX_INFRARED_SETS; i++) {
        auto &s = ic.InfraredSet[i];
        std::string p = at("InfraredController.InfraredSet", i) + ".";
        f(p + "DataActive", s.DataActive);
        f(p + "TimeStampActive", s.TimeStampActive);
        f(p + "InfraredCount", s.InfraredCount);
        for (int k = 0; k < Q_MAX_INFRAREDS; k++) {
            f(at(p + "Infrared", k) + ".Reading", s.Infrared[k].Reading);
            f(at(p + "Infrared", k) + ".TimeStamp", s.Infrared[k].TimeStamp);
        }
    }

    auto &bc = rs.BumperController;
    f("BumperController.BumperSetCount", bc.BumperSetCount);
    for (int i = 0; i < Q_MAX_BUMPER_SETS; i++) {
        auto &s = bc.BumperSet[i];
        std::string p = at("BumperController.BumperSet", i) + ".";
        f(p + "DataActive", s.DataActive);
        f(p + "TimeStampActive", s.TimeStampActive);
        f(p + "BumperCount", s.BumperCount);
        for (int k = 0; k < Q_MAX_BUMPERS; k++) {
            f(at(p + "Bumper", k) + ".Reading", s.Bumper[k].Reading);
            f(at(p + "Bumper", k) + ".TimeStamp", s.Bumper[k].TimeStamp);
        }
    }

    auto &c = rs.Compass;
    f("Compass.Reading", c.Reading);
    f("Compass.TimeStamp", c.TimeStamp);
    f("Compass.DataActive", c.DataActive);
    f("Compass.TimeStampActive", c.TimeStampActive);

    f("LaserSet.LaserCount", rs.LaserSet.LaserCount);
    for (int i = 0; i < Q_MAX_LASERS; i++) {
        auto &l = rs.LaserSet.Laser[i];
        std::string p = at("LaserSet.Laser", i) + ".";
        f(p + "Power", l.Power);
        f(p + "DataType", l.DataType);
        f(p + "PointType", l.PointType);
        f(p + "IntegrityChecking", l.IntegrityChecking);
        f(p + "Threshold", l.Threshold);
        f(p + "Width", l.Width);
        f(p + "SamplingCount", l.SamplingCount);
        f(p + "MedianWindow", l.MedianWindow);
        f(p + "Fitting", l.Fitting);
        f(p + "MinPoint", l.MinPoint);
        f(p + "Gap", l.Gap);
        f(p + "DataActive", l.DataActive);
        f(p + "TimeStampActive", l.TimeStampActive);
        f(p + "TimeStamp", l.TimeStamp);
        f(p + "DataCount", l.DataCount);
        for (int k = 0; k < Q_MAX_LASER_DATA; k++)
            f(at(p + "Data", k), l.Data[k]);
    }

    f("K770Set.K770Count", rs.K770Set.K770Count);
    for (int i = 0; i < Q_MAX_K770; i++) {
        auto &k7 = rs.K770Set.K770[i];
        std::string p = at("K770Set.K770", i) + ".";
        f(p + "TotalPoints", k7.TotalPoints);
        f(p + "RequestedPoints", k7.RequestedPoints);
        for (int k = 0; k < Q_MAX_K770_POINTS; k++)
            f(at(p + "Readings", k), k7.Readings[k]);
        for (int k = 0; k < Q_MAX_K770_POINTS; k++)
            f(at(p + "StatusFlags", k), k7.StatusFlags[k]);
        f(p + "SummaryFlags", k7.SummaryFlags);
        f(p + "TimeStamp", k7.TimeStamp);
        f(p + "DataActive", k7.DataActive);
        f(p + "TimeStampActive", k7.TimeStampActive);
    }

    auto &bs = rs.BatterySet;
    f("BatterySet.BatteryCount", bs.BatteryCount);
    for (int i = 0; i < Q_MAX_BATTERIES; i++)
        f(at("BatterySet.Battery", i) + ".Voltage", bs.Battery[i].Voltage);
    f("BatterySet.DataActive", bs.DataActive);

    f("Timer.Timeout", rs.Timer.Timeout);
    f("Timer.Time", rs.Timer.Time);
}

// Calls sensor(path, description) for every sensor description and f(path, field) for every
// other field of the description record, in declaration order.
template <typename X, typename F, typename S> void visit_ext(X &x, F &&f, S &&sensor) {
    for (int i = 0; i < Q_MAX_SONAR_SETS; i++) {
        auto &s = x.SonarController.SonarSet[i];
        std::string p = at("ext.SonarController.SonarSet", i) + ".";
        f(p + "MainLobe", s.MainLobe);
        f(p + "BlindLobe", s.BlindLobe);
        f(p + "SideLobe", s.SideLobe);
        f(p + "BlindLobeAttenuation", s.BlindLobeAttenuation);
        f(p + "SideLobeAttenuation", s.SideLobeAttenuation);
        f(p + "Range", s.Range);
        for (int k = 0; k < Q_MAX_SONARS; k++)
            sensor(at(p + "Sonar", k), s.Sonar[k]);
    }
    for (int i = 0; i < Q_MAX_INFRARED_SETS; i++) {
        auto &s = x.InfraredController.InfraredSet[i];
        std::string p = at("ext.InfraredController.InfraredSet", i) + ".";
        f(p + "Dependency", s.Dependency);
        f(p + "MainLobe", s.MainLobe);
        f(p + "Range", s.Range);
        for (int k = 0; k < Q_MAX_INFRAREDS; k++)
            sensor(at(p + "Infrared", k), s.Infrared[k]);
    }
    for (int i = 0; i < Q_MAX_BUMPER_SETS; i++)
        for (int k = 0; k < Q_MAX_BUMPERS; k++)
            sensor(at(at("ext.BumperController.BumperSet", i) + ".Bumper", k),
                   x.BumperController.BumperSet[i].Bumper[k]);
    for (int i = 0; i < Q_MAX_K770; i++)
        sensor(at("ext.K770Set.K770", i), x.K770Set.K770[i]);
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
    void operator()(const std::string &, double &v) { v = (double)take(1LL << 40) + 0.25; }
    void operator()(const std::string &, char &v) { v = (char)take(120); }
    void operator()(const std::string &, unsigned char &v) { v = (unsigned char)take(250); }
    void operator()(const std::string &, s16 &v) { v = (s16)take(30000); }
    void operator()(const std::string &, u16 &v) { v = (u16)take(60000); }
    void operator()(const std::string &, s32 &v) { v = (s32)(100000 + take(1LL << 30)); }
    void operator()(const std::string &, u32 &v) { v = (u32)(200000 + take(1LL << 30)); }
};

} // namespace

std::string text(long long v) { return std::to_string(v); }

std::string text_double(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string text_string(const char *s) { return s ? "\"" + std::string(s) + "\"" : "null"; }

Fields fields_of(const HCLNT_UserData &block) {
    Fields out;
    out.reserve(8000);
    visit_state(block.rs, [&](const std::string &name, const auto &v) {
        out.push_back(Field{name, value_text(v)});
    });
    visit_ext(
        block.rs_ext,
        [&](const std::string &name, const auto &v) {
            out.push_back(Field{name, value_text(v)});
        },
        [&](const std::string &name, const Q_XSensor &s) {
            out.push_back(Field{name + ".ID", text_string(s.ID)});
            out.push_back(Field{name + ".Reference", text_string(s.Reference)});
            for (int k = 0; k < 9; k++)
                out.push_back(Field{at(name + ".Configuration", k),
                                    s.Configuration ? text_double((*s.Configuration)[k]) : "null"});
        });
    return out;
}

void fill_distinct(HCLNT_UserData &block) {
    Filler fill;
    visit_state(block.rs, fill);
    visit_ext(block.rs_ext, fill, [&](const std::string &name, Q_XSensor &s) {
        free(s.ID);
        free(s.Reference);
        s.ID = strdup(("id " + name).c_str());
        s.Reference = strdup(("frame " + name).c_str());
        if (s.Configuration == nullptr)
            s.Configuration = GEO_AllocMatrix();
        if (s.Configuration != nullptr)
            for (int k = 0; k < 9; k++)
                fill(name, (*s.Configuration)[k]);
    });
}

Fields with_changes(Fields fields, const std::vector<std::pair<std::string, std::string>> &changes,
                    std::string *unknown) {
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < fields.size(); i++)
        index[fields[i].name] = i;
    for (const auto &c : changes) {
        auto it = index.find(c.first);
        if (it == index.end())
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
