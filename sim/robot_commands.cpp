/* Robot set-up and commands (see robot.h). */
#include "robot.h"

#include <cmath>

void ROBOT_Init(ROBOT_Robot *r, int id, double x, double y, double th, const ROBOT_Params *p,
                unsigned seed) {
    *r = ROBOT_Robot();
    r->id = id;
    r->body = -1;
    r->beams.th = NAN;
    r->x = x;
    r->y = y;
    r->th = std::remainder(th, 2 * M_PI);
    for (int s = 0; s < ROBOT_SETS; s++) {
        r->firing_delay[s] = 40;
        r->blanking[s] = 1;
        for (int i = 0; i < ROBOT_PER_SET; i++) {
            r->firing[s][i] = i;
            r->sonar_cache[s][i] = (long)ROBOT_SONAR_RANGE;
        }
        r->firing_count[s] = ROBOT_PER_SET;
    }
    r->laser = ROBOT_Laser{1, 1, 1, 0, 0.0, 0.0, 0.0, 180, 181, 1, 1};
    for (int i = 0; i < ROBOT_BATTERIES; i++)
        r->battery[i] = p->battery[i];
    r->rng.seed(seed);
}

static void command(ROBOT_Axis *a, long mode, long position, long speed, long accel) {
    a->mode = (int)mode;
    a->cmd_position = position;
    a->cmd_speed = speed;
    a->cmd_accel = accel;
    a->accel = (double)accel;
    a->desired_speed = (double)speed;
    if (mode == ROBOT_MODE_RELATIVE)
        a->target = a->traj_pos + (double)position;
    else if (mode == ROBOT_MODE_ABSOLUTE)
        a->target = (double)position;
    else
        a->target = a->traj_pos;
    a->in_progress = mode != ROBOT_MODE_STOP || a->traj_vel != 0;
}

static bool valid(long mode, long accel) {
    return mode >= ROBOT_MODE_STOP && mode <= ROBOT_MODE_ABSOLUTE && accel >= 0;
}

int ROBOT_CommandAxis(ROBOT_Robot *r, int axis, long mode, long position, long speed, long accel) {
    if (axis < 0 || axis >= ROBOT_AXES || !valid(mode, accel))
        return -2;
    r->contact = false;
    command(&r->axis[axis], mode, position, speed, accel);
    return 0;
}

int ROBOT_CommandLift(ROBOT_Robot *r, long mode, long position, long speed, long accel,
                      long max_motor) {
    if (!valid(mode, accel))
        return -2;
    command(&r->lift, mode, position, speed, accel);
    r->lift.max_motor = max_motor;
    return 0;
}

void ROBOT_DeployLift(ROBOT_Robot *r, bool deploy) {
    if (r->lift_deployed != deploy)
        r->lift_deploy_left = 1000; /* the mechanism takes a simulated second */
    r->lift_deployed = deploy;
    if (!deploy)
        command(&r->lift, ROBOT_MODE_ABSOLUTE, 0, 0, 0);
}

int ROBOT_ZeroLift(ROBOT_Robot *r, bool force) {
    if (!force && (r->lift.traj_vel != 0 || r->lift.in_progress))
        return -2;
    r->lift.mode = ROBOT_MODE_STOP;
    r->lift.pos = r->lift.traj_pos = r->lift.target = 0;
    r->lift.vel = r->lift.traj_vel = 0;
    r->lift.in_progress = false;
    return 0;
}

static double unit(double v) { return std::isfinite(v) ? std::fmax(-1.0, std::fmin(1.0, v)) : 0; }

void ROBOT_Joystick(ROBOT_Robot *r, double x, double y, double theta, int a, int b, int c) {
    r->joy_x = unit(x);
    r->joy_y = unit(y);
    r->joy_theta = unit(theta);
    r->joy_a = a;
    r->joy_b = b;
    r->joy_c = c;
    const double vmax[ROBOT_AXES] = {1500, 1500, 3142};
    const double v[ROBOT_AXES] = {r->joy_x, r->joy_y, r->joy_theta};
    r->contact = false;
    for (int i = 0; i < ROBOT_AXES; i++)
        command(&r->axis[i], ROBOT_MODE_VELOCITY, 0, std::lround(v[i] * vmax[i]), 0);
}

void ROBOT_SetOdometry(ROBOT_Robot *r, long x, long y, long steering, long rotation) {
    r->ox = (double)x;
    r->oy = (double)y;
    r->ost = (double)steering / 1000.0;
    r->oth = (double)rotation / 1000.0;
}

int ROBOT_Place(ROBOT_Robot *r, WORLD_World *w, double x, double y, double th) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(th) ||
        WORLD_DiscCollides(w, x, y, ROBOT_RADIUS, r->body))
        return -2;
    r->x = x;
    r->y = y;
    WORLD_MoveBody(w, r->body, x, y);
    r->th = std::remainder(th, 2 * M_PI);
    r->contact = false;
    return 0;
}

long ROBOT_Mrad(double radians) {
    long m = std::lround(std::fmod(radians, 2 * M_PI) * 1000.0);
    if (m < 0)
        m += 6283;
    return m >= 6283 ? m - 6283 : m;
}
