// The navigator and its three worker threads against the real simulator: the map painted from
// a known room, moves, and the order of the end messages. Runs under the thread sanitizer.
#include "makemap.h"
#include "navigator.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <set>
#include <sstream>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <thread>

namespace {

// The 4 m x 4 m room, robot at (1000, 2000) facing +x, mapped with the robot at (15000, 15000):
// map x = world x + 14000, map y = world y + 13000.
class NavigatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string world = simtest::writeWorld(dir, {"room 4000 4000", robotStart});
        std::vector<std::string> args = {"--world", world};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        ASSERT_TRUE(sim.start(speedup, args));
    }
    // Every case, passed or failed, leaves no semaphore set behind.
    void TearDown() override { EXPECT_FALSE(simtest::semaphoreExists()); }
    // Waits (at most about 20 s) until cond holds.
    template <class F> bool await(F cond) {
        for (int i = 0; i < 400 && !cond(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return cond();
    }
    static size_t find(const std::string &text, const char *what, size_t from = 0) {
        return text.find(what, from);
    }

    double speedup = 5;
    std::string robotStart = "start 1000 2000 0";
    std::vector<std::string> simArgs;
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
    float position[3];
    nav.getPosition(position); /* at once: the position thread may be about to refresh it */
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Start (150, 150)\nGoal  (165, 152)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Cheguei no objetivo\n"), std::string::npos) << out;
    double x, y, h;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_LT(std::hypot(x - 2500, y - 2200), 300) << x << " " << y;
    /* The position read right after the move is where the move ended, not where the position
     * thread last saw the robot (without drift the odometry is the true motion). */
    EXPECT_NEAR(position[0], x + 14000, 5);
    EXPECT_NEAR(position[1], y + 13000, 5);
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

// Opened and closed robot connections in the simulator's log: whether one is still open.
bool robotConnectionOpen(const std::string &log) {
    std::set<int> open;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        int fd;
        size_t at = line.find("connection ");
        if (at == std::string::npos || sscanf(line.c_str() + at, "connection %d", &fd) != 1)
            continue;
        if (line.find(" opened ") != std::string::npos &&
            line.find("to robot") != std::string::npos)
            open.insert(fd);
        else if (line.find(" closed") != std::string::npos)
            open.erase(fd);
    }
    return !open.empty();
}

// Starts that fail leave no semaphore set, thread or robot connection behind, and the same
// navigator starts cleanly afterwards.
TEST_F(NavigatorTest, FailedStartsLeaveNothingBehind) {
    Navigator nav;
    std::string port = std::to_string(sim.port());
    setenv("ROVAK_SCHEDULER_PORT", std::to_string(netpeer::free_tcp_port()).c_str(), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.start(15000, 15000, ""), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Erro ao conectar com o Rovak\n"), std::string::npos) << out;
    EXPECT_FALSE(simtest::semaphoreExists());
    setenv("ROVAK_SCHEDULER_PORT", port.c_str(), 1);

    std::string fifo = dir.file("map.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0); /* nobody will ever write to it */
    for (const std::string &bad :
         {std::string("/dev/zero"), fifo, dir.path(), dir.file("missing.map")}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(nav.start(15000, 15000, bad.c_str()), -1) << bad;
        out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("An error occurs when create map\n"), std::string::npos) << out;
        EXPECT_FALSE(simtest::semaphoreExists()) << bad;
        EXPECT_FALSE(nav.isStarted());
        EXPECT_TRUE(await([&] { return !robotConnectionOpen(sim.log()); })) << bad;
    }
    EXPECT_EQ(nav.finish(), 0); /* nothing left to end */
    EXPECT_EQ(nav.move(160, 150), 0);
    EXPECT_EQ(nav.Speak("ola"), -1);

    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    EXPECT_TRUE(simtest::semaphoreExists());
    EXPECT_EQ(nav.move(160, 150), 1);
    EXPECT_EQ(nav.finish(), 0);
    EXPECT_FALSE(simtest::semaphoreExists());
    EXPECT_TRUE(await([&] { return !robotConnectionOpen(sim.log()); }));
}

// The robot refuses every Speak request.
class NavigatorSpeechFailsTest : public NavigatorTest {
  protected:
    NavigatorSpeechFailsTest() { simArgs = {"--fail", "Speak"}; }
};

TEST_F(NavigatorSpeechFailsTest, SpeakPassesOnTheRefusalAndGoalsOffTheMapAreRefused) {
    Navigator nav;
    ASSERT_EQ(nav.start(15000, 15000, ""), 0); /* the greeting's failure does not stop a start */
    testing::internal::CaptureStdout();
    EXPECT_EQ(nav.Speak("ola"), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("O Rovak nao conseguiu falar"), std::string::npos) << out;
    /* Cells outside 0 to 299 are refused before any planning or motion. */
    const int goals[][2] = {{300, 150}, {-1, 150}, {150, 300}, {150, -1}, {INT_MIN, INT_MAX}};
    for (const auto &g : goals) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(nav.move(g[0], g[1]), 0);
        out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("fora do mapa"), std::string::npos) << out;
        EXPECT_EQ(out.find("Start ("), std::string::npos) << out;
    }
    EXPECT_EQ(nav.move(299, 150), 0); /* on the map, but unexplored: no route */
    EXPECT_EQ(nav.finish(), 0);
    EXPECT_FALSE(simtest::semaphoreExists());
}

