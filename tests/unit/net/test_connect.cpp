// Connection manager against scripted peers over real loopback TCP and Unix-domain sockets.
#include "connect.h"

#include "command.h"
#include "net_peer.h"
#include "net_test_util.h"
#include "socket.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using netpeer::Script;
using netpeer::ScriptedPeer;

namespace {

std::vector<std::string> sonar;  // argv[1] of every "SetSonar" line
std::vector<std::string> dones;  // argv[1] of every "Done" line
std::vector<std::string> events; // connect and disconnect callbacks
int timer_calls = 0;
int hello_fd = -1;

char *SetSonarCbk(int, long, int argc, char **argv) {
    sonar.push_back(argc > 1 ? argv[1] : "");
    return nullptr;
}
char *SetTimerCbk(int, long, int, char **) {
    timer_calls++;
    return nullptr;
}
char *HelloCbk(int sender, long, int, char **) {
    hello_fd = sender;
    return nullptr;
}
char *DoneCbk(int, long, int argc, char **argv) {
    dones.push_back(argc > 1 ? argv[1] : "");
    return nullptr;
}
// Disconnects the connection a "Bye" line arrives on, from inside the dispatch.
char *ByeCbk(int sender, long, int, char **) {
    CONN_ConnInfo *c;
    CONN_FDtoConnInfo(sender, &c);
    if (c)
        CONN_Disconnect(c);
    return nullptr;
}
// Releases the record from inside its own disconnect callback.
void release_on_disconnect(int fd) {
    events.push_back("release " + std::to_string(fd));
    CONN_ConnInfo *c;
    CONN_FDtoConnInfo(fd, &c);
    if (c)
        CONN_Disconnect(c);
}
void on_connect_a(int fd) { events.push_back("connect a " + std::to_string(fd)); }
void on_connect_b(int fd) { events.push_back("connect b " + std::to_string(fd)); }
void on_disconnect(int fd) { events.push_back("disconnect " + std::to_string(fd)); }

bool until(const std::function<bool()> &done) {
    return spin_until(done, [] { CONN_Poll(); });
}

std::string ev(const char *what, int fd) { return std::string(what) + " " + std::to_string(fd); }

// Overwrites every word of its line, the command name included, and points the first word
// elsewhere: handlers may change their words.
char *ScribbleCbk(int, long, int argc, char **argv) {
    for (int i = 0; i < argc; i++)
        memset(argv[i], 'x', strlen(argv[i]));
    argv[0] = const_cast<char *>("Other");
    return nullptr;
}

// Sends two requests on the connection its line came on, from inside the dispatch: one without
// waiting, and one that waits for its answer (a poll nested in the dispatch).
int relay_result = 1;
char *RelayCbk(int sender, long, int, char **) {
    CONN_ConnInfo *c = nullptr;
    CONN_FDtoConnInfo(sender, &c);
    if (c == nullptr)
        return nullptr;
    relay_result = request(c, "Note relayed", 0);
    if (relay_result == 0)
        relay_result = request(c, "GetTimer", 1);
    return const_cast<char *>("Relayed");
}

TEST(ConnBeforeInit, TablesMissingGiveMinus15) {
    CONN_ConnInfo *c = nullptr;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &c), CONN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(CONN_Connect(1, "127.0.0.1", 1, 1, &c), CONN_ERR_NOT_INITIALIZED);
    EXPECT_EQ(c, nullptr);
}

class ConnTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        CONN_Initialize();
        static bool registered = false;
        if (!registered) {
            CMD_Register("SetSonar", SetSonarCbk);
            CMD_Register("SetTimer", SetTimerCbk);
            CMD_Register("Hello", HelloCbk);
            CMD_Register("Bye", ByeCbk);
            CMD_Register("Done", DoneCbk);
            CMD_Register("Scribble", ScribbleCbk);
            CMD_Register("Relay", RelayCbk);
            registered = true;
        }
        sonar.clear();
        dones.clear();
        events.clear();
        timer_calls = 0;
        hello_fd = -1;
        relay_result = 1;
        CONN_AddDisconnectCallback(on_disconnect);
    }
    void TearDown() override {
        CONN_RemoveDisconnectCallback(on_disconnect);
        for (long id : ids) {
            CONN_ConnInfo *c;
            if (CONN_IDtoConnInfo(id, &c) == 0)
                CONN_Disconnect(c);
        }
        until([&] { return a.done() && b.done(); });
    }
    bool unix_kind() const { return GetParam(); }

    // Starts peer listening and connects id to it.
    int open(ScriptedPeer &peer, long id, const Script &s, int block, CONN_ConnInfo **c,
             const char *name = "peer.sock") {
        ids.push_back(id);
        if (unix_kind()) {
            std::string path = dir.file(name);
            peer.listen_unix(path, s);
            return CONN_UnixConnect(id, path.c_str(), block, c);
        }
        int port = netpeer::free_tcp_port();
        peer.listen_tcp(port, s);
        return CONN_Connect(id, "127.0.0.1", port, block, c);
    }
    // Connects id 1 to peer a, waiting for the connection.
    CONN_ConnInfo *open_a(const Script &s) {
        CONN_ConnInfo *c = nullptr;
        EXPECT_EQ(open(a, 1, s, 1, &c), 0);
        return c;
    }
    // Disconnects c and checks that the peer saw every step of its script.
    void finish(ScriptedPeer &peer, CONN_ConnInfo *c) {
        if (c)
            CONN_Disconnect(c);
        EXPECT_TRUE(until([&] { return peer.done(); }));
        EXPECT_EQ(peer.finish(), 0);
    }
    netpeer::TempDir dir;
    ScriptedPeer a, b;
    std::vector<long> ids;
};

