/* The scheduler's robot list and the status queries of tests and demos (see protocol.h and
 * docs/simulator.md). */
#include "protocol_internal.h"

#include "command.h"
#include "sim.h"

#include <cmath>

static char *get_registered_list(int fd, long, int, char **argv) {
    if (!proto_is_scheduler(fd))
        return proto_wrong_endpoint(argv[0]);
    SIM_Sim *sim = SIM_Get();
    proto_begin();
    for (size_t k = 0; k < sim->robots.size(); k++) {
        proto_line("AddRegistered");
        proto_add_long((long)k + 1);
        proto_add_word(sim->host.c_str());
        proto_add_long(sim->tcp_ports[k]);
        proto_add_word(sim->unix_paths[k].c_str());
    }
    return proto_reply();
}

static void true_pose(const ROBOT_Robot *r) {
    proto_line("TruePose");
    proto_add_long(r->id);
    proto_add_long(std::lround(r->x));
    proto_add_long(std::lround(r->y));
    proto_add_long(ROBOT_Mrad(r->th));
}

/* "GetTruePose [id]": one "TruePose id x y heading" line per robot asked for. */
static char *get_true_pose(int fd, long, int argc, char **argv) {
    if (!proto_is_scheduler(fd))
        return proto_wrong_endpoint(argv[0]);
    PROTO_Words w = proto_words(argc, argv, 1);
    long id = 0;
    if (proto_more(&w) && !proto_long(&w, 0, 1000000, &id))
        return proto_error(argv[0], -2);
    SIM_Sim *sim = SIM_Get();
    if (id != 0 && !SIM_Robot(id))
        return proto_error(argv[0], -5);
    proto_begin();
    for (const ROBOT_Robot &r : sim->robots)
        if (id == 0 || r.id == id)
            true_pose(&r);
    return proto_reply();
}

/* "SetTruePose id x y heading": places a robot (mm, mm, mrad); -3 when it would overlap. */
static char *set_true_pose(int fd, long, int argc, char **argv) {
    if (!proto_is_scheduler(fd))
        return proto_wrong_endpoint(argv[0]);
    PROTO_Words w = proto_words(argc, argv, 1);
    long id;
    double x, y, th;
    if (!proto_long(&w, 1, 1000000, &id) || !proto_double(&w, -1e9, 1e9, &x) ||
        !proto_double(&w, -1e9, 1e9, &y) || !proto_double(&w, -1e9, 1e9, &th))
        return proto_error(argv[0], -2);
    ROBOT_Robot *r = SIM_Robot(id);
    if (!r)
        return proto_error(argv[0], -5);
    if (ROBOT_Place(r, &SIM_Get()->world, x, y, th / 1000.0) != 0)
        return proto_error(argv[0], -3);
    return nullptr;
}

/* "GetSimTime": "SimTime <milliseconds of simulated time>". */
static char *get_sim_time(int fd, long, int, char **argv) {
    if (!proto_is_scheduler(fd))
        return proto_wrong_endpoint(argv[0]);
    proto_begin();
    proto_line("SimTime");
    proto_add_long(std::lround(SIM_Get()->now_ms));
    return proto_reply();
}

void proto_register_scheduler(void) {
    proto_register("GetRegisteredList", get_registered_list);
    proto_register("GetTruePose", get_true_pose);
    proto_register("SetTruePose", set_true_pose);
    proto_register("GetSimTime", get_sim_time);
}
