/* The motion class on the simulator's holonomic base: axis 0 forward, axis 1 to the left (both
 * millimetres in the robot frame), axis 2 rotation (thousandths of a radian, counter-clockwise);
 * the odometry gives x, y in millimetres and Rotation as the heading. */
#include "vx9200.h"

#include <cmath>
#include <stdlib.h>

namespace {

enum { kForward = 0, kLeft = 1, kTurn = 2, kAxes = 3 };
enum { kModeStop = 0, kModeRelative = 2 };
const s32 kBrake = 3000; /* mm/s^2 (and mrad/s^2): the base's hardest braking */

/* Commands one axis; a speed or acceleration of 0 would mean the axis's default, so the
 * smallest real value is 1. */
void command(Q_Axis *axis, int mode, s32 position, double speed, double accel) {
    axis->Mode = static_cast<char>(mode);
    axis->DesiredPosition = position;
    axis->DesiredSpeed = speed < 1.0 ? 1 : static_cast<s32>(std::lround(speed));
    axis->Acceleration = accel < 1.0 ? 1 : static_cast<s32>(std::lround(accel));
    axis->Update = 1;
}

} // namespace

int Cinematic::ZeroRobot(Q_RobotState *state) {
    if (state == nullptr)
        return -1;
    state->Integrator.x = 0;
    state->Integrator.y = 0;
    state->Integrator.Steering = 0;
    state->Integrator.Rotation = 0;
    return Q_SetIntegratedConfiguration(VX_ROBOT_ID);
}

Coord Cinematic::GetOdometry(Q_RobotState *state) {
    Coord pose = {0, 0, 0};
    ReadOdometry(state, &pose);
    return pose;
}

int Cinematic::ReadOdometry(Q_RobotState *state, Coord *pose) {
    if (state == nullptr || Q_GetIntegratedConfiguration(VX_ROBOT_ID) != 0)
        return -1; /* after a failed request the record may be gone */
    pose->x = state->Integrator.x;
    pose->y = state->Integrator.y;
    pose->th = state->Integrator.Rotation;
    return 0;
}

/* The displacement is turned from the map frame into the robot frame by the odometric
 * heading. The translation runs along a straight line at up to the smaller of speed.x and
 * speed.y (acceleration likewise): each axis gets its share, so both arrive together. */
int Cinematic::SetPosition(Q_RobotState *state, Coord d, Coord speed, Coord accel, int mode) {
    if (state == nullptr || mode != kModeRelative || state->AxisSet.AxisCount < kAxes)
        return -1;
    if (Q_GetIntegratedConfiguration(VX_ROBOT_ID) != 0)
        return -1; /* after a failed request the record may be gone */
    double th = state->Integrator.Rotation / 1000.0;
    double fwd = d.x * std::cos(th) + d.y * std::sin(th);
    double left = -d.x * std::sin(th) + d.y * std::cos(th);
    double len = std::hypot(fwd, left);
    double v = abs(speed.x) < abs(speed.y) ? abs(speed.x) : abs(speed.y);
    double a = abs(accel.x) < abs(accel.y) ? abs(accel.x) : abs(accel.y);
    Q_AxisSet *as = &state->AxisSet;
    for (int i = 0; i < kAxes; i++)
        as->Axis[i].Update = 0;
    s32 f = static_cast<s32>(std::lround(fwd)), l = static_cast<s32>(std::lround(left));
    if (f != 0)
        command(&as->Axis[kForward], kModeRelative, f, v * std::fabs(fwd) / len,
                a * std::fabs(fwd) / len);
    if (l != 0)
        command(&as->Axis[kLeft], kModeRelative, l, v * std::fabs(left) / len,
                a * std::fabs(left) / len);
    if (d.th != 0)
        command(&as->Axis[kTurn], kModeRelative, d.th, abs(speed.th), abs(accel.th));
    if (f == 0 && l == 0 && d.th == 0)
        return 0; /* nothing to do */
    return Q_SetAxes(VX_ROBOT_ID);
}

bool Cinematic::Moving(Q_RobotState *state) {
    if (state == nullptr || Q_GetAxes(VX_ROBOT_ID) != 0)
        return false;
    const Q_AxisSet &as = state->AxisSet;
    for (u32 i = 0; i < as.AxisCount && i < Q_MAX_AXES; i++)
        if (as.Axis[i].InProgress)
            return true;
    return false;
}

int Cinematic::Stop(Q_RobotState *state) {
    if (state == nullptr)
        return -1;
    Q_AxisSet *as = &state->AxisSet;
    for (u32 i = 0; i < as->AxisCount && i < Q_MAX_AXES; i++)
        command(&as->Axis[i], kModeStop, 0, 1, kBrake);
    return Q_SetAxes(VX_ROBOT_ID);
}
