// Occupancy grid: the painters, the map file and the image export.
#include "makemap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const Coord kCentre = {15000, 15000, 0};

class MakeMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/makemap-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        map.reset(new MakeMap);
        ASSERT_EQ(map->newMap(), 0);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string path(const char *name) const { return dir + "/" + name; }
    int at(int cx, int cy) const { return map->getMap()[cy * MAP_SIZE + cx]; }
    int count(int value) const {
        int n = 0;
        for (int i = 0; i < MAP_CELLS; i++)
            n += map->getMap()[i] == value;
        return n;
    }
    /* Writes a map file with every cell fill and the listed cells set. */
    std::string writeMap(const char *name, int fill,
                         const std::vector<std::pair<int, int>> &cells = {}) {
        std::vector<int> grid(MAP_CELLS, fill);
        for (const auto &c : cells)
            grid[c.first] = c.second;
        std::ofstream out(path(name));
        for (int i = 0; i < MAP_CELLS; i++)
            out << grid[i] << ((i + 1) % MAP_SIZE == 0 ? " \n" : " ");
        return path(name);
    }

    std::string dir;
    std::unique_ptr<MakeMap> map;
};

TEST_F(MakeMapTest, FarReadingFreesTheConeOnly) {
    map->paintSensorData(0, 5000, kCentre);
    EXPECT_EQ(count(MAP_OBSTACLE), 0);
    EXPECT_EQ(count(MAP_BAND), 0);
    for (int cx = 150; cx <= 179; cx++)
        EXPECT_EQ(at(cx, 150), MAP_FREE) << "column " << cx;
    EXPECT_EQ(at(180, 150), MAP_UNEXPLORED);
    int minRow = MAP_SIZE, maxRow = -1, minCol = MAP_SIZE, maxCol = -1;
    for (int cy = 0; cy < MAP_SIZE; cy++)
        for (int cx = 0; cx < MAP_SIZE; cx++)
            if (at(cx, cy) == MAP_FREE) {
                minRow = std::min(minRow, cy), maxRow = std::max(maxRow, cy);
                minCol = std::min(minCol, cx), maxCol = std::max(maxCol, cx);
            }
    EXPECT_EQ(minRow, 146);
    EXPECT_EQ(maxRow, 153);
    EXPECT_EQ(minCol, 150);
    EXPECT_EQ(maxCol, 179);
}

TEST_F(MakeMapTest, EchoAtOneMetreLeavesFreeBandAndObstacle) {
    map->paintSensorData(0, 1000, kCentre);
    for (int cx = 150; cx <= 155; cx++)
        EXPECT_EQ(at(cx, 150), MAP_FREE) << "column " << cx;
    for (int cx = 156; cx <= 161; cx++)
        EXPECT_EQ(at(cx, 150), MAP_BAND) << "column " << cx;
    EXPECT_EQ(at(162, 150), MAP_OBSTACLE); /* 1300 mm out, just short of x = 16300 */
    EXPECT_EQ(at(163, 150), MAP_UNEXPLORED);
}

TEST_F(MakeMapTest, CloseReadingHasNoFreeStretch) {
    map->paintSensorData(0, 100, kCentre);
    EXPECT_EQ(count(MAP_FREE), 0);
    EXPECT_EQ(at(150, 150), MAP_BAND); /* the band starts at the pose */
    EXPECT_EQ(at(155, 150), MAP_BAND); /* and runs out to about 594 mm */
    EXPECT_EQ(at(156, 150), MAP_UNEXPLORED);
    EXPECT_EQ(at(153, 150), MAP_OBSTACLE); /* the echo, 400 mm out */
}

TEST_F(MakeMapTest, HeadingAndDirectionTurnTheCone) {
    /* Direction 6 lies 90 degrees from the heading; a heading of pi/2 turns direction 0 the
     * same way: both paint the same cone along +y. */
    map->paintSensorData(6, 1000, kCentre);
    std::vector<int> sideways(map->getMap(), map->getMap() + MAP_CELLS);
    EXPECT_EQ(at(149, 162), MAP_OBSTACLE);
    EXPECT_EQ(at(150, 155), MAP_FREE);
    EXPECT_EQ(at(162, 150), MAP_UNEXPLORED);
    ASSERT_EQ(map->newMap(), 0);
    map->paintSensorData(0, 1000, Coord{15000, 15000, 1571});
    EXPECT_TRUE(std::equal(sideways.begin(), sideways.end(), map->getMap()));
}

