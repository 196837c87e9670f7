// Obstacle margins for planning and the directions that lie in the way of a motion: which
// cells the margin takes, which it leaves, and that a route planned on it keeps the body clear.
#include "clearance.h"
#include "makemap.h"
#include "pathplanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Grid {
    std::vector<int> cells = std::vector<int>(MAP_CELLS, 0);
    int &at(int cx, int cy) { return cells[cy * MAP_SIZE + cx]; }
    void box(int x0, int y0, int x1, int y1, int v) {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++)
                at(x, y) = v;
    }
    int count(int v) const {
        int n = 0;
        for (int c : cells)
            n += c == v;
        return n;
    }
};

TEST(ClearanceInflate, MarksADiscAroundEachObstacleCell) {
    Grid g;
    g.at(150, 150) = 9;
    clear_inflate(g.cells.data(), 6);
    EXPECT_EQ(g.at(150, 150), 9);
    EXPECT_EQ(g.at(156, 150), 8); /* on the radius */
    EXPECT_EQ(g.at(157, 150), 0);
    EXPECT_EQ(g.at(154, 154), 8); /* 5.66 cells away */
    EXPECT_EQ(g.at(155, 155), 0); /* 7.07 cells away: a disc, not a square */
    EXPECT_EQ(g.at(150, 144), 8);
    EXPECT_EQ(g.count(8), 112); /* the 113 cells of the disc, the obstacle itself kept */
}

TEST(ClearanceInflate, LeavesUnknownAndBandsAndDoesNotChain) {
    Grid g;
    g.box(100, 100, 120, 120, -1);
    g.at(110, 121) = 9;
    g.at(130, 130) = 8; /* an uncertain band spreads nothing */
    g.at(140, 140) = 10;
    g.at(143, 145) = 3; /* a cost cell near an obstacle is blocked too */
    g.at(160, 160) = 11;
    clear_inflate(g.cells.data(), 6);
    EXPECT_EQ(g.at(110, 118), -1); /* unexplored stays unexplored */
    EXPECT_EQ(g.at(110, 127), 8);
    EXPECT_EQ(g.at(130, 131), 0);
    EXPECT_EQ(g.at(143, 145), 8);
    EXPECT_EQ(g.at(146, 140), 8);
    EXPECT_EQ(g.at(147, 140), 0); /* marked cells do not spread in turn */
    EXPECT_EQ(g.at(160, 166), 8);
}

TEST(ClearanceInflate, ClipsAtTheBorderAndIgnoresNoRadius) {
    Grid g;
    g.at(0, 0) = 9;
    g.at(299, 299) = 9;
    Grid same = g;
    clear_inflate(same.cells.data(), 0);
    EXPECT_EQ(same.cells, g.cells);
    clear_inflate(g.cells.data(), 2);
    EXPECT_EQ(g.at(2, 0), 8);
    EXPECT_EQ(g.at(297, 299), 8);
    EXPECT_EQ(g.count(8), 2 * 5); /* the quarter discs inside the grid */
}

// Smallest distance in millimetres from the robot's centre, moving straight between the
// route's points, to the centre of any obstacle cell. The centre sits at the middle of the
// fine cell it is on, as for a robot that started in the middle of its cell.
double closestApproach(const std::list<Coord> &route, Coord start, const Grid &g) {
    std::vector<std::pair<double, double>> obstacles;
    for (int i = 0; i < MAP_CELLS; i++)
        if (g.cells[i] == 9)
            obstacles.push_back({(i % MAP_SIZE) * 100.0 + 50, (i / MAP_SIZE) * 100.0 + 50});
    double best = 1e9;
    double px = start.x * 100.0 + 50, py = start.y * 100.0 + 50;
    for (auto p = std::next(route.begin()); p != route.end(); ++p) {
        double qx = p->x * 100.0 + 50, qy = p->y * 100.0 + 50;
        for (int s = 0; s <= 50; s++) {
            double x = px + (qx - px) * s / 50, y = py + (qy - py) * s / 50;
            for (auto &o : obstacles)
                best = std::min(best, std::hypot(x - o.first, y - o.second));
        }
        px = qx, py = qy;
    }
    return best;
}

TEST(ClearanceRoute, KeepsTheBodyClearOfABoxThePlainRouteBrushes) {
    // A room with a box between start and goal; walls all round.
    Grid g;
    g.box(140, 125, 210, 175, 9);
    g.box(141, 126, 209, 174, 0);
    g.box(163, 148, 166, 151, 9);
    const Coord start = {150, 150, 0}, goal = {180, 150, 0};
    testing::internal::CaptureStdout();
    PathPlanner plain(g.cells.data());
    std::list<Coord> brushing = plain.getTrajectory(start, goal);
    Grid margin = g;
    clear_inflate(margin.cells.data(), CLEAR_RADIUS_CELLS);
    PathPlanner clear(margin.cells.data());
    std::list<Coord> route = clear.getTrajectory(start, goal);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(brushing.empty());
    ASSERT_FALSE(route.empty());
    EXPECT_LT(closestApproach(brushing, start, g), 400); /* body within 100 mm of the box */
    EXPECT_GE(closestApproach(route, start, g), 500);    /* the rim at least 200 mm away */
    EXPECT_EQ(route.back().x, goal.x);
    EXPECT_EQ(route.back().y, goal.y);
}

TEST(ClearanceRoute, QuietPlannerSaysNothingWhenTheMarginClosesAGap) {
    // A gap of 10 cells in a wall across the grid: open for a point, closed by the margin.
    Grid g;
    g.box(160, 0, 160, 299, 9);
    g.box(160, 146, 160, 155, 0);
    Grid margin = g;
    clear_inflate(margin.cells.data(), CLEAR_RADIUS_CELLS);
    testing::internal::CaptureStdout();
    PathPlanner plain(g.cells.data());
    PathPlanner quiet(margin.cells.data(), false);
    EXPECT_FALSE(plain.getTrajectory({150, 150, 0}, {170, 150, 0}).empty());
    EXPECT_TRUE(quiet.getTrajectory({150, 150, 0}, {170, 150, 0}).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

struct AheadCase {
    const char *name;
    Coord d;
    int th;                 /* thousandths of a radian */
    std::vector<int> ahead; /* directions expected in the way */
};

TEST(ClearanceAhead, MarksTheDirectionsWithinTheSectorOfTravel) {
    const int halfPi = 1571, pi = 3142;
    const AheadCase cases[] = {
        {"forward", {300, 0, 0}, 0, {21, 22, 23, 0, 1, 2, 3}},
        {"diagonal left", {600, 600, 0}, 0, {0, 1, 2, 3, 4, 5, 6}},
        {"backward", {-900, 0, 0}, 0, {9, 10, 11, 12, 13, 14, 15}},
        {"right, wrapping through 0", {0, -300, 0}, 0, {15, 16, 17, 18, 19, 20, 21}},
        {"map +x while facing +y", {300, 0, 0}, halfPi, {15, 16, 17, 18, 19, 20, 21}},
        {"map -x while facing -x", {-300, 0, 0}, pi, {21, 22, 23, 0, 1, 2, 3}},
        {"no motion", {0, 0, 0}, 0, {}},
    };
    for (const AheadCase &c : cases) {
        bool ahead[24];
        clear_ahead(c.d, c.th, ahead);
        std::vector<int> got;
        for (int i = 0; i < 24; i++)
            if (ahead[i])
                got.push_back(i);
        std::vector<int> want = c.ahead;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.name;
    }
}

} // namespace
