/* The simulated 2-D world: straight walls and round obstacles in millimetres, read from a small
 * text file (or the built-in room), with ray casting for the range sensors and disc clearance
 * tests for the robot body. Shapes are the geometry library's segments and circles.
 *
 * Error convention: WORLD_Parse returns 0, or -1 with a message naming the line in *error.
 * Queries never fail. */
#ifndef ROVAK_SIM_WORLD_H
#define ROVAK_SIM_WORLD_H

#include "geometry.h"

#include <string>
#include <vector>

/* A robot start pose from a "start" line: millimetres and degrees. */
struct WORLD_Start {
    double x, y, deg;
};

struct WORLD_World {
    std::vector<Shape *> walls;   /* segments */
    std::vector<Shape *> circles; /* round obstacles */
    std::vector<WORLD_Start> starts;
};

/* The text of the built-in world: a 10 m by 8 m room with a few obstacles. */
const char *WORLD_DefaultText(void);

/* Adds the walls, obstacles and start poses of text to world. 0, or -1 with *error set to
 * "<name>:<line>: <what is wrong>". */
int WORLD_Parse(WORLD_World *world, const char *text, const char *name, std::string *error);
/* Reads the file at path and parses it; -1 with *error when it cannot be read or parsed. */
int WORLD_Load(WORLD_World *world, const char *path, std::string *error);
/* Releases every shape of world and empties it. */
void WORLD_Clear(WORLD_World *world);

/* Distance from (x, y) along the unit direction (dx, dy) to the nearest wall or obstacle, or
 * max_range when nothing lies within max_range. */
double WORLD_CastRay(const WORLD_World *world, double x, double y, double dx, double dy,
                     double max_range);
/* True when a disc of radius r centred at (x, y) touches or overlaps a wall or obstacle. */
bool WORLD_DiscCollides(const WORLD_World *world, double x, double y, double r);

#endif
