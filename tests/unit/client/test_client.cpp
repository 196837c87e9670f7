// Client start-up, robot list, connection and completion callbacks against scripted loopback
// peers playing the scheduler and a robot server. The checks of an uninitialised library run in
// a fresh process of their own, so the binary passes run whole as well as one test at a time.
#include "client.h"
#include "client_peers.h"
#include "conn_errors.h"
#include "kavrel.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include <string>
#include <vector>

using clientpeers::describe;
using clientpeers::list_answer;
using netpeer::Script;
using netpeer::ScriptedPeer;

namespace {

std::vector<int> list_ids() {
    std::vector<int> ids;
    Q_RobotListEntry *e = Q_GetRobotList();
    if (e == nullptr)
        return {-999};
    for (; e->hostname != nullptr; e++)
        ids.push_back(e->id);
    EXPECT_EQ(e->port, 0);
    EXPECT_EQ(e->unixpath, nullptr);
    EXPECT_EQ(e->id, 0);
    return ids;
}

std::string add(int id, int port, const std::string &path = "/nonexistent/robot") {
    return "AddRegistered " + std::to_string(id) + " 127.0.0.1 " + std::to_string(port) + " " +
           path;
}

// Runs in a fresh process (the library cannot be uninitialised again); exits with the number of
// checks that failed.
void check_before_initialisation() {
    int failed = 0;
    auto check = [&](bool ok) { failed += ok ? 0 : 1; };
    check(Q_UpdateRobotList() == CONN_ERR_NOT_INITIALIZED);
    check(Q_PollClient() == CONN_ERR_NOT_INITIALIZED);
    check(Q_ConnectRobot(1) == CONN_ERR_NOT_INITIALIZED);
    check(Q_GetRobotList() == nullptr);
    check(Q_GetSynchronous() == 0);
    Q_SetSynchronous(0);
    check(Q_InitializeClient("127.0.0.1", netpeer::free_tcp_port()) == 0);
    check(Q_GetSynchronous() == 1); // the one-time set-up turns synchronous mode on
    Q_SetSynchronous(0);
    check(Q_InitializeClient("127.0.0.1", netpeer::free_tcp_port()) == 0);
    check(Q_GetSynchronous() == 0); // later calls keep the setting
    check(Q_GetState(0) == CONN_ERR_NO_CONNECTION);
    check(Q_GetSonar(1) == CONN_ERR_NO_CONNECTION);
    check(Q_GetRobotState(0) == nullptr);
    check(Q_GetRobotState(1) == nullptr);
    std::exit(failed);
}

TEST(ClientFresh, EverythingBeforeInitialisationIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a new process, not a fork of this one
    EXPECT_EXIT(check_before_initialisation(), ::testing::ExitedWithCode(0), "");
}

TEST(Client, NoSchedulerListening) {
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", netpeer::free_tcp_port()), 0);
    EXPECT_EQ(Q_UpdateRobotList(), CONN_ERR_LOST);
    EXPECT_EQ(Q_ConnectRobot(1), CONN_ERR_LOST);
}

TEST(Client, RobotListOrderAndMalformedEntries) {
    int port = netpeer::free_tcp_port();
    Script s;
    list_answer(s, {add(1, 7001), add(2, 7002), add(3, 7003)});
    list_answer(s, {add(3, 7003), add(2, 7002), add(1, 7001)});
    list_answer(s, {add(1, 0), add(0, 7000), "AddRegistered 4 host 7004", add(-2, 7000),
                    add(5, 7005), add(5, 7006)});
    list_answer(s, {add(9, 7009), add(5, 7005), add(5, 7006), add(3, 7003), add(5, 7007)});
    s.drain();
    ScriptedPeer scheduler;
    scheduler.listen_tcp(port, s);

    ASSERT_EQ(Q_InitializeClient("127.0.0.1", port), 0);
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    EXPECT_EQ(list_ids(), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(HCLNT_FindRobotEntry(3)->port, 7003);
    EXPECT_STREQ(HCLNT_FindRobotEntry(3)->unixpath, "/nonexistent/robot");
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    EXPECT_EQ(list_ids(), (std::vector<int>{3, 2, 1}));
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    EXPECT_EQ(list_ids(), (std::vector<int>{5, 5}));
    EXPECT_EQ(HCLNT_FindRobotEntry(5)->port, 7005); // duplicates stay; the first one is found
    EXPECT_EQ(HCLNT_FindRobotEntry(7), nullptr);
    // After the first, descending ids, and a robot listed again goes in front of its equals.
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    std::vector<int> ports;
    for (Q_RobotListEntry *e = Q_GetRobotList(); e && e->hostname; e++)
        ports.push_back(e->port);
    EXPECT_EQ(ports, (std::vector<int>{7009, 7007, 7006, 7005, 7003}));

    EXPECT_EQ(Q_InitializeClient("127.0.0.1", port), 0); // drops the scheduler connection
    clientpeers::poll_until_done(scheduler, scheduler);
    EXPECT_EQ(scheduler.finish(), 0);
}

TEST(Client, UnlistedRobotAsksTheSchedulerEachTime) {
    int port = netpeer::free_tcp_port();
    Script s;
    list_answer(s, {add(1, 7001)});
    list_answer(s, {add(1, 7001)});
    s.drain();
    ScriptedPeer scheduler;
    scheduler.listen_tcp(port, s);
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", port), 0);
    EXPECT_EQ(Q_ConnectRobot(7), CONN_ERR_NO_CONNECTION);
    EXPECT_EQ(Q_ConnectRobot(7), CONN_ERR_NO_CONNECTION);
    Q_InitializeClient("127.0.0.1", port);
    clientpeers::poll_until_done(scheduler, scheduler);
    EXPECT_EQ(scheduler.finish(), 0);
}

TEST(Client, ListErrorLeavesNoArray) {
    int port = netpeer::free_tcp_port();
    Script s;
    s.expect("0:GetRegisteredList")
        .send("AddRegistered 1 h 7001 /p\nError GetRegisteredList 9\nDone GetRegisteredList\n");
    s.expect("Done AddRegistered").expect("Done Error").drain();
    ScriptedPeer scheduler;
    scheduler.listen_tcp(port, s);
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", port), 0);
    EXPECT_EQ(Q_UpdateRobotList(), 9);
    EXPECT_EQ(Q_GetRobotList(), nullptr);
    Q_InitializeClient("127.0.0.1", port);
    clientpeers::poll_until_done(scheduler, scheduler);
    EXPECT_EQ(scheduler.finish(), 0);
}

class Robot : public ::testing::Test {
  protected:
    // Starts the scheduler (one list answer naming robot 1) and the robot server with script.
    void start(Script robot_script, bool unix_socket = false) {
        sched_port = netpeer::free_tcp_port();
        robot_port = netpeer::free_tcp_port();
        std::string path = dir.file("robot1");
        char host[100] = "127.0.0.1";
        if (unix_socket)
            gethostname(host, sizeof host);
        Script s;
        list_answer(s, {"AddRegistered 1 " + std::string(host) + " " + std::to_string(robot_port) +
                        " " + (unix_socket ? path : "/none")});
        s.drain();
        scheduler.listen_tcp(sched_port, s);
        if (unix_socket)
            robot.listen_unix(path, robot_script);
        else
            robot.listen_tcp(robot_port, robot_script);
        ASSERT_EQ(Q_InitializeClient("127.0.0.1", sched_port), 0);
        // The list of an earlier test in this process must not name robot 1's old server.
        ASSERT_EQ(Q_UpdateRobotList(), 0);
    }
    void finish() {
        Q_SetSynchronous(1); // process-wide: the next test starts synchronous
        Q_DisconnectRobot(1);
        Q_InitializeClient("127.0.0.1", sched_port);
        clientpeers::poll_until_done(robot, scheduler);
        EXPECT_EQ(robot.finish(), 0);
        EXPECT_EQ(scheduler.finish(), 0);
    }

    netpeer::TempDir dir;
    ScriptedPeer scheduler, robot;
    int sched_port = 0, robot_port = 0;
};

TEST_F(Robot, ConnectDescribesAndSetsDefaultFlags) {
    Script r;
    describe(r, 1).drain();
    start(r);
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    Q_RobotState *rs = Q_GetRobotState(1);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->RobotID, 1);
    EXPECT_EQ(rs->RobotType, 'H');
    EXPECT_EQ(rs->SonarController.SonarSetCount, 2u);
    EXPECT_EQ(rs->SonarController.SonarSet[1].SonarCount, 3u);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(rs->SonarController.SonarSet[i].DataActive, 1);
        EXPECT_EQ(rs->SonarController.SonarSet[i].TimeStampActive, 0);
        EXPECT_EQ(rs->AxisSet.Axis[i].DataActive, 1);
    }
    EXPECT_EQ(rs->SonarController.SonarSet[2].DataActive, 0); // not in use
    EXPECT_EQ(rs->LiftController.Axis[0].DataActive, 1);
    EXPECT_EQ(rs->LaserSet.Laser[0].DataActive, 1);
    EXPECT_EQ(rs->BatterySet.DataActive, 1);
    EXPECT_EQ(rs->Integrator.DataActive, 1);
    EXPECT_EQ(rs->Compass.DataActive, 1);
    Q_RobotStateExt *x = Q_GetRobotStateExt(1);
    ASSERT_NE(x, nullptr);
    EXPECT_STREQ(x->SonarController.SonarSet[1].Sonar[2].ID, "t2");

