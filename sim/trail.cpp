/* Bounded robot trails (see trail.h). */
#include "trail.h"

#include <cmath>

/* Keeps the points of even index and the newest one. */
static void thin(TRAIL_Trail *t) {
    std::vector<TRAIL_Point> &p = t->points;
    size_t n = p.size(), kept = 0;
    for (size_t i = 0; i < n; i += 2)
        p[kept++] = p[i];
    if ((n - 1) % 2 != 0)
        p[kept++] = p[n - 1];
    p.resize(kept);
    t->spacing *= 2;
}

void TRAIL_Add(TRAIL_Trail *t, double x, double y) {
    if (!t->points.empty()) {
        const TRAIL_Point &last = t->points.back();
        if (std::hypot(x - last.x, y - last.y) < t->spacing)
            return;
    }
    if (t->points.size() >= TRAIL_MAX_POINTS)
        thin(t);
    t->points.push_back(TRAIL_Point{x, y});
}
