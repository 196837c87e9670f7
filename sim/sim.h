/* The simulator's process-wide context: options, world, robots, their endpoints, simulated time
 * and the event log. Everything runs on the one thread of the main loop. */
#ifndef ROVAK_SIM_SIM_H
#define ROVAK_SIM_SIM_H

#include "options.h"
#include "robot.h"
#include "world.h"

#include <cstdio>
#include <string>
#include <vector>

struct SIM_Sim {
    OPT_Options opt;
    WORLD_World world;
    ROBOT_Params params;
    std::vector<ROBOT_Robot> robots; /* robot id k is robots[k - 1] */
    std::vector<int> tcp_ports;      /* bound TCP port of each robot */
    std::vector<std::string> unix_paths;
    std::string host;  /* announced host name */
    double now_ms = 0; /* simulated time since start */
    FILE *log = nullptr;
};

/* The one context. */
SIM_Sim *SIM_Get(void);
/* The robot with this id, or null. */
ROBOT_Robot *SIM_Robot(long id);
/* Appends one line to the event log (a line feed is added) and flushes it. */
void SIM_Log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
/* Simulated time as a 32-bit millisecond time stamp. */
uint32_t SIM_Stamp(void);

#endif
