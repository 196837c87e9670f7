// The fault options that shape acknowledgements and reading, checked on the wire with raw
// sockets: error answers that end like every other answer, acknowledgements written apart,
// connections that fall silent, and a flood towards a peer whose own lines are no longer read.
#include "sim_process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

using simtest::LineClient;
using simtest::SimProcess;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

enum Transport { TCP, UNIX };
const Transport transports[] = {TCP, UNIX};
const char *name_of(Transport t) { return t == TCP ? "tcp" : "unix"; }

// Kernel buffer size the tests fix on their own sockets, so a peer that stops reading is seen
// after little data.
const int small_buffer = 65536;

int robot_tcp_port(const SimProcess &sim) {
    LineClient c(sim.port());
    for (const std::string &l : c.ask("0:GetRegisteredList", "GetRegisteredList")) {
        int id, port;
        if (sscanf(l.c_str(), "AddRegistered %d %*s %d", &id, &port) == 2 && id == 1)
            return port;
    }
    return -1;
}

std::unique_ptr<LineClient> robot(const SimProcess &sim, Transport t, int buffer = 0) {
    if (t == TCP)
        return std::make_unique<LineClient>(robot_tcp_port(sim), buffer);
    return std::make_unique<LineClient>(sim.socket_path(1), buffer);
}

bool is_ack(const std::string &line) {
    return line.compare(0, 6, "Error ") == 0 || line.compare(0, 5, "Done ") == 0;
}

// One line as received: when the read that completed it returned, and whether it began that
// read (no earlier line shared the read it started in).
struct Received {
    std::string text;
    Clock::time_point at;
    bool starts_read;
};

// Reads lines until one equals last, the peer closes or the limit passes.
std::vector<Received> receive(int fd, const std::string &last, milliseconds limit) {
    std::vector<Received> out;
    std::string partial;
    bool head_starts_read = true;
    Clock::time_point end = Clock::now() + limit;
    for (;;) {
        long left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
        pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)left) <= 0)
            return out;
        char buf[65536];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return out;
        Clock::time_point at = Clock::now();
        if (partial.empty())
            head_starts_read = true;
        partial.append(buf, (size_t)n);
        size_t lf;
        while ((lf = partial.find('\n')) != std::string::npos) {
            out.push_back(Received{partial.substr(0, lf), at, head_starts_read});
            partial.erase(0, lf + 1);
            head_starts_read = false;
            if (out.back().text == last)
                return out;
        }
    }
}

std::vector<std::string> texts(const std::vector<Received> &got) {
    std::vector<std::string> v;
    for (const Received &r : got)
        v.push_back(r.text);
    return v;
}

// Every acknowledgement after the first line starts a read of its own, and the k-th of them
// arrives no sooner than k gaps after the requests were sent.
void expect_acks_apart(const std::vector<Received> &got, Clock::time_point sent, long gap) {
    long gaps = 0;
    for (size_t i = 1; i < got.size(); i++) {
        if (!is_ack(got[i].text))
            continue;
        gaps++;
        EXPECT_TRUE(got[i].starts_read) << got[i].text << " shared a read with the line before";
        long waited = std::chrono::duration_cast<milliseconds>(got[i].at - sent).count();
        EXPECT_GE(waited, gaps * gap - 1) << got[i].text;
    }
}

// True when fd is open and has nothing to read.
bool open_and_quiet(int fd) {
    char c;
    return recv(fd, &c, 1, MSG_DONTWAIT | MSG_PEEK) < 0 && errno == EAGAIN;
}

// Writes block copies of text without blocking until total bytes are out; false when the peer
// stops taking them for 10 s.
bool push(int fd, const std::string &text, size_t total) {
    std::string block;
    while (block.size() < 65536)
        block += text;
    size_t done = 0;
    while (done < total) {
        ssize_t n = send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        pollfd p = {fd, POLLOUT, 0};
        if (n < 0 && errno != EAGAIN)
            return false;
        if (poll(&p, 1, 10000) <= 0)
            return false;
    }
    return true;
}

// Writes copies of text until the socket stays unwritable for a second: true when that happens
// before limit bytes.
bool fills_up(int fd, const std::string &text, size_t limit) {
    std::string block;
    while (block.size() < 65536)
        block += text;
    for (size_t done = 0; done < limit;) {
        ssize_t n = send(fd, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += (size_t)n;
            continue;
        }
        pollfd p = {fd, POLLOUT, 0};
        if (n < 0 && errno != EAGAIN)
            return false;
        if (poll(&p, 1, 1000) == 0)
            return true;
    }
    return false;
}

// What a flooded connection delivered: bytes, complete lines by their first word, and lines
// that are no state message.
struct Stream {
    size_t bytes = 0;
    std::map<std::string, long> words;
    long others = 0;
};

const char *const state_words[] = {"SetBattery",  "SetIntegratedConfiguration",
                                   "SetCompass",  "SetSonar",
                                   "SetInfrared", "SetBumper"};

