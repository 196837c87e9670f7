// Acknowledgements matched to requests, completions, time-outs and bounded output, against
// scripted peers that answer in pieces, stay silent, close or never read, over real loopback TCP
// and Unix-domain sockets.
#include "connect.h"

#include "command.h"
#include "net_peer.h"
#include "net_test_util.h"
#include "socket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using netpeer::Script;
using netpeer::ScriptedPeer;

namespace {

std::vector<std::string> completions; // "<word> <id> <result>" of every completion
std::vector<std::string> seen;        // "SetBattery" lines, in the order they were dispatched

void on_complete(CONN_ConnInfo *, const char *word, long id, int result) {
    completions.push_back(std::string(word) + " " + std::to_string(id) + " " +
                          std::to_string(result));
}

char *SetBatteryCbk(int, long, int, char **) {
    seen.push_back("SetBattery");
    return nullptr;
}

bool until(const std::function<bool()> &done) {
    return spin_until(done, [] { CONN_PollTimeout(1000); });
}

class AckTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        CONN_Initialize();
        static bool registered = false;
        if (!registered) {
            CMD_Register("SetBattery", SetBatteryCbk);
            registered = true;
        }
        CONN_SetCompletionCallback(on_complete);
        completions.clear();
        seen.clear();
        old_timeout = CONN_SetTimeout(20000);
    }
    void TearDown() override {
        CONN_SetTimeout(old_timeout);
        CONN_SetCompletionCallback(nullptr);
        SOCK_SetOutputLimit(0);
        CONN_ConnInfo *c;
        if (CONN_IDtoConnInfo(1, &c) == 0)
            CONN_Disconnect(c);
        until([&] { return peer.done(); });
    }
    CONN_ConnInfo *open(const Script &s) {
        CONN_ConnInfo *c = nullptr;
        int rc;
        if (GetParam()) {
            std::string path = dir.file("peer.sock");
            peer.listen_unix(path, s);
            rc = CONN_UnixConnect(1, path.c_str(), 1, &c);
        } else {
            int port = netpeer::free_tcp_port();
            peer.listen_tcp(port, s);
            rc = CONN_Connect(1, "127.0.0.1", port, 1, &c);
        }
        EXPECT_EQ(rc, 0);
        return c;
    }
    netpeer::TempDir dir;
    ScriptedPeer peer;
    long old_timeout = 0;
};

INSTANTIATE_TEST_SUITE_P(Kinds, AckTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Unix" : "Tcp"; });

// The "Done" of a failed request arrives in a read of its own, after the caller has moved on: it
// must close the failed request, not complete the next one.
TEST_P(AckTest, LateDoneOfAFailedRequestDoesNotCompleteTheNext) {
    CONN_ConnInfo *c = open(Script()
                                .expect("1:GetSonar")
                                .send("Error GetSonar -9\n")
                                .pause(150)
                                .send("Done GetSonar\n")
                                .expect("Done Error")
                                .expect("1:GetBattery")
                                .pause(50)
                                .send("SetBattery 1 2\nDone GetBattery\n")
                                .expect("Done SetBattery")
                                .answer("1:GetSonar", "Done GetSonar\n")
                                .drain());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(request(c, "GetSonar", 1), -9);
    EXPECT_EQ(request(c, "GetBattery", 1), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"SetBattery"})); // its data came before its end
    EXPECT_EQ(request(c, "GetSonar", 1), 0);
    EXPECT_EQ(completions,
              (std::vector<std::string>{"GetSonar 0 -9", "GetBattery 1 0", "GetSonar 1 0"}));
    EXPECT_EQ(c->request_count, 0u);
}

