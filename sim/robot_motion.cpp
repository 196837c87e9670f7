/* Robot motion: axis profiles, integration of the base with collision, odometry, lift,
 * watchdog and battery drain (see robot.h). */
#include "robot.h"

#include <cmath>

namespace {

/* Limits and defaults of one axis: maximum speed and acceleration, and the values a command
 * that leaves them at 0 gets. */
struct limits {
    double vmax, amax, vdefault, adefault;
};

const limits drive_limits[ROBOT_AXES] = {
    {1500, 3000, 400, 800},  /* forward, mm */
    {1500, 3000, 400, 800},  /* sideways, mm */
    {3142, 6000, 1000, 2000} /* rotation, mrad */
};
const limits lift_limits = {200, 400, 100, 200};

double approach(double v, double goal, double step) {
    if (v < goal)
        return v + step < goal ? v + step : goal;
    return v - step > goal ? v - step : goal;
}

bool position_mode(int mode) { return mode == ROBOT_MODE_RELATIVE || mode == ROBOT_MODE_ABSOLUTE; }

/* One step of an axis's profile generator: updates traj_pos and traj_vel. */
void profile(ROBOT_Axis *a, const limits &l, double dt) {
    double acc = a->accel > 0 ? std::fmin(a->accel, l.amax) : l.adefault;
    double goal = 0, rem = 0;
    if (a->mode == ROBOT_MODE_VELOCITY) {
        goal = std::fmax(-l.vmax, std::fmin(l.vmax, a->desired_speed));
    } else if (position_mode(a->mode)) {
        rem = a->target - a->traj_pos;
        double speed =
            a->desired_speed != 0 ? std::fmin(std::fabs(a->desired_speed), l.vmax) : l.vdefault;
        goal = std::copysign(std::fmin(speed, std::sqrt(2 * acc * std::fabs(rem))), rem);
    }
    double v = approach(a->traj_vel, goal, acc * dt);
    if (position_mode(a->mode) && (std::fabs(rem) <= std::fabs(v * dt) || std::fabs(rem) < 1e-3)) {
        /* The last step lands on the target. */
        a->traj_pos = a->target;
        a->traj_vel = 0;
        a->in_progress = false;
        return;
    }
    a->traj_pos += v * dt;
    a->traj_vel = v;
    a->in_progress = position_mode(a->mode) || v != 0;
}

void halt(ROBOT_Axis *a) {
    a->mode = ROBOT_MODE_STOP;
    a->traj_pos = a->pos;
    a->target = a->pos;
    a->traj_vel = 0;
    a->vel = 0;
    a->in_progress = false;
}

/* Largest fraction of the step (dx, dy) the body can travel without touching anything. */
double free_fraction(const ROBOT_Robot *r, const WORLD_World *w, double dx, double dy) {
    if (!WORLD_DiscCollides(w, r->x + dx, r->y + dy, ROBOT_RADIUS, r->body))
        return 1;
    double lo = 0, hi = 1;
    for (int i = 0; i < 14; i++) {
        double mid = (lo + hi) / 2;
        if (WORLD_DiscCollides(w, r->x + mid * dx, r->y + mid * dy, ROBOT_RADIUS, r->body))
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

/* Adds one step, given in the robot frame, to the odometry, with the seeded drift. */
void integrate_odometry(ROBOT_Robot *r, const ROBOT_Params *p, double fx, double fy, double dth) {
    if (p->odo_drift > 0 && (fx != 0 || fy != 0 || dth != 0)) {
        std::normal_distribution<double> n(0.0, p->odo_drift);
        fx *= 1 + n(r->rng);
        fy *= 1 + n(r->rng);
        dth *= 1 + n(r->rng);
    }
    double mid = r->oth + dth / 2;
    r->ox += fx * std::cos(mid) - fy * std::sin(mid);
    r->oy += fx * std::sin(mid) + fy * std::cos(mid);
    r->oth += dth;
    r->ost += dth;
}

void step_base(ROBOT_Robot *r, WORLD_World *w, const ROBOT_Params *p, double dt) {
    double inc[ROBOT_AXES];
    for (int i = 0; i < ROBOT_AXES; i++) {
        double before = r->axis[i].traj_pos;
        profile(&r->axis[i], drive_limits[i], dt);
        inc[i] = r->axis[i].traj_pos - before;
    }
    double dth = inc[2] / 1000.0;
    double mid = r->th + dth / 2;
    double dx = inc[0] * std::cos(mid) - inc[1] * std::sin(mid);
    double dy = inc[0] * std::sin(mid) + inc[1] * std::cos(mid);
    double frac = (dx != 0 || dy != 0) ? free_fraction(r, w, dx, dy) : 1;
    r->x += frac * dx;
    r->y += frac * dy;
    WORLD_MoveBody(w, r->body, r->x, r->y);
    r->th = std::remainder(r->th + dth, 2 * M_PI);
    for (int i = 0; i < ROBOT_AXES; i++) {
        ROBOT_Axis *a = &r->axis[i];
        a->pos += i < 2 ? frac * inc[i] : inc[i];
        a->vel = a->traj_vel;
    }
    if (frac < 1) {
        /* The body touched something: the translation stops where it touched. */
        r->contact = true;
        halt(&r->axis[0]);
        halt(&r->axis[1]);
    }
    integrate_odometry(r, p, frac * inc[0], frac * inc[1], dth);
}

void step_lift(ROBOT_Robot *r, double dt_ms) {
    ROBOT_Axis *a = &r->lift;
    profile(a, lift_limits, dt_ms / 1000.0);
    if (a->traj_pos < 0 || a->traj_pos > ROBOT_LIFT_TRAVEL) {
        a->pos = a->traj_pos < 0 ? 0 : ROBOT_LIFT_TRAVEL;
        halt(a);
    } else {
        a->pos = a->traj_pos;
        a->vel = a->traj_vel;
    }
    if (r->lift_deploy_left > 0)
        r->lift_deploy_left = std::fmax(0, r->lift_deploy_left - dt_ms);
}

void drain(ROBOT_Robot *r, const ROBOT_Params *p, double dt_ms) {
    double load = 1 + (std::fabs(r->axis[0].vel) + std::fabs(r->axis[1].vel)) / 500.0 +
                  std::fabs(r->axis[2].vel) / 2000.0 + std::fabs(r->lift.vel) / 100.0;
    double d = p->drain_per_hour * load * dt_ms / 3600000.0;
    for (double &v : r->battery)
        v = std::fmax(0, v - d);
}

} // namespace

void ROBOT_Step(ROBOT_Robot *r, WORLD_World *w, const ROBOT_Params *p, double dt_ms,
                double now_ms) {
    if (r->timeout_s > 0 && now_ms - r->last_request_ms > r->timeout_s * 1000.0) {
        for (ROBOT_Axis &a : r->axis)
            if (a.mode != ROBOT_MODE_STOP)
                a.mode = ROBOT_MODE_STOP;
    }
    step_base(r, w, p, dt_ms / 1000.0);
    step_lift(r, dt_ms);
    drain(r, p, dt_ms);
}

void ROBOT_Touch(ROBOT_Robot *r, double now_ms) { r->last_request_ms = now_ms; }