TEST_F(MakeMapTest, BorderCellsAreClamped) {
    map->paintSensorData(0, 5000, Coord{29950, 15000, 0}); /* out of the right edge */
    EXPECT_EQ(at(299, 150), MAP_FREE);
    ASSERT_EQ(map->newMap(), 0);
    /* Direction 15 (225 degrees) from (50, 50): every point of the cone clamps onto the
     * corner cell, and the last ray's echo is written last. */
    map->paintSensorData(15, 1000, Coord{50, 50, 0});
    EXPECT_EQ(at(0, 0), MAP_OBSTACLE);
    EXPECT_EQ(count(MAP_UNEXPLORED), MAP_CELLS - 1);
}

TEST_F(MakeMapTest, SensorIndexOutsideTheRingPaintsNothing) {
    map->paintSensorData(25, 1000, kCentre);
    map->paintSensorData(-1, 1000, kCentre);
    EXPECT_EQ(count(MAP_UNEXPLORED), MAP_CELLS);
    map->paintSensorData(24, 1000, kCentre); /* a full turn: the same as direction 0 */
    EXPECT_EQ(at(162, 150), MAP_OBSTACLE);
}

TEST_F(MakeMapTest, RobotFootprint) {
    map->paintRovak(15000, 15000);
    std::set<std::pair<int, int>> expected;
    for (int cx = 147; cx <= 152; cx++)
        expected.insert({cx, 150}), expected.insert({cx, 151});
    for (int cy = 148; cy <= 153; cy++)
        expected.insert({149, cy}), expected.insert({150, cy});
    for (auto c : {std::make_pair(148, 149), std::make_pair(151, 149), std::make_pair(151, 152),
                   std::make_pair(148, 152)})
        expected.insert(c);
    std::set<std::pair<int, int>> painted;
    for (int cy = 0; cy < MAP_SIZE; cy++)
        for (int cx = 0; cx < MAP_SIZE; cx++)
            if (at(cx, cy) == MAP_ROBOT)
                painted.insert({cx, cy});
    EXPECT_EQ(painted, expected);
    EXPECT_EQ(painted.size(), 24u);
}

TEST_F(MakeMapTest, SavedMapReadsBackIdentically) {
    map->paintSensorData(0, 1000, kCentre);
    map->paintSensorData(7, 2000, kCentre);
    map->paintRovak(15000, 15000);
    std::string file = path("room.map");
    ASSERT_EQ(map->saveMap(file.c_str()), 0);
    MakeMap other;
    ASSERT_EQ(other.openMap(file.c_str()), 0);
    for (int i = 0; i < MAP_CELLS; i++)
        ASSERT_EQ(other.getMap()[i], map->getMap()[i]) << "cell " << i;
    /* 300 lines of 300 "%d " values, each line ending in a space before the new-line. */
    std::ifstream in(file);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        lines++;
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), ' ');
    }
    EXPECT_EQ(lines, MAP_SIZE);
    EXPECT_EQ(access((file + ".tmp" + std::to_string(getpid())).c_str(), F_OK), -1);
}

TEST_F(MakeMapTest, BadMapFilesAreRefusedAndLeaveTheMapAlone) {
    map->paintSensorData(0, 1000, kCentre);
    std::vector<int> before(map->getMap(), map->getMap() + MAP_CELLS);
    std::string good = writeMap("good.map", 5);
    std::string text;
    {
        std::ifstream in(good);
        std::stringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    struct Case {
        const char *name;
        std::string content;
    } cases[] = {
        {"short", text.substr(0, text.size() - 3)},
        {"not a number", "x " + text},
        {"twelve", "12 " + text.substr(2)},
        {"minus two", "-2 " + text.substr(2)},
        {"empty", ""},
    };
    for (const Case &c : cases) {
        std::string file = path("bad.map");
        std::ofstream(file) << c.content;
        EXPECT_NE(map->openMap(file.c_str()), 0) << c.name;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), map->getMap())) << c.name;
    }
    EXPECT_NE(map->openMap(path("missing.map").c_str()), 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), map->getMap()));
    ASSERT_EQ(map->openMap(good.c_str()), 0);
    EXPECT_EQ(count(5), MAP_CELLS);
}