INSTANTIATE_TEST_SUITE_P(Kinds, ConnTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Unix" : "Tcp"; });

TEST_P(ConnTest, BlockingRequestIsPrefixedAndSeesDataLinesFirst) {
    CONN_ConnInfo *c =
        open_a(Script()
                   .answer("1:GetSonar 1 0", "SetSonar 5\nSetSonar 6\nDone GetSonar\n")
                   .expect_n("Done SetSonar", 2));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->status, CONN_DONE);
    EXPECT_EQ(request(c, "GetSonar 1 0", 1), 0);
    EXPECT_EQ(sonar, (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(c->status, CONN_DONE);
    finish(a, c);
}

TEST_P(ConnTest, ErrorAnswersReturnTheirCodeAndKeepTheConnection) {
    struct Case {
        const char *answer;
        int code;
    } cases[] = {
        {"Error GetSonar -4\nDone GetSonar\n", -4},
        {"Error GetSonar\nDone GetSonar\n", -1},
        {"Error GetSonar -6\nDone GetSonar\n", -6}, // the peer's code, not a lost connection
        {"Error GetSonar 0\nDone GetSonar\n", -1},  // a zero code would read as success
        {"Error GetSonar abc\nDone GetSonar\n", -1},
        {"Error GetSonar -9x\nDone GetSonar\n", -1},
        {"Error GetSonar 99999999999\nDone GetSonar\n", -1}, // beyond an int
        {"Error GetSonar +12\nDone GetSonar\n", 12},
        // A protocol violation naming "Done" matches no request and is dropped.
        {"Error Done 7\nError GetSonar 3\nDone GetSonar\n", 3},
    };
    Script s;
    for (const Case &k : cases) {
        s.answer("1:GetSonar", k.answer).expect("Done Error");
        if (strncmp(k.answer, "Error Done", 10) == 0)
            s.expect("Done Error");
    }
    s.answer("1:GetSonar", "Done GetSonar\n");
    CONN_ConnInfo *c = open_a(s);
    ASSERT_NE(c, nullptr);
    for (const Case &k : cases) {
        ASSERT_EQ(request(c, "GetSonar", 1), k.code) << k.answer;
        EXPECT_EQ(c->status, CONN_DONE);
        EXPECT_EQ(c->error, 0);
        EXPECT_FALSE(c->lost);
        CONN_ConnInfo *found = nullptr;
        EXPECT_EQ(CONN_IDtoConnInfo(1, &found), 0);
        EXPECT_EQ(found, c);
        CONN_FDtoConnInfo(c->fd, &found);
        EXPECT_EQ(found, c);
    }
    EXPECT_EQ(request(c, "GetSonar", 1), 0);
    EXPECT_EQ(c->request_count, 0u); // every request was closed by its "Done"
    finish(a, c);
}

TEST_P(ConnTest, PeerClosingDuringRequestLosesTheConnection) {
    CONN_ConnInfo *c = open_a(Script().expect("1:GetSonar 1 0").close());
    ASSERT_NE(c, nullptr);
    int fd = c->fd;
    EXPECT_EQ(request(c, "GetSonar 1 0", 1), CONN_ERR_LOST);
    EXPECT_EQ(events, (std::vector<std::string>{ev("disconnect", fd)}));
    CONN_ConnInfo *found = nullptr;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
    finish(a, nullptr);
}

TEST_P(ConnTest, PeerClosingWhileIdleLeavesALostRecord) {
    CONN_ConnInfo *c = open_a(Script().close());
    ASSERT_NE(c, nullptr);
    int fd = c->fd;
    ASSERT_TRUE(until([&] { return !events.empty(); }));
    EXPECT_EQ(events[0], ev("disconnect", fd));
    EXPECT_TRUE(c->lost);
    CONN_ConnInfo *found = nullptr;
    CONN_FDtoConnInfo(fd, &found);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(request(c, "GetSonar", 0), CONN_ERR_LOST); // the request text is released
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_LOST);
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
    finish(a, nullptr);
}

TEST_P(ConnTest, SecondConnectForALiveIdIsRefused) {
    CONN_ConnInfo *c = open_a(Script());
    ASSERT_NE(c, nullptr);
    CONN_ConnInfo *again = nullptr;
    EXPECT_EQ(CONN_Connect(1, "127.0.0.1", 1, 1, &again), CONN_ERR_ALREADY_CONNECTED);
    EXPECT_EQ(again, c);
    finish(a, c);
}

TEST_P(ConnTest, ConnectWithoutListenerFailsWithoutRecord) {
    for (int block : {0, 1}) {
        CONN_ConnInfo *c = reinterpret_cast<CONN_ConnInfo *>(1);
        int rc = unix_kind() ? CONN_UnixConnect(3, dir.file("nobody.sock").c_str(), block, &c)
                             : CONN_Connect(3, "127.0.0.1", netpeer::free_tcp_port(), block, &c);
        EXPECT_EQ(rc, CONN_ERR_LOST);
        EXPECT_EQ(c, nullptr);
        EXPECT_EQ(CONN_IDtoConnInfo(3, &c), CONN_ERR_NO_CONNECTION);
    }
}

TEST_P(ConnTest, LineSplitOverTwoReadsIsDispatchedOnce) {
    CONN_ConnInfo *c = open_a(Script()
                                  .answer("1:GetSonar 1 0", "SetSonar 1\nDone Get")
                                  .expect("Done SetSonar")
                                  .send("Sonar\n"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(request(c, "GetSonar 1 0", 1), 0);
    EXPECT_EQ(dones, (std::vector<std::string>{"GetSonar"}));
    finish(a, c);
}

TEST_P(ConnTest, PeerCommandsAreAnsweredWithoutPrefixOrStateChange) {
    CONN_ConnInfo *c = open_a(Script()
                                  .send("SetTimer 5\nFoo 1\n")
                                  .expect("Done SetTimer")
                                  .expect("Error Foo -4")
                                  .expect("Done Foo")
                                  .send("SetSonar 9\n")
                                  .expect("Done SetSonar"));
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(until([&] { return !sonar.empty(); }));
    EXPECT_EQ(timer_calls, 1);
    EXPECT_EQ(c->status, CONN_DONE);
    EXPECT_EQ(c->error, 0);
    finish(a, c);
}

TEST_P(ConnTest, ErrorAnswerToUnwaitedRequestDoesNotBlockTheNextSend) {
    CONN_ConnInfo *c = open_a(Script()
                                  .answer("1:GetSonar 1 0", "Error GetSonar -4\nDone GetSonar\n")
                                  .expect("Done Error")
                                  .answer("1:GetSonar 2", "Done GetSonar\n"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(request(c, "GetSonar 1 0", 0), 0);
    ASSERT_TRUE(until([&] { return !dones.empty(); }));
    EXPECT_EQ(c->status, CONN_ERROR);
    EXPECT_EQ(c->error, -4);
    EXPECT_EQ(request(c, "GetSonar 2", 1), 0);
    EXPECT_EQ(c->status, CONN_DONE);
    finish(a, c);
}

TEST_P(ConnTest, NegativeIdConnectionIsNotPrefixedAndSurvivesLoss) {
    CONN_ConnInfo *c = nullptr;
    ASSERT_EQ(open(a, -1, Script().answer("Ping", "Done Ping\n").expect("Ping").close(), 1, &c), 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->id, -1);
    EXPECT_EQ(request(c, "Ping", 1), 0);
    EXPECT_EQ(request(c, "Ping", 1), CONN_ERR_LOST); // the record is released by the send
    finish(a, nullptr);
}

TEST_P(ConnTest, AcceptedPeerGetsIdMinusOneAndBlockingSendSurvivesItsClose) {
    int rc;
    if (unix_kind()) {
        std::string path = dir.file("srv.sock");
        rc = CONN_UnixListen(path.c_str());
        a.connect_unix(path, Script().send("Hello\n").expect("Done Hello").expect("Ping").close());
    } else {
        int port = netpeer::free_tcp_port();
        rc = CONN_Listen(port);
        a.connect_tcp(port, Script().send("Hello\n").expect("Done Hello").expect("Ping").close());
    }
    ASSERT_EQ(rc, 0);
    CONN_AddConnectCallback(on_connect_a);
    ASSERT_TRUE(until([&] { return hello_fd >= 0; }));
    CONN_RemoveConnectCallback(on_connect_a);
    CONN_ConnInfo *c = nullptr;
    CONN_FDtoConnInfo(hello_fd, &c);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->id, -1);
    EXPECT_EQ(c->status, CONN_DONE);
    EXPECT_EQ(request(c, "Ping", 1), CONN_ERR_LOST);
    EXPECT_EQ(events, (std::vector<std::string>{ev("disconnect", hello_fd)}));
    CONN_FDtoConnInfo(hello_fd, &c);
    EXPECT_EQ(c, nullptr);
    finish(a, nullptr);
}

TEST_P(ConnTest, LostRecordDoesNotShadowAReusedDescriptor) {
    CONN_ConnInfo *first = open_a(Script().close());
    ASSERT_NE(first, nullptr);
    int fd = first->fd;
    ASSERT_TRUE(until([&] { return !events.empty(); }));
    CONN_ConnInfo *second = nullptr;
    ASSERT_EQ(open(b, 2, Script().answer("2:GetSonar", "Done GetSonar\n"), 1, &second, "b.sock"),
              0);
    EXPECT_EQ(second->fd, fd) << "the system did not reuse the descriptor";
    CONN_ConnInfo *found = nullptr;
    CONN_FDtoConnInfo(second->fd, &found);
    EXPECT_EQ(found, second);
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_LOST);
    CONN_FDtoConnInfo(second->fd, &found);
    EXPECT_EQ(found, second);
    EXPECT_EQ(request(second, "GetSonar", 1), 0);
    finish(a, nullptr);
    finish(b, second);
}

TEST_P(ConnTest, LineWithZeroByteIsDroppedAndLaterLinesGoOn) {
    CONN_ConnInfo *c = open_a(
        Script().send(std::string("SetSonar 1\0x\nSetSonar 7\n", 24)).expect("Done SetSonar"));
    ASSERT_NE(c, nullptr);
    testing::internal::CaptureStderr();
    bool got = until([&] { return !sonar.empty(); });
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(got);
    EXPECT_EQ(sonar, (std::vector<std::string>{"7"}));
    EXPECT_NE(err.find("zero byte"), std::string::npos);
    finish(a, c);
}

TEST_P(ConnTest, EndlessLineClosesTheConnection) {
    CONN_ConnInfo *c = open_a(Script().send(std::string(70000, 'x')).drain());
    ASSERT_NE(c, nullptr);
    testing::internal::CaptureStderr();
    bool closed = until([&] { return !events.empty(); });
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(closed);
    EXPECT_NE(err.find("line longer than 65536 bytes"), std::string::npos);
    EXPECT_TRUE(c->lost);
    finish(a, nullptr);
}

TEST_P(ConnTest, DisconnectBeforeConnectIsConfirmedWins) {
    CONN_AddConnectCallback(on_connect_a);
    CONN_ConnInfo *c = nullptr;
    ASSERT_EQ(open(a, 4, Script().drain(), 0, &c), 0);
    EXPECT_EQ(c->status, CONN_CONNECTING);
    int fd = c->fd;
    CONN_Disconnect(c);
    finish(a, nullptr);
    CONN_RemoveConnectCallback(on_connect_a);
    EXPECT_TRUE(events.empty());
    CONN_ConnInfo *found = reinterpret_cast<CONN_ConnInfo *>(1);
    CONN_FDtoConnInfo(fd, &found);
    EXPECT_EQ(found, nullptr); // not mistaken for an accepted connection
}

TEST_P(ConnTest, ConnectCallbacksRunNewestFirst) {
    CONN_AddConnectCallback(on_connect_a);
    CONN_AddConnectCallback(on_connect_b);
    CONN_ConnInfo *c = open_a(Script());
    CONN_RemoveConnectCallback(on_connect_a);
    CONN_RemoveConnectCallback(on_connect_b);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{ev("connect b", c->fd), ev("connect a", c->fd)}));
    finish(a, c);
}

TEST_P(ConnTest, BurstOfTenThousandLinesBothWays) {
    const int n = 10000;
    std::string burst;
    for (int i = 0; i < n; i++)
        burst += "SetSonar " + std::to_string(i) + "\n";
    CONN_ConnInfo *c = open_a(Script()
                                  .send(burst)
                                  .expect_n("Done SetSonar", n)
                                  .expect_n("1:Note x", n)
                                  .send("SetTimer 1\n")
                                  .expect("Done SetTimer"));
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(until([&] { return (int)sonar.size() == n; }));
    EXPECT_EQ(sonar.front(), "0");
    EXPECT_EQ(sonar.back(), std::to_string(n - 1));
    for (int i = 0; i < n; i++)
        ASSERT_EQ(request(c, "Note x", 0), 0);
    ASSERT_TRUE(until([&] { return timer_calls == 1; }));
    finish(a, c);
}

TEST_P(ConnTest, HandlerMayDisconnectTheConnectionBeingWaitedOn) {
    CONN_ConnInfo *c = open_a(Script().answer("1:GetSonar", "Bye\n").drain());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(request(c, "GetSonar", 1), CONN_ERR_LOST);
    CONN_ConnInfo *found = nullptr;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
    finish(a, nullptr);
}

// The acknowledgement names the command that arrived, whatever the handler did to its words.
TEST_P(ConnTest, HandlerThatChangesItsWordsIsAcknowledgedByTheCommandName) {
    CONN_ConnInfo *c = open_a(Script()
                                  .send("Scribble one two\n3:Scribble\n")
                                  .expect("Done Scribble")
                                  .expect("Done Scribble")
                                  .send("SetSonar 4\n")
                                  .expect("Done SetSonar"));
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(until([&] { return !sonar.empty(); }));
    finish(a, c);
}

// A handler sends on its own connection, without waiting and waiting: the requests leave before
// the handler's answer, the nested wait sees its own answer, and the connection goes on.
TEST_P(ConnTest, HandlerMaySendAndWaitOnItsOwnConnection) {
    CONN_ConnInfo *c = open_a(Script()
                                  .send("Relay\n")
                                  .expect("1:Note relayed")
                                  .expect("1:GetTimer")
                                  .send("SetTimer 4\nDone GetTimer\n")
                                  .expect("Done SetTimer")
                                  .expect("Relayed")
                                  .expect("Done Relay")
                                  .answer("1:GetSonar", "Done GetSonar\n"));
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(until([&] { return relay_result != 1; }));
    EXPECT_EQ(relay_result, 0);
    EXPECT_EQ(timer_calls, 1);
    EXPECT_EQ(c->status, CONN_DONE);
    EXPECT_EQ(request(c, "GetSonar", 1), 0);
    finish(a, c);
}

// A handler that disconnects its connection during a plain poll: the lines after it in the same
// read are not dispatched, and nothing is answered on the closed connection.
TEST_P(ConnTest, HandlerMayDisconnectItsConnectionWhileLinesAreQueued) {
    CONN_ConnInfo *c = open_a(Script().send("Bye\nSetSonar 1\nSetTimer 2\n").drain());
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(until([&] { return a.done(); })); // the peer saw the connection close
    EXPECT_EQ(a.finish(), 0);
    EXPECT_TRUE(sonar.empty());
    EXPECT_EQ(timer_calls, 0);
    CONN_ConnInfo *found = nullptr;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
}

TEST_P(ConnTest, DisconnectCallbackMayReleaseTheRecord) {
    CONN_ConnInfo *c = open_a(Script().close());
    ASSERT_NE(c, nullptr);
    int fd = c->fd;
    CONN_AddDisconnectCallback(release_on_disconnect);
    ASSERT_TRUE(until([&] { return events.size() == 2; }));
    CONN_RemoveDisconnectCallback(release_on_disconnect);
    EXPECT_EQ(events, (std::vector<std::string>{ev("release", fd), ev("disconnect", fd)}));
    CONN_ConnInfo *found = nullptr;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
    finish(a, nullptr);
}

TEST(ConnDeath, SendingWhileConnectIsUnconfirmedIsFatal) {
    CONN_Initialize();
    CONN_ConnInfo *c = CONN_AllocConnInfo(7, 999);
    c->status = CONN_CONNECTING;
    EXPECT_DEATH(request(c, "GetSonar", 0), "Assertion failed: conn_info->status == CONN_DONE");
    CONN_FreeConnInfo(c);
}

} // namespace