// The robot starts with its rim 250 mm from the wall behind it (world x 0), inside the band that
// asks for a new route. A wall behind is not in the way of a move ahead: the robot leaves it and
// arrives, instead of stopping at once on every new route.
class NavigatorBesideAWallTest : public NavigatorTest {
  protected:
    NavigatorBesideAWallTest() { robotStart = "start 550 2000 0"; }
};

TEST_F(NavigatorBesideAWallTest, AWallBehindDoesNotHoldTheRobotBack) {
    Navigator nav;
    testing::internal::CaptureStdout();
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    int result = nav.move(165, 150);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1) << out;
    EXPECT_EQ(out.find("Encontrei obstaculo"), std::string::npos) << out;
    double x, y, h;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_LT(std::hypot(x - 2050, y - 2000), 300) << x << " " << y;
    EXPECT_EQ(nav.finish(), 0);
}

// A move along +x from (150, 150) to (169, 150) (world x 1000 to 2900) during which the test
// puts the robot somewhere else with SetTruePose. The simulator runs in real time here so that
// the robot covers little ground (300 mm/s) between being placed and the navigator's next
// reading, whatever the machine's speed.
class NavigatorPlacedTest : public NavigatorTest {
  protected:
    NavigatorPlacedTest() { speedup = 1; }

    // Runs the move in a thread; once the robot has driven 300 mm of it, places the robot at
    // world (x, 2000) still facing +x and waits for the move to end. Gives the move's result,
    // or -1 when the robot could not be placed; out receives what the move printed.
    int moveAndPlace(Navigator &nav, int x, std::string *out) {
        /* The route needs the room painted as far as the far wall (map column 180). */
        MakeMap *map = nav.getMakeMap();
        if (!await([&] {
                return map->cell(169, 150) == MAP_FREE &&
                       (map->cell(179, 150) == 9 || map->cell(180, 150) == 9);
            }))
            return -1;
        std::atomic<int> result{-1};
        std::atomic<bool> done{false};
        testing::internal::CaptureStdout();
        std::thread mover([&] {
            result = nav.move(169, 150);
            done = true;
        });
        double px = 0, py = 0, ph = 0;
        bool under_way = await([&] {
            return done || (simtest::truePose(sim.port(), 1, &px, &py, &ph) && px >= 1300);
        });
        bool placed = under_way && !done && simtest::setTruePose(sim.port(), 1, x, 2000, 0);
        mover.join(); // the move ends by itself: arrival, a stop, or the bounded replans
        *out = testing::internal::GetCapturedStdout();
        return placed ? result.load() : -1;
    }
};

// The robot's rim 280 mm from the far wall (x 4000), inside the band that stops the motion and
// replans. The move must then end with 0, never with an arrival: the wall is painted where the
// odometry (untouched by the placement) puts it, across the room short of the goal, so the new
// plan finds no route; and were there one, odometry would still have about 1600 mm to go along
// +x while the real robot has only 280 mm before the wall, so a later stop (too close, collision
// or the replan bound) would end it.
TEST_F(NavigatorPlacedTest, ObstacleAppearingDuringAMoveForcesAReplan) {
    Navigator nav;
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    std::string out;
    EXPECT_EQ(moveAndPlace(nav, 4000 - 300 - 280, &out), 0) << out;
    size_t found = out.find("Encontrei obstaculo\n");
    ASSERT_NE(found, std::string::npos) << out;
    size_t replan = out.find("---> Calculando nova trajetoria\n", found);
    ASSERT_NE(replan, std::string::npos) << out;
    EXPECT_NE(out.find("Start (", replan), std::string::npos) << out; /* planned again */
    EXPECT_EQ(out.find("Cheguei no objetivo"), std::string::npos) << out;
    EXPECT_EQ(nav.finish(), 0);
}

// The rim 2 mm from the far wall: within the bumpers' 5 mm, so the bumper reads pressed. The
// motion loop asks for sonar, infrared and bumpers in turn, each answered before the next, and
// looks at the bumpers first: whenever the ranges already show the wall, so does the bumper.
TEST_F(NavigatorPlacedTest, BumperHitStopsTheMoveWithFalse) {
    Navigator nav;
    ASSERT_EQ(nav.start(15000, 15000, ""), 0);
    std::string out;
    EXPECT_EQ(moveAndPlace(nav, 4000 - 300 - 2, &out), 0) << out;
    EXPECT_NE(out.find("Colisao com o rovak\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Obstaculo muito proximo"), std::string::npos) << out;
    EXPECT_EQ(out.find("Encontrei obstaculo"), std::string::npos) << out;
    EXPECT_EQ(out.find("Cheguei no objetivo"), std::string::npos) << out;
    EXPECT_EQ(nav.finish(), 0);
}

} // namespace