    EXPECT_EQ(Q_ConnectRobot(1), CONN_ERR_ALREADY_CONNECTED);
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    EXPECT_EQ(Q_DisconnectRobot(1), CONN_ERR_NO_CONNECTION);
    finish();
}

TEST_F(Robot, ConnectOverTheLocalSocket) {
    Script r;
    describe(r, 1);
    r.expect("1:GetBattery").send("SetBattery 1234 1250\nDone GetBattery\n");
    r.expect("Done SetBattery").drain();
    start(r, true);
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    ASSERT_EQ(Q_GetBattery(1), 0);
    EXPECT_EQ(Q_GetRobotState(1)->BatterySet.Battery[1].Voltage, 1250);
    finish();
}

TEST_F(Robot, UnreachableRobotServer) {
    sched_port = netpeer::free_tcp_port();
    Script s;
    list_answer(s, {add(1, netpeer::free_tcp_port())});
    s.drain();
    scheduler.listen_tcp(sched_port, s);
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", sched_port), 0);
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    EXPECT_EQ(Q_ConnectRobot(1), CONN_ERR_LOST);
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    Q_InitializeClient("127.0.0.1", sched_port);
    clientpeers::poll_until_done(scheduler, scheduler);
    EXPECT_EQ(scheduler.finish(), 0);
}

