/* A robot's trail: the places it passed, kept within a fixed number of points. Points closer
 * than the trail's spacing to the last one are not kept; a full trail drops every second point
 * and doubles its spacing, so however long the run, the trail spans the whole path from the
 * start at a coarser grain. */
#ifndef ROVAK_SIM_TRAIL_H
#define ROVAK_SIM_TRAIL_H

#include <vector>

#define TRAIL_MAX_POINTS 4096 /* points kept per trail */
#define TRAIL_SPACING 10.0    /* initial spacing between kept points, mm */

struct TRAIL_Point {
    double x, y;
};

struct TRAIL_Trail {
    std::vector<TRAIL_Point> points;
    double spacing = TRAIL_SPACING;
};

/* Adds (x, y) when the trail is empty or the point lies at least the spacing from the last
 * one; never holds more than TRAIL_MAX_POINTS points. */
void TRAIL_Add(TRAIL_Trail *t, double x, double y);

#endif
