// Simulator costs, the simulator running as a child process:
// - requests one synchronous client gets answered (battery, all six sonar sets, the combined
//   state), with the simulator's own processor time per request (from /proc/<pid>/schedstat);
// - a raw write/read round trip of a short line to an echo child over the same kinds of socket,
//   and the GetBattery round trip against it in one run (alternating blocks, medians);
// - the share of one core an idle simulator uses at its default 50 Hz step rate, with 1 and 16
//   robots, and with 16 robots and the live view, from the child's run time over a few seconds.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

simtest::SimProcess *connected_sim() {
    static std::unique_ptr<simtest::SimProcess> sim;
    if (!sim) {
        sim.reset(new simtest::SimProcess());
        if (!sim->ok() || simtest::connect_client(*sim) != 0)
            return nullptr;
    }
    return sim.get();
}

// Nanoseconds process pid has run on a processor, over all its live threads.
double run_ns(pid_t pid) {
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream f(dir + "/" + e->d_name + "/schedstat");
        double ns;
        if (f >> ns)
            total += ns;
    }
    closedir(d);
    return total;
}

template <int (*Request)(s32)> void BM_Request(benchmark::State &state) {
    simtest::SimProcess *sim = connected_sim();
    if (!sim) {
        state.SkipWithError("simulator did not start");
        return;
    }
    double t0 = run_ns(sim->pid());
    for (auto _ : state) {
        if (Request(1) != 0) {
            state.SkipWithError("request failed");
            return;
        }
    }
    double spent = run_ns(sim->pid()) - t0;
    state.SetItemsProcessed(state.iterations());
    state.counters["sim_cpu_us"] = spent / 1000.0 / (double)state.iterations();
}
BENCHMARK_TEMPLATE(BM_Request, Q_GetBattery)->Name("sim/GetBattery")->UseRealTime();
BENCHMARK_TEMPLATE(BM_Request, Q_GetSonar)->Name("sim/GetSonar")->UseRealTime();
BENCHMARK_TEMPLATE(BM_Request, Q_GetState)->Name("sim/GetState")->UseRealTime();

// An echo child on a fresh listening socket: answers every read with the same bytes.
struct Echo {
    pid_t pid = -1;
    int fd = -1;
    netpeer::TempDir dir;

    explicit Echo(bool unix_socket) {
        int family = unix_socket ? AF_UNIX : AF_INET;
        int l = socket(family, SOCK_STREAM, 0), one = 1;
        sockaddr_storage ss;
        socklen_t len = make_address(unix_socket, &ss);
        setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(l, (sockaddr *)&ss, len) != 0 || listen(l, 1) != 0 ||
            getsockname(l, (sockaddr *)&ss, &len) != 0) {
            close(l);
            return;
        }
        pid = fork();
        if (pid == 0) {
            int c = accept(l, nullptr, nullptr);
            if (!unix_socket)
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            char buf[256];
            ssize_t n;
            while ((n = read(c, buf, sizeof buf)) > 0)
                if (write(c, buf, (size_t)n) != n)
                    break;
            _exit(0);
        }
        close(l);
        fd = socket(family, SOCK_STREAM, 0);
        if (!unix_socket)
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(fd, (sockaddr *)&ss, len) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~Echo() {
        if (fd >= 0)
            close(fd);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    }
    socklen_t make_address(bool unix_socket, sockaddr_storage *ss) {
        memset(ss, 0, sizeof *ss);
        if (unix_socket) {
            sockaddr_un *a = (sockaddr_un *)ss;
            a->sun_family = AF_UNIX;
            snprintf(a->sun_path, sizeof a->sun_path, "%s", dir.file("echo.sock").c_str());
            return sizeof *a;
        }
        sockaddr_in *a = (sockaddr_in *)ss;
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return sizeof *a;
    }
    // One round trip of the request a client writes for GetBattery.
    bool round_trip() {
        static const char line[] = "1:GetBattery\n";
        const size_t n = sizeof line - 1;
        if (write(fd, line, n) != (ssize_t)n)
            return false;
        char buf[64];
        size_t got = 0;
        while (got < n) {
            ssize_t r = read(fd, buf + got, sizeof buf - got);
            if (r <= 0)
                return false;
            got += (size_t)r;
        }
        return true;
    }
};

void BM_RawRoundTrip(benchmark::State &state) {
    Echo echo(state.range(0) != 0);
    if (echo.fd < 0) {
        state.SkipWithError("no echo peer");
        return;
    }
    for (auto _ : state)
        if (!echo.round_trip()) {
            state.SkipWithError("echo failed");
            return;
        }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawRoundTrip)->Name("raw/RoundTrip/unix")->Arg(1)->UseRealTime();
BENCHMARK(BM_RawRoundTrip)->Name("raw/RoundTrip/tcp")->Arg(0)->UseRealTime();

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// GetBattery through the client library (Unix-domain socket) against the raw round trip over
// the same kind of socket, in alternating blocks so both see the same load.
void BM_BatteryVsRaw(benchmark::State &state) {
    simtest::SimProcess *sim = connected_sim();
    Echo echo(true);
    if (!sim || echo.fd < 0) {
        state.SkipWithError("no simulator or echo peer");
        return;
    }
    const int block = 500;
    std::vector<double> battery, raw;
    for (auto _ : state) {
        for (int round = 0; round < 20; round++) {
            auto t0 = Clock::now();
            for (int i = 0; i < block; i++)
                Q_GetBattery(1);
            auto t1 = Clock::now();
            for (int i = 0; i < block; i++)
                echo.round_trip();
            auto t2 = Clock::now();
            battery.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() / block);
            raw.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count() / block);
        }
    }
    state.counters["battery_us"] = median(battery);
    state.counters["raw_us"] = median(raw);
    state.counters["ratio"] = median(battery) / median(raw);
}
BENCHMARK(BM_BatteryVsRaw)->Name("sim/GetBatteryVsRaw")->Iterations(1)->Unit(benchmark::kSecond);

// Share of one core used by an idle simulator: robots, and the view on or off.
void BM_IdleCpu(benchmark::State &state) {
    std::vector<std::string> args = {"--rate", "50", "--robots", std::to_string(state.range(0))};
    if (state.range(0) > 3) // a row beside the built-in world's start lines, clear of obstacles
        args.insert(args.end(), {"--world", "/dev/null"});
    if (state.range(1))
        args.insert(args.end(), {"--view", "0"});
    simtest::SimProcess sim(args);
    if (!sim.ok()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    double share = 0;
    for (auto _ : state) {
        double t0 = run_ns(sim.pid());
        auto w0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(4));
        double t1 = run_ns(sim.pid());
        double wall = std::chrono::duration<double, std::nano>(Clock::now() - w0).count();
        share = 100.0 * (t1 - t0) / wall;
    }
    state.counters["cpu_percent"] = share;
}
BENCHMARK(BM_IdleCpu)
    ->Name("sim/IdleCpu50Hz")
    ->ArgNames({"robots", "view"})
    ->Args({1, 0})
    ->Args({16, 0})
    ->Args({16, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
