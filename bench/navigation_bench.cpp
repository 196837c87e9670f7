// Occupancy grid: one painting pass of the 24 directions, one map save, one map load.
#include "makemap.h"

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace {

/* A pass as the move loop paints it: a room seen from its middle, walls 1 to 4 m away, some
 * directions open. */
void BM_PaintPass(benchmark::State &state) {
    MakeMap map;
    map.newMap();
    const Coord pose = {15000, 15000, 300};
    for (auto _ : state) {
        for (int i = 0; i < 24; i++)
            map.paintSensorData(i, i % 6 == 5 ? 5000 : 1000 + 120 * i, pose);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PaintPass)->Unit(benchmark::kMicrosecond);

struct TempMap {
    TempMap() {
        char templ[] = "/tmp/bench-map-XXXXXX";
        dir = mkdtemp(templ);
        file = dir + "/room.map";
    }
    ~TempMap() {
        unlink(file.c_str());
        rmdir(dir.c_str());
    }
    std::string dir, file;
};

void paintRoom(MakeMap &map) {
    map.newMap();
    for (int i = 0; i < 24; i++)
        map.paintSensorData(i, 1000 + 120 * i, Coord{15000, 15000, 0});
}

void BM_SaveMap(benchmark::State &state) {
    TempMap temp;
    MakeMap map;
    paintRoom(map);
    for (auto _ : state)
        if (map.saveMap(temp.file.c_str()) != 0)
            state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveMap)->Unit(benchmark::kMillisecond);

void BM_OpenMap(benchmark::State &state) {
    TempMap temp;
    MakeMap map;
    paintRoom(map);
    map.saveMap(temp.file.c_str());
    for (auto _ : state)
        if (map.openMap(temp.file.c_str()) != 0)
            state.SkipWithError("open failed");
}
BENCHMARK(BM_OpenMap)->Unit(benchmark::kMillisecond);

} // namespace
