/* The coarse map, the search state over it and the route of the path planner. */
#include "pathplanner.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

/* Neighbour offsets in the order the successors are generated. */
const int kStepX[8] = {1, -1, 1, -1, -1, 0, 1, 0};
const int kStepY[8] = {1, 1, -1, -1, 0, -1, 0, 1};

/* A fine cell as the coarse map sees it: unexplored (and any other negative code) blocks. */
int fineValue(const int *grid, int cx, int cy) {
    if (grid == nullptr) {
        return PLAN_BLOCKED;
    }
    int v = grid[cy * PLAN_GRID_SIDE + cx];
    return v < 0 ? PLAN_BLOCKED : v;
}

} // namespace

float MapSearchNode::GoalDistanceEstimate(const MapSearchNode &goal) const {
    float dx = static_cast<float>(x) - static_cast<float>(goal.x);
    float dy = static_cast<float>(y) - static_cast<float>(goal.y);
    return dx * dx + dy * dy;
}

float MapSearchNode::GetCost(const MapSearchNode &) const {
    int value = planner != nullptr ? planner->getGridValue(static_cast<int>(x), static_cast<int>(y))
                                   : PLAN_BLOCKED;
    return static_cast<float>(value);
}

bool MapSearchNode::GetSuccessors(AStarSearch<MapSearchNode> *search,
                                  const MapSearchNode *parent) const {
    if (planner == nullptr) {
        return true;
    }
    for (int i = 0; i < 8; i++) {
        // Unsigned steps: a step off the low edge wraps to a value far off the map.
        uint32_t nx = x + static_cast<uint32_t>(kStepX[i]);
        uint32_t ny = y + static_cast<uint32_t>(kStepY[i]);
        if (planner->getGridValue(static_cast<int>(nx), static_cast<int>(ny)) > PLAN_PASSABLE_MAX) {
            continue;
        }
        if (parent != nullptr && parent->x == nx && parent->y == ny) {
            continue;
        }
        search->AddSuccessor(MapSearchNode(nx, ny, planner));
    }
    return true;
}

PathPlanner::PathPlanner(const int *grid, bool reportNoPath)
    : mapa(new (std::nothrow) int[PLAN_SIDE * PLAN_SIDE]), reportNoPath(reportNoPath) {
    if (mapa == nullptr) {
        printf("Erro no malloc\n");
        fflush(stdout);
        exit(-1);
    }
    buildCoarseMap(grid);
}

PathPlanner::~PathPlanner() { delete[] mapa; }

void PathPlanner::buildCoarseMap(const int *grid) {
    for (int y = 0; y < PLAN_SIDE; y++) {
        for (int x = 0; x < PLAN_SIDE; x++) {
            int worst = fineValue(grid, x * PLAN_CELL, y * PLAN_CELL);
            for (int j = 0; j < PLAN_CELL; j++) {
                for (int i = 0; i < PLAN_CELL; i++) {
                    int v = fineValue(grid, x * PLAN_CELL + i, y * PLAN_CELL + j);
                    worst = v > worst ? v : worst;
                }
            }
            mapa[y * PLAN_SIDE + x] = worst;
        }
    }
}

int PathPlanner::getGridValue(int x, int y) const {
    if (x < 0 || x >= PLAN_SIDE || y < 0 || y >= PLAN_SIDE) {
        return PLAN_BLOCKED;
    }
    return mapa[y * PLAN_SIDE + x];
}

std::list<Coord> PathPlanner::getTrajectory(const Coord &start, const Coord &goal) {
    route.clear();
    AStarSearch<MapSearchNode> search(PLAN_POOL_NODES);
    // Integer division truncates toward zero, as for every cell number of the grid.
    MapSearchNode from(static_cast<uint32_t>(start.x / PLAN_CELL),
                       static_cast<uint32_t>(start.y / PLAN_CELL), this);
    MapSearchNode to(static_cast<uint32_t>(goal.x / PLAN_CELL),
                     static_cast<uint32_t>(goal.y / PLAN_CELL), this);
    search.SetStartAndGoalStates(from, to);
    int state;
    do {
        state = search.SearchStep();
    } while (state == AStarSearch<MapSearchNode>::SEARCH_STATE_RUNNING);

    if (state == AStarSearch<MapSearchNode>::SEARCH_STATE_FOUND) {
        appendCorners(search);
        route.push_back(goal);
        search.FreeSolutionNodes();
    } else if (state == AStarSearch<MapSearchNode>::SEARCH_STATE_NO_PATH && reportNoPath) {
        printf("Search terminated. Did not find goal state\n");
    }
    return route;
}

/* Appends the corner (x * 3, y * 3) of every solution cell whose next step changes direction;
 * the first step always counts as a change, so the start cell's corner comes first. */
void PathPlanner::appendCorners(AStarSearch<MapSearchNode> &search) {
    int lastDx = 0;
    int lastDy = 0; /* no step yet: (0, 0) is no neighbour direction */
    MapSearchNode *node = search.GetSolutionStart();
    MapSearchNode *next = node != nullptr ? search.GetSolutionNext() : nullptr;
    while (next != nullptr) {
        int dx = static_cast<int>(next->x - node->x);
        int dy = static_cast<int>(next->y - node->y);
        if (dx != lastDx || dy != lastDy) {
            Coord corner = {static_cast<int32_t>(node->x * PLAN_CELL),
                            static_cast<int32_t>(node->y * PLAN_CELL), 0};
            route.push_back(corner);
        }
        lastDx = dx;
        lastDy = dy;
        node = next;
        next = search.GetSolutionNext();
    }
}
