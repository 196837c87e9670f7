// Trails and the JSON texts of the scene: trails stay bounded and still span the whole path;
// frames and trails come out as JSON that a strict reader accepts, with every field in place.
#include "scene.h"
#include "view_client.h"

#include <cmath>
#include <gtest/gtest.h>

using viewtest::Json;

namespace {

TEST(SimTrail, KeepsPointsAtItsSpacingOnly) {
    TRAIL_Trail t;
    TRAIL_Add(&t, 0, 0);
    TRAIL_Add(&t, 3, 4);  // 5 mm away: too close
    TRAIL_Add(&t, 6, 8);  // 10 mm: kept
    TRAIL_Add(&t, 6, 8);  // standing still adds nothing
    TRAIL_Add(&t, -5, 0); // a jump (a robot placed elsewhere) is kept like any move
    ASSERT_EQ(t.points.size(), 3U);
    EXPECT_EQ(t.points[1].x, 6);
    EXPECT_EQ(t.points[2].x, -5);
}

TEST(SimTrail, StaysBoundedAndSpansTheWholePath) {
    TRAIL_Trail t;
    const int steps = 200000; // far beyond the bound, at 11 mm a step
    size_t largest = 0;
    for (int i = 0; i < steps; i++) {
        TRAIL_Add(&t, i * 11.0, std::sin(i * 0.001) * 1000);
        largest = std::max(largest, t.points.size());
    }
    EXPECT_LE(largest, (size_t)TRAIL_MAX_POINTS);
    EXPECT_GT(t.points.size(), (size_t)TRAIL_MAX_POINTS / 4);
    EXPECT_EQ(t.points.front().x, 0);
    // The newest kept point is within one spacing of where the robot is now.
    EXPECT_LE((steps - 1) * 11.0 - t.points.back().x, t.spacing);
    for (size_t k = 1; k < t.points.size(); k++)
        ASSERT_LT(t.points[k - 1].x, t.points[k].x) << "out of order at " << k;
}

SCENE_Frame two_robots() {
    SCENE_Frame f;
    f.seq = 7;
    f.time_ms = 12345.9;
    f.speedup = 2.5;
    for (int id = 1; id <= 2; id++) {
        SCENE_Robot r;
        r.id = id;
        r.x = -1234.6 * id, r.y = 1e7, r.th = -M_PI / 2;
        for (int k = 0; k < ROBOT_SECTORS; k++) {
            r.sonar[k] = 5000 - k;
            r.infrared[k] = 800;
            r.bumper[k] = id == 2 && k == 3;
        }
        f.robots.push_back(r);
    }
    return f;
}

TEST(SimScene, StateIsStrictJsonWithEveryField) {
    Json j;
    std::string error;
    ASSERT_TRUE(viewtest::parse_json(SCENE_StateJson(two_robots()), &j, &error)) << error;
    EXPECT_EQ(j.num("time_ms"), 12345);
    EXPECT_EQ(j.num("speedup"), 2.5);
    EXPECT_EQ(j.num("frame"), 7);
    const Json *robots = j.get("robots");
    ASSERT_TRUE(robots && robots->items.size() == 2);
    const Json &r2 = robots->items[1];
    EXPECT_EQ(r2.num("id"), 2);
    EXPECT_EQ(r2.num("x"), -2469);
    EXPECT_EQ(r2.num("y"), 1e7);
    EXPECT_EQ(r2.num("heading_mrad"), 4712); // a heading of -90 degrees, normalised
    ASSERT_EQ(r2.get("sonar")->items.size(), (size_t)ROBOT_SECTORS);
    EXPECT_EQ(r2.get("sonar")->items[23].number, 4977);
    ASSERT_EQ(r2.get("infrared")->items.size(), (size_t)ROBOT_SECTORS);
    ASSERT_EQ(r2.get("bumpers")->items.size(), (size_t)ROBOT_SECTORS);
    EXPECT_EQ(r2.get("bumpers")->items[3].number, 1);
    EXPECT_TRUE(r2.get("bumper")->boolean);
    EXPECT_FALSE(robots->items[0].get("bumper")->boolean);

    SCENE_Frame empty;
    ASSERT_TRUE(viewtest::parse_json(SCENE_StateJson(empty), &j, &error)) << error;
    EXPECT_TRUE(j.get("robots")->items.empty());
}

TEST(SimScene, TrailsAreStrictJsonOnePerRobot) {
    std::vector<TRAIL_Trail> trails(3);
    TRAIL_Add(&trails[0], -5.4, 7.6);
    TRAIL_Add(&trails[0], 100, 200);
    TRAIL_Add(&trails[2], 1, 2);
    Json j;
    std::string error;
    ASSERT_TRUE(viewtest::parse_json(SCENE_TrailsJson(trails), &j, &error)) << error;
    const Json *robots = j.get("robots");
    ASSERT_TRUE(robots && robots->items.size() == 3);
    const Json *first = robots->items[0].get("points");
    ASSERT_EQ(first->items.size(), 2U);
    EXPECT_EQ(first->items[0].items[0].number, -5);
    EXPECT_EQ(first->items[0].items[1].number, 8);
    EXPECT_TRUE(robots->items[1].get("points")->items.empty());
    EXPECT_EQ(robots->items[2].num("id"), 3);
}

TEST(SimScene, TheStrictReaderRefusesWhatIsNotJson) {
    Json j;
    std::string error;
    for (const char *bad : {"", "{", "{\"a\":1,}", "[1 2]", "{\"a\":01}", "\"\x01\"", "nan",
                            "{\"a\":1}x", "[1.]", "{'a':1}"})
        EXPECT_FALSE(viewtest::parse_json(bad, &j, &error)) << bad;
    EXPECT_TRUE(viewtest::parse_json(" {\"a\":[-1.5e3,true,null,\"\\u00e9\"]} ", &j, &error));
}

} // namespace
