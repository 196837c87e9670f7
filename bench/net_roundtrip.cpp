// Blocking request round trip through the connection manager against a raw blocking write/read
// ping-pong of the same bytes over the same kind of socket, and the rate of non-blocking sends.
// The peer is a child process that answers "Done <command>" to every line but "Note" lines.
// After the runs the two round trips of each socket kind and their ratio are printed.
#include "connect.h"
#include "net_peer.h"

#include <arpa/inet.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

const char kRequest[] = "Ping 1 0\n";      // sent through the manager as "1:Ping 1 0"
const char kRawRequest[] = "1:Ping 1 0\n"; // the same bytes on the wire
const char kAnswer[] = "Done Ping\n";

netpeer::TempDir &temp_dir() {
    static netpeer::TempDir dir;
    return dir;
}

// An echoing peer, listening on TCP (kind 0) or a Unix-domain path (kind 1).
struct Peer {
    netpeer::ScriptedPeer child;
    int port = 0;
    std::string path;
    explicit Peer(int kind) {
        if (kind == 0) {
            port = netpeer::free_tcp_port();
            child.listen_tcp(port, netpeer::Script().echo());
        } else {
            static int serial = 0;
            path = temp_dir().file("bench" + std::to_string(serial++) + ".sock");
            child.listen_unix(path, netpeer::Script().echo());
        }
    }
};

CONN_ConnInfo *conn_open(const Peer &p) {
    CONN_Initialize();
    CONN_ConnInfo *c = nullptr;
    int rc = p.port ? CONN_Connect(1, "127.0.0.1", p.port, 1, &c)
                    : CONN_UnixConnect(1, p.path.c_str(), 1, &c);
    return rc == 0 ? c : nullptr;
}

void conn_close(CONN_ConnInfo *c, netpeer::ScriptedPeer &child) {
    CONN_Disconnect(c);
    while (!child.done())
        CONN_Poll();
}

int send_line(CONN_ConnInfo *c, const char *line, int block) {
    size_t n = strlen(line);
    char *copy = (char *)malloc(n);
    memcpy(copy, line, n);
    return CONN_SendToConnection(c, copy, (unsigned int)n, block);
}

int raw_open(const Peer &p) {
    if (p.port) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((unsigned short)p.port);
        return connect(fd, (sockaddr *)&a, sizeof a) == 0 ? fd : -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    strncpy(a.sun_path, p.path.c_str(), sizeof a.sun_path - 1);
    return connect(fd, (sockaddr *)&a, sizeof a) == 0 ? fd : -1;
}

// One raw round trip: the request bytes in one write, then reads until the whole answer is in.
bool raw_round_trip(int fd) {
    char buf[64];
    const size_t want = sizeof kAnswer - 1;
    if (write(fd, kRawRequest, sizeof kRawRequest - 1) < 0)
        return false;
    for (size_t got = 0; got < want;) {
        ssize_t n = read(fd, buf + got, sizeof buf - got);
        if (n <= 0)
            return false;
        got += (size_t)n;
    }
    return true;
}

double median(std::vector<double> &v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Each iteration makes one blocking request through the manager and one raw ping-pong, each to
// its own echoing peer, so both see the same machine load; the medians of the two are reported.
void BM_RoundTrip(benchmark::State &state) {
    Peer conn_peer((int)state.range(0));
    Peer raw_peer((int)state.range(0));
    CONN_ConnInfo *c = conn_open(conn_peer);
    int fd = raw_open(raw_peer);
    if (!c || fd < 0) {
        state.SkipWithError("connect failed");
        return;
    }
    std::vector<double> conn_us, raw_us;
    using clock = std::chrono::steady_clock;
    for (auto _ : state) {
        auto t0 = clock::now();
        int rc = send_line(c, kRequest, 1);
        auto t1 = clock::now();
        bool ok = raw_round_trip(fd);
        auto t2 = clock::now();
        if (rc != 0 || !ok) {
            state.SkipWithError("round trip failed");
            break;
        }
        conn_us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        raw_us.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    double conn_med = median(conn_us), raw_med = median(raw_us);
    state.counters["conn_us"] = conn_med;
    state.counters["raw_us"] = raw_med;
    state.counters["ratio"] = raw_med > 0 ? conn_med / raw_med : 0;
    state.counters["conn_min_us"] = conn_us.empty() ? 0 : conn_us.front(); // sorted by median()
    state.counters["raw_min_us"] = raw_us.empty() ? 0 : raw_us.front();
    close(fd);
    raw_peer.child.finish();
    conn_close(c, conn_peer.child);
}

void BM_NonBlockingSends(benchmark::State &state) {
    Peer p((int)state.range(0));
    CONN_ConnInfo *c = conn_open(p);
    if (!c) {
        state.SkipWithError("connect failed");
        return;
    }
    for (auto _ : state) {
        send_line(c, "Note 1 0\n", 0);
        CONN_Poll();
    }
    // Everything sent before it has reached the peer once the answer to this request is back.
    send_line(c, "Sync\n", 1);
    state.SetItemsProcessed(state.iterations());
    conn_close(c, p.child);
}

BENCHMARK(BM_RoundTrip)->Arg(0)->Arg(1)->ArgName("unix")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NonBlockingSends)->Arg(0)->Arg(1)->ArgName("unix")->Unit(benchmark::kMicrosecond);

// Console output plus the counters and the time per iteration of the last run of each benchmark.
class Recorder : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, Run> last;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                last[r.run_name.function_name + "/" + r.run_name.args] = r;
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGPIPE, SIG_IGN); // a vanished peer fails the run instead of killing it
    benchmark::Initialize(&argc, argv);
    Recorder rec;
    benchmark::RunSpecifiedBenchmarks(&rec);
    std::fflush(stdout);
    std::printf("\n");
    const char *kinds[] = {"tcp", "unix"};
    for (int k = 0; k < 2; k++) {
        std::string arg = "/unix:" + std::to_string(k);
        auto rt = rec.last.find("BM_RoundTrip" + arg);
        if (rt != rec.last.end()) {
            auto &ctr = rt->second.counters;
            std::printf(
                "%-4s round trip (median): blocking request %.2f us, raw ping-pong %.2f us, "
                "ratio %.2f\n",
                kinds[k], ctr["conn_us"].value, ctr["raw_us"].value, ctr["ratio"].value);
            std::printf(
                "%-4s round trip (fastest): blocking request %.2f us, raw ping-pong %.2f us, "
                "ratio %.2f\n",
                kinds[k], ctr["conn_min_us"].value, ctr["raw_min_us"].value,
                ctr["conn_min_us"].value / ctr["raw_min_us"].value);
        }
        auto sends = rec.last.find("BM_NonBlockingSends" + arg);
        if (sends != rec.last.end())
            std::printf("%-4s non-blocking sends: %.0f lines/s\n", kinds[k],
                        1e6 / sends->second.GetAdjustedRealTime());
    }
    benchmark::Shutdown();
    return 0;
}
