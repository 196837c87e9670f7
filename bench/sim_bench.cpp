// Simulator costs: requests per second that one synchronous client gets answered (battery, all
// six sonar sets, the combined state), and the share of one core an idle simulator uses at its
// default 50 Hz step rate, from the child's user and system times over a few wall seconds.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

simtest::SimProcess *connected_sim() {
    static std::unique_ptr<simtest::SimProcess> sim;
    if (!sim) {
        sim.reset(new simtest::SimProcess());
        if (!sim->ok() || simtest::connect_client(*sim) != 0)
            return nullptr;
    }
    return sim.get();
}

template <int (*Request)(s32)> void BM_Request(benchmark::State &state) {
    if (!connected_sim()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    for (auto _ : state) {
        if (Request(1) != 0) {
            state.SkipWithError("request failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(BM_Request, Q_GetBattery)->Name("sim/GetBattery")->UseRealTime();
BENCHMARK_TEMPLATE(BM_Request, Q_GetSonar)->Name("sim/GetSonar")->UseRealTime();
BENCHMARK_TEMPLATE(BM_Request, Q_GetState)->Name("sim/GetState")->UseRealTime();

// User plus system time of process pid in clock ticks (fields 14 and 15 of /proc/pid/stat).
long cpu_ticks(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; i++) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

void BM_IdleCpu(benchmark::State &state) {
    simtest::SimProcess sim({"--rate", "50"});
    if (!sim.ok()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    double share = 0;
    for (auto _ : state) {
        long t0 = cpu_ticks(sim.pid());
        auto w0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(4));
        long t1 = cpu_ticks(sim.pid());
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        share = 100.0 * (double)(t1 - t0) / (double)sysconf(_SC_CLK_TCK) / wall;
    }
    state.counters["cpu_percent"] = share;
}
BENCHMARK(BM_IdleCpu)->Name("sim/IdleCpu50Hz")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
