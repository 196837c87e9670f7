/* Sonar, infrared, bumper, laser and point-range requests (see protocol.h). */
#include "protocol_internal.h"

#include "command.h"
#include "sim.h"

#include <cmath>

#define ROBOT_OR_ANSWER(fd, argv)                                                                  \
    ROBOT_Robot *r = proto_robot(fd);                                                              \
    if (!r)                                                                                        \
    return proto_wrong_endpoint(argv[0])

/* Data and time-stamp flags of one set; writes the data flag and, with data, the time-stamp
 * flag. Returns the data flag; *ts the time-stamp flag. */
static bool set_flags(PROTO_Words *w, bool *ts) {
    bool data = proto_flag(w, true);
    *ts = proto_flag(w, false);
    proto_add_flag(data);
    if (data)
        proto_add_flag(*ts);
    return data;
}

void proto_sonar(ROBOT_Robot *r, PROTO_Words *w) {
    SIM_Sim *sim = SIM_Get();
    ROBOT_Ranges ranges;
    proto_line("SetSonar");
    for (int s = 0; s < ROBOT_SETS; s++) {
        bool ts;
        if (!set_flags(w, &ts))
            continue;
        bool sent[ROBOT_PER_SET] = {false};
        int entries = 0;
        for (int k = 0; k < r->firing_count[s]; k++) {
            int i = r->firing[s][k];
            if (sent[i])
                continue; /* one entry per sonar, however often it fires */
            sent[i] = true;
            entries++;
            if (!r->sonar_paused) {
                r->sonar_cache[s][i] = ROBOT_Sonar(r, &sim->world, &sim->params, s, i, &ranges);
                r->sonar_stamp[s][i] = SIM_Stamp();
            }
            proto_add_long(i);
            proto_add_long(r->sonar_cache[s][i]);
            if (ts)
                proto_add_long(r->sonar_stamp[s][i]);
        }
        if (entries < ROBOT_PER_SET)
            proto_add_long(255);
    }
}

void proto_infrared(ROBOT_Robot *r, PROTO_Words *w) {
    SIM_Sim *sim = SIM_Get();
    ROBOT_Ranges ranges;
    proto_line("SetInfrared");
    for (int s = 0; s < ROBOT_SETS; s++) {
        bool ts;
        if (!set_flags(w, &ts))
            continue;
        for (int i = 0; i < ROBOT_PER_SET; i++) {
            proto_add_long(ROBOT_Infrared(r, &sim->world, &sim->params, s, i, &ranges));
            if (ts)
                proto_add_long(SIM_Stamp());
        }
    }
}

void proto_bumper(ROBOT_Robot *r, PROTO_Words *w) {
    ROBOT_Ranges ranges;
    proto_line("SetBumper");
    for (int s = 0; s < ROBOT_SETS; s++) {
        bool ts;
        if (!set_flags(w, &ts))
            continue;
        for (int i = 0; i < ROBOT_PER_SET; i++) {
            proto_add_long(ROBOT_Bumper(r, &SIM_Get()->world, s, i, &ranges));
            if (ts)
                proto_add_long(SIM_Stamp());
        }
    }
}

void proto_laser(ROBOT_Robot *r, PROTO_Words *w) {
    static double range[ROBOT_LASER_MAX_POINTS];
    proto_line("SetLaser");
    bool ts;
    if (!set_flags(w, &ts))
        return;
    int n = ROBOT_LaserScan(r, &SIM_Get()->world, range, ROBOT_LASER_MAX_POINTS);
    bool xy = r->laser.point_type != 0;
    proto_add_word("p");
    proto_add_word(xy ? "c" : "r");
    int items = 0;
    for (int k = 0; k < n; k++)
        items += !xy || range[k] < ROBOT_LASER_RANGE;
    proto_add_long(items);
    double width = (double)r->laser.width * M_PI / 180.0;
    for (int k = 0; k < n; k++) {
        if (!xy) {
            proto_add_long(std::lround(range[k]));
            continue;
        }
        if (range[k] >= ROBOT_LASER_RANGE)
            continue; /* no echo: no point */
        double a = n > 1 ? -width / 2 + width * k / (n - 1) : 0;
        proto_add_long(std::lround(range[k] * std::cos(a)));
        proto_add_long(std::lround(range[k] * std::sin(a)));
    }
    if (ts)
        proto_add_long(SIM_Stamp());
}

void proto_k770(ROBOT_Robot *r, PROTO_Words *w) {
    (void)r;
    (void)w;
    proto_line("SetK770"); /* the default robot carries no point-range sensor */
}

void proto_sonar_configuration(const ROBOT_Robot *r) {
    proto_line("SetSonarConfiguration");
    proto_add_flag(r->sonar_paused);
    for (int s = 0; s < ROBOT_SETS; s++) {
        proto_add_long(r->firing_delay[s]);
        proto_add_long(r->blanking[s]);
        for (int k = 0; k < r->firing_count[s]; k++)
            proto_add_long(r->firing[s][k]);
        proto_add_long(255);
    }
}