TEST_F(MakeMapTest, MapWordsAreParsedAcrossChunksAndSpacing) {
    /* "-1 " values put word boundaries at every offset of the read chunks; tabs and CRLF line
     * ends, a plus sign and leading zeros are still decimal integers. */
    ASSERT_EQ(map->openMap(writeMap("minus.map", -1, {{MAP_CELLS - 1, 11}}).c_str()), 0);
    EXPECT_EQ(count(MAP_UNEXPLORED), MAP_CELLS - 1);
    EXPECT_EQ(at(299, 299), 11);
    std::string text = "+3\t0007\r\n";
    for (int i = 2; i < MAP_CELLS; i++)
        text += "-1\r\n";
    std::string file = path("spaced.map");
    std::ofstream(file) << text;
    ASSERT_EQ(map->openMap(file.c_str()), 0);
    EXPECT_EQ(at(0, 0), 3);
    EXPECT_EQ(at(1, 0), 7);
}

TEST_F(MakeMapTest, MalformedWordsAreRefusedWhereTheyStand) {
    std::string good;
    {
        std::ifstream in(writeMap("good.map", 0));
        std::stringstream all;
        all << in.rdbuf();
        good = all.str();
    }
    std::vector<int> before(map->getMap(), map->getMap() + MAP_CELLS);
    struct Case {
        const char *name;
        std::string content;
        const char *message;
    } cases[] = {
        {"one value too many", good + "0\n", "mais de 90000 valores"},
        {"sign alone", "- " + good, "o valor 1 nao e um numero"},
        {"two signs", "--1 " + good, "o valor 1 nao e um numero"},
        {"trailing sign", "1- " + good, "o valor 1 nao e um numero"},
        {"letters after digits", "5x " + good, "o valor 1 nao e um numero"},
        {"zero byte", std::string("0 \0 ", 4) + good, "o valor 2 nao e um numero"},
        {"huge number", "99999999999999999999999 " + good, "o valor 1 esta fora de -1 a 11"},
        {"huge negative", "0 -99999999999999999999 " + good, "o valor 2 esta fora de -1 a 11"},
        {"value past the middle", good.substr(0, 135000) + " 12 " + good, "esta fora de -1 a 11"},
        {"short by one", good.substr(0, good.size() - 3), "so 89999 dos 90000 valores"},
    };
    for (const Case &c : cases) {
        std::string file = path("bad.map");
        std::ofstream(file, std::ios::binary) << c.content;
        testing::internal::CaptureStdout();
        EXPECT_EQ(map->openMap(file.c_str()), -1) << c.name;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.message), std::string::npos) << c.name << ": " << out;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), map->getMap())) << c.name;
    }
}