// Reads at least total bytes (at most 60 s); the first line may be the tail of one already
// partly read and is skipped.
Stream read_stream(int fd, size_t total) {
    Stream s;
    std::string partial;
    bool skip = true;
    Clock::time_point end = Clock::now() + std::chrono::seconds(60);
    while (s.bytes < total && Clock::now() < end) {
        pollfd p = {fd, POLLIN, 0};
        char buf[65536];
        ssize_t n = poll(&p, 1, 1000) > 0 ? recv(fd, buf, sizeof buf, 0) : 0;
        if (n <= 0)
            break;
        s.bytes += (size_t)n;
        partial.append(buf, (size_t)n);
        size_t start = 0, lf;
        while ((lf = partial.find('\n', start)) != std::string::npos) {
            std::string word = partial.substr(start, partial.find(' ', start) - start);
            start = lf + 1;
            if (skip) {
                skip = false;
                continue;
            }
            bool state = false;
            for (const char *w : state_words)
                state = state || word == w;
            state ? s.words[word]++ : s.others++;
        }
        partial.erase(0, start);
    }
    return s;
}

// The most resident memory a flooding simulator may use. The address sanitizer keeps freed
// blocks in quarantine (256 MiB by default) to catch uses after free, so under it the resident
// size follows the bytes that passed through the allocator, not what the simulator holds; its
// builds get the quarantine added to the bound.
#if defined(__SANITIZE_ADDRESS__)
const long rss_limit_kib = (64 + 256) * 1024;
#else
const long rss_limit_kib = 64 * 1024;
#endif

