/* Ray casting and body clearance against the world's shapes (see world.h). */
#include "world.h"

#include <cmath>

/* Distance from the ray's start to its nearest meeting with a wall, or best when farther. */
static double nearest_on_wall(Shape *ray, Shape *wall, double best) {
    if (!GEO_SegmentSegmentIntersectionp(ray, wall))
        return best;
    VECTOR p1, p2;
    GEO_SegmentSegmentIntersectionPoint(ray, wall, &p1, &p2);
    /* Two different points only when the ray runs along the wall: the nearer one counts. */
    double d1 = std::sqrt(GEO_SquareDistance(&ray->Start, &p1));
    double d2 = std::sqrt(GEO_SquareDistance(&ray->Start, &p2));
    double d = d1 < d2 ? d1 : d2;
    return d < best ? d : best;
}

/* Distance along the ray (unit direction dx, dy) to the nearer crossing of a circle. */
static double nearest_on_circle(Shape *ray, Shape *circle, double dx, double dy, double len,
                                double best) {
    if (!GEO_SegmentCircleIntersectionp(ray, circle))
        return best;
    VECTOR p[2];
    GEO_LineCircleIntersectionPoint(ray, circle, &p[0], &p[1]);
    for (VECTOR &q : p) {
        double t = (q[0] - ray->Start[0]) * dx + (q[1] - ray->Start[1]) * dy;
        /* A start inside the obstacle sees it at once. */
        if (t < 0)
            t = 0;
        if (t <= len && t < best)
            best = t;
    }
    return best;
}

double WORLD_CastRay(const WORLD_World *world, double x, double y, double dx, double dy,
                     double max_range) {
    VECTOR a = {x, y, 1}, b = {x + dx * max_range, y + dy * max_range, 1};
    Shape *ray = GEO_CreateSegment(&a, &b);
    double best = max_range;
    for (Shape *w : world->walls)
        best = nearest_on_wall(ray, w, best);
    for (Shape *c : world->circles)
        best = nearest_on_circle(ray, c, dx, dy, max_range, best);
    GEO_FreeShape(ray);
    return best;
}

bool WORLD_DiscCollides(const WORLD_World *world, double x, double y, double r) {
    VECTOR c = {x, y, 1};
    Shape *body = GEO_CreateCircle(&c, r);
    bool hit = false;
    for (size_t i = 0; !hit && i < world->walls.size(); i++)
        hit = GEO_SegmentCircleIntersectionp(world->walls[i], body);
    for (size_t i = 0; !hit && i < world->circles.size(); i++)
        hit = GEO_CircleCircleIntersectionp(world->circles[i], body);
    GEO_FreeShape(body);
    return hit;
}
