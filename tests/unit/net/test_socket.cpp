// Socket layer over real loopback TCP and Unix-domain sockets.
#include "socket.h"

#include "net_peer.h"
#include "net_test_util.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using netpeer::Script;
using netpeer::ScriptedPeer;

namespace {

// Everything the callbacks saw, in order.
std::vector<std::string> events;
std::vector<std::string> reads; // the bytes each read callback call was given
int cycle_no = 0;               // processing cycles run so far
std::vector<int> read_cycles;   // the cycle of each read callback call
unsigned int (*read_policy)(char *, unsigned int);
void (*on_status)(int, int);

// Consumes one line per call, nothing without a line feed.
unsigned int one_line(char *buf, unsigned int n) {
    const char *lf = (const char *)memchr(buf, '\n', n);
    return lf ? (unsigned int)(lf - buf) + 1 : 0;
}

unsigned int rec_read(int, char *buf, unsigned int n) {
    reads.emplace_back(buf, n);
    read_cycles.push_back(cycle_no);
    return read_policy(buf, n);
}

void rec_write(int, char *buf, unsigned int n) {
    events.push_back("write " + std::string(buf) + " " + std::to_string(n));
}

void rec_status(int fd, int err) {
    events.push_back("status " + std::to_string(fd) + " " + std::to_string(err));
    if (on_status)
        on_status(fd, err);
}

void cycle() {
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    int n = SOCK_AddToFdSets(&r, &w);
    timeval tv{0, 10000};
    // A cycle with nothing ready still runs its close pass (listening sockets never turn ready).
    if (select(n, &r, &w, nullptr, &tv) >= 0) {
        cycle_no++;
        SOCK_ProcessFdSets(&r, &w);
    }
}

bool until(const std::function<bool()> &done) { return spin_until(done, cycle); }

bool has_event(const std::string &e) {
    return std::find(events.begin(), events.end(), e) != events.end();
}

std::string status_event(int fd, int err) {
    return "status " + std::to_string(fd) + " " + std::to_string(err);
}

class SocketTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        SOCK_Initialize();
        events.clear();
        reads.clear();
        read_cycles.clear();
        read_policy = one_line;
        on_status = nullptr;
    }
    void TearDown() override {
        for (int fd : opened)
            if (SOCK_Find(fd))
                SOCK_Close(fd);
        until([&] {
            for (int fd : opened)
                if (SOCK_Find(fd))
                    return false;
            return true;
        });
    }
    bool unix_kind() const { return GetParam(); }
    // Starts the peer listening and connects to it; returns the descriptor.
    int connect_peer(const Script &s) {
        int fd;
        if (unix_kind()) {
            std::string path = dir.file("peer.sock");
            peer.listen_unix(path, s);
            fd = SOCK_UnixConnect(path.c_str(), rec_read, rec_write, rec_status);
        } else {
            int port = netpeer::free_tcp_port();
            peer.listen_tcp(port, s);
            fd = SOCK_Connect("127.0.0.1", (unsigned short)port, rec_read, rec_write, rec_status);
        }
        if (fd >= 0)
            opened.push_back(fd);
        return fd;
    }
    int connected_peer(const Script &s) {
        int fd = connect_peer(s);
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(until([&] { return has_event(status_event(fd, 0)); }));
        return fd;
    }
    netpeer::TempDir dir;
    ScriptedPeer peer;
    std::vector<int> opened;
};

