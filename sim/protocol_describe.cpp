/* "GetConstMembers": the robot's descriptions (see protocol.h and docs/simulator.md). */
#include "protocol_internal.h"

#include "command.h"

#include <cmath>
#include <cstdio>

/* One sensor pose group: ID, reference frame, sine and cosine in thousandths (the words are
 * read as integers), and the position on the body's rim in millimetres. */
static void pose(char kind, int set, int i, double radius) {
    char id[32];
    snprintf(id, sizeof id, "%c%d.%d", kind, set, i);
    double a = ROBOT_SetDirection(set, i);
    proto_add_word(id);
    proto_add_word("base");
    proto_add_long(std::lround(std::sin(a) * 1000));
    proto_add_long(std::lround(std::cos(a) * 1000));
    proto_add_long(std::lround(radius * std::cos(a)));
    proto_add_long(std::lround(radius * std::sin(a)));
}

static void sonar_description(void) {
    proto_line("SetSonarDescription");
    proto_add_long(ROBOT_SETS);
    for (int s = 0; s < ROBOT_SETS; s++) {
        proto_add_long(ROBOT_PER_SET);
        const double lobes[6] = {ROBOT_SONAR_BEAM, 0, 0, 0, 0, ROBOT_SONAR_RANGE};
        for (double v : lobes)
            proto_add_double(v);
        for (int i = 0; i < ROBOT_PER_SET; i++)
            pose('S', s, i, ROBOT_RADIUS);
    }
}

static void infrared_description(void) {
    proto_line("SetInfraredDescription");
    proto_add_long(ROBOT_SETS);
    for (int s = 0; s < ROBOT_SETS; s++) {
        proto_add_long(ROBOT_PER_SET);
        proto_add_double(ROBOT_IR_BEAM);
        proto_add_double(ROBOT_IR_RANGE);
        for (int i = 0; i < ROBOT_PER_SET; i++)
            pose('I', s, i, ROBOT_RADIUS);
    }
}

static void bumper_description(void) {
    proto_line("SetBumperDescription");
    proto_add_long(ROBOT_SETS);
    for (int s = 0; s < ROBOT_SETS; s++) {
        proto_add_long(ROBOT_PER_SET);
        for (int i = 0; i < ROBOT_PER_SET; i++)
            pose('B', s, i, ROBOT_RADIUS);
    }
}

static void count(const char *word, long n) {
    proto_line(word);
    proto_add_long(n);
}

static char *get_const_members(int fd, long id, int argc, char **argv) {
    (void)id;
    (void)argc;
    if (!proto_robot(fd))
        return proto_wrong_endpoint(argv[0]);
    proto_begin();
    proto_line("SetRobotType");
    proto_add_word("H");
    count("SetAxesDescription", ROBOT_AXES);
    count("SetLiftDescription", 1);
    sonar_description();
    infrared_description();
    bumper_description();
    count("SetLaserDescription", 1);
    count("SetK770Description", 0);
    count("SetBatteryDescription", ROBOT_BATTERIES);
    return proto_reply();
}

void proto_register_describe(void) { proto_register("GetConstMembers", get_const_members); }
