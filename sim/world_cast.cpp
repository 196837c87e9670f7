/* Ray casting and body clearance against the world's shapes and bodies (see world.h).
 *
 * The fast path repeats, operation for operation, the arithmetic of the geometry library's
 * segment-segment and segment-circle intersections on flat numbers, without building a shape
 * per ray. The library decides orientations with an adaptive exact predicate whose first stage
 * is the plain determinant; when that stage is certain of the sign the library uses the plain
 * value, so the fast path does too. When it is not certain, or a meeting is degenerate (an end
 * exactly on the other segment, collinear segments), the wall or circle is handed to the library
 * itself. */
#include "world.h"

#include <cmath>

namespace {

/* Relative error bound of the plain orientation determinant: (3 + 16 eps) eps, eps = 2^-53. */
const double orient_bound = (3.0 + 16.0 * 0x1p-53) * 0x1p-53;
/* The geometry library's threshold below which a line passes through a circle's centre. */
const double fine_epsilon = 1E-10;

/* Orientation of (c) against the line a-b as the library's first stage computes it; *sure is
 * false when rounding could have changed its sign. */
inline double orient(double ax, double ay, double bx, double by, double cx, double cy, bool *sure) {
    double left = (ax - cx) * (by - cy);
    double right = (ay - cy) * (bx - cx);
    double det = left - right;
    if ((left > 0 && right <= 0) || (left < 0 && right >= 0) || left == 0)
        return det;
    double bound = orient_bound * std::fabs(left + right);
    if (!(det >= bound || -det >= bound))
        *sure = false;
    return det;
}

inline bool same_side(double a, double b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

/* One ray: start, end at max range, unit direction, length and closed bounding box. */
struct ray_t {
    double sx, sy, ex, ey, dx, dy, len;
    double xmin, xmax, ymin, ymax;
    Shape *shape; /* built on first need by the exact path */
};

Shape *ray_shape(ray_t *ray) {
    if (!ray->shape) {
        VECTOR a = {ray->sx, ray->sy, 1}, b = {ray->ex, ray->ey, 1};
        ray->shape = GEO_CreateSegment(&a, &b);
    }
    return ray->shape;
}

/* The library's answer for one wall: distance to the nearest meeting, or best when farther. */
double exact_wall(ray_t *ray, Shape *wall, double best) {
    Shape *s = ray_shape(ray);
    if (!GEO_SegmentSegmentIntersectionp(s, wall))
        return best;
    VECTOR p1, p2;
    GEO_SegmentSegmentIntersectionPoint(s, wall, &p1, &p2);
    /* Two different points only when the ray runs along the wall: the nearer one counts. */
    double d1 = std::sqrt(GEO_SquareDistance(&s->Start, &p1));
    double d2 = std::sqrt(GEO_SquareDistance(&s->Start, &p2));
    double d = d1 < d2 ? d1 : d2;
    return d < best ? d : best;
}

double cast_wall(ray_t *ray, const WORLD_Wall &w, double best) {
    if (w.xmin > ray->xmax || ray->xmin > w.xmax || w.ymin > ray->ymax || ray->ymin > w.ymax)
        return best;
    bool sure = true;
    double o0 = orient(w.ax, w.ay, w.bx, w.by, ray->sx, ray->sy, &sure);
    double o1 = orient(w.ax, w.ay, w.bx, w.by, ray->ex, ray->ey, &sure);
    double o2 = orient(ray->sx, ray->sy, ray->ex, ray->ey, w.ax, w.ay, &sure);
    double o3 = orient(ray->sx, ray->sy, ray->ex, ray->ey, w.bx, w.by, &sure);
    if (sure && (same_side(o0, o1) || same_side(o2, o3)))
        return best;
    if (!sure || o0 == 0 || o1 == 0 || o2 == 0 || o3 == 0)
        return exact_wall(ray, w.shape, best);
    double t = o0 / (o0 - o1);
    double px = ray->sx + t * (ray->ex - ray->sx), py = ray->sy + t * (ray->ey - ray->sy);
    double qx = ray->sx - px, qy = ray->sy - py;
    double d = std::sqrt(qx * qx + qy * qy);
    return d < best ? d : best;
}

/* True when (x, y) lies in the closed disc. */
inline bool in_disc(double x, double y, const WORLD_Circle &c) {
    double qx = x - c.x, qy = y - c.y;
    return qx * qx + qy * qy <= c.r * c.r;
}

/* Whether the ray meets the closed disc, as the library decides it; -1 when the library must
 * decide. */
int ray_meets_circle(const ray_t *ray, const WORLD_Circle &c) {
    double vx = ray->ex - ray->sx, vy = ray->ey - ray->sy;
    if (vx == 0 && vy == 0)
        return in_disc(ray->sx, ray->sy, c);
    bool sure = true;
    double cross = orient(ray->sx, ray->sy, ray->ex, ray->ey, c.x, c.y, &sure);
    if (!sure)
        return -1;
    if (cross * cross > c.r * c.r * (vx * vx + vy * vy))
        return 0;
    double from_start = vx * (c.x - ray->sx) + vy * (c.y - ray->sy);
    double from_end = vx * (c.x - ray->ex) + vy * (c.y - ray->ey);
    if (from_start >= 0 && from_end <= 0)
        return 1;
    return in_disc(ray->sx, ray->sy, c) || in_disc(ray->ex, ray->ey, c);
}

/* The two points where the ray's line crosses the circle, as the library computes them. */
void line_circle_points(const ray_t *ray, const WORLD_Circle &c, double q[2][2]) {
    double vx = ray->ex - ray->sx, vy = ray->ey - ray->sy;
    double wx = c.x - ray->sx, wy = c.y - ray->sy;
    double dd = vx * vx + vy * vy;
    double t = (dd > 0) ? (wx * vx + wy * vy) / dd : 0;
    double px = ray->sx + t * vx, py = ray->sy + t * vy;
    double ux = px - c.x, uy = py - c.y;
    double n = ux * ux + uy * uy;
    double kx, ky, k;
    if (n >= fine_epsilon) {
        double u2 = std::fmax(c.r * c.r - n, 0);
        k = std::sqrt(u2 / n);
        kx = -uy, ky = ux;
    } else {
        kx = vx, ky = vy;
        double norm2 = kx * kx + ky * ky;
        if (!(norm2 > 0))
            kx = 1, ky = 0, norm2 = 1;
        k = c.r / std::sqrt(norm2);
    }
    q[0][0] = px + k * kx, q[0][1] = py + k * ky;
    q[1][0] = px - k * kx, q[1][1] = py - k * ky;
}

double cast_circle(ray_t *ray, const WORLD_Circle &c, double best) {
    if (c.x - c.r > ray->xmax || ray->xmin > c.x + c.r || c.y - c.r > ray->ymax ||
        ray->ymin > c.y + c.r)
        return best;
    int meets = ray_meets_circle(ray, c);
    if (meets < 0)
        meets = GEO_SegmentCircleIntersectionp(ray_shape(ray), c.shape);
    if (!meets)
        return best;
    double q[2][2];
    line_circle_points(ray, c, q);
    for (const double *p : q) {
        double t = (p[0] - ray->sx) * ray->dx + (p[1] - ray->sy) * ray->dy;
        /* A start inside the obstacle sees it at once. */
        if (t < 0)
            t = 0;
        if (t <= ray->len && t < best)
            best = t;
    }
    return best;
}

/* Distance along the ray to a body's rim: 0 from inside, best when it is missed or farther. */
double cast_body(const ray_t *ray, const WORLD_Body &b, double best) {
    double fx = ray->sx - b.x, fy = ray->sy - b.y;
    double c = fx * fx + fy * fy - b.r * b.r;
    if (c <= 0)
        return 0;
    double h = fx * ray->dx + fy * ray->dy;
    double disc = h * h - c;
    if (h >= 0 || disc < 0)
        return best; /* the body lies behind the start, or beside the line */
    double t = -h - std::sqrt(disc);
    return t < best ? t : best;
}

} // namespace

double WORLD_CastRay(const WORLD_World *world, double x, double y, double dx, double dy,
                     double max_range, int self) {
    ray_t ray;
    ray.sx = x, ray.sy = y;
    ray.ex = x + dx * max_range, ray.ey = y + dy * max_range;
    ray.dx = dx, ray.dy = dy, ray.len = max_range;
    /* The bounding box as the library's fmin and fmax give it (no operand is a NaN). */
    ray.xmin = ray.sx < ray.ex ? ray.sx : ray.ex, ray.xmax = ray.sx < ray.ex ? ray.ex : ray.sx;
    ray.ymin = ray.sy < ray.ey ? ray.sy : ray.ey, ray.ymax = ray.sy < ray.ey ? ray.ey : ray.sy;
    ray.shape = nullptr;
    double best = max_range;
    for (const WORLD_Wall &w : world->walls)
        best = cast_wall(&ray, w, best);
    for (const WORLD_Circle &c : world->circles)
        best = cast_circle(&ray, c, best);
    for (size_t i = 0; i < world->bodies.size(); i++)
        if ((int)i != self)
            best = cast_body(&ray, world->bodies[i], best);
    if (ray.shape)
        GEO_FreeShape(ray.shape);
    return best;
}

bool WORLD_DiscCollides(const WORLD_World *world, double x, double y, double r, int self) {
    for (size_t i = 0; i < world->bodies.size(); i++) {
        const WORLD_Body &b = world->bodies[i];
        double gx = b.x - x, gy = b.y - y, reach = b.r + r;
        if ((int)i != self && gx * gx + gy * gy <= reach * reach)
            return true;
    }
    VECTOR c = {x, y, 1};
    Shape *body = GEO_CreateCircle(&c, r);
    bool hit = false;
    for (size_t i = 0; !hit && i < world->walls.size(); i++)
        hit = GEO_SegmentCircleIntersectionp(world->walls[i].shape, body);
    for (size_t i = 0; !hit && i < world->circles.size(); i++)
        hit = GEO_CircleCircleIntersectionp(world->circles[i].shape, body);
    GEO_FreeShape(body);
    return hit;
}

int WORLD_AddBody(WORLD_World *world, double x, double y, double r) {
    world->bodies.push_back(WORLD_Body{x, y, r});
    return (int)world->bodies.size() - 1;
}

void WORLD_MoveBody(WORLD_World *world, int index, double x, double y) {
    if (index >= 0 && (size_t)index < world->bodies.size()) {
        world->bodies[(size_t)index].x = x;
        world->bodies[(size_t)index].y = y;
    }
}
