/* Route planning over the occupancy grid: the 300 x 300 grid of 100 mm cells is reduced to a
 * 100 x 100 coarse grid of 300 mm cells (each the largest of its 3 x 3 fine cells, unexplored
 * counting as obstacle), and an A* search over eight-connected coarse cells gives the route as
 * a list of corner points in fine-cell units, ending with the goal itself.
 *
 * Error convention: no route is an empty list (with a message on standard output when the
 * search ran out of cells to try). Running out of memory for the coarse grid ends the process
 * with a message, as there is no way to plan without it. */
#ifndef ROVAK_PATHPLANNER_H
#define ROVAK_PATHPLANNER_H

#include "astar.h"
#include "coord.h"

#include <list>
#include <stdint.h>

#define PLAN_GRID_SIDE 300   /* fine cells per side of the grid */
#define PLAN_SIDE 100        /* coarse cells per side of the coarse map */
#define PLAN_CELL 3          /* fine cells per coarse cell, per side */
#define PLAN_BLOCKED 9       /* value of unexplored cells and of cells off the coarse map */
#define PLAN_PASSABLE_MAX 7  /* coarse values up to this one may be entered */
#define PLAN_POOL_NODES 1000 /* nodes one search may hold at once */

class PathPlanner;

/* A search state: one coarse cell, and the planner whose coarse map it is on. */
class MapSearchNode {
  public:
    uint32_t x;
    uint32_t y;
    const PathPlanner *planner; /* not owned; a state without a planner has no neighbours */

    MapSearchNode() : x(0), y(0), planner(nullptr) {}
    MapSearchNode(uint32_t x, uint32_t y, const PathPlanner *planner = nullptr)
        : x(x), y(y), planner(planner) {}

    /* True when both cells are the same. */
    bool IsSameState(const MapSearchNode &other) const { return x == other.x && y == other.y; }
    bool IsGoal(const MapSearchNode &goal) const { return IsSameState(goal); }
    /* Squared distance to goal, in coarse cells (no square root). */
    float GoalDistanceEstimate(const MapSearchNode &goal) const;
    /* Cost of stepping from this cell to a neighbour: the coarse value of this cell, so
     * leaving a free cell costs nothing. */
    float GetCost(const MapSearchNode &successor) const;
    /* Hands every passable neighbour other than parent's cell to search, in the fixed order
     * (+1,+1), (-1,+1), (+1,-1), (-1,-1), (-1,0), (0,-1), (+1,0), (0,+1). Always true. */
    bool GetSuccessors(AStarSearch<MapSearchNode> *search, const MapSearchNode *parent) const;
};

class PathPlanner {
  public:
    /* A planner over grid, PLAN_GRID_SIDE rows of PLAN_GRID_SIDE cells, row-major (cell (cx,
     * cy) at cy * 300 + cx). The grid is read once, here; a null grid counts as unexplored.
     * A planner built with reportNoPath false says nothing when it finds no route. */
    explicit PathPlanner(const int *grid, bool reportNoPath = true);
    ~PathPlanner();
    PathPlanner(const PathPlanner &) = delete;
    PathPlanner &operator=(const PathPlanner &) = delete;

    /* The route from start to goal (fine cells, x and y): the coarse corner (x * 3, y * 3) of
     * the start cell and of every cell where the route turns, then goal unchanged. Only goal
     * when both fall in the same coarse cell; empty when there is no route (a coarse goal
     * value above PLAN_PASSABLE_MAX is never entered). Each call gives only its own route. */
    std::list<Coord> getTrajectory(const Coord &start, const Coord &goal);

    /* The coarse value at coarse cell (x, y); PLAN_BLOCKED off the coarse map. */
    int getGridValue(int x, int y) const;

  private:
    void buildCoarseMap(const int *grid);
    void appendCorners(AStarSearch<MapSearchNode> &search);

    int *mapa; /* PLAN_SIDE x PLAN_SIDE coarse values, row-major, owned */
    bool reportNoPath;
    std::list<Coord> route;
};

#endif
