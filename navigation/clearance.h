/* Keeping the robot's body clear of obstacles. The planner treats the robot as a point on the
 * grid, so the navigator hands it a copy of the map in which every cell too close to an
 * obstacle for the body is marked uncertain, and the route keeps clear of what the map holds.
 * While a motion runs, only the sensors looking along the way it goes can see what the body
 * may meet at the distances that ask for a new route.
 *
 * Error convention: none; the functions work on caller-owned arrays. */
#ifndef ROVAK_CLEARANCE_H
#define ROVAK_CLEARANCE_H

#include "vx9200.h"

/* Cells, of 100 mm, kept between a route and an obstacle cell: the robot's radius (300 mm)
 * plus the distance at which a reading asks for a new route (300 mm). */
#define CLEAR_RADIUS_CELLS 6

/* Marks with the uncertain value 8 every cell of grid (row-major, 300 x 300) holding 0 to 7
 * whose centre lies within radius cells of the centre of a cell holding 9 or more. Unexplored
 * (-1) and uncertain cells are left as they are and spread nothing: unexplored space already
 * blocks the planner, and an uncertain band already lies in front of its obstacle. */
void clear_inflate(int *grid, int radius);

/* Half-width, in degrees, of the sector around the direction of travel that clear_ahead
 * marks. A disc of 300 mm radius moving straight can meet a point 500 to 600 mm from its
 * centre only within 37 degrees of its way, and a sensor sees 12.5 degrees to either side. */
#define CLEAR_AHEAD_DEG 45

/* Sets ahead[i], for the 24 range directions (direction i at i * 15 degrees counter-clockwise
 * from the heading), to whether it lies within CLEAR_AHEAD_DEG of a displacement d (map frame,
 * x and y) made at heading th (thousandths of a radian). A zero displacement marks none. */
void clear_ahead(Coord d, int th, bool ahead[VX_DIRECTIONS]);

#endif
