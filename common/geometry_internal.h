/* Helpers shared by the geometry source files; not part of the public interface. */
#ifndef ROVAK_GEOMETRY_INTERNAL_H
#define ROVAK_GEOMETRY_INTERNAL_H

#include "geometry.h"

/* Coincident points, parallel lines, minimum radius, zero area, degenerate distance. */
#define GEO_EPSILON 1E-5
/* Circle membership slack and the degenerate line-circle case. */
#define GEO_FINE_EPSILON 1E-10

/* The node after node in a list walked from head: null at the end of a linear list and when a
 * ring comes back to head. */
static inline DBL *geo_next(DBL *head, DBL *node) {
    return (node->next == head) ? NULL : node->next;
}

static inline Shape *geo_shape(DBL *node) { return (Shape *)node->element; }

static inline void geo_set(VECTOR *v, double x, double y, double w) {
    (*v)[0] = x;
    (*v)[1] = y;
    (*v)[2] = w;
}

/* Orientation of c against the directed line a -> b: the determinant of the rows (a, 1), (b, 1),
 * (c, 1), positive when a, b, c turn counter-clockwise. Its sign is exact for any finite
 * coordinates whose products neither overflow nor underflow; its value is the determinant to
 * within rounding. */
double geo_orient2d(const double *a, const double *b, const double *c);
/* (r1 + r2)^2 minus the squared distance of the centres c1 and c2: not negative exactly when the
 * closed discs meet. Same exactness as geo_orient2d. */
double geo_disc_overlap(const double *c1, double r1, const double *c2, double r2);

/* Recomputes a segment's line equation, direction and box from its end points. */
void geo_update_segment(Shape *S);
/* Sets the box of S to the single point v / widens it by v. */
void geo_box_to_point(Shape *S, const VECTOR *v);
void geo_widen_box(Shape *S, const VECTOR *v);
/* A copy of a list of points, in the same order / releases a list of points. */
DBL *geo_copy_points(DBL *points);
void geo_free_points(DBL *points);

#endif
