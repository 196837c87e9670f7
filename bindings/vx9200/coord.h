/* The robot vendor library's pose record: millimetres and a heading in thousandths of a radian.
 * Route points of the planner reuse it with cell numbers in x and y. */
#ifndef ROVAK_COORD_H
#define ROVAK_COORD_H

#include <stdint.h>

struct Coord {
    int32_t x;
    int32_t y;
    int32_t th;
};

#endif
