/* The combined "GetState" request and "Speak" (see protocol.h). */
#include "protocol_internal.h"

#include "command.h"
#include "speech.h"

#include <cstring>
#include <string>

namespace {

enum unit { AXES, SONAR, INFRARED, BUMPER, LASER, K770, COMPASS, BATTERY, CONFIGURATION, NONE };

const char *const selectors[] = {"axes", "sonar",   "infrared", "bumper",        "laser",
                                 "k770", "compass", "battery",  "configuration", nullptr};

unit selector(const char *word) {
    for (int i = 0; selectors[i]; i++)
        if (strcmp(word, selectors[i]) == 0)
            return (unit)i;
    return NONE;
}

void build(ROBOT_Robot *r, unit u, PROTO_Words *w) {
    switch (u) {
    case AXES:
        proto_axes(r, w);
        break;
    case SONAR:
        proto_sonar(r, w);
        break;
    case INFRARED:
        proto_infrared(r, w);
        break;
    case BUMPER:
        proto_bumper(r, w);
        break;
    case LASER:
        proto_laser(r, w);
        break;
    case K770:
        proto_k770(r, w);
        break;
    case COMPASS:
        if (proto_flag(w, true))
            proto_compass(r, proto_flag(w, false));
        break;
    case BATTERY:
        if (proto_flag(w, true))
            proto_battery(r);
        break;
    case CONFIGURATION:
        if (proto_flag(w, true))
            proto_odometry(r, proto_flag(w, false));
        break;
    case NONE:
        break;
    }
}

char *get_state(int fd, long, int argc, char **argv) {
    ROBOT_Robot *r = proto_robot(fd);
    if (!r)
        return proto_wrong_endpoint(argv[0]);
    int i = 1;
    if (i < argc && selector(argv[i]) == NONE)
        return proto_error(argv[0], -2);
    proto_begin();
    while (i < argc) {
        /* Each selector's group runs to the next selector word. */
        unit u = selector(argv[i]);
        int end = i + 1;
        while (end < argc && selector(argv[end]) == NONE)
            end++;
        PROTO_Words w = proto_words(end, argv, i + 1);
        build(r, u, &w);
        i = end;
    }
    return proto_reply();
}

char *speak(int fd, long, int argc, char **argv) {
    ROBOT_Robot *r = proto_robot(fd);
    if (!r)
        return proto_wrong_endpoint(argv[0]);
    std::string text;
    for (int i = 1; i < argc; i++)
        text += (i > 1 ? " " : "") + std::string(argv[i]);
    SPEECH_Say(r->id, text.c_str());
    return nullptr;
}

} // namespace

void proto_register_state(void) {
    proto_register("GetState", get_state);
    proto_register("Speak", speak);
}