INSTANTIATE_TEST_SUITE_P(Kinds, SocketTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Unix" : "Tcp"; });

char one[] = "one\n";
char two[] = "two\n";

TEST_P(SocketTest, ConnectingSocketIsWatchedForWritingOnly) {
    int fd = connect_peer(Script());
    ASSERT_GE(fd, 0);
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    EXPECT_GT(SOCK_AddToFdSets(&r, &w), fd);
    EXPECT_TRUE(FD_ISSET(fd, &w));
    EXPECT_FALSE(FD_ISSET(fd, &r));
    EXPECT_EQ(SOCK_Find(fd)->status, SOCK_CONNECTING);
}

TEST_P(SocketTest, CloseWritesQueuedBuffersBeforeClosing) {
    int fd = connected_peer(Script().expect("one").expect("two").drain());
    events.clear();
    ASSERT_EQ(SOCK_Write(fd, one, 4), 0);
    ASSERT_EQ(SOCK_Write(fd, two, 4), 0);
    SOCK_Close(fd);
    EXPECT_EQ(SOCK_Write(fd, one, 4), -1);
    ASSERT_TRUE(until([&] { return has_event(status_event(fd, -1)); }));
    EXPECT_EQ(events,
              (std::vector<std::string>{"write one\n 4", "write two\n 4", status_event(fd, -1)}));
    EXPECT_EQ(peer.finish(), 0);
}

TEST_P(SocketTest, PeerCloseHandsQueuedBufferBackUnwritten) {
    int fd = connected_peer(Script().close());
    // Wait until the end of stream is readable, then run a cycle that only reads.
    fd_set r;
    do {
        FD_ZERO(&r);
        FD_SET(fd, &r);
    } while (select(fd + 1, &r, nullptr, nullptr, nullptr) <= 0);
    events.clear();
    ASSERT_EQ(SOCK_Write(fd, one, 4), 0);
    fd_set w;
    FD_ZERO(&w);
    SOCK_ProcessFdSets(&r, &w);
    EXPECT_EQ(events, (std::vector<std::string>{"write one\n 0", status_event(fd, -1)}));
    EXPECT_EQ(SOCK_Find(fd), nullptr);
}

char ack[] = "ack\n";

TEST_P(SocketTest, UnconsumedBytesWaitForTheRest) {
    int fd = connected_peer(Script().send("hello").expect("ack").send(" world\n"));
    ASSERT_TRUE(until([&] { return !reads.empty(); }));
    EXPECT_EQ(reads[0], "hello");
    ASSERT_EQ(SOCK_Write(fd, ack, 4), 0);
    ASSERT_TRUE(until([&] { return reads.back() == "hello world\n"; }));
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(SOCK_Find(fd)->in.count, 0u);
    EXPECT_EQ(SOCK_Find(fd)->in.buffer, nullptr);
}

TEST_P(SocketTest, TwoMessagesInOneReadAreConsumedInOneCycle) {
    connected_peer(Script().send("a\nb\n"));
    ASSERT_TRUE(until([&] { return reads.size() >= 2; }));
    EXPECT_EQ(reads, (std::vector<std::string>{"a\nb\n", "b\n"}));
    EXPECT_EQ(read_cycles[0], read_cycles[1]);
}

unsigned int too_much_once(char *, unsigned int n) {
    read_policy = one_line;
    return n + 1;
}

TEST_P(SocketTest, ReadCallbackValueTooLargeDropsInputAndKeepsSocket) {
    read_policy = too_much_once;
    int fd = connected_peer(Script().send("x").expect("ack").send("y\n"));
    testing::internal::CaptureStderr();
    bool got = until([&] { return !reads.empty(); });
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(got);
    EXPECT_EQ(err, "Error: Read callback value too large.\n");
    ASSERT_NE(SOCK_Find(fd), nullptr);
    ASSERT_EQ(SOCK_Write(fd, ack, 4), 0);
    ASSERT_TRUE(until([&] { return reads.size() == 2; }));
    EXPECT_EQ(reads[1], "y\n");
}

int close_fd = -1;
unsigned int close_after_first(char *buf, unsigned int n) {
    SOCK_Close(close_fd);
    return one_line(buf, n);
}

TEST_P(SocketTest, ReadCallbackClosingItsSocketStopsTheLoop) {
    read_policy = close_after_first;
    close_fd = connected_peer(Script().send("a\nb\nc\n").drain());
    ASSERT_TRUE(until([&] { return has_event(status_event(close_fd, -1)); }));
    EXPECT_EQ(reads, (std::vector<std::string>{"a\nb\nc\n"}));
    EXPECT_EQ(peer.finish(), 0);
}

TEST_P(SocketTest, CloseRequestedDuringUnconfirmedConnectWins) {
    int fd = connect_peer(Script().drain());
    ASSERT_GE(fd, 0);
    SOCK_Close(fd);
    ASSERT_TRUE(until([&] { return has_event(status_event(fd, -1)); }));
    EXPECT_EQ(events, (std::vector<std::string>{status_event(fd, -1)}));
    EXPECT_EQ(peer.finish(), 0);
}

// A status callback that runs a nested cycle while its socket is being closed.
void nested_cycle(int, int err) {
    if (err != 0)
        cycle();
}

TEST_P(SocketTest, NestedCycleInsideCloseReportIsSafe) {
    int fd = connected_peer(Script().close());
    on_status = nested_cycle;
    ASSERT_TRUE(until([&] { return has_event(status_event(fd, -1)); }));
    cycle();
    EXPECT_EQ(std::count(events.begin(), events.end(), status_event(fd, -1)), 1);
}

TEST_P(SocketTest, ListenAcceptsAndReportsNewConnection) {
    int lfd;
    if (unix_kind()) {
        std::string path = dir.file("srv.sock");
        lfd = SOCK_UnixListen(1, path.c_str(), rec_read, rec_write, rec_status);
        ASSERT_GE(lfd, 0);
        peer.connect_unix(path, Script().send("hi\n").drain());
    } else {
        int port = netpeer::free_tcp_port();
        lfd = SOCK_Listen(1, (unsigned short)port, rec_read, rec_write, rec_status);
        ASSERT_GE(lfd, 0);
        peer.connect_tcp(port, Script().send("hi\n").drain());
    }
    opened.push_back(lfd);
    EXPECT_EQ(SOCK_Write(lfd, one, 4), -1);
    ASSERT_TRUE(until([&] { return !reads.empty(); }));
    ASSERT_EQ(events.size(), 1u);
    int nfd = std::stoi(events[0].substr(7));
    opened.push_back(nfd);
    EXPECT_EQ(events[0], status_event(nfd, 0));
    EXPECT_EQ(SOCK_Find(nfd)->status, SOCK_CONNECTED);
    EXPECT_EQ(SOCK_Find(nfd)->conn_count, 1);
    EXPECT_TRUE(fcntl(nfd, F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(reads[0], "hi\n");
}

TEST(SocketLayer, ConvertAddr) {
    struct Case {
        const char *text;
        uint32_t want; // host order; 0xffffffff for failure
    } cases[] = {
        {"127.0.0.1", 0x7f000001},
        {"0x7f000001", 0x7f000001},
        {"0.0.0.0", 0},
        {"10.1.2.255", 0x0a0102ff},
        {"0x1", 1},
        {"1.2.3", 0xffffffff},
        {"1.2.3.256", 0xffffffff},
        {"1.2.3.4.", 0xffffffff},
        {"1.2.3.4x", 0xffffffff},
        {"0x", 0xffffffff},
        {"0x7f0000011", 0xffffffff},
        {"0x7g", 0xffffffff},
        {"a.b.c.d", 0xffffffff},
        {"", 0xffffffff},
        {"1..2.3", 0xffffffff},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ntohl(convertaddr(c.text)), c.want) << c.text;
}

TEST(SocketLayer, ConnectWithoutListenerFailsAtOnce) {
    SOCK_Initialize();
    int port = netpeer::free_tcp_port();
    EXPECT_EQ(SOCK_Connect("127.0.0.1", (unsigned short)port, rec_read, rec_write, rec_status), -1);
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    EXPECT_EQ(SOCK_AddToFdSets(&r, &w), 1);
}

TEST(SocketLayer, UnknownHostIsReportedTwice) {
    SOCK_Initialize();
    testing::internal::CaptureStderr();
    int fd = SOCK_Connect("no-such-host.invalid", 1, rec_read, rec_write, rec_status);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fd, -1);
    size_t first = err.find("Error finding host entry for no-such-host.invalid (");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(err.find("Error finding host entry for no-such-host.invalid (", first + 1),
              std::string::npos);
}

TEST(SocketLayer, ListenArgumentsAreChecked) {
    SOCK_Initialize();
    EXPECT_EQ(SOCK_Listen(0, 0, rec_read, rec_write, rec_status), -1);
    EXPECT_EQ(SOCK_Listen(1, 0, nullptr, rec_write, rec_status), -1);
    EXPECT_EQ(SOCK_UnixListen(0, "/tmp/x", rec_read, rec_write, rec_status), -1);
}

TEST(SocketLayer, ListenOnOneAddressOnly) {
    SOCK_Initialize();
    int port = netpeer::free_tcp_port();
    int fd =
        SOCK_ListenAddress(1, "127.0.0.1", (unsigned short)port, rec_read, rec_write, rec_status);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ASSERT_EQ(getsockname(fd, (sockaddr *)&a, &len), 0);
    EXPECT_EQ(ntohl(a.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_EQ(ntohs(a.sin_port), port);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SOCK_ListenAddress(1, "no.such.host.invalid", (unsigned short)port, rec_read,
                                 rec_write, rec_status),
              -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no such address"), std::string::npos);
    SOCK_Close(fd);
    until([&] { return SOCK_Find(fd) == nullptr; });
}

TEST(SocketLayer, UnixListenReplacesStaleSocketButKeepsOtherFiles) {
    SOCK_Initialize();
    netpeer::TempDir dir;
    std::string stale = dir.file("stale.sock");
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    strcpy(a.sun_path, stale.c_str());
    ASSERT_EQ(bind(s, (sockaddr *)&a, sizeof a), 0);
    close(s); // the file stays behind
    int fd = SOCK_UnixListen(1, stale.c_str(), rec_read, rec_write, rec_status);
    EXPECT_GE(fd, 0);

    std::string plain = dir.file("notes.txt");
    FILE *f = fopen(plain.c_str(), "w");
    fputs("keep me", f);
    fclose(f);
    EXPECT_EQ(SOCK_UnixListen(1, plain.c_str(), rec_read, rec_write, rec_status), -1);
    struct stat st;
    ASSERT_EQ(stat(plain.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    SOCK_Close(fd);
    until([&] { return SOCK_Find(fd) == nullptr; });
}

TEST(SocketLayer, DescriptorsBeyondSelectLimitAreRefused) {
    SOCK_Initialize();
    events.clear();
    rlimit rl;
    getrlimit(RLIMIT_NOFILE, &rl);
    if (rl.rlim_max < FD_SETSIZE + 16)
        GTEST_SKIP() << "the hard limit on open descriptors (" << rl.rlim_max
                     << ") is below FD_SETSIZE + 16 = " << FD_SETSIZE + 16
                     << "; raise it (ulimit -Hn, or the container's nofile limit)";
    rlimit raised = rl;
    raised.rlim_cur = FD_SETSIZE + 16;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    int port = netpeer::free_tcp_port();
    int lfd = SOCK_Listen(1, (unsigned short)port, rec_read, rec_write, rec_status);
    ASSERT_GE(lfd, 0);
    ScriptedPeer peer;
    peer.connect_tcp(port, Script().drain());

    std::vector<int> fillers; // every descriptor up to the last one select can wait on
    for (int fd = -1; fd < FD_SETSIZE - 1;) {
        fd = open("/dev/null", O_RDONLY);
        ASSERT_GE(fd, 0);
        fillers.push_back(fd);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(SOCK_Connect("127.0.0.1", (unsigned short)port, rec_read, rec_write, rec_status), -1);
    EXPECT_EQ(SOCK_UnixListen(1, "/tmp/rovak-never.sock", rec_read, rec_write, rec_status), -1);
    // The peer's connection is accepted onto a descriptor beyond the limit and refused; the
    // listener stays.
    bool refused = until([&] { return peer.done(); });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(refused);
    EXPECT_EQ(peer.finish(), 0);
    EXPECT_TRUE(events.empty());
    EXPECT_NE(SOCK_Find(lfd), nullptr);
    EXPECT_NE(err.find("beyond the select limit"), std::string::npos);
    for (int fd : fillers)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &rl);
    SOCK_Close(lfd);
    until([&] { return SOCK_Find(lfd) == nullptr; });
}

// Out of descriptors, a pending connection keeps the listener ready; the layer must rest instead
// of spinning on it, go on serving the connections it has, and accept once descriptors are back.
TEST(SocketLayer, OutOfDescriptorsPausesAcceptingAndKeepsServing) {
    SOCK_Initialize();
    events.clear();
    reads.clear();
    read_policy = one_line;
    on_status = nullptr;
    int port = netpeer::free_tcp_port();
    int lfd = SOCK_Listen(1, (unsigned short)port, rec_read, rec_write, rec_status);
    ASSERT_GE(lfd, 0);
    ScriptedPeer served, waiting;
    served.connect_tcp(port, Script().pause(300).send("hello\n").drain());
    ASSERT_TRUE(until([&] { return events.size() == 1; })); // the first peer is accepted
    int served_fd = std::stoi(events[0].substr(7));

    // The second peer connects (it waits in the backlog: no cycle runs), then every free
    // descriptor is taken.
    waiting.connect_tcp(port, Script().drain());
    testing::internal::CaptureStderr(); // its file needs a descriptor too
    std::vector<int> fillers;
    for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;)
        fillers.push_back(fd);
    ASSERT_EQ(errno, EMFILE);
    ASSERT_TRUE(until([&] { return !reads.empty(); })); // the served peer's line arrives
    // The accept failed: the listener is left out of the read set while it rests.
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    SOCK_AddToFdSets(&r, &w);
    EXPECT_FALSE(FD_ISSET(lfd, &r));
    EXPECT_TRUE(FD_ISSET(served_fd, &r));
    EXPECT_EQ(reads, (std::vector<std::string>{"hello\n"}));
    EXPECT_EQ(events.size(), 1u); // nothing else accepted meanwhile

    for (int fd : fillers)
        close(fd);
    std::string err = testing::internal::GetCapturedStderr();
    size_t first = err.find("pausing accepts");
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("pausing accepts", first + 1), std::string::npos) << err; // said once
    EXPECT_TRUE(until([&] { return events.size() == 2; })); // accepted after the rest
    EXPECT_NE(SOCK_Find(lfd), nullptr);
    for (const std::string &e : events)
        EXPECT_EQ(e.substr(e.size() - 2), " 0");
    SOCK_Close(lfd);
    SOCK_Close(served_fd);
    SOCK_Close(std::stoi(events[1].substr(7)));
    EXPECT_TRUE(until([&] { return served.done() && waiting.done(); }));
    EXPECT_EQ(served.finish(), 0);
    EXPECT_EQ(waiting.finish(), 0);
}

// A write that would take one socket's queue past the limit is refused and the socket closed,
// its queue handed back unwritten.
TEST(SocketLayer, OutputBeyondTheLimitClosesTheSocket) {
    SOCK_Initialize();
    events.clear();
    on_status = nullptr;
    ScriptedPeer peer;
    netpeer::TempDir dir;
    std::string path = dir.file("slow.sock");
    peer.listen_unix(path, Script().pause(2000).drain());
    int fd = SOCK_UnixConnect(path.c_str(), rec_read, rec_write, rec_status);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(until([&] { return has_event(status_event(fd, 0)); }));
    unsigned long old = SOCK_SetOutputLimit(4096);
    static char block[1024] = {'x'};
    block[1023] = '\0';
    int rc = 0, queued = 0;
    testing::internal::CaptureStderr();
    for (; queued < 4; queued++)
        ASSERT_EQ(SOCK_Write(fd, block, 1024), 0); // exactly at the limit
    rc = SOCK_Write(fd, block, 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, -1);
    EXPECT_NE(err.find("the peer does not read"), std::string::npos);
    int unwritten = 0;
    for (const std::string &e : events)
        unwritten += e.rfind("write ", 0) == 0 && e.substr(e.size() - 2) == " 0";
    EXPECT_EQ(unwritten, 4); // handed back at once, nothing written
    EXPECT_TRUE(until([&] { return has_event(status_event(fd, ENOBUFS)); }));
    EXPECT_EQ(SOCK_Find(fd), nullptr);
    SOCK_SetOutputLimit(old);
    EXPECT_TRUE(until([&] { return peer.done(); }));
}

TEST(SocketLayerDeath, UnknownDescriptorIsFatal) {
    SOCK_Initialize();
    EXPECT_DEATH(SOCK_Close(987), "Assertion failed: sp, file");
    EXPECT_DEATH(SOCK_Write(987, one, 4), "Assertion failed: sp, file");
}

} // namespace
