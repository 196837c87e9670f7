// Untrusted input on both endpoints: malformed requests get error answers or are ignored,
// over-long lines and abrupt disconnects cost only that connection, and the simulator keeps
// serving. Also speech and the status queries.
#include "sim_process.h"

#include "client.h"
#include "kavrel.h"

#include <gtest/gtest.h>

using simtest::LineClient;
using simtest::SimProcess;

namespace {

struct exchange {
    const char *line;
    const char *word;
    const char *first; // expected first line of the answer
};

// Requests that break their layout or ranges, and what each must draw.
const exchange bad_requests[] = {
    {"1:SetAxes", "SetAxes", "Error SetAxes -2"},
    {"1:SetAxes 0 1 2", "SetAxes", "Error SetAxes -2"},
    {"1:SetAxes 0 1 9 0 0 0 0 0", "SetAxes", "Error SetAxes -2"},
    {"1:SetAxes 0 1 1 0 x 0 0 0", "SetAxes", "Error SetAxes -2"},
    {"1:SetAxes 0 1 1 0 99999999999 0 0 0", "SetAxes", "Error SetAxes -2"},
    {"1:SetLift 1 1", "SetLift", "Error SetLift -2"},
    {"1:SetSonarConfiguration 0 40 1 0 1", "SetSonarConfiguration",
     "Error SetSonarConfiguration -2"},
    {"1:SetSonarConfiguration 0 40 1 9 255", "SetSonarConfiguration",
     "Error SetSonarConfiguration -2"},
    {"1:SetLaserConfiguration 1 1 1", "SetLaserConfiguration", "Error SetLaserConfiguration -2"},
    {"1:SetLaserConfiguration 1 1 1 0 0 0 181 1 0 1 0", "SetLaserConfiguration",
     "Error SetLaserConfiguration -2"},
    {"1:1:SetJoystick nan 0 0 1 0 0", "SetJoystick", "Error SetJoystick -2"},
    {"1:1:SetTimer -5", "SetTimer", "Error SetTimer -2"},
    {"1:1:SetIntegratedConfiguration 1 2", "SetIntegratedConfiguration",
     "Error SetIntegratedConfiguration -2"},
    {"1:GetState bogus 1 0", "GetState", "Error GetState -2"},
    {"1:GetRegisteredList", "GetRegisteredList", "Error GetRegisteredList -4"},
    {"1:NoSuchCommand 1 2 3", "NoSuchCommand", "Error NoSuchCommand -4"},
    {"1:\"Get\"Axes", "GetAxes",
     "SetAxes 0 0 1 0 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 0 1 0 0 0 0 "
     "0 0 0 0 0"},
    {"1:GetSonar 0 0 0 0 0 0 0 0 0 0 0 0", "GetSonar", "SetSonar 0 0 0 0 0 0"},
    {"1:GetInfrared 1", "GetInfrared",
     "SetInfrared 1 0 800 800 800 800 800 800 800 800 1 0 800 "
     "800 800 800 800 800 800 800 1 0 800 800 800 800 800 800 "
     "800 800 1 0 800 800 800 800 800 800 800 800 1 0 800 800 "
     "800 800 800 800 800 800 1 0 800 800 800 800 800 800 800 "
     "800"},
    {"1:GetK770 1 0 361", "GetK770", "SetK770"},
};

TEST(SimInput, MalformedRequestsDrawErrorAnswers) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    LineClient c(sim.socket_path(1));
    ASSERT_TRUE(c.ok());
    for (const exchange &e : bad_requests) {
        std::vector<std::string> got = c.ask(e.line, e.word);
        ASSERT_FALSE(got.empty()) << e.line;
        EXPECT_EQ(got[0], e.first) << e.line;
        EXPECT_EQ(got.back(), std::string("Done ") + e.word) << e.line;
    }
    LineClient sched(sim.port());
    EXPECT_EQ(sched.ask("0:GetSonar", "GetSonar")[0], "Error GetSonar -4");
    EXPECT_EQ(sched.ask("0:GetTruePose 9", "GetTruePose")[0], "Error GetTruePose -5");
    EXPECT_EQ(sched.ask("0:SetTruePose 1 -5000 0 0", "SetTruePose").size(), 1u);
    EXPECT_EQ(sched.ask("0:SetTruePose 1 x", "SetTruePose")[0], "Error SetTruePose -2");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimInput, AcknowledgementsAndStrayLinesAreNeverAnswered) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    LineClient c(sim.socket_path(1));
    // Only the last line is a request: its answer must be the first thing that comes back.
    c.send("Done SetSonar\nError SetSonar -4\n -4\n\n   \nFoo bar\n1:GetTimer\n");
    std::vector<std::string> got;
    ASSERT_TRUE(c.read_until("Done GetTimer", &got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].compare(0, 11, "SetTimer 0 "), 0);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimInput, GarbageLongLinesAndAbruptDisconnectsNeverStopTheServer) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    {
        LineClient c(sim.socket_path(1));
        c.send(std::string("1:GetSonar \x01\x02\xff\xfe \"open quote\n"));
        c.send(std::string("1:Get\0Sonar\n", 13));
        c.send("\\\\\\\n::::\n1:\n:GetAxes\n");
        c.send(std::string(70000, 'x')); // no line feed: the connection is closed
        std::vector<std::string> got;
        EXPECT_FALSE(c.read_until("never", &got));
    }
    {
        LineClient c(sim.socket_path(1));
        c.send("1:GetConstMembers\n1:GetSonar 1 0 1"); // vanish in the middle of a line
    }
    {
        LineClient c(sim.port());
        c.send("0:GetRegisteredList\n0:GetRegisteredList\n"); // and without reading answers
    }
    for (int i = 0; i < 20; i++) {
        LineClient c(sim.socket_path(1));
        c.send("1:GetState axes 1 0 sonar 1 0 laser 1 1\n");
    }
    LineClient c(sim.socket_path(1));
    EXPECT_EQ(c.ask("1:GetBattery", "GetBattery")[0], "SetBattery 1300 1300 1300 1300");
    long x, y, th;
    EXPECT_TRUE(simtest::true_pose(sim.port(), 1, &x, &y, &th));
    EXPECT_NE(sim.log().find("longer than 65536 bytes"), std::string::npos);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimInput, SpeechIsLogged) {
    SimProcess sim;
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(simtest::connect_client(sim), 0);
    EXPECT_EQ(Q_Speak(1, "hello \"robot\" \\ bye"), 0);
    EXPECT_EQ(Q_Speak(1, ""), 0);
    EXPECT_EQ(Q_DisconnectRobot(1), 0);
    EXPECT_NE(sim.log().find("robot 1 says: hello \"robot\" \\ bye"), std::string::npos)
        << sim.log();
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimInput, StatusQueriesPlaceAndReportRobots) {
    SimProcess sim({"--robots", "2"});
    ASSERT_TRUE(sim.ok());
    LineClient c(sim.port());
    std::vector<std::string> all = c.ask("0:GetTruePose", "GetTruePose");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], "TruePose 1 2000 2000 0");
    EXPECT_EQ(all[1], "TruePose 2 2000 3500 0");
    EXPECT_EQ(c.ask("0:SetTruePose 2 5000 4000 1571", "SetTruePose").size(), 1u);
    EXPECT_EQ(c.ask("0:GetTruePose 2", "GetTruePose")[0], "TruePose 2 5000 4000 1571");
    // Into the wall at x = 5000 from y = 5500 up: refused, the robot stays.
    EXPECT_EQ(c.ask("0:SetTruePose 2 5000 6000 0", "SetTruePose")[0], "Error SetTruePose -3");
    EXPECT_EQ(c.ask("0:GetSimTime", "GetSimTime")[0].compare(0, 8, "SimTime "), 0);
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
