// Time of one plan: a new planner on the grid, then getTrajectory; and the navigator's whole
// planning step, the plain route, the obstacle margin and the route that keeps it.
// The planner's "no route" message goes to /dev/null; the figures go to standard error.
#include "clearance.h"
#include "pathplanner.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <random>
#include <vector>

namespace {

const int kSide = PLAN_GRID_SIDE;

std::vector<int> openGrid() { return std::vector<int>(kSide * kSide, 0); }

void fineBox(std::vector<int> &g, int x0, int y0, int x1, int y1, int v) {
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            g[y * kSide + x] = v;
        }
    }
}

// One fine obstacle cell in fifty, the start and goal corners kept free.
std::vector<int> scattered() {
    std::vector<int> g = openGrid();
    std::mt19937 random(4914);
    for (int &cell : g) {
        cell = random() % 50 == 0 ? 9 : 0;
    }
    fineBox(g, 0, 0, 8, 8, 0);
    fineBox(g, 291, 291, 299, 299, 0);
    return g;
}

// A cup open toward the start: the search fills it before it finds the way round.
std::vector<int> cup() {
    std::vector<int> g = openGrid();
    fineBox(g, 30, 150, 272, 152, 9);
    fineBox(g, 30, 60, 32, 152, 9);
    fineBox(g, 270, 60, 272, 152, 9);
    return g;
}

// An open map whose goal is walled in: the search tries every cell the pool can hold.
std::vector<int> walledGoal() {
    std::vector<int> g = openGrid();
    fineBox(g, 210, 210, 224, 224, 9);
    fineBox(g, 216, 216, 218, 218, 0);
    return g;
}

void plan(benchmark::State &state, const std::vector<int> &grid, Coord start, Coord goal) {
    size_t points = 0;
    for (auto _ : state) {
        PathPlanner planner(grid.data());
        std::list<Coord> route = planner.getTrajectory(start, goal);
        points = route.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["route_points"] = static_cast<double>(points);
}

void BM_PlanScattered(benchmark::State &state) {
    static const std::vector<int> grid = scattered();
    plan(state, grid, Coord{3, 3, 0}, Coord{296, 296, 0});
}
BENCHMARK(BM_PlanScattered)->Unit(benchmark::kMicrosecond);

void BM_PlanOpenDiagonal(benchmark::State &state) {
    static const std::vector<int> grid = openGrid();
    plan(state, grid, Coord{0, 0, 0}, Coord{299, 299, 0});
}
BENCHMARK(BM_PlanOpenDiagonal)->Unit(benchmark::kMicrosecond);

void BM_PlanOpenCup(benchmark::State &state) {
    static const std::vector<int> grid = cup();
    plan(state, grid, Coord{150, 90, 0}, Coord{150, 240, 0});
}
BENCHMARK(BM_PlanOpenCup)->Unit(benchmark::kMicrosecond);

void BM_PlanOpenWalledGoal(benchmark::State &state) {
    static const std::vector<int> grid = walledGoal();
    plan(state, grid, Coord{0, 0, 0}, Coord{217, 217, 0});
}
BENCHMARK(BM_PlanOpenWalledGoal)->Unit(benchmark::kMicrosecond);

// The explored room of the navigation tests: walls all round and a box between start and goal.
std::vector<int> roomWithABox() {
    std::vector<int> g(kSide * kSide, -1);
    fineBox(g, 140, 125, 210, 175, 9);
    fineBox(g, 141, 126, 209, 174, 0);
    fineBox(g, 163, 148, 166, 151, 9);
    return g;
}

void BM_InflateScattered(benchmark::State &state) {
    static const std::vector<int> grid = scattered();
    std::vector<int> copy;
    for (auto _ : state) {
        copy = grid;
        clear_inflate(copy.data(), CLEAR_RADIUS_CELLS);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_InflateScattered)->Unit(benchmark::kMicrosecond);

void BM_PlanRoomWithMargin(benchmark::State &state) {
    static const std::vector<int> grid = roomWithABox();
    const Coord start = {150, 150, 0}, goal = {180, 150, 0};
    size_t points = 0;
    for (auto _ : state) {
        PathPlanner plain(grid.data());
        std::list<Coord> route = plain.getTrajectory(start, goal);
        std::vector<int> copy = grid;
        clear_inflate(copy.data(), CLEAR_RADIUS_CELLS);
        PathPlanner clear(copy.data(), false);
        route = clear.getTrajectory(start, goal);
        points = route.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["route_points"] = static_cast<double>(points);
}
BENCHMARK(BM_PlanRoomWithMargin)->Unit(benchmark::kMicrosecond);

void BM_CoarseMapOnly(benchmark::State &state) {
    static const std::vector<int> grid = scattered();
    for (auto _ : state) {
        PathPlanner planner(grid.data());
        benchmark::DoNotOptimize(planner.getGridValue(50, 50));
    }
}
BENCHMARK(BM_CoarseMapOnly)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        return 1;
    }
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
