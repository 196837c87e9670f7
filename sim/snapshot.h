/* The picture the simulator leaves when it ends (--snapshot FILE.svg): the world as loaded,
 * every robot's trail and its last pose, as one SVG file in world millimetres (y up).
 *
 * Error convention: 0, or -1 with a message in *error. A failed write leaves no partial file
 * under the name: the picture is written to "<path>.tmp" and renamed into place. */
#ifndef ROVAK_SIM_SNAPSHOT_H
#define ROVAK_SIM_SNAPSHOT_H

#include "robot.h"
#include "trail.h"

#include <string>
#include <vector>

/* Checks at start that the picture's temporary file can be created next to path. */
int SNAP_CheckWritable(const std::string &path, std::string *error);
/* Writes the picture: world w, robots (robot k at index k - 1) and their trails; time_ms is the
 * simulated time shown in its title. */
int SNAP_Write(const std::string &path, const WORLD_World &w,
               const std::vector<ROBOT_Robot> &robots, const std::vector<TRAIL_Trail> &trails,
               double time_ms, std::string *error);

#endif
