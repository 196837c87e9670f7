/* Axes, lift, joystick, timer, odometry, compass and battery requests (see protocol.h). */
#include "protocol_internal.h"

#include "command.h"
#include "sim.h"

#include <climits>
#include <cmath>

#define S32_MIN (-2147483647L - 1)
#define S32_MAX 2147483647L

/* The shared frame of a handler: the robot of the connection, or the wrong-endpoint answer. */
#define ROBOT_OR_ANSWER(fd, argv)                                                                  \
    ROBOT_Robot *r = proto_robot(fd);                                                              \
    if (!r)                                                                                        \
    return proto_wrong_endpoint(argv[0])

static void stamp_group(PROTO_Words *w, bool *data) {
    *data = proto_flag(w, true);
    bool ts = proto_flag(w, false);
    proto_add_flag(*data);
    if (!*data)
        return;
    proto_add_flag(ts);
    if (ts)
        proto_add_long(SIM_Stamp());
}

void proto_axes(ROBOT_Robot *r, PROTO_Words *w) {
    int status = 0;
    for (const ROBOT_Axis &a : r->axis)
        status |= a.in_progress ? 1 : 0;
    status |= r->contact ? 2 : 0;
    proto_line("SetAxes");
    proto_add_flag(r->global);
    proto_add_long(status);
    for (const ROBOT_Axis &a : r->axis) {
        bool data;
        stamp_group(w, &data);
        if (!data)
            continue;
        const long v[7] = {
            a.cmd_position,          a.cmd_speed,        a.cmd_accel,       std::lround(a.traj_pos),
            std::lround(a.traj_vel), std::lround(a.pos), std::lround(a.vel)};
        for (long x : v)
            proto_add_long(x);
        proto_add_flag(a.in_progress);
    }
}

void proto_lift(ROBOT_Robot *r, PROTO_Words *w) {
    const ROBOT_Axis &a = r->lift;
    int status =
        (a.in_progress ? 1 : 0) | (a.pos <= 0 ? 2 : 0) | (a.pos >= ROBOT_LIFT_TRAVEL ? 4 : 0);
    proto_line("SetLift");
    proto_add_flag(r->lift_deployed);
    proto_add_flag(a.in_progress || r->lift_deploy_left > 0);
    bool data;
    stamp_group(w, &data);
    if (!data)
        return;
    const long v[8] = {a.mode,      status,      a.cmd_position,     a.cmd_speed,
                       a.cmd_accel, a.max_motor, std::lround(a.pos), std::lround(a.vel)};
    for (long x : v)
        proto_add_long(x);
}

void proto_odometry(const ROBOT_Robot *r, bool stamp) {
    proto_line("SetIntegratedConfiguration");
    proto_add_flag(stamp);
    if (stamp)
        proto_add_long(SIM_Stamp());
    proto_add_long(std::lround(r->ox));
    proto_add_long(std::lround(r->oy));
    proto_add_long(ROBOT_Mrad(r->ost));
    proto_add_long(ROBOT_Mrad(r->oth));
}

void proto_compass(ROBOT_Robot *r, bool stamp) {
    proto_line("SetCompass");
    proto_add_flag(stamp);
    if (stamp)
        proto_add_long(SIM_Stamp());
    proto_add_long(ROBOT_Compass(r, &SIM_Get()->params));
}

void proto_battery(const ROBOT_Robot *r) {
    proto_line("SetBattery");
    for (double v : r->battery)
        proto_add_long(std::lround(v));
}

void proto_timer(const ROBOT_Robot *r) {
    proto_line("SetTimer");
    proto_add_long((long)r->timeout_s);
    proto_add_long(SIM_Stamp());
}

static char *get_axes(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    proto_begin();
    proto_axes(r, &w);
    return proto_reply();
}

/* One axis command as it stands on the line. */
struct axis_command {
    bool update;
    long mode, position, speed, accel, max_motor;
};