long rss_kib(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    long kib = -1;
    while (std::getline(f, line))
        if (sscanf(line.c_str(), "VmRSS: %ld kB", &kib) == 1)
            break;
    return kib;
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Waits (at most 30 s) until the simulator's log holds at least n copies of what.
bool log_reaches(const SimProcess &sim, const std::string &what, size_t n) {
    Clock::time_point end = Clock::now() + std::chrono::seconds(30);
    while (count(sim.log(), what) < n && Clock::now() < end)
        std::this_thread::sleep_for(milliseconds(20));
    return count(sim.log(), what) >= n;
}

// Waits (at most 30 s) until the log reports the close of the latest flooded connection.
bool flooded_connection_closes(const SimProcess &sim) {
    const std::string mark = "is no longer read";
    std::string log = sim.log();
    size_t at = log.rfind(mark);
    size_t line = log.rfind("connection ", at);
    if (at == std::string::npos || line == std::string::npos)
        return false;
    std::string closed = "connection " + std::to_string(atoi(log.c_str() + line + 11)) + " closed";
    Clock::time_point end = Clock::now() + std::chrono::seconds(30);
    while (sim.log().find(closed, at) == std::string::npos && Clock::now() < end)
        std::this_thread::sleep_for(milliseconds(20));
    return sim.log().find(closed, at) != std::string::npos;
}

TEST(SimWire, FailEndsTheErrorWithItsDoneOnRobotsOnly) {
    SimProcess sim({"--fail", "GetSonar:-13", "--fail", "SetAxes", "--fail", "GetRegisteredList"});
    ASSERT_TRUE(sim.ok());
    for (Transport t : transports) {
        SCOPED_TRACE(name_of(t));
        auto c = robot(sim, t);
        ASSERT_TRUE(c->ok());
        EXPECT_EQ(c->ask("1:GetSonar", "GetSonar"),
                  (std::vector<std::string>{"Error GetSonar -13", "Done GetSonar"}));
        EXPECT_EQ(c->ask("1:SetAxes 0 1 1 0 100 0 0 0", "SetAxes"),
                  (std::vector<std::string>{"Error SetAxes -1", "Done SetAxes"}));
        EXPECT_EQ(c->ask("1:GetBattery", "GetBattery"),
                  (std::vector<std::string>{"SetBattery 1300 1300 1300 1300", "Done GetBattery"}));
    }
    // The scheduler still lists (robot_tcp_port above relied on it too).
    LineClient sched(sim.port());
    std::vector<std::string> list = sched.ask("0:GetRegisteredList", "GetRegisteredList");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].compare(0, 16, "AddRegistered 1 "), 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimWire, SplitAcksWriteEveryAcknowledgementApartAndInOrder) {
    const long gap = 200;
    SimProcess sim({"--split-acks", std::to_string(gap), "--fail", "GetSonar:-7"});
    ASSERT_TRUE(sim.ok());
    for (Transport t : transports) {
        SCOPED_TRACE(name_of(t));
        auto c = robot(sim, t);
        ASSERT_TRUE(c->ok());
        Clock::time_point sent = Clock::now();
        c->send("1:GetBattery\n1:GetSonar\n1:SetTimer 0\n");
        std::vector<Received> got = receive(c->fd(), "Done SetTimer", std::chrono::seconds(30));
        EXPECT_EQ(texts(got), (std::vector<std::string>{"SetBattery 1300 1300 1300 1300",
                                                        "Done GetBattery", "Error GetSonar -7",
                                                        "Done GetSonar", "Done SetTimer"}));
        expect_acks_apart(got, sent, gap);
    }
    // The scheduler too, where the answer starts with its acknowledgement.
    LineClient sched(sim.port());
    Clock::time_point sent = Clock::now();
    sched.send("0:GetTruePose 9\n0:GetSimTime\n");
    std::vector<Received> got = receive(sched.fd(), "Done GetSimTime", std::chrono::seconds(30));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].text, "Error GetTruePose -5");
    EXPECT_EQ(got[1].text, "Done GetTruePose");
    EXPECT_EQ(got[2].text.compare(0, 8, "SimTime "), 0);
    expect_acks_apart(got, sent, gap);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimWire, SilentAfterAnswersNRequestsThenOnlyReads) {
    SimProcess sim({"--silent-after", "2"});
    ASSERT_TRUE(sim.ok());
    for (Transport t : transports) {
        SCOPED_TRACE(name_of(t));
        auto c = robot(sim, t, small_buffer);
        ASSERT_TRUE(c->ok());
        c->send("1:GetBattery\n1:GetTimer\n1:GetBattery\n1:GetSonar\n");
        std::vector<Received> got = receive(c->fd(), "", milliseconds(1500));
        ASSERT_EQ(got.size(), 4u);
        EXPECT_EQ(got[0].text, "SetBattery 1300 1300 1300 1300");
        EXPECT_EQ(got[1].text, "Done GetBattery");
        EXPECT_EQ(got[2].text.compare(0, 9, "SetTimer "), 0);
        EXPECT_EQ(got[3].text, "Done GetTimer");
        // Far more than the kernel buffers can hold for a peer that does not read still goes in.
        EXPECT_TRUE(push(c->fd(), "1:GetSonar 1 0 1 0 1 0 1 0 1 0 1 0\n", 8u << 20));
        EXPECT_TRUE(receive(c->fd(), "", milliseconds(300)).empty());
        EXPECT_TRUE(open_and_quiet(c->fd()));
    }
    // Each connection counts its own requests, and falls silent once in the log.
    LineClient fresh(sim.socket_path(1));
    EXPECT_EQ(fresh.ask("1:GetBattery", "GetBattery").size(), 2u);
    EXPECT_EQ(count(sim.log(), "falls silent after 2 requests"), 2u);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimWire, SilentAfterZeroAnswersNothingOnEitherEndpoint) {
    SimProcess sim({"--silent-after", "0"});
    ASSERT_TRUE(sim.ok());
    LineClient sched(sim.port());
    LineClient bot(sim.socket_path(1));
    sched.send("0:GetRegisteredList\n");
    bot.send("1:GetConstMembers\n1:GetBattery\n");
    EXPECT_TRUE(receive(sched.fd(), "", milliseconds(1500)).empty());
    EXPECT_TRUE(receive(bot.fd(), "", milliseconds(100)).empty());
    EXPECT_TRUE(open_and_quiet(sched.fd()));
    EXPECT_TRUE(open_and_quiet(bot.fd()));
    EXPECT_TRUE(log_reaches(sim, "falls silent after 0 requests", 2));
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimWire, FloodKeepsPushingStateLinesToAPeerItNoLongerReads) {
    // Steps every millisecond, so the loop that tops up the flood turns often even while the
    // socket takes nothing: a flood that queued regardless would soon be far ahead of the peer.
    SimProcess sim({"--flood", "--rate", "1000"});
    ASSERT_TRUE(sim.ok());
    for (Transport t : transports) {
        SCOPED_TRACE(name_of(t));
        auto c = robot(sim, t, small_buffer);
        ASSERT_TRUE(c->ok());
        // A request before the descriptions is answered as usual.
        EXPECT_EQ(c->ask("1:GetTimer", "GetTimer").size(), 2u);
        c->send("1:GetConstMembers\n");
        std::vector<Received> got = receive(c->fd(), "Done GetConstMembers", milliseconds(30000));
        ASSERT_EQ(got.size(), 10u);
        EXPECT_EQ(got[0].text, "SetRobotType H");
        // The peer's acknowledgements pile up: nothing reads them any more.
        EXPECT_TRUE(fills_up(c->fd(), "Done SetBattery\n", 64u << 20));
        std::this_thread::sleep_for(milliseconds(1000));
        EXPECT_LT(rss_kib(sim.pid()), rss_limit_kib);
        // Lines keep coming: more than every kernel buffer on the way could hold.
        Stream s = read_stream(c->fd(), 8u << 20);
        EXPECT_GE(s.bytes, 8u << 20);
        EXPECT_EQ(s.others, 0);
        EXPECT_GT(s.words["SetBattery"], 0);
        EXPECT_GT(s.words["SetSonar"], 0);
        EXPECT_GT(s.words["SetIntegratedConfiguration"], 0);
        EXPECT_LT(rss_kib(sim.pid()), rss_limit_kib);
        // Closing is noticed although the connection is not read.
        c->close_now();
        EXPECT_TRUE(flooded_connection_closes(sim));
    }
    EXPECT_EQ(count(sim.log(), "flooding it with state lines"), 2u);
    EXPECT_EQ(count(sim.log(), "of output"), 0u); // never more than the socket layer takes
    LineClient fresh(sim.socket_path(1));
    EXPECT_EQ(fresh.ask("1:GetBattery", "GetBattery")[0], "SetBattery 1300 1300 1300 1300");
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
