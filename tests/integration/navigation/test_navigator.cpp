// The navigator and its three worker threads against the real simulator: the map painted from
// a known room, moves, and the order of the end messages. Runs under the thread sanitizer.
#include "makemap.h"
#include "navigator.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

// The 4 m x 4 m room, robot at (1000, 2000) facing +x, mapped with the robot at (15000, 15000):
// map x = world x + 14000, map y = world y + 13000.
class NavigatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string world = simtest::writeWorld(dir, {"room 4000 4000", "start 1000 2000 0"});
        ASSERT_TRUE(sim.start(5, {"--world", world}));
    }
    // Waits (at most about 20 s) until cond holds.
    template <class F> bool await(F cond) {
        for (int i = 0; i < 400 && !cond(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return cond();
    }
    static size_t find(const std::string &text, const char *what, size_t from = 0) {
        return text.find(what, from);
    }

    netpeer::TempDir dir;
    simtest::Sim sim{dir};
};

TEST_F(NavigatorTest, WorkersPaintTheRoomAndEndInOrder) {
    Navigator nav;
    testing::internal::CaptureStdout();
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    MakeMap *map = nav.getMakeMap();
    /* The wall ahead (world x 4000) becomes map column 180, the one behind (x 0) column 140. */
    auto wallAhead = [&] { return map->cell(179, 150) == 9 || map->cell(180, 150) == 9; };
    auto wallBehind = [&] { return map->cell(139, 150) == 9 || map->cell(140, 150) == 9; };
    EXPECT_TRUE(await(wallAhead));
    EXPECT_TRUE(await(wallBehind));
    EXPECT_EQ(map->cell(160, 150), MAP_FREE);
    EXPECT_EQ(map->cell(150, 185), MAP_UNEXPLORED); /* beyond the wall to the left */
    float battery[4], position[3];
    EXPECT_TRUE(await([&] {
        nav.getBatteryStatus(battery);
        return battery[3] == 1300.0f;
    }));
    EXPECT_TRUE(await([&] {
        nav.getPosition(position);
        return position[0] == 15000.0f && position[1] == 15000.0f;
    }));
    EXPECT_TRUE(simtest::semaphoreExists());
    EXPECT_EQ(nav.finish(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    size_t exiting = find(out, "Exiting Trefreshmap...\n");
    size_t refresh = find(out, "Fim da thread AtualizaMapa\n");
    size_t battery_end = find(out, "Fim da thread GetBaterias\n");
    size_t position_end = find(out, "Fim da thread GetPosition\n");
    ASSERT_NE(position_end, std::string::npos) << out;
    EXPECT_LT(exiting, refresh);
    EXPECT_LT(refresh, battery_end);
    EXPECT_LT(battery_end, position_end);
    EXPECT_NE(find(out, "Conectando com o ROBO\n"), std::string::npos);
    EXPECT_FALSE(simtest::semaphoreExists());
    EXPECT_NE(sim.log().find("says: Conectado!"), std::string::npos);
}

TEST_F(NavigatorTest, MovesToAGoalAndKeepsMapping) {
    Navigator nav;
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.move(165, 152), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Start (150, 150)\nGoal  (165, 152)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Cheguei no objetivo\n"), std::string::npos) << out;
    double x, y, h;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_LT(std::hypot(x - 2500, y - 2200), 300) << x << " " << y;
    /* A goal in the robot's own coarse cell needs no motion. */
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.move(165, 152), 1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cheguei no objetivo\n"), std::string::npos) << out;
    EXPECT_EQ(nav.stop(), 0);
    EXPECT_EQ(nav.Speak("Pronto"), 0);
    EXPECT_EQ(nav.finish(), 0);
}

TEST_F(NavigatorTest, UnexploredGoalHasNoRoute) {
    Navigator nav;
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.move(250, 250), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Search terminated. Did not find goal state\n"), std::string::npos);
    EXPECT_NE(out.find("trajectory is empty\n"), std::string::npos);
    EXPECT_EQ(nav.finish(), 0);
}

TEST_F(NavigatorTest, StartRefusesABadMapAndASecondStart) {
    Navigator nav;
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.start(15000, 15000, dir.file("missing.map").c_str()), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("An error occurs when create map\n"), std::string::npos);
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    EXPECT_EQ(nav.start(15000, 15000, ""), -1);
    EXPECT_EQ(nav.finish(), 0);
    EXPECT_EQ(nav.start(15000, 15000, ""), 0); /* started again after finish */
    EXPECT_EQ(nav.finish(), 0);
}

} // namespace
