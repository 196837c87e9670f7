// Sector maps: merging, the sector layout, angle lookup, window readers and the text views.
#include "sensormap.h"

#include <gtest/gtest.h>

#include <string>

namespace {

MySonar sonar_filled(int base) {
    MySonar s{};
    for (int i = 0; i < 16; i++)
        s.sonar[i].Reading = base + i;
    return s;
}

TEST(SensorMap, MergesPairsSensorBySensor) {
    MySonar a{}, b{}, m{};
    a.sonar[3].Reading = 800;
    b.sonar[3].Reading = 650;
    a.sonar[4].Reading = 5;
    b.sonar[4].Reading = 5;
    b.sonar[8].Reading = -7; // beyond the eight used: never merged
    MinSonarSet(&a, &b, &m);
    EXPECT_EQ(m.sonar[3].Reading, 650);
    EXPECT_EQ(m.sonar[4].Reading, 5);
    EXPECT_EQ(m.sonar[8].Reading, 0);

    MyIR i1{}, i2{}, im{};
    i1.IR[3].Reading = 12;
    i2.IR[3].Reading = 40;
    i1.IR[0].Reading = -3;
    i2.IR[0].Reading = -9;
    MaxIRSet(&i1, &i2, &im);
    EXPECT_EQ(im.IR[3].Reading, 40);
    EXPECT_EQ(im.IR[0].Reading, -3);

    MyBumper b1{}, b2{}, bm{};
    b1.bumper[0].Reading = (char)-5;
    b2.bumper[0].Reading = (char)-2;
    b1.bumper[1].Reading = (char)100;
    b2.bumper[1].Reading = (char)-100;
    MaxBumperSet(&b1, &b2, &bm);
    EXPECT_EQ((signed char)bm.bumper[0].Reading, -2);
    EXPECT_EQ((signed char)bm.bumper[1].Reading, 100);
}

TEST(SensorMap, SectorLayout) {
    MySonar g0 = sonar_filled(0), g1 = sonar_filled(100), g2 = sonar_filled(200);
    Map map;
    MapSonarSet(&g0, &g1, &g2, &map);
    const int expected[24] = {206, 207, 0,   1,   2,   3,   4,   5,   6,   7,   100, 101,
                              102, 103, 104, 105, 106, 107, 200, 201, 202, 203, 204, 205};
    for (int k = 0; k < 24; k++)
        EXPECT_EQ(map.Reading[k], expected[k]) << "sector " << k;

    MyBumper b0{}, b1{}, b2{};
    b2.bumper[5].Reading = (char)-1;
    MapBumperSet(&b0, &b1, &b2, &map);
    EXPECT_EQ(map.Reading[23], -1); // widened with its sign
}

TEST(SensorMap, MapAngle) {
    const struct {
        int angle, sector;
    } cases[] = {{15, 0}, {0, 23}, {30, 2}, {45, 3}, {180, 12}, {345, 23}, {346, 24}, {359, 24}};
    for (const auto &c : cases)
        EXPECT_EQ(MapAngle(c.angle), c.sector) << c.angle;
    for (int k = 2; k < 24; k++) // every multiple of 15 from 30 on is its own sector
        EXPECT_EQ(MapAngle(15 * k), k);
}

TEST(SensorMap, WindowReaders) {
    Map map;
    for (int k = 0; k < 24; k++)
        map.Reading[k] = 12000;
    EXPECT_EQ(GetSMapReading(&map, 90, 5), 10000);
    map.Reading[6] = 700;
    map.Reading[5] = 900;
    EXPECT_EQ(GetSMapReading(&map, 90, 1), 700); // sector 6 alone
    EXPECT_EQ(GetSMapReading(&map, 75, 1), 900);
    EXPECT_EQ(GetSMapReading(&map, 105, 3), 700); // sectors 6 to 8
    EXPECT_EQ(GetSMapReading(&map, 120, 3), 10000);
    map.Reading[0] = 100; // 346 to 359 degrees wrap to sector 0
    EXPECT_EQ(GetSMapReading(&map, 350, 1), 100);
    EXPECT_EQ(GetSMapReading(&map, 0, 3), 100);       // sectors 22, 23, 0 around 0 degrees
    EXPECT_EQ(GetSMapReading(&map, 0, 1 << 30), 100); // huge windows cover the ring once

    for (int k = 0; k < 24; k++)
        map.Reading[k] = -5;
    EXPECT_EQ(GetIMapReading(&map, 90, 7), 0);
    map.Reading[23] = 33;
    EXPECT_EQ(GetBMapReading(&map, 15, 3), 33);
}

TEST(SensorMap, SonarBars) {
    EXPECT_EQ(SonarBarLength(15000), 60);
    EXPECT_EQ(SonarBarLength(10000), 60);
    EXPECT_EQ(SonarBarLength(334), 3);
    EXPECT_EQ(SonarBarLength(0), 0);
    EXPECT_EQ(SonarBarLength(-50), 0);
    EXPECT_EQ(SonarBarLength(1), 1);

    Map map{};
    map.Reading[0] = 15000;
    map.Reading[1] = 334;
    testing::internal::CaptureStderr();
    ShowSonarMap(&map);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "10000\t" + std::string(60, '-') + "\n");
    EXPECT_NE(out.find("\n334\t---\n"), std::string::npos);
}

TEST(SensorMap, EvidenceGrid) {
    Map map;
    for (int k = 0; k < 24; k++)
        map.Reading[k] = 20000; // everything far: outside the grid
    map.Reading[MapAngle(0)] = 0;
    int grid[20][20];
    EvidenceGrid(&map, grid);
    EXPECT_EQ(grid[9][9], 1);
    EXPECT_EQ(grid[10][10], 2);
    int echoes = 0;
    for (auto &col : grid)
        for (int cell : col)
            echoes += cell == 1;
    EXPECT_EQ(echoes, 2); // 0 and 345 degrees both read sector 23
    EXPECT_EQ(grid[9][8], 1);

    testing::internal::CaptureStderr();
    ShowEvidence(&map);
    std::string out = testing::internal::GetCapturedStderr();
    ASSERT_EQ(out.size(), 20u * 41u);
    // Row y = 10 is the 10th line from the top; y = 9 the 11th.
    EXPECT_EQ(out.substr(9 * 41 + 20, 2), "OO");
    EXPECT_EQ(out.substr(10 * 41 + 18, 2), "++");
}

TEST(SensorMap, TextViews) {
    MySonar s = sonar_filled(1);
    Map map{};
    map.Reading[0] = 10001;
    map.Reading[1] = 2500;
    testing::internal::CaptureStderr();
    ShowSonarSet(&s);
    ShowMap(&map);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.substr(0, out.find('\n')), "1 2 3 4 5 6 7 8 ");
    std::string second = out.substr(out.find('\n') + 1);
    EXPECT_EQ(second.substr(0, 6), "10.02.");
}

} // namespace
