/* Obstacle margins stamped into a planning copy of the grid. */
#include "clearance.h"

#include "makemap.h"
#include "pathplanner.h"
#include "vx9200.h"

#include <cmath>
#include <vector>

namespace {

struct Offset {
    int dx, dy;
};

std::vector<Offset> disc(int radius) {
    std::vector<Offset> cells;
    for (int dy = -radius; dy <= radius; dy++)
        for (int dx = -radius; dx <= radius; dx++)
            if (dx * dx + dy * dy <= radius * radius)
                cells.push_back({dx, dy});
    return cells;
}

bool inside(int x, int y) { return x >= 0 && x < MAP_SIZE && y >= 0 && y < MAP_SIZE; }

} // namespace

void clear_inflate(int *grid, int radius) {
    if (radius <= 0)
        return;
    const std::vector<Offset> stamp = disc(radius);
    /* Marked cells must not spread in turn, so the obstacles are collected first. */
    std::vector<int> obstacles;
    for (int i = 0; i < MAP_CELLS; i++)
        if (grid[i] >= MAP_OBSTACLE)
            obstacles.push_back(i);
    for (int i : obstacles) {
        int ox = i % MAP_SIZE, oy = i / MAP_SIZE;
        for (const Offset &o : stamp) {
            int x = ox + o.dx, y = oy + o.dy;
            if (!inside(x, y))
                continue;
            int &c = grid[y * MAP_SIZE + x];
            if (c >= MAP_FREE && c <= PLAN_PASSABLE_MAX)
                c = MAP_BAND;
        }
    }
}

void clear_ahead(Coord d, int th, bool ahead[VX_DIRECTIONS]) {
    const double deg = M_PI / 180.0;
    double travel = std::atan2(static_cast<double>(d.y), static_cast<double>(d.x)) - th / 1000.0;
    for (int i = 0; i < VX_DIRECTIONS; i++) {
        double off = std::remainder(i * 15 * deg - travel, 2 * M_PI);
        /* A direction on the edge stays in despite the heading rounded to a milliradian. */
        ahead[i] = (d.x != 0 || d.y != 0) && std::fabs(off) <= CLEAR_AHEAD_DEG * deg + 1e-3;
    }
}
