/* The simulated 2-D world: straight walls and round obstacles in millimetres, read from a small
 * text file (or the built-in room), the moving bodies of the robots, ray casting for the range
 * sensors and disc clearance tests for the robot bodies.
 *
 * Walls and round obstacles keep the geometry library's shapes beside flat copies of their
 * numbers: a ray cast decides from the flat copies whenever plain floating point is certain of
 * every orientation involved (the usual case) and otherwise asks the library's exact
 * predicates, so every range equals, to the last bit, what the library's own segment and circle
 * intersections give. Bodies are plain discs that move; each robot owns one and leaves it out of
 * its own casts.
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

/* One obstacle line of the world file as it was loaded: kind "room" (w, h), "wall" and "box"
 * (x1, y1, x2, y2) or "circle" (x, y, r). */
struct WORLD_Item {
    std::string kind;
    double v[4];
};

/* A wall segment from (ax, ay) to (bx, by) with its closed bounding box. */
struct WORLD_Wall {
    double ax, ay, bx, by;
    double xmin, xmax, ymin, ymax;
    Shape *shape; /* the same segment for the exact predicates */
};

/* A round obstacle. */
struct WORLD_Circle {
    double x, y, r;
    Shape *shape;
};

/* A moving disc (a robot's body). */
struct WORLD_Body {
    double x, y, r;
};

struct WORLD_World {
    std::vector<WORLD_Wall> walls;
    std::vector<WORLD_Circle> circles;
    std::vector<WORLD_Body> bodies;
    std::vector<WORLD_Item> items; /* obstacle lines in file order */
    std::vector<WORLD_Start> starts;
};

/* The text of the built-in world: a 10 m by 8 m room with a few obstacles. */
const char *WORLD_DefaultText(void);

/* Adds the walls, obstacles and start poses of text to world. 0, or -1 with *error set to
 * "<name>:<line>: <what is wrong>". */
int WORLD_Parse(WORLD_World *world, const char *text, const char *name, std::string *error);
/* Reads the file at path and parses it; -1 with *error when it cannot be read or parsed. */
int WORLD_Load(WORLD_World *world, const char *path, std::string *error);
/* Releases every shape of world and empties it (bodies included). */
void WORLD_Clear(WORLD_World *world);

/* Adds a body of radius r at (x, y); returns its index. */
int WORLD_AddBody(WORLD_World *world, double x, double y, double r);
/* Moves body index to (x, y). */
void WORLD_MoveBody(WORLD_World *world, int index, double x, double y);

/* Distance from (x, y) along the unit direction (dx, dy) to the nearest wall, obstacle or body
 * other than body self (-1: none left out), or max_range when nothing lies within max_range. */
double WORLD_CastRay(const WORLD_World *world, double x, double y, double dx, double dy,
                     double max_range, int self);
/* True when a disc of radius r centred at (x, y) touches or overlaps a wall, an obstacle or a
 * body other than body self. */
bool WORLD_DiscCollides(const WORLD_World *world, double x, double y, double r, int self);

#endif
