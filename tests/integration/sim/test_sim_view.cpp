// The simulator's live view over HTTP: the world as loaded, frames that follow the robots and
// agree with what the robots report on the wire, valid JSON under polling while a robot moves,
// bounded event streams, refusals, clients that never finish their request, the snapshot the
// simulator leaves when it ends, and the failures reported at start.
#include "sim_process.h"
#include "view_client.h"

#include "client.h"
#include "kavrel.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using simtest::SimProcess;
using viewtest::HttpAnswer;
using viewtest::HttpClient;
using viewtest::Json;

namespace {

const char *const world_text = "room 12000 9000\n"
                               "wall 6000 9000 6000 6000.5\n"
                               "box 8000 1000 9000 2500\n"
                               "circle 3000 7000 450\n"
                               "start 2000 2000 0\n"
                               "start 2000 4000 90\n";

class SimView : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra = {}) {
        std::string path = simtest::write_file(dir_, "view.world", world_text);
        std::vector<std::string> args = {"--world", path, "--view", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset(new SimProcess(args));
        ASSERT_TRUE(sim_->ok());
        port_ = sim_->view_port();
        ASSERT_GT(port_, 0) << sim_->log();
    }
    void TearDown() override {
        if (sim_) {
            EXPECT_EQ(sim_->stop(), 0);
        }
    }
    // GET path as JSON; fails the test when the answer is not 200 and valid JSON.
    Json get_json(HttpClient &http, const std::string &path) {
        HttpAnswer a = http.request(path);
        Json j;
        std::string error;
        EXPECT_EQ(a.status, 200) << path;
        EXPECT_EQ(a.header("Content-Type"), "application/json") << path;
        EXPECT_TRUE(viewtest::parse_json(a.body, &j, &error)) << path << ": " << error << "\n"
                                                              << a.body.substr(0, 300);
        return j;
    }
    // The robot's entry in the latest frame (the test fails when it is missing).
    Json robot_state(HttpClient &http, int id) {
        Json j = get_json(http, "/state");
        const Json *robots = j.get("robots");
        if (robots)
            for (const Json &r : robots->items)
                if (r.num("id") == id)
                    return r;
        ADD_FAILURE() << "robot " << id << " missing from /state";
        return Json();
    }
    // Polls /state until robot id stands at (x, y); false after 10 seconds.
    bool wait_for_place(HttpClient &http, int id, double x, double y) {
        for (int i = 0; i < 500; i++) {
            Json r = robot_state(http, id);
            if (r.num("x") == x && r.num("y") == y)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    netpeer::TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    int port_ = 0;
};

TEST_F(SimView, ServesTheWorldAsLoaded) {
    start({"--robots", "2"});
    HttpClient http(port_);
    Json w = get_json(http, "/world");
    ASSERT_EQ(w.get("rooms")->items.size(), 1U);
    EXPECT_EQ(w.get("rooms")->items[0].num("width"), 12000);
    ASSERT_EQ(w.get("walls")->items.size(), 1U);
    EXPECT_EQ(w.get("walls")->items[0].num("y2"), 6000.5);
    ASSERT_EQ(w.get("boxes")->items.size(), 1U);
    EXPECT_EQ(w.get("boxes")->items[0].num("x2"), 9000);
    ASSERT_EQ(w.get("circles")->items.size(), 1U);
    EXPECT_EQ(w.get("circles")->items[0].num("r"), 450);
    ASSERT_EQ(w.get("starts")->items.size(), 2U);
    EXPECT_EQ(w.get("starts")->items[1].num("heading_mrad"), 1571);
    EXPECT_EQ(w.get("robot")->num("radius"), 300);
    EXPECT_EQ(w.get("robot")->num("sectors"), 24);
    EXPECT_EQ(w.get("sonar")->num("range"), 5000);
    EXPECT_EQ(w.get("infrared")->num("beam_deg"), 6);
    EXPECT_EQ(w.get("bounds")->num("xmax"), 12000);
}

TEST_F(SimView, FramesAgreeWithWhatTheRobotsReportOnTheWire) {
    start({"--robots", "2"});
    ASSERT_EQ(simtest::connect_client(*sim_, 2), 0);
    ASSERT_EQ(Q_GetSonar(2), 0);
    ASSERT_EQ(Q_GetInfrared(2), 0);
    Q_RobotState *rs = Q_GetRobotState(2);
    HttpClient http(port_);
    Json r = robot_state(http, 2);
    ASSERT_EQ(r.get("sonar")->items.size(), 24U);
    for (int set = 0; set < 6; set++)
        for (int i = 0; i < 8; i++) {
            int k = set < 2 ? 2 + i : set < 4 ? 10 + i : i < 6 ? 18 + i : i - 6;
            EXPECT_EQ(r.get("sonar")->items[(size_t)k].number,
                      rs->SonarController.SonarSet[set].Sonar[i].Reading)
                << "set " << set << " sonar " << i;
            EXPECT_EQ(r.get("infrared")->items[(size_t)k].number,
                      rs->InfraredController.InfraredSet[set].Infrared[i].Reading);
        }
    // Robot 2 faces +y; robot 1 stands 2000 mm behind it (sector 12): the gap between them.
    EXPECT_EQ(r.get("sonar")->items[12].number, 1400);
    Q_DisconnectRobot(2);
}

TEST_F(SimView, StateAndWorldStayValidJsonWhilePolledAt50HzAsARobotMoves) {
    start({"--speedup", "4"});
    ASSERT_EQ(simtest::connect_client(*sim_, 1), 0);
    Q_Axis &a = Q_GetRobotState(1)->AxisSet.Axis[0];
    a.Update = 1, a.Mode = 1, a.DesiredSpeed = 500, a.Acceleration = 0;
    ASSERT_EQ(Q_SetAxes(1), 0);
    HttpClient http(port_);
    double x0 = robot_state(http, 1).num("x"), last_x = x0, last_t = -1, last_frame = -1;
    for (int i = 0; i < 150; i++) {
        Json j = get_json(http, i % 10 == 9 ? "/world" : "/state");
        if (i % 10 != 9) {
            const Json &r = j.get("robots")->items.at(0);
            EXPECT_GE(r.num("x"), last_x);
            EXPECT_GE(j.num("time_ms"), last_t);
            EXPECT_GE(j.num("frame"), last_frame);
            last_x = r.num("x"), last_t = j.num("time_ms"), last_frame = j.num("frame");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(last_x, x0 + 500); // the robot moved while it was watched
    Q_DisconnectRobot(1);
}

TEST_F(SimView, APlacedRobotAppearsAtItsNewPlace) {
    start({"--robots", "2"});
    simtest::LineClient scheduler(sim_->port());
    ASSERT_EQ(scheduler.ask("SetTruePose 1 7000 6000 1571", "SetTruePose"),
              std::vector<std::string>{"Done SetTruePose"});
    HttpClient http(port_);
    ASSERT_TRUE(wait_for_place(http, 1, 7000, 6000));
    Json r = robot_state(http, 1);
    EXPECT_EQ(r.num("heading_mrad"), 1571);
    // Facing +y from (7000, 6000): the room's wall at 9000, from the rim.
    EXPECT_EQ(r.get("sonar")->items[0].number, 2700);
    Json trails = get_json(http, "/trail");
    const Json &points = *trails.get("robots")->items.at(0).get("points");
    ASSERT_GE(points.items.size(), 2U);
    EXPECT_EQ(points.items.front().items.at(0).number, 2000);
    EXPECT_EQ(points.items.back().items.at(0).number, 7000);
    EXPECT_EQ(trails.get("robots")->items.at(1).get("points")->items.size(), 1U);
}

TEST_F(SimView, ServesThePageAndRefusesWhatItDoesNotServe) {
    start();
    HttpClient http(port_);
    HttpAnswer page = http.request("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type").compare(0, 9, "text/html"), 0);
    EXPECT_NE(page.header("Content-Security-Policy").find("default-src 'self'"), std::string::npos);
    EXPECT_NE(page.body.find("/view.js"), std::string::npos);
    HttpAnswer script = http.request("/view.js");
    EXPECT_EQ(script.status, 200);
    EXPECT_NE(script.body.find("EventSource"), std::string::npos);
    EXPECT_EQ(http.request("/state", "HEAD").status, 200);
    EXPECT_EQ(http.request("/nothing/here").status, 404);
    EXPECT_EQ(http.request("/../../etc/passwd").status, 404);
    HttpAnswer post = http.request("/state", "POST");
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.header("Allow"), "GET, HEAD");
    EXPECT_EQ(http.request("/state", "GET", "rebound.example:" + std::to_string(port_)).status,
              403);
    EXPECT_EQ(http.request("/state", "GET", "localhost:8080").status, 200); // a forwarded port
}

// Reads from an event stream until one whole event has arrived; its JSON, or "" on time-out.
std::string next_event(int fd, std::string *pending) {
    for (int i = 0; i < 100; i++) {
        size_t start = pending->find("data: ");
        size_t end = start == std::string::npos ? start : pending->find("\n\n", start);
        if (end != std::string::npos) {
            std::string event = pending->substr(start + 6, end - start - 6);
            pending->erase(0, end + 2);
            return event;
        }
        std::string more = viewtest::read_some(fd, 65536, 5000);
        if (more.empty())
            return "";
        *pending += more;
    }
    return "";
}

TEST_F(SimView, EventStreamsCarryNewFramesAndAreBounded) {
    start();
    std::vector<int> streams;
    for (int i = 0; i < 3; i++)
        streams.push_back(viewtest::open_request(port_, "/events"));
    std::string pending = viewtest::read_some(streams[0], 65536, 5000);
    EXPECT_EQ(pending.compare(0, 12, "HTTP/1.1 200"), 0);
    EXPECT_NE(pending.find("Content-Type: text/event-stream"), std::string::npos) << pending;
    std::string first = next_event(streams[0], &pending);
    std::string second = next_event(streams[0], &pending);
    Json a, b;
    std::string error;
    ASSERT_TRUE(viewtest::parse_json(first, &a, &error)) << error;
    ASSERT_TRUE(viewtest::parse_json(second, &b, &error)) << error;
    EXPECT_GT(b.num("frame"), a.num("frame"));
    for (int fd : {streams[1], streams[2]}) {
        std::string p;
        EXPECT_FALSE(next_event(fd, &p).empty());
    }
    // A fourth stream is refused: the page then polls /state.
    int extra = viewtest::open_request(port_, "/events");
    std::string refused = viewtest::read_some(extra, 65536, 5000);
    EXPECT_EQ(refused.compare(0, 12, "HTTP/1.1 503"), 0) << refused.substr(0, 100);
    close(extra);
    // Once a stream's client has gone, the server notices at its next event and takes another.
    close(streams[0]);
    bool accepted = false;
    for (int i = 0; i < 50 && !accepted; i++) {
        int fd = viewtest::open_request(port_, "/events");
        accepted = viewtest::read_some(fd, 12, 5000) == "HTTP/1.1 200";
        close(fd);
        if (!accepted)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(accepted);
    // The simulator stops at once with streams open (TearDown checks the exit status).
    EXPECT_EQ(sim_->stop(), 0);
    close(streams[1]);
    close(streams[2]);
}

// The simulated time from the scheduler's status query.
long sim_time(int port) {
    simtest::LineClient c(port);
    for (const std::string &l : c.ask("GetSimTime", "GetSimTime"))
        if (l.compare(0, 8, "SimTime ") == 0)
            return atol(l.c_str() + 8);
    return -1;
}

TEST_F(SimView, ClientsThatNeverFinishARequestDoNotStallTheSimulation) {
    start();
    // Every worker taken by a connection that sends nothing, and a stream nobody reads.
    std::vector<int> idle;
    for (int i = 0; i < 10; i++)
        idle.push_back(viewtest::open_request(port_, ""));
    int unread = viewtest::open_request(port_, "/events");
    long t0 = sim_time(sim_->port());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long t1 = sim_time(sim_->port());
    EXPECT_GT(t1, t0); // simulated time goes on
    simtest::LineClient robot(sim_->socket_path(1));
    std::vector<std::string> battery = robot.ask("GetBattery", "GetBattery");
    ASSERT_EQ(battery.size(), 2U);
    EXPECT_EQ(battery[0], "SetBattery 1300 1300 1300 1300");
    // The idle connections time out and the view answers again.
    HttpClient http(port_);
    EXPECT_EQ(http.request("/state").status, 200);
    for (int fd : idle)
        close(fd);
    close(unread);
}

TEST(SimViewSnapshot, HoldsOneTrailPerRobotEndingWhereEachRobotStands) {
    netpeer::TempDir dir;
    std::string svg = dir.file("end.svg");
    SimProcess sim({"--robots", "3", "--snapshot", svg, "--speedup", "10"});
    ASSERT_TRUE(sim.ok());
    EXPECT_EQ(sim.view_port(), 0); // a snapshot without a view
    simtest::LineClient scheduler(sim.port());
    ASSERT_EQ(scheduler.ask("SetTruePose 1 6000 3000 0", "SetTruePose"),
              std::vector<std::string>{"Done SetTruePose"});
    // Give the simulation a few steps to record the new place.
    long t0 = sim_time(sim.port());
    while (sim_time(sim.port()) < t0 + 200)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(sim.stop(), 0);
    std::ifstream f(svg);
    std::stringstream text;
    text << f.rdbuf();
    std::string s = text.str();
    EXPECT_EQ(s.compare(0, 5, "<?xml"), 0);
    EXPECT_NE(s.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_EQ(s.substr(s.size() - 7), "</svg>\n");
    size_t trails = 0;
    for (size_t at = s.find("class=\"trail\""); at != std::string::npos;
         at = s.find("class=\"trail\"", at + 1))
        trails++;
    EXPECT_EQ(trails, 3U);
    for (int id = 1; id <= 3; id++)
        EXPECT_NE(s.find("class=\"trail\" data-robot=\"" + std::to_string(id) + "\""),
                  std::string::npos);
    EXPECT_NE(s.find("points=\"2000.0,2000.0 6000.0,3000.0\""), std::string::npos);
    EXPECT_NE(s.find("<circle class=\"obstacle\" cx=\"3000.0\" cy=\"5800.0\" r=\"400.0\"/>"),
              std::string::npos);
    EXPECT_NE(access((svg + ".tmp").c_str(), F_OK), 0);
}

TEST(SimViewSnapshot, AnUnwritableSnapshotFailsTheRunInsteadOfVanishing) {
    netpeer::TempDir dir;
    std::string sub = dir.file("gone");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    SimProcess sim({"--snapshot", sub + "/end.svg"});
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(rmdir(sub.c_str()), 0);
    EXPECT_EQ(sim.stop(), 1);
    EXPECT_NE(sim.log().find("cannot write the snapshot"), std::string::npos);
}

TEST(SimViewStart, FailuresAreReportedAtStart) {
    netpeer::TempDir dir;
    // A port already taken on 127.0.0.1.
    int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(taken, (sockaddr *)&a, sizeof a), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    ASSERT_EQ(getsockname(taken, (sockaddr *)&a, &len), 0);
    int port = ntohs(a.sin_port);
    std::vector<std::string> base = {"--port",       std::to_string(netpeer::free_tcp_port()),
                                     "--robot-port", "0",
                                     "--socket-dir", dir.path()};
    struct {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"--view", std::to_string(port)}, "cannot listen on 127.0.0.1 port"},
        {{"--view", "65536"}, "bad value '65536' for option '--view'"},
        {{"--snapshot", dir.file("no/such/dir/end.svg")}, "cannot write the snapshot"},
    };
    for (auto &c : cases) {
        std::vector<std::string> args = base;
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string out;
        EXPECT_EQ(simtest::run_sim(args, &out), 2) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("ready"), std::string::npos) << out;
    }
    close(taken);
    // Nothing of the failed starts is left behind.
    EXPECT_NE(access(dir.file("rovak-sim-" + base[1] + "-1.sock").c_str(), F_OK), 0);
}

} // namespace