TEST_F(Robot, DescriptionErrorCodes) {
    Script r;
    r.expect("1:GetConstMembers").send("Error GetConstMembers -5\nDone GetConstMembers\n");
    r.expect("Done Error").drain();
    start(r);
    EXPECT_EQ(Q_ConnectRobot(1), CONN_ERR_ANSWER); // not "robot not found"
    // Nothing of the failed attempt stays: the state and the result agree.
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    EXPECT_EQ(Q_DisconnectRobot(1), CONN_ERR_NO_CONNECTION);
    finish();
}

TEST_F(Robot, ServerDropsDuringRequest) {
    Script r;
    describe(r, 1);
    r.expect("1:GetSonar 1 0 1 0").send("SetSonar 1 0 0 700 255\n").close();
    start(r);
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    EXPECT_EQ(Q_GetSonar(1), CONN_ERR_LOST);
    EXPECT_EQ(Q_GetRobotState(1), nullptr);
    EXPECT_EQ(Q_GetSonar(1), CONN_ERR_NO_CONNECTION);
    finish();
}

TEST_F(Robot, SynchronousGetStoresReadingsBeforeReturning) {
    Script r;
    describe(r, 1);
    r.expect("1:GetSonar 1 0 1 0")
        .send("SetSonar 1 0 1 1500 0 1400 1 0 2 300 255\nDone GetSonar\n")
        .expect("Done SetSonar");
    r.expect("1:GetSonar 1 1 1 0").send("Error GetSonar -4\nDone GetSonar\n");
    r.expect("Done Error").drain();
    start(r);
    ASSERT_EQ(Q_ConnectRobot(1), 0);
    Q_RobotState *rs = Q_GetRobotState(1);
    ASSERT_EQ(Q_GetSonar(1), 0);
    EXPECT_EQ(rs->SonarController.SonarSet[0].Sonar[1].Reading, 1500);
    EXPECT_EQ(rs->SonarController.SonarSet[0].Sonar[0].Reading, 1400);
    EXPECT_EQ(rs->SonarController.SonarSet[1].Sonar[2].Reading, 300);
    rs->SonarController.SonarSet[0].TimeStampActive = 1;
    EXPECT_EQ(Q_GetSonar(1), -4);
    finish();
}

