// Path planner: the coarse map, the route's corners for the fixed cases, blocked goals and
// cells, and properties of routes and solutions on mazes, cost maps and maps that exhaust the
// node pool. The search engine alone: ties, pool bookkeeping and its misuse.
#include "pathplanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Route points compare and print whole (found by argument lookup, so outside the namespace).
static bool operator==(const Coord &a, const Coord &b) {
    return a.x == b.x && a.y == b.y && a.th == b.th;
}
static void PrintTo(const Coord &c, std::ostream *os) {
    *os << "(" << c.x << ", " << c.y << ", " << c.th << ")";
}

namespace {

const char kNoPath[] = "Search terminated. Did not find goal state\n";

// A fine grid, free everywhere unless set otherwise.
struct Grid {
    std::vector<int> cells = std::vector<int>(PLAN_GRID_SIDE * PLAN_GRID_SIDE, 0);
    void fine(int cx, int cy, int v) { cells[cy * PLAN_GRID_SIDE + cx] = v; }
    void coarse(int x, int y, int v) {
        for (int j = 0; j < PLAN_CELL; j++) {
            for (int i = 0; i < PLAN_CELL; i++) {
                fine(x * PLAN_CELL + i, y * PLAN_CELL + j, v);
            }
        }
    }
    void coarseBox(int x0, int y0, int x1, int y1, int v) {
        for (int y = y0; y <= y1; y++) {
            for (int x = x0; x <= x1; x++) {
                coarse(x, y, v);
            }
        }
    }
    const int *data() const { return cells.data(); }
};

Coord at(int x, int y, int th = 0) { return Coord{x, y, th}; }

std::vector<Coord> plan(PathPlanner &planner, Coord start, Coord goal, std::string *out = nullptr) {
    testing::internal::CaptureStdout();
    std::list<Coord> route = planner.getTrajectory(start, goal);
    std::string printed = testing::internal::GetCapturedStdout();
    if (out != nullptr) {
        *out = printed;
    }
    return std::vector<Coord>(route.begin(), route.end());
}

int sign(int v) { return (v > 0) - (v < 0); }

// A route must start at the start cell's corner, end with the goal, and join consecutive
// points by straight runs (one of the eight directions) over passable coarse cells, turning
// at every corner.
void expectValidRoute(const PathPlanner &planner, const std::vector<Coord> &route, Coord start,
                      Coord goal) {
    ASSERT_GE(route.size(), 2u);
    EXPECT_EQ(route.front(), at(start.x / 3 * 3, start.y / 3 * 3));
    EXPECT_EQ(route.back(), goal);
    int lastDx = 0, lastDy = 0;
    for (size_t i = 0; i + 1 < route.size(); i++) {
        int x = route[i].x / 3, y = route[i].y / 3;
        int dx = route[i + 1].x / 3 - x, dy = route[i + 1].y / 3 - y;
        ASSERT_TRUE(dx == 0 || dy == 0 || std::abs(dx) == std::abs(dy)) << "leg " << i;
        ASSERT_FALSE(dx == 0 && dy == 0) << "leg " << i;
        EXPECT_FALSE(sign(dx) == lastDx && sign(dy) == lastDy) << "no turn at corner " << i;
        lastDx = sign(dx);
        lastDy = sign(dy);
        while (x != route[i + 1].x / 3 || y != route[i + 1].y / 3) {
            x += lastDx;
            y += lastDy;
            EXPECT_LE(planner.getGridValue(x, y), PLAN_PASSABLE_MAX) << x << "," << y;
        }
    }
}

TEST(PathPlannerMap, CoarseCellIsTheLargestOfItsNineWithUnexploredAsObstacle) {
    Grid grid;
    grid.fine(16, 17, 4);  // coarse (5, 5)
    grid.fine(30, 32, -1); // coarse (10, 10)
    grid.fine(62, 60, 8);  // coarse (20, 20), with -1 beside it
    grid.fine(61, 61, -1);
    grid.fine(299, 299, 11); // coarse (99, 99)
    PathPlanner planner(grid.data());
    struct {
        int x, y, value;
    } cases[] = {{5, 5, 4},  {10, 10, 9}, {20, 20, 9}, {99, 99, 11}, {0, 0, 0},
                 {-1, 0, 9}, {0, -1, 9},  {100, 0, 9}, {0, 100, 9}};
    for (const auto &c : cases) {
        EXPECT_EQ(planner.getGridValue(c.x, c.y), c.value) << c.x << "," << c.y;
    }
}

TEST(PathPlannerRoute, SameCoarseCellGivesOnlyTheGoal) {
    Grid grid;
    PathPlanner planner(grid.data());
    std::vector<Coord> route = plan(planner, at(30, 31, 500), at(32, 32, 77));
    ASSERT_EQ(route.size(), 1u);
    EXPECT_EQ(route[0], at(32, 32, 77));
}

TEST(PathPlannerRoute, StraightCorridorGivesStartCornerThenGoal) {
    Grid corridor;
    corridor.coarseBox(0, 0, 99, 99, 9);
    corridor.coarseBox(10, 10, 20, 10, 0);
    Grid open;
    for (const Grid *grid : {&corridor, &open}) {
        PathPlanner planner(grid->data());
        std::vector<Coord> route = plan(planner, at(31, 32, 1200), at(61, 31, 5));
        ASSERT_EQ(route.size(), 2u);
        EXPECT_EQ(route[0], at(30, 30));
        EXPECT_EQ(route[1], at(61, 31, 5));
    }
}

TEST(PathPlannerRoute, GoalOfEightOrMoreIsNeverEntered) {
    for (int value : {8, 9, 10, 11, -1, 7}) {
        Grid grid;
        grid.coarseBox(0, 0, 99, 99, 9);
        grid.coarseBox(10, 10, 20, 12, 0);
        grid.coarse(20, 11, value);
        PathPlanner planner(grid.data());
        std::string out;
        std::vector<Coord> route = plan(planner, at(30, 33), at(60, 33), &out);
        if (value == 7) {
            expectValidRoute(planner, route, at(30, 33), at(60, 33));
            EXPECT_EQ(out, "");
        } else {
            EXPECT_TRUE(route.empty()) << value;
            EXPECT_EQ(out, kNoPath) << value;
        }
    }
}

TEST(PathPlannerRoute, OneUnexploredFineCellBlocksItsCoarseCell) {
    Grid grid;
    grid.coarseBox(0, 0, 99, 99, 9);
    grid.coarseBox(10, 10, 20, 10, 0);
    grid.fine(46, 32, -1); // inside coarse (15, 10), the corridor's only way
    PathPlanner planner(grid.data());
    std::string out;
    EXPECT_TRUE(plan(planner, at(30, 30), at(60, 30), &out).empty());
    EXPECT_EQ(out, kNoPath);
}

// A 30 x 30 room with two walls: the route must go up past the first and down past the second.
Grid maze() {
    Grid grid;
    grid.coarseBox(0, 0, 99, 99, 9);
    grid.coarseBox(1, 1, 30, 30, 0);
    grid.coarseBox(10, 1, 10, 24, 9);
    grid.coarseBox(20, 7, 20, 30, 9);
    return grid;
}

TEST(PathPlannerRoute, MazeRouteTurnsAlongStraightFreeLegs) {
    Grid grid = maze();
    PathPlanner planner(grid.data());
    std::vector<Coord> route = plan(planner, at(15, 15), at(76, 16, 9));
    expectValidRoute(planner, route, at(15, 15), at(76, 16, 9));
    EXPECT_GE(route.size(), 5u); // at least three corners besides the start's
}

TEST(PathPlannerRoute, EachCallAndEachPlannerGivesOnlyItsOwnRoute) {
    Grid open;
    Grid blocked;
    blocked.coarseBox(15, 0, 15, 99, 9);
    auto first = std::make_unique<PathPlanner>(open.data());
    PathPlanner second(blocked.data());
    std::vector<Coord> once = plan(*first, at(30, 30), at(60, 30));
    EXPECT_EQ(plan(*first, at(30, 30), at(60, 30)), once);
    ASSERT_EQ(once.size(), 2u);
    // The planners do not share a coarse map, and one outlives the other.
    first.reset();
    std::string out;
    EXPECT_TRUE(plan(second, at(30, 30), at(60, 30), &out).empty());
    EXPECT_EQ(out, kNoPath);
    PathPlanner third(open.data());
    EXPECT_EQ(plan(third, at(30, 30), at(60, 30)), once);
}

// Runs the engine on the planner's states and checks the solution step by step: from start to
// goal, each step to one of the eight neighbours and onto a passable cell.
int searchAndCheck(const PathPlanner &planner, MapSearchNode from, MapSearchNode to,
                   unsigned int pool) {
    AStarSearch<MapSearchNode> search(pool);
    search.SetStartAndGoalStates(from, to);
    int state;
    do {
        state = search.SearchStep();
    } while (state == AStarSearch<MapSearchNode>::SEARCH_STATE_RUNNING);
    if (state == AStarSearch<MapSearchNode>::SEARCH_STATE_FOUND) {
        MapSearchNode *node = search.GetSolutionStart();
        EXPECT_TRUE(node != nullptr && node->IsSameState(from));
        MapSearchNode *last = node;
        for (MapSearchNode *next; (next = search.GetSolutionNext()) != nullptr; last = next) {
            int dx = static_cast<int>(next->x - last->x), dy = static_cast<int>(next->y - last->y);
            EXPECT_TRUE(std::abs(dx) <= 1 && std::abs(dy) <= 1 && (dx || dy));
            EXPECT_LE(planner.getGridValue(next->x, next->y), PLAN_PASSABLE_MAX);
        }
        EXPECT_TRUE(last->IsSameState(to));
        search.FreeSolutionNodes();
    }
    EXPECT_EQ(search.NodesInUse(), 0u);
    return state;
}

// Step costs from 0 to 7 make the search find cheaper ways to cells it has already expanded,
// and small pools run out: every solution must stay a connected path. Random rooms of random
// size, costs and obstacle density.
TEST(PathPlannerSearch, CostMapsAndPoolExhaustionKeepSolutionsWhole) {
    std::mt19937 random(4914);
    int found = 0;
    for (int round = 0; round < 60; round++) {
        int side = 10 + static_cast<int>(random() % 90);
        int maxCost = 1 + static_cast<int>(random() % 7);
        int obstacles = static_cast<int>(random() % 5); // in tenths
        Grid grid;
        grid.coarseBox(0, 0, 99, 99, 9);
        for (int y = 0; y < side; y++) {
            for (int x = 0; x < side; x++) {
                bool blocked = static_cast<int>(random() % 10) < obstacles;
                grid.coarse(x, y, blocked ? 9 : static_cast<int>(random() % (maxCost + 1)));
            }
        }
        PathPlanner planner(grid.data());
        for (unsigned int pool : {20u, 100u, 400u, 1000u}) {
            MapSearchNode from(random() % side, random() % side, &planner);
            MapSearchNode to(random() % side, random() % side, &planner);
            found += searchAndCheck(planner, from, to, pool) ==
                     AStarSearch<MapSearchNode>::SEARCH_STATE_FOUND;
        }
    }
    EXPECT_GT(found, 0);
}

TEST(PathPlannerSearch, ExhaustedPoolOnLargeOpenMapEndsCleanly) {
    // A cup open toward the start holds the search far longer than 1000 nodes allow.
    Grid cup;
    cup.coarseBox(10, 50, 90, 50, 9);
    cup.coarseBox(10, 20, 10, 50, 9);
    cup.coarseBox(90, 20, 90, 50, 9);
    PathPlanner planner(cup.data());
    std::string out;
    std::vector<Coord> route = plan(planner, at(150, 90), at(150, 240), &out);
    if (route.empty()) {
        EXPECT_EQ(out, kNoPath);
    } else {
        expectValidRoute(planner, route, at(150, 90), at(150, 240));
    }
    // A walled-in goal on an open map: every reachable cell is tried.
    Grid ring;
    ring.coarseBox(70, 70, 74, 74, 9);
    ring.coarse(72, 72, 0);
    PathPlanner ringed(ring.data());
    EXPECT_TRUE(plan(ringed, at(0, 0), at(216, 216), &out).empty());
    EXPECT_EQ(out, kNoPath);
    EXPECT_EQ(searchAndCheck(ringed, MapSearchNode(0, 0, &ringed), MapSearchNode(72, 72, &ringed),
                             PLAN_POOL_NODES),
              AStarSearch<MapSearchNode>::SEARCH_STATE_NO_PATH);
}

// Small weighted graphs for the engine alone: edges and estimates from tables.
struct Graph {
    float cost[7][7]; // cost[a][b] < 0: no edge from a to b
    float estimate[7];
};
const Graph *graph = nullptr;

struct GraphNode {
    int id = 0;
    GraphNode() = default;
    explicit GraphNode(int id) : id(id) {}
    bool IsSameState(const GraphNode &o) const { return id == o.id; }
    bool IsGoal(const GraphNode &goal) const { return id == goal.id; }
    float GoalDistanceEstimate(const GraphNode &) const { return graph->estimate[id]; }
    float GetCost(const GraphNode &s) const { return graph->cost[id][s.id]; }
    bool GetSuccessors(AStarSearch<GraphNode> *search, const GraphNode *parent) const {
        for (int b = 0; b < 7; b++) {
            if (graph->cost[id][b] >= 0 && (parent == nullptr || parent->id != b)) {
                search->AddSuccessor(GraphNode(b));
            }
        }
        return true;
    }
};

const float N = -1; // no edge

// 0 start; 1 and 2 both lead to goal 3 at the same total cost; 4 is a dead end; nothing leads
// to 5 or 6.
const Graph kTie = {{{N, 1, 1, N, 1, N, N},
                     {N, N, N, 1, N, N, N},
                     {N, N, N, 1, N, N, N},
                     {N, N, N, N, N, N, N},
                     {N, N, N, N, N, N, N},
                     {N, N, N, N, N, N, N},
                     {N, N, N, N, N, N, N}},
                    {0, 0, 0.5f, 0, 9, 0, 0}};

// 0 start, 4 goal. 1 is expanded at cost 10 (opening 3, which opens 4) before 2 finds 1 at
// cost 2. With a pool of 8, 5 then opens the new node 6, which fills the pool, so 3 cannot be
// opened again under the cheaper 1 and the goal is reached through the node 3 of before.
const Graph kReopen = {{{N, 10, 1, N, N, N, N},
                        {N, N, N, 1, N, N, N},
                        {N, 1, N, N, N, 0, N},
                        {N, N, N, N, 1, N, N},
                        {N, N, N, N, N, N, N},
                        {N, N, N, N, N, N, 1},
                        {N, N, N, N, N, N, N}},
                       {0, 0, 20, 0, 30, 0.5f, 100}};

// 0 start, 3 goal: through 1 looks closest (estimate 0) but costs 11; through 2 costs 2.
const Graph kDetour = {{{N, 10, 1, N, N, N, N},
                        {N, N, N, 1, N, N, N},
                        {N, N, N, 1, N, N, N},
                        {N, N, N, N, N, N, N},
                        {N, N, N, N, N, N, N},
                        {N, N, N, N, N, N, N},
                        {N, N, N, N, N, N, N}},
                       {0, 0, 1, 0, 0, 0, 0}};

std::vector<int> solve(const Graph &g, int goal, unsigned int pool, int *state) {
    graph = &g;
    AStarSearch<GraphNode> search(pool);
    search.SetStartAndGoalStates(GraphNode(0), GraphNode(goal));
    while ((*state = search.SearchStep()) == AStarSearch<GraphNode>::SEARCH_STATE_RUNNING) {
    }
    std::vector<int> path;
    for (GraphNode *n = search.GetSolutionStart(); n != nullptr; n = search.GetSolutionNext()) {
        path.push_back(n->id);
    }
    search.FreeSolutionNodes();
    EXPECT_EQ(search.NodesInUse(), 0u);
    return path;
}

TEST(AStarEngine, TieKeepsTheOlderNode) {
    // 1 is expanded first and opens 3 at g = 2; 2 reaches 3 at g = 2 too and is discarded.
    int state = 0;
    EXPECT_EQ(solve(kTie, 3, 100, &state), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(state, AStarSearch<GraphNode>::SEARCH_STATE_FOUND);
}

TEST(AStarEngine, CostSoFarAndEstimateTogetherPickTheCheaperWay) {
    // Ordered by the estimate alone, the search would take the dear way through 1.
    int state = 0;
    EXPECT_EQ(solve(kDetour, 3, 100, &state), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(state, AStarSearch<GraphNode>::SEARCH_STATE_FOUND);
}

TEST(AStarEngine, NoPathAndTinyPoolsEndWithEveryNodeGivenBack) {
    // Goal 3 needs six nodes at once (start, goal, 1, 2, 4 and the successor 3); goal 5 is
    // unreachable with any pool.
    for (int goal : {3, 5}) {
        for (unsigned int pool = 0; pool <= 6; pool++) {
            int state = 0;
            std::vector<int> path = solve(kTie, goal, pool, &state);
            if (goal == 3 && pool == 6) {
                EXPECT_EQ(path, (std::vector<int>{0, 1, 3}));
                EXPECT_EQ(state, AStarSearch<GraphNode>::SEARCH_STATE_FOUND);
                continue;
            }
            EXPECT_TRUE(path.empty()) << goal << " " << pool;
            EXPECT_EQ(state, pool < 2 ? AStarSearch<GraphNode>::SEARCH_STATE_NO_NODES
                                      : AStarSearch<GraphNode>::SEARCH_STATE_NO_PATH)
                << goal << " " << pool;
        }
    }
}

TEST(AStarEngine, CheaperWayToAnExpandedNodeKeepsItsDescendantsPathsWhole) {
    for (unsigned int pool = 8; pool <= 11; pool++) {
        int state = 0;
        std::vector<int> path = solve(kReopen, 4, pool, &state);
        ASSERT_EQ(state, AStarSearch<GraphNode>::SEARCH_STATE_FOUND) << pool;
        ASSERT_GE(path.size(), 2u);
        EXPECT_EQ(path.front(), 0);
        EXPECT_EQ(path.back(), 4);
        for (size_t i = 0; i + 1 < path.size(); i++) {
            EXPECT_GE(kReopen.cost[path[i]][path[i + 1]], 0)
                << "no edge " << path[i] << "->" << path[i + 1] << " with pool " << pool;
        }
    }
}

TEST(AStarEngine, PoolHandsOutInArrayOrderAndReusesTheLastFreed) {
    FixedSizeAllocator<int> pool(3);
    int *a = pool.alloc(), *b = pool.alloc(), *c = pool.alloc();
    ASSERT_TRUE(a && b && c);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_EQ(pool.alloc(), nullptr);
    pool.free(b);
    EXPECT_EQ(pool.used(), 2u);
    EXPECT_EQ(pool.alloc(), b);
    pool.free(a);
    pool.free(c);
    EXPECT_EQ(pool.firstUsed(), b);
}

TEST(AStarEngineDeathTest, StepBeforeStartAndGoalIsFatal) {
    AStarSearch<GraphNode> search(10);
    EXPECT_DEATH(search.SearchStep(),
                 "Assertion failed: \\(m_State > SEARCH_STATE_NOT_INITIALISED\\) "
                 "&& \\(m_State < SEARCH_STATE_INVALID\\)");
}

} // namespace