TEST_P(AckTest, AcknowledgementsOfNothingAwaitedAreDroppedWithAMessage) {
    CONN_ConnInfo *c =
        open(Script()
                 .answer("1:GetBattery", "Done Foo\nError Bar 3\nDone Bar\nError GetBattery 4\n")
                 .expect_n("Done Error", 2)
                 .send("Done GetBattery\nDone GetBattery\n")
                 .drain());
    ASSERT_NE(c, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(request(c, "GetBattery", 1), 4);
    until([&] { return c->unmatched >= 4; });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(c->unmatched, 4u);
    EXPECT_NE(err.find("\"Done Foo\""), std::string::npos) << err;
    EXPECT_NE(err.find("\"Error Bar\""), std::string::npos) << err;
    EXPECT_EQ(completions, (std::vector<std::string>{"GetBattery 0 4"}));
}

TEST_P(AckTest, RequestsSentWithoutWaitingCompleteOnceEachInOrder) {
    CONN_ConnInfo *c = open(Script()
                                .expect("1:GetSonar 1")
                                .expect("1:GetBattery")
                                .expect("1:\"Get Sonar\"")
                                .expect("1:7:GetSonar 2")
                                .send("Error GetSonar 5\n")
                                .pause(30)
                                .send("Done GetSonar\nDone GetBattery\n")
                                .pause(30)
                                .send("Done \"Get Sonar\"\nDone GetSonar\n")
                                .expect("Done Error")
                                .drain());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(request(c, "GetSonar 1", 0), 0);
    EXPECT_EQ(request(c, "GetBattery", 0), 0);
    EXPECT_EQ(request(c, "\"Get Sonar\"", 0), 0); // quoted: named as the peer splits it
    EXPECT_EQ(request(c, "7:GetSonar 2", 0), 0);  // named by the text after the last colon
    EXPECT_TRUE(until([&] { return c->request_count == 0; }));
    EXPECT_EQ(completions, (std::vector<std::string>{"GetSonar 0 5", "GetBattery 1 0",
                                                     "Get Sonar 1 0", "GetSonar 1 0"}));
    EXPECT_EQ(c->status, CONN_ERROR); // the unwaited error stays for the caller to see
    EXPECT_EQ(c->error, 5);
}

// Requests of one word failing in turn: each "Error" completes the oldest request of its word
// that has no result yet, so every request gets its own code once; the "Done" lines only close
// the failed ones.
TEST_P(AckTest, EachErrorCompletesTheOldestRequestOfItsWordWithoutAResult) {
    CONN_ConnInfo *c = open(Script()
                                .expect("1:GetSonar 1")
                                .expect("1:GetSonar 2")
                                .expect("1:GetSonar 3")
                                .send("Error GetSonar 5\nError GetSonar 6\n")
                                .expect_n("Done Error", 2)
                                .send("Done GetSonar\nDone GetSonar\nDone GetSonar\n")
                                .drain());
    ASSERT_NE(c, nullptr);
    for (const char *r : {"GetSonar 1", "GetSonar 2", "GetSonar 3"})
        ASSERT_EQ(request(c, r, 0), 0);
    EXPECT_TRUE(until([&] { return c->request_count == 0; }));
    EXPECT_EQ(completions,
              (std::vector<std::string>{"GetSonar 0 5", "GetSonar 0 6", "GetSonar 1 0"}));
}

TEST_P(AckTest, LossCompletesEveryAwaitedRequestOnceWithMinus6) {
    CONN_ConnInfo *c = open(Script()
                                .expect("1:GetSonar")
                                .expect("1:GetBattery")
                                .expect("1:GetBumper")
                                .send("Error GetSonar 2\n")
                                .expect("Done Error")
                                .close());
    ASSERT_NE(c, nullptr);
    for (const char *r : {"GetSonar", "GetBattery", "GetBumper"})
        ASSERT_EQ(request(c, r, 0), 0);
    EXPECT_TRUE(until([&] { return c->lost != 0; }));
    EXPECT_EQ(completions,
              (std::vector<std::string>{"GetSonar 0 2", "GetBattery 1 -6", "GetBumper 1 -6"}));
    CONN_ConnInfo *found;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_LOST);
}

TEST_P(AckTest, SilentPeerEndsABlockingRequestWithMinus6AndClosesTheConnection) {
    CONN_ConnInfo *c = open(Script().expect("1:GetSonar").drain());
    ASSERT_NE(c, nullptr);
    CONN_SetTimeout(300);
    testing::internal::CaptureStderr();
    EXPECT_EQ(request(c, "GetSonar", 1), CONN_ERR_LOST);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("request \"GetSonar\": no answer within 300 ms"), std::string::npos) << err;
    EXPECT_EQ(completions, (std::vector<std::string>{"GetSonar 1 -6"}));
    CONN_ConnInfo *found;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
    // The peer sees the connection closed (its drain step ends).
    EXPECT_TRUE(until([&] { return peer.done(); }));
    EXPECT_EQ(peer.finish(), 0);
}

// A peer that never reads: the requests queue up to the output limit, then the connection is
// given up instead of growing without bound, and every request sent on it gets -6.
TEST_P(AckTest, PeerThatNeverReadsIsGivenUpAtTheOutputLimit) {
    CONN_ConnInfo *c = open(Script().pause(3000));
    ASSERT_NE(c, nullptr);
    SOCK_SetOutputLimit(256 * 1024);
    std::string line = "Note " + std::string(1000, 'x');
    int rc = 0, sent = 0;
    testing::internal::CaptureStderr();
    for (; sent < 50000 && rc == 0; sent++) {
        rc = request(c, line, 0);
        CONN_Poll();
    }
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, CONN_ERR_LOST);
    EXPECT_LT(sent, 50000);
    EXPECT_NE(err.find("the peer does not read"), std::string::npos) << err;
    // Every request that had been queued completes with -6, the refused one does not.
    EXPECT_EQ(completions.size(), (size_t)sent - 1);
    for (const std::string &e : completions)
        ASSERT_EQ(e, "Note 1 -6");
    CONN_ConnInfo *found;
    EXPECT_EQ(CONN_IDtoConnInfo(1, &found), CONN_ERR_NO_CONNECTION);
}

// Runs in a fresh process: the variable is read when the manager is set up.
void check_timeout_from_environment(const char *value, long expected) {
    setenv("ROVAK_TIMEOUT_MS", value, 1);
    CONN_Initialize();
    std::exit(CONN_GetTimeout() == expected ? 0 : 1);
}

TEST(AckTimeout, EnvironmentSetsTheTimeOutAndBadValuesAreReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(check_timeout_from_environment("250", 250), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(check_timeout_from_environment("0", 0), ::testing::ExitedWithCode(0), "");
    for (const char *bad : {"-5", "12ms", "abc", "99999999999", " 5"})
        EXPECT_EXIT(check_timeout_from_environment(bad, CONN_DEFAULT_TIMEOUT_MS),
                    ::testing::ExitedWithCode(0), "not a number of milliseconds")
            << bad;
}

} // namespace