static bool read_command(PROTO_Words *w, bool lift, axis_command *c) {
    c->update = proto_more(w) && proto_flag(w, false);
    if (!c->update)
        return true;
    return proto_long(w, 0, 255, &c->mode) && proto_long(w, S32_MIN, S32_MAX, &c->position) &&
           proto_long(w, S32_MIN, S32_MAX, &c->speed) && proto_long(w, 0, S32_MAX, &c->accel) &&
           (!lift || proto_long(w, S32_MIN, S32_MAX, &c->max_motor));
}

static char *set_axes(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    if (!proto_more(&w))
        return proto_error(argv[0], -2);
    bool global = proto_flag(&w, false);
    axis_command c[ROBOT_AXES];
    for (axis_command &one : c) {
        if (!proto_more(&w) || !read_command(&w, false, &one))
            return proto_error(argv[0], -2);
    }
    for (int i = 0; i < ROBOT_AXES; i++)
        if (c[i].update && (c[i].mode > ROBOT_MODE_ABSOLUTE))
            return proto_error(argv[0], -2);
    r->global = global;
    for (int i = 0; i < ROBOT_AXES; i++)
        if (c[i].update)
            ROBOT_CommandAxis(r, i, c[i].mode, c[i].position, c[i].speed, c[i].accel);
    return nullptr;
}

static char *get_lift(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    proto_begin();
    proto_lift(r, &w);
    return proto_reply();
}

static char *set_lift(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    axis_command c;
    if (!proto_more(&w) || !read_command(&w, true, &c) || (c.update && c.mode > 3))
        return proto_error(argv[0], -2);
    if (c.update)
        ROBOT_CommandLift(r, c.mode, c.position, c.speed, c.accel, c.max_motor);
    return nullptr;
}

static char *zero_lift(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    return ROBOT_ZeroLift(r, proto_flag(&w, false)) == 0 ? nullptr : proto_error(argv[0], -3);
}

static char *deploy_lift(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    ROBOT_DeployLift(r, true);
    return nullptr;
}

static char *retract_lift(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    ROBOT_DeployLift(r, false);
    return nullptr;
}

static char *set_joystick(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    double v[3];
    for (double &x : v)
        if (!proto_double(&w, -1e9, 1e9, &x))
            return proto_error(argv[0], -2);
    if (w.pos + 3 > argc)
        return proto_error(argv[0], -2);
    bool a = proto_flag(&w, false), b = proto_flag(&w, false), c = proto_flag(&w, false);
    ROBOT_Joystick(r, v[0], v[1], v[2], a, b, c);
    SIM_Log("robot %d joystick %g %g %g buttons %d %d %d", r->id, v[0], v[1], v[2], a, b, c);
    return nullptr;
}

static char *set_timer(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    double t;
    if (!proto_double(&w, 0, 1e6, &t))
        return proto_error(argv[0], -2);
    r->timeout_s = t;
    return nullptr;
}

static char *get_timer(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    proto_begin();
    proto_timer(r);
    return proto_reply();
}

static char *get_odometry(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    proto_begin();
    proto_odometry(r, proto_flag(&w, false));
    return proto_reply();
}

static char *set_odometry(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    long v[4];
    for (long &x : v)
        if (!proto_long(&w, S32_MIN, S32_MAX, &x))
            return proto_error(argv[0], -2);
    ROBOT_SetOdometry(r, v[0], v[1], v[2], v[3]);
    return nullptr;
}

static char *get_compass(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    proto_begin();
    proto_compass(r, proto_flag(&w, false));
    return proto_reply();
}

static char *get_battery(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    proto_begin();
    proto_battery(r);
    return proto_reply();
}

void proto_register_motion(void) {
    proto_register("GetAxes", get_axes);
    proto_register("SetAxes", set_axes);
    proto_register("GetLift", get_lift);
    proto_register("SetLift", set_lift);
    proto_register("ZeroLift", zero_lift);
    proto_register("DeployLift", deploy_lift);
    proto_register("RetractLift", retract_lift);
    proto_register("SetJoystick", set_joystick);
    proto_register("SetTimer", set_timer);
    proto_register("GetTimer", get_timer);
    proto_register("GetIntegratedConfiguration", get_odometry);
    proto_register("SetIntegratedConfiguration", set_odometry);
    proto_register("GetCompass", get_compass);
    proto_register("GetBattery", get_battery);
}
