// The Java front end end to end: trelvo.Demo drives libtrelvo against the real simulator.
#include "odometry_proxy.h"
#include "sim_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// Positions of the texts in out, in order; npos for a missing one.
bool inOrder(const std::string &out, const std::vector<std::string> &texts) {
    size_t at = 0;
    for (const auto &t : texts) {
        at = out.find(t, at);
        if (at == std::string::npos)
            return false;
        at += t.size();
    }
    return true;
}

// Worlds are mapped with the robot at (15000, 15000) mm, cell (150, 150).
class JavaFrontTest : public ::testing::Test {
  protected:
    void startSim(const std::vector<std::string> &world, double speedup = 10) {
        ASSERT_TRUE(sim.start(speedup, {"--world", simtest::writeWorld(dir, world)}));
    }
    // Every case, passed or failed, leaves no semaphore set behind.
    void TearDown() override { EXPECT_FALSE(simtest::semaphoreExists()); }
    simtest::Result demo(const std::vector<std::string> &args) {
        return simtest::runJava("trelvo.Demo", args, dir);
    }
    void expectTruePose(double wx, double wy) {
        double x, y, h;
        ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
        EXPECT_LT(std::hypot(x - wx, y - wy), 300) << "true pose " << x << ", " << y;
    }

    /* Runs the front end with args while the test, once the robot has driven past world x
     * 1300, places it at world (x, 2000) still facing +x. *placed tells whether it was. */
    simtest::Result demoPlacingTheRobot(const std::vector<std::string> &args, int x, bool *placed) {
        std::atomic<bool> done{false}, put{false};
        std::thread placer([&] {
            double px = 0, py = 0, ph = 0;
            for (int i = 0; i < 2000 && !done; i++) {
                if (simtest::truePose(sim.port(), 1, &px, &py, &ph) && px >= 1300) {
                    put = simtest::setTruePose(sim.port(), 1, x, 2000, 0);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        simtest::Result r = demo(args);
        done = true;
        placer.join();
        *placed = put;
        return r;
    }

    netpeer::TempDir dir;
    simtest::Sim sim{dir};
};

TEST(JavaNative, MethodsBeforeStartAnswerWithoutTheRobot) {
    netpeer::TempDir dir;
    simtest::Result r = simtest::runJava("NativeBeforeStart", {}, dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    for (const char *method : {"getMap", "getRoute", "moveRovak", "finishRovak"})
        EXPECT_NE(r.out.find(std::string("Rovak nao iniciado: chame startRovak antes de ") +
                             method + "\n"),
                  std::string::npos)
            << method << "\n"
            << r.out;
    EXPECT_NE(r.out.find("Erro ao pegar nome do arquivo ou arquivo em Branco"), std::string::npos);
}

// --help answers on standard output with status 0, under the command that ran it, and tells
// cells from millimetres; a wrong option is still a usage error.
TEST(JavaFront, HelpUnderTheNameItIsRunBy) {
    netpeer::TempDir dir;
    simtest::Result jar = simtest::runJvm({"-jar", TRELVO_JAR, "--help"}, dir);
    EXPECT_EQ(jar.status, 0) << jar.out << jar.err;
    EXPECT_EQ(jar.out.rfind(std::string("usage: java -jar ") + TRELVO_JAR + " [--start X,Y]", 0),
              0u)
        << jar.out;
    EXPECT_NE(jar.out.find("a goal as a grid CELL"), std::string::npos) << jar.out;
    EXPECT_NE(jar.out.find("--start X,Y   the robot's start position on the map in MILLIMETRES"),
              std::string::npos)
        << jar.out;
    EXPECT_EQ(jar.err, "");

    simtest::Result byClass = simtest::runJava("trelvo.Demo", {"170,150", "--help"}, dir);
    EXPECT_EQ(byClass.status, 0) << byClass.err;
    EXPECT_EQ(byClass.out.rfind("usage: java trelvo.Demo [--start X,Y]", 0), 0u) << byClass.out;

    simtest::Result wrong = simtest::runJvm({"-jar", TRELVO_JAR, "--bogus"}, dir);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind(std::string("usage: java -jar ") + TRELVO_JAR, 0), 0u) << wrong.err;
}

// Pictures of made-up maps: cells, routes, goals, headings and the key, pixel by pixel.
TEST(JavaFront, MapPictureDrawsCellsRoutesAndPose) {
    netpeer::TempDir dir;
    simtest::Result r = simtest::runJava("PictureCheck", {}, dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check PNG reads back the same ok"), std::string::npos) << r.out;
}

// The "Demo: position" line printed after "Demo: move <goal>": x and y; false when missing.
bool positionAfterMove(const std::string &out, const std::string &goal, double *x, double *y) {
    size_t move = out.find("Demo: move " + goal);
    size_t at = move == std::string::npos ? move : out.find("Demo: position ", move);
    return at != std::string::npos && sscanf(out.c_str() + at, "Demo: position %lf %lf", x, y) == 2;
}

// The cells of the first "Demo: route" line: x, y pairs; empty when missing or "none".
std::vector<std::pair<int, int>> routeLine(const std::string &out) {
    std::vector<std::pair<int, int>> cells;
    size_t at = out.find("Demo: route");
    if (at == std::string::npos)
        return cells;
    std::istringstream line(out.substr(at + 11, out.find('\n', at) - at - 11));
    int x, y;
    char comma;
    while (line >> x >> comma >> y && comma == ',')
        cells.emplace_back(x, y);
    return cells;
}

TEST_F(JavaFrontTest, FreeRouteReachesTheGoal) {
    startSim({"room 6000 4000", "start 1000 2000 0"});
    simtest::Result r = demo({"--png", "map.png", "170,153"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Demo: move 170,153 true"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Demo: battery 1300 1300 1300 1300"), std::string::npos) << r.out;
    expectTruePose(3000, 2300);
    /* The position read right after the move is where it ended (map = world + (14000, 13000)),
     * not where the position thread last saw the robot. */
    double px, py, x, y, h;
    ASSERT_TRUE(positionAfterMove(r.out, "170,153", &px, &py)) << r.out;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_NEAR(px, x + 14000, 5);
    EXPECT_NEAR(py, y + 13000, 5);
    /* The route runs from the start cell to the goal, and the picture shows it there, with the
     * robot where it ended. */
    auto route = routeLine(r.out);
    ASSERT_GE(route.size(), 2u) << r.out;
    EXPECT_EQ(route.front(), std::make_pair(150, 150));
    EXPECT_EQ(route.back(), std::make_pair(170, 153));
    char middle[64];
    snprintf(middle, sizeof middle, "route:cell:%.1f,%.1f", (route[0].first + route[1].first) / 2.0,
             (route[0].second + route[1].second) / 2.0);
    simtest::Result check = simtest::runJava("PictureCheck",
                                             {"map.png", "route:cell:150,150", middle,
                                              "pose:mm:" + std::to_string(static_cast<int>(px)) +
                                                  "," + std::to_string(static_cast<int>(py)),
                                              "unexplored:cell:10,10"},
                                             dir);
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out.find("FAILED"), std::string::npos) << check.out;
}

// The explored 7 m x 5 m room with its walls (world x 0 and 7000 are map columns 140 and 210,
// y 0 and 5000 rows 125 and 175) and a box at world (2350..2650, 2350..2650), cells 163 to 166
// by 148 to 151; unexplored outside.
void writeRoomWithABox(const std::string &path) {
    std::ofstream map(path);
    for (int row = 0; row < 300; row++) {
        for (int col = 0; col < 300; col++) {
            bool room = col >= 140 && col <= 210 && row >= 125 && row <= 175;
            bool wall = col == 140 || col == 210 || row == 125 || row == 175;
            bool box = col >= 163 && col <= 166 && row >= 148 && row <= 151;
            map << (!room ? -1 : wall || box ? 9 : 0) << " ";
        }
        map << "\n";
    }
}

TEST_F(JavaFrontTest, RouteAroundABoxReachesTheGoalBehindIt) {
    /* The box lies straight between the robot and the goal, and the sonar cannot see past it,
     * so the start map holds the explored room. The route goes round the box far enough for
     * the body to pass, and the robot arrives behind it without touching it. */
    startSim({"room 7000 5000", "box 2350 2350 2650 2650", "start 1000 2500 0"});
    writeRoomWithABox(dir.file("room.map"));
    simtest::Result r = demo({"--map", "room.map", "180,150"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Demo: move 180,150 true"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Colisao"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("muito proximo"), std::string::npos) << r.out;
    expectTruePose(4000, 2500);
}

TEST_F(JavaFrontTest, WallTooCloseStopsTheMove) {
    /* The rim 150 mm from the wall ahead, the first direction scanned; the goal lies behind. */
    startSim({"room 6000 4000", "start 5550 2000 0"});
    simtest::Result r = demo({"135,150"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Obstaculo muito proximo do Rovak\n  Perigo ao movimentar o Rovak\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Demo: move 135,150 false"), std::string::npos);
}

// The placed tests run the simulator in real time, so that the robot covers little ground
// (300 mm/s) between being placed and the navigator's next reading.
TEST_F(JavaFrontTest, ObstaclePlacedInTheWayForcesAReplan) {
    /* The rim 280 mm from the far wall (x 4000), in the way of the motion along +x. The map
     * puts that wall where the odometry, untouched by the placement, says, so the move cannot
     * arrive; what matters is that it stops and plans again. */
    startSim({"room 4000 4000", "start 1000 2000 0"}, 1);
    bool placed = false;
    simtest::Result r = demoPlacingTheRobot({"169,150"}, 4000 - 300 - 280, &placed);
    ASSERT_TRUE(placed) << r.out;
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Encontrei obstaculo\n---> Calculando nova trajetoria\nStart ("),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Demo: move 169,150 false"), std::string::npos) << r.out;
}

TEST_F(JavaFrontTest, BumperHitStopsTheMoveWithFalse) {
    /* The rim 2 mm from the far wall, within the bumpers' reach: the motion loop reads the
     * bumpers before the ranges. */
    startSim({"room 4000 4000", "start 1000 2000 0"}, 1);
    bool placed = false;
    simtest::Result r = demoPlacingTheRobot({"169,150"}, 4000 - 300 - 2, &placed);
    ASSERT_TRUE(placed) << r.out;
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Colisao com o rovak\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Encontrei obstaculo"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Demo: move 169,150 false"), std::string::npos) << r.out;
}

TEST_F(JavaFrontTest, FinishEndsTheThreadsInOrderAndRemovesTheSemaphore) {
    startSim({"room 6000 4000", "start 1000 2000 0"});
    simtest::Result r = demo({});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(inOrder(r.out, {"Conectando com o ROBO\n", "Exiting Trefreshmap...\n",
                                "Fim da thread AtualizaMapa\n", "Fim da thread GetBaterias\n",
                                "Fim da thread GetPosition\n", "Demo: finished"}))
        << r.out;
    EXPECT_FALSE(simtest::semaphoreExists());
}

TEST_F(JavaFrontTest, SpeechRefusedAndGoalsOffTheMapAnswerFalse) {
    ASSERT_TRUE(
        sim.start(10, {"--world", simtest::writeWorld(dir, {"room 6000 4000", "start 1000 2000 0"}),
                       "--fail", "Speak"}));
    simtest::Result r = demo({"--say", "ola", "300,150", "-1,5"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Demo: speak -1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Objetivo (300, 150) fora do mapa"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Demo: move 300,150 false"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Demo: move -1,5 false"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Start ("), std::string::npos) << r.out; /* nothing was planned */
    EXPECT_FALSE(simtest::semaphoreExists());
}

// A start with no simulator, then, in the same virtual machine, starts with maps that cannot
// be read (an endless device, a FIFO nobody writes to, a directory, a 1 GiB file, a missing
// file): each answers false without leaving the semaphore set behind, and the next clean start
// works.
TEST_F(JavaFrontTest, FailedStartsThenACleanStart) {
    int port = netpeer::free_tcp_port();
    setenv("ROVAK_SCHEDULER_PORT", std::to_string(port).c_str(), 1);
    std::string fifo = dir.file("map.fifo"), huge = dir.file("huge.map");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(huge) << "0 ";
    ASSERT_EQ(truncate(huge.c_str(), 1LL << 30), 0);
    std::string go = dir.file("go");
    simtest::Result r;
    std::thread java([&] {
        r = simtest::runJava("StartAfterFailures",
                             {go, "/dev/zero", fifo, dir.path(), huge, "missing.map"}, dir);
    });
    bool waiting = false;
    for (int i = 0; i < 1200 && !waiting; i++) {
        waiting =
            slurp(dir.file("java.out")).find("waiting for the simulator") != std::string::npos;
        if (!waiting)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(waiting);
    EXPECT_FALSE(simtest::semaphoreExists()); /* the virtual machine is still running */
    bool up = sim.start(
        10, {"--world", simtest::writeWorld(dir, {"room 6000 4000", "start 1000 2000 0"})}, port);
    std::ofstream(go) << "go";
    java.join();
    ASSERT_TRUE(up);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nao e um arquivo comum"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("grande demais"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check second finish ok"), std::string::npos) << r.out;
    /* The failed starts left nothing to finish, and the finish says so. */
    EXPECT_TRUE(inOrder(r.out, {"Rovak nao iniciado: finishRovak nao tem nada a terminar\n",
                                "check finish after the failures ok"}))
        << r.out;
    EXPECT_FALSE(simtest::semaphoreExists());
}

TEST_F(JavaFrontTest, TwoJavaThreadsCallTheNativeMethodsAtOnce) {
    startSim({"room 6000 4000", "start 1000 2000 0"});
    simtest::Result r = simtest::runJava("TwoThreads", {"165,150", dir.file("two.map")}, dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("TwoThreads: "), std::string::npos) << r.out;
    expectTruePose(2500, 2000);
    EXPECT_FALSE(simtest::semaphoreExists());
}

// The robot's odometry reports a heading of 150000 turns (less 0.08 thousandths of a radian)
// more than the simulator's, through a relay between the client and the simulator. The map is
// painted as for the true heading and the move arrives; a heading that large once stopped the
// map refresh for good while it held the grid, and getMap and moveRovak with it.
TEST_F(JavaFrontTest, HeadingsOfManyTurnsFromThePeer) {
    const long long turns = 942477796; /* 150000 x 2 pi, in thousandths of a radian */
    startSim({"room 6000 4000", "start 1000 2000 0"});
    simtest::OdometryProxy proxy;
    ASSERT_TRUE(proxy.start(sim.port(), turns));
    setenv("ROVAK_SCHEDULER_PORT", std::to_string(proxy.schedulerPort()).c_str(), 1);
    simtest::Result r = demo({"--save", "turns.map", "170,153"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Demo: move 170,153 true"), std::string::npos) << r.out;
    EXPECT_GT(proxy.rewritten(), 0);
    double px, py, th = 0;
    size_t at = r.out.find("Demo: position ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(sscanf(r.out.c_str() + at, "Demo: position %lf %lf %lf", &px, &py, &th), 3);
    EXPECT_GT(th, 9.4e8); /* the heading did arrive as sent */
    expectTruePose(3000, 2300);
    /* The walls ahead (world x 6000, map column 200) and behind (x 0, column 140) lie where
     * the true heading puts them. */
    std::ifstream saved(dir.file("turns.map"));
    std::vector<int> cells;
    int v;
    while (saved >> v)
        cells.push_back(v);
    ASSERT_EQ(cells.size(), 90000u);
    auto cell = [&](int cx, int cy) { return cells[cy * 300 + cx]; };
    EXPECT_TRUE(cell(199, 150) == 9 || cell(200, 150) == 9);
    EXPECT_TRUE(cell(139, 150) == 9 || cell(140, 150) == 9);
    EXPECT_EQ(cell(170, 150), 0);
}

TEST_F(JavaFrontTest, SavedMapReloadsIdentically) {
    startSim({"room 6000 4000", "start 1000 2000 0"});
    simtest::Result first = demo({"--save", "first.map"});
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    std::string saved = slurp(dir.file("first.map"));
    ASSERT_FALSE(saved.empty());
    /* The same robot at the same place paints the same cells again, so the map comes back as
     * it was saved. */
    simtest::Result second = demo({"--map", "first.map", "--save", "second.map"});
    ASSERT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_EQ(slurp(dir.file("second.map")), saved);
    simtest::Result bad = demo({"--map", "missing.map"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("An error occurs when create map"), std::string::npos) << bad.out;
}

} // namespace
