// The world's ray casts and clearance tests. The cast is checked against an independent
// reference built from the geometry library's own segment and circle intersections (one shape
// per ray, as the simulator used to cast): over random worlds and rays, degenerate ones
// included, both must give the same distance to the last bit. Bodies (robots) are checked
// against their closed-form distances.
#include "world.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace {

// The reference: every wall and circle through the library's exact intersection predicates.
double reference_cast(const WORLD_World &w, double x, double y, double dx, double dy, double len) {
    VECTOR a = {x, y, 1}, b = {x + dx * len, y + dy * len, 1};
    Shape *ray = GEO_CreateSegment(&a, &b);
    double best = len;
    for (const WORLD_Wall &wall : w.walls) {
        if (!GEO_SegmentSegmentIntersectionp(ray, wall.shape))
            continue;
        VECTOR p1, p2;
        GEO_SegmentSegmentIntersectionPoint(ray, wall.shape, &p1, &p2);
        double d1 = std::sqrt(GEO_SquareDistance(&ray->Start, &p1));
        double d2 = std::sqrt(GEO_SquareDistance(&ray->Start, &p2));
        best = std::min(best, std::min(d1, d2));
    }
    for (const WORLD_Circle &c : w.circles) {
        if (!GEO_SegmentCircleIntersectionp(ray, c.shape))
            continue;
        VECTOR p[2];
        GEO_LineCircleIntersectionPoint(ray, c.shape, &p[0], &p[1]);
        for (VECTOR &q : p) {
            double t = std::max(0.0, (q[0] - x) * dx + (q[1] - y) * dy);
            if (t <= len && t < best)
                best = t;
        }
    }
    GEO_FreeShape(ray);
    return best;
}

// A random world: axis-aligned and slanted walls on a coarse grid (so that ends and crossings
// coincide often), boxes sharing corners with walls, and circles.
std::string random_world(std::mt19937 &rng) {
    std::uniform_int_distribution<int> grid(0, 20), radius(1, 8);
    std::ostringstream w;
    w << "room 2000 2000\n";
    for (int i = 0; i < 8; i++) {
        int x1 = grid(rng) * 100, y1 = grid(rng) * 100, x2 = grid(rng) * 100, y2 = grid(rng) * 100;
        if (x1 != x2 || y1 != y2)
            w << "wall " << x1 << " " << y1 << " " << x2 << " " << y2 << "\n";
    }
    int bx = grid(rng) * 100, by = grid(rng) * 100;
    w << "box " << bx << " " << by << " " << bx + 300 << " " << by + 200 << "\n";
    for (int i = 0; i < 3; i++)
        w << "circle " << grid(rng) * 100 << " " << grid(rng) * 100 << " " << radius(rng) * 50
          << "\n";
    return w.str();
}

TEST(SimWorld, CastEqualsTheLibrarysIntersectionsToTheLastBit) {
    std::mt19937 rng(20240607);
    std::uniform_real_distribution<double> coord(-100, 2100), angle(0, 2 * M_PI);
    std::uniform_int_distribution<int> grid(0, 20), kind(0, 3);
    const double ranges[] = {305, 800, 5000, 8000};
    long cases = 0, mismatches = 0, hits = 0;
    for (int world_no = 0; world_no < 40; world_no++) {
        WORLD_World w;
        std::string error;
        ASSERT_EQ(WORLD_Parse(&w, random_world(rng).c_str(), "random", &error), 0) << error;
        for (int i = 0; i < 2500; i++) {
            double x = coord(rng), y = coord(rng), a = angle(rng);
            switch (kind(rng)) {
            case 0: // start on a grid point: on wall ends, corners and axis-aligned walls
                x = grid(rng) * 100, y = grid(rng) * 100;
                break;
            case 1: // axis-aligned direction, exactly
                a = (grid(rng) % 4) * M_PI / 2;
                break;
            case 2: // aimed exactly at a wall's end
                if (!w.walls.empty()) {
                    const WORLD_Wall &wall = w.walls[(size_t)grid(rng) % w.walls.size()];
                    a = std::atan2(wall.ay - y, wall.ax - x);
                }
                break;
            default:
                break;
            }
            double dx = std::cos(a), dy = std::sin(a), len = ranges[i % 4];
            double fast = WORLD_CastRay(&w, x, y, dx, dy, len, -1);
            double ref = reference_cast(w, x, y, dx, dy, len);
            cases++;
            hits += ref < len;
            if (fast != ref && ++mismatches <= 5)
                ADD_FAILURE() << "ray from (" << x << ", " << y << ") at " << a << " rad, range "
                              << len << ": " << fast << " against " << ref;
        }
        WORLD_Clear(&w);
    }
    EXPECT_EQ(mismatches, 0) << "of " << cases << " rays";
    EXPECT_GT(hits, cases / 2); // most rays meet something: the comparison is not vacuous
}

