// Occupancy grid: the painters, the map file and the image export.
#include "makemap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <stdlib.h>
#include <string>
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

TEST(MakeMapImage, NoImageBeforeAMapIsLoaded) {
    MakeMap map;
    EXPECT_FALSE(map.hasGrid());
    EXPECT_EQ(map.makeImage(), nullptr);
}

} // namespace