std::vector<std::string> events;
void cb_a(s32 id, int error) {
    events.push_back("a " + std::to_string(id) + " " + std::to_string(error));
}
void cb_b(s32 id, int error) {
    events.push_back("b " + std::to_string(id) + " " + std::to_string(error));
}

TEST_F(Robot, AsynchronousRequestsCompleteThroughCallbacks) {
    Script r;
    describe(r, 1);
    r.expect("1:GetBattery")
        .send("SetBattery 1111 2222\nDone GetBattery\n")
        .expect("Done SetBattery");
    r.expect_n("1:GetBattery", 2)
        .send("Error GetBattery 7\nDone GetBattery\n7:Error GetBattery 8\nDone GetBattery\n");
    r.expect("Done Error").expect("Done Error");
    r.expect("1:GetBattery").send("Done GetBattery\n").drain();
    start(r); // lists the robots while synchronous
    Q_SetSynchronous(0);
    ASSERT_EQ(Q_ConnectRobot(1), 0); // connecting waits all the same
    Q_RegisterCallback("GetBattery", cb_a);
    Q_RegisterCallback("GetBattery", cb_b);
    Q_RegisterCallback("GetBattery", cb_b);
    events.clear();
    ASSERT_EQ(Q_GetBattery(1), 0);
    EXPECT_TRUE(events.empty()); // nothing processed yet
    for (int i = 0; i < 200000 && events.size() < 3; i++)
        Q_PollClient();
    EXPECT_EQ(events, (std::vector<std::string>{"b 1 0", "b 1 0", "a 1 0"}));
    EXPECT_EQ(Q_GetRobotState(1)->BatterySet.Battery[1].Voltage, 2222);

    Q_UnregisterCallback("GetBattery", cb_b);
    events.clear();
    ASSERT_EQ(Q_GetBattery(1), 0);
    ASSERT_EQ(Q_GetBattery(1), 0);
    for (int i = 0; i < 200000 && events.size() < 2; i++)
        Q_PollClient();
    // An "Error" line without an id prefix gives id 0; one with a prefix gives that number.
    EXPECT_EQ(events, (std::vector<std::string>{"a 0 7", "a 7 8"}));

    // The connection is usable again after the error answers.
    events.clear();
    ASSERT_EQ(Q_GetBattery(1), 0);
    for (int i = 0; i < 200000 && events.empty(); i++)
        Q_PollClient();
    EXPECT_EQ(events, (std::vector<std::string>{"a 1 0"}));
    Q_UnregisterCallback("GetBattery", cb_a);
    finish();
}

TEST(Client, AsynchronousListRequestWaitsForTheScheduler) {
    int port = netpeer::free_tcp_port();
    Script s;
    list_answer(s, {add(2, 7002)});
    s.drain();
    ScriptedPeer scheduler;
    scheduler.listen_tcp(port, s);
    ASSERT_EQ(Q_InitializeClient("127.0.0.1", port), 0);
    Q_SetSynchronous(0);
    ASSERT_EQ(Q_UpdateRobotList(), 0);
    EXPECT_EQ(Q_GetRobotList(), nullptr);
    for (int i = 0; i < 200000 && Q_GetRobotList() == nullptr; i++)
        Q_PollClient();
    EXPECT_EQ(list_ids(), (std::vector<int>{2}));
    Q_SetSynchronous(1);
    Q_InitializeClient("127.0.0.1", port);
    clientpeers::poll_until_done(scheduler, scheduler);
    EXPECT_EQ(scheduler.finish(), 0);
}

} // namespace
