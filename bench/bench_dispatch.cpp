// Word splitting and dispatch of a short request line, of a long state line, and of a 64 KiB
// line of empty commands (a reply of some 350 KB built one acknowledgement at a time).
#include "argcv.h"
#include "command.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

char *ignore(int, long, int, char **) { return nullptr; }

const std::string &state_line() {
    static std::string line = [] {
        std::string s = "SetSonar";
        for (int i = 1; i < 200; i++)
            s += " " + std::to_string(1000 + i * 7);
        return s + "\n";
    }();
    return line;
}

void register_once() {
    static bool done = [] {
        CMD_Initialize();
        CMD_Register("GetSonar", ignore);
        CMD_Register("SetSonar", ignore);
        return true;
    }();
    (void)done;
}

void BM_ArgcvShortLine(benchmark::State &state) {
    for (auto _ : state) {
        int argc;
        char **argv;
        ARGCV_Create("GetSonar 1 0\n", &argc, &argv);
        benchmark::DoNotOptimize(argv);
        ARGCV_Free(argc, argv);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ArgcvStateLine(benchmark::State &state) {
    const char *line = state_line().c_str();
    for (auto _ : state) {
        int argc;
        char **argv;
        ARGCV_Create(line, &argc, &argv);
        benchmark::DoNotOptimize(argv);
        ARGCV_Free(argc, argv);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * (int64_t)state_line().size());
}

void BM_DispatchShortLine(benchmark::State &state) {
    register_once();
    for (auto _ : state) {
        char *reply = CMD_ExecuteRaw(3, "GetSonar 1 0\n");
        benchmark::DoNotOptimize(reply);
        free(reply);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DispatchStateLine(benchmark::State &state) {
    register_once();
    const char *line = state_line().c_str();
    for (auto _ : state) {
        char *reply = CMD_ExecuteRaw(3, line);
        benchmark::DoNotOptimize(reply);
        free(reply);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DispatchEmptyCommands(benchmark::State &state) {
    register_once();
    std::string line;
    while (line.size() + 4 < 65536)
        line += "\"\" ";
    line += "\n";
    size_t reply_bytes = 0;
    for (auto _ : state) {
        char *reply = CMD_ExecuteRaw(3, line.c_str());
        benchmark::DoNotOptimize(reply);
        reply_bytes = reply ? std::strlen(reply) : 0;
        free(reply);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * (int64_t)reply_bytes);
}

BENCHMARK(BM_ArgcvShortLine);
BENCHMARK(BM_ArgcvStateLine);
BENCHMARK(BM_DispatchShortLine);
BENCHMARK(BM_DispatchStateLine);
BENCHMARK(BM_DispatchEmptyCommands);

} // namespace