void proto_laser_configuration(const ROBOT_Robot *r) {
    const ROBOT_Laser &l = r->laser;
    proto_line("SetLaserConfiguration");
    proto_add_flag(l.power);
    proto_add_flag(l.data_type);
    proto_add_flag(l.point_type);
    proto_add_flag(l.integrity);
    proto_add_double(l.threshold);
    proto_add_long(l.width);
    proto_add_long(l.sampling);
    proto_add_long(l.median);
    proto_add_double(l.fitting);
    proto_add_long(l.min_point);
    proto_add_double(l.gap);
}

#define GET_HANDLER(name, builder)                                                                 \
    static char *name(int fd, long, int argc, char **argv) {                                       \
        ROBOT_OR_ANSWER(fd, argv);                                                                 \
        PROTO_Words w = proto_words(argc, argv, 1);                                                \
        proto_begin();                                                                             \
        builder(r, &w);                                                                            \
        return proto_reply();                                                                      \
    }

GET_HANDLER(get_sonar, proto_sonar)
GET_HANDLER(get_infrared, proto_infrared)
GET_HANDLER(get_bumper, proto_bumper)
GET_HANDLER(get_laser, proto_laser)
GET_HANDLER(get_k770, proto_k770)

static char *get_sonar_configuration(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    proto_begin();
    proto_sonar_configuration(r);
    return proto_reply();
}

/* Reads one set's firing order up to its end mark 255: indices below 8, at most 16 of them
 * (a sonar may fire more than once per round). */
static bool read_order(PROTO_Words *w, int *order, int *count) {
    *count = 0;
    for (;;) {
        long v;
        if (!proto_long(w, 0, 255, &v))
            return false;
        if (v == 255)
            return true;
        if (v >= ROBOT_PER_SET || *count >= ROBOT_FIRING_MAX - 1)
            return false;
        order[(*count)++] = (int)v;
    }
}

static char *set_sonar_configuration(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    if (!proto_more(&w))
        return proto_error(argv[0], -2);
    bool paused = proto_flag(&w, false);
    long delay[ROBOT_SETS], blank[ROBOT_SETS];
    int order[ROBOT_SETS][ROBOT_FIRING_MAX], count[ROBOT_SETS];
    for (int s = 0; s < ROBOT_SETS; s++) {
        if (!proto_long(&w, 0, 100000, &delay[s]) || !proto_long(&w, 0, 100000, &blank[s]) ||
            !read_order(&w, order[s], &count[s]))
            return proto_error(argv[0], -2);
    }
    r->sonar_paused = paused;
    for (int s = 0; s < ROBOT_SETS; s++) {
        r->firing_delay[s] = delay[s];
        r->blanking[s] = blank[s];
        r->firing_count[s] = count[s];
        for (int k = 0; k < count[s]; k++)
            r->firing[s][k] = order[s][k];
    }
    return nullptr;
}

static char *get_laser_configuration(int fd, long, int, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    proto_begin();
    proto_laser_configuration(r);
    return proto_reply();
}

static char *set_laser_configuration(int fd, long, int argc, char **argv) {
    ROBOT_OR_ANSWER(fd, argv);
    PROTO_Words w = proto_words(argc, argv, 1);
    if (argc - 1 < 11)
        return proto_error(argv[0], -2);
    ROBOT_Laser l;
    l.power = proto_flag(&w, false);
    l.data_type = proto_flag(&w, false);
    l.point_type = proto_flag(&w, false);
    l.integrity = proto_flag(&w, false);
    if (!proto_double(&w, -1e9, 1e9, &l.threshold) || !proto_long(&w, 1, 360, &l.width) ||
        !proto_long(&w, 0, ROBOT_LASER_MAX_POINTS, &l.sampling) ||
        !proto_long(&w, 0, 65535, &l.median) || !proto_double(&w, -1e9, 1e9, &l.fitting) ||
        !proto_long(&w, 0, 65535, &l.min_point) || !proto_double(&w, -1e9, 1e9, &l.gap))
        return proto_error(argv[0], -2);
    r->laser = l;
    return nullptr;
}

void proto_register_sensors(void) {
    proto_register("GetSonar", get_sonar);
    proto_register("GetInfrared", get_infrared);
    proto_register("GetBumper", get_bumper);
    proto_register("GetLaser", get_laser);
    proto_register("GetK770", get_k770);
    proto_register("GetSonarConfiguration", get_sonar_configuration);
    proto_register("SetSonarConfiguration", set_sonar_configuration);
    proto_register("GetLaserConfiguration", get_laser_configuration);
    proto_register("SetLaserConfiguration", set_laser_configuration);
}