TEST(SimWorld, BodiesAreSeenByOthersButNotByThemselves) {
    WORLD_World w;
    int me = WORLD_AddBody(&w, 0, 0, 300);
    int other = WORLD_AddBody(&w, 1000, 0, 300);
    EXPECT_NEAR(WORLD_CastRay(&w, 300, 0, 1, 0, 5000, me), 400, 1e-9); // rim to rim
    EXPECT_NEAR(WORLD_CastRay(&w, 0, 0, 1, 0, 5000, me), 700, 1e-9);   // centre to rim
    // Off the line of centres: the chord's near end.
    double off = 200, expect = 1000 - std::sqrt(300.0 * 300.0 - off * off);
    EXPECT_NEAR(WORLD_CastRay(&w, 0, off, 1, 0, 5000, me), expect, 1e-9);
    EXPECT_EQ(WORLD_CastRay(&w, 0, 301, 1, 0, 5000, me), 5000);  // passes beside it
    EXPECT_EQ(WORLD_CastRay(&w, 2000, 0, 1, 0, 5000, me), 5000); // the body lies behind
    EXPECT_EQ(WORLD_CastRay(&w, 300, 0, 1, 0, 300, me), 300);    // beyond the range
    EXPECT_EQ(WORLD_CastRay(&w, 1000, 100, 0, 1, 5000, me), 0);  // from inside another body
    EXPECT_EQ(WORLD_CastRay(&w, 0, 100, 0, 1, 5000, me), 5000);  // from inside its own
    EXPECT_EQ(WORLD_CastRay(&w, 300, 0, 1, 0, 5000, -1), 0);     // nobody left out

    WORLD_MoveBody(&w, other, 0, 2000);
    EXPECT_NEAR(WORLD_CastRay(&w, 0, 300, 0, 1, 5000, me), 1400, 1e-9);
    EXPECT_EQ(WORLD_CastRay(&w, 300, 0, 1, 0, 5000, me), 5000);
}

TEST(SimWorld, DiscsCollideWithBodiesOnTouchingButNotWithTheirOwn) {
    WORLD_World w;
    std::string error;
    ASSERT_EQ(WORLD_Parse(&w, "wall 0 -1000 0 1000\n", "one wall", &error), 0);
    int me = WORLD_AddBody(&w, 1000, 0, 300);
    WORLD_AddBody(&w, 1600.5, 0, 300);
    EXPECT_FALSE(WORLD_DiscCollides(&w, 1000, 0, 300, me));
    EXPECT_TRUE(WORLD_DiscCollides(&w, 1000, 0, 300, -1));   // its own body, not left out
    EXPECT_TRUE(WORLD_DiscCollides(&w, 1000.5, 0, 300, me)); // touching the other one
    EXPECT_FALSE(WORLD_DiscCollides(&w, 999.5, 0, 300, me));
    EXPECT_TRUE(WORLD_DiscCollides(&w, 300, 0, 300, me)); // touching the wall
    EXPECT_FALSE(WORLD_DiscCollides(&w, 300.01, 0, 300, me));
    WORLD_Clear(&w);
    EXPECT_TRUE(w.bodies.empty() && w.walls.empty());
}

TEST(SimWorld, ItemsAreKeptAsLoaded) {
    WORLD_World w;
    std::string error;
    ASSERT_EQ(WORLD_Parse(&w,
                          "room 5000 4000\nwall 1 2 3.5 4\nbox 10 20 30 40\ncircle 7 8 9\n"
                          "start 1 1 0\n",
                          "items", &error),
              0);
    ASSERT_EQ(w.items.size(), 4U);
    EXPECT_EQ(w.items[0].kind, "room");
    EXPECT_EQ(w.items[1].kind, "wall");
    EXPECT_EQ(w.items[1].v[2], 3.5);
    EXPECT_EQ(w.items[2].kind, "box");
    EXPECT_EQ(w.items[3].kind, "circle");
    EXPECT_EQ(w.items[3].v[2], 9);
    EXPECT_EQ(w.walls.size(), 4U + 1U + 4U);
    EXPECT_EQ(w.circles.size(), 1U);
    WORLD_Clear(&w);
}

} // namespace