TEST_F(MakeMapTest, FilesThatAreNotPlainMapsAreRefusedWithoutReadingThem) {
    /* Each would hang the reader or exhaust its memory if it were read to the end: an endless
     * device, a FIFO nobody writes to, a directory, and a 1 GiB (sparse) file. */
    std::string fifo = path("map.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string huge = path("huge.map");
    {
        std::ofstream(huge) << "0 ";
        ASSERT_EQ(truncate(huge.c_str(), 1LL << 30), 0);
    }
    struct Case {
        std::string file;
        const char *message;
    } cases[] = {
        {"/dev/zero", "nao e um arquivo comum"},
        {fifo, "nao e um arquivo comum"},
        {dir, "nao e um arquivo comum"},
        {huge, "grande demais"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(map->openMap(c.file.c_str()), -1) << c.file;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find(c.message), std::string::npos) << c.file << ": " << out;
        EXPECT_EQ(count(MAP_UNEXPLORED), MAP_CELLS) << c.file;
    }
}

TEST_F(MakeMapTest, SaveFailsWhenTheFileCannotBeWritten) {
    EXPECT_NE(map->saveMap(path("no/such/dir.map").c_str()), 0);
    EXPECT_NE(map->saveMap(""), 0);
}

TEST_F(MakeMapTest, ImageFlipsRowsAndColoursEveryCode) {
    /* Row 0 of the grid is the bottom row of the image; columns stay. */
    std::vector<std::pair<int, int>> cells;
    for (int v = -1; v <= 11; v++)
        cells.push_back({0 * MAP_SIZE + (v + 1), v});
    cells.push_back({299 * MAP_SIZE + 7, 9});
    ASSERT_EQ(map->openMap(writeMap("codes.map", 0, cells).c_str()), 0);
    std::unique_ptr<int32_t[]> image(map->makeImage());
    ASSERT_NE(image, nullptr);
    auto pixel = [&](int row, int col) { return static_cast<uint32_t>(image[row * 300 + col]); };
    EXPECT_EQ(pixel(299, 0), MAP_PIXEL_UNEXPLORED);
    EXPECT_EQ(pixel(299, 1), MAP_PIXEL_FREE);
    EXPECT_EQ(pixel(299, 9), MAP_PIXEL_BAND);
    EXPECT_EQ(pixel(299, 10), MAP_PIXEL_OBSTACLE);
    EXPECT_EQ(pixel(299, 11), MAP_PIXEL_TEN);
    EXPECT_EQ(pixel(299, 12), MAP_PIXEL_ROBOT);
    EXPECT_EQ(pixel(0, 7), MAP_PIXEL_OBSTACLE); /* grid row 299 is the top row */
    EXPECT_EQ(pixel(150, 150), MAP_PIXEL_FREE);
    std::set<uint32_t> colours;
    for (int col = 0; col <= 12; col++)
        colours.insert(pixel(299, col));
    EXPECT_EQ(colours.size(), 13u); /* every code its own colour */
    for (int col = 2; col <= 8; col++)
        EXPECT_EQ(pixel(299, col) >> 24, 0xFFu); /* opaque */
}

TEST(MakeMapImage, NoImageOrFileBeforeAMapIsLoaded) {
    MakeMap map;
    EXPECT_FALSE(map.hasGrid());
    EXPECT_EQ(map.makeImage(), nullptr);
    /* The cells hold nothing yet: a file of them could not be read back. */
    std::string file = "/tmp/makemap-unloaded-" + std::to_string(getpid()) + ".map";
    EXPECT_EQ(map.saveMap(file.c_str()), -1);
    EXPECT_EQ(access(file.c_str(), F_OK), -1);
}

/* The 24 directions painted from (15000, 15000) with the heading th, each with its own range. */
std::vector<int> paintedRing(int32_t th) {
    MakeMap map;
    map.newMap();
    for (int i = 0; i < 24; i++)
        map.paintSensorData(i, 1000 + 50 * i, Coord{15000, 15000, th});
    return std::vector<int>(map.getMap(), map.getMap() + MAP_CELLS);
}

TEST(MakeMapHeading, AnyHeadingPaintsLikeItsAngleWithinOneTurn) {
    /* A peer may report a heading of many turns. The painting must end (single-precision steps
     * stop changing an angle that large) and match the same angle within one turn, taken here
     * to the nearest thousandth of a radian; rounding may move a few cells at cone edges. */
    const double turn = 2000.0 * M_PI;
    const int32_t headings[] = {628318531, 628318531 + 1571, -628318531,
                                942477796, INT32_MAX,        INT32_MIN};
    for (int32_t th : headings) {
        std::vector<int> big = paintedRing(th);
        int32_t within = static_cast<int32_t>(std::lround(std::fmod(th, turn)));
        std::vector<int> reference = paintedRing(within);
        int painted = 0, differ = 0;
        for (int i = 0; i < MAP_CELLS; i++) {
            painted += reference[i] != MAP_UNEXPLORED;
            differ += big[i] != reference[i];
        }
        EXPECT_GT(painted, 1000) << th;
        EXPECT_LE(differ, painted / 50) << th << " against " << within;
    }
}

TEST(MakeMapHeading, PosesFarOffTheMapPaintOnlyBorderCells) {
    const Coord poses[] = {
        {INT32_MAX, INT32_MAX, 0}, {INT32_MIN, 15000, 1571}, {15000, INT32_MIN, INT32_MAX}};
    for (const Coord &pose : poses) {
        MakeMap map;
        map.newMap();
        for (int i = 0; i < 24; i++)
            map.paintSensorData(i, i % 2 == 0 ? 800 : 5000, pose);
        for (int cy = 0; cy < MAP_SIZE; cy++)
            for (int cx = 0; cx < MAP_SIZE; cx++) {
                bool border = cx == 0 || cy == 0 || cx == MAP_SIZE - 1 || cy == MAP_SIZE - 1;
                if (!border) {
                    ASSERT_EQ(map.getMap()[cy * MAP_SIZE + cx], MAP_UNEXPLORED)
                        << pose.x << "," << pose.y << " cell " << cx << "," << cy;
                }
            }
    }
}

} // namespace
