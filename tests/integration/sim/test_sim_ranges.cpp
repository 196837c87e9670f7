// The simulator's sensor answers against answers recorded before range sensing was rewritten
// (recorded_ranges.txt): sonar, infrared, bumper and laser lines at a hundred poses in two
// worlds, one of them with sonar and infrared noise, must come back byte for byte.
#include "sim_process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using simtest::LineClient;
using simtest::SimProcess;

namespace {

const char *const slanted_world = "room 12000 9000\n"
                                  "wall 1000 1000 4000 3000\n"
                                  "wall 8000 500 11000 8500\n"
                                  "box 5000 6000 6000 7500\n"
                                  "circle 3000 7000 700\n"
                                  "circle 6500 3000 250\n"
                                  "circle 9000 2000 1200\n"
                                  "wall 2000 8000 2000 8999\n"
                                  "start 1500 5000 0\n";

struct exchange {
    std::string request, answer;
};

struct block {
    std::string pose; // "x y heading"
    std::vector<exchange> asks;
};

// The recorded blocks of each run, in file order.
std::map<std::string, std::vector<block>> read_recording() {
    std::map<std::string, std::vector<block>> runs;
    std::ifstream f(RECORDED_RANGES);
    std::string line, run;
    while (std::getline(f, line)) {
        if (line.compare(0, 5, "pose ") == 0) {
            std::istringstream in(line.substr(5));
            std::string x, y, th;
            in >> run >> x >> y >> th;
            runs[run].push_back(block{x + " " + y + " " + th, {}});
        } else if (line.compare(0, 2, "> ") == 0 && !run.empty()) {
            runs[run].back().asks.push_back(exchange{line.substr(2), ""});
        } else if (line.compare(0, 2, "< ") == 0 && !run.empty()) {
            runs[run].back().asks.back().answer = line.substr(2);
        }
    }
    return runs;
}

// The answer's one state line, checking that the answer is that line and its "Done".
std::string state_line(LineClient &robot, const std::string &request) {
    std::string word = request.substr(0, request.find(' '));
    std::vector<std::string> lines = robot.ask(request, word);
    if (lines.size() != 2 || lines[1] != "Done " + word)
        return "unexpected answer to " + request;
    return lines[0];
}

void replay(const std::vector<std::string> &args, const std::vector<block> &blocks) {
    SimProcess sim(args);
    ASSERT_TRUE(sim.ok());
    LineClient scheduler(sim.port());
    LineClient robot(sim.socket_path(1));
    ASSERT_TRUE(scheduler.ok() && robot.ok());
    for (const block &b : blocks) {
        std::vector<std::string> placed = scheduler.ask("SetTruePose 1 " + b.pose, "SetTruePose");
        ASSERT_EQ(placed, std::vector<std::string>{"Done SetTruePose"}) << b.pose;
        for (const exchange &e : b.asks) {
            bool ranges = e.request == "GetLaser 1 0 range";
            if (ranges)
                robot.ask("SetLaserConfiguration 1 1 0 0 0 270 91 1 0 1 0",
                          "SetLaserConfiguration");
            EXPECT_EQ(state_line(robot, ranges ? "GetLaser 1 0" : e.request), e.answer)
                << "at pose " << b.pose << ", " << e.request;
            if (ranges)
                robot.ask("SetLaserConfiguration 1 1 1 0 0 180 181 1 0 1 0",
                          "SetLaserConfiguration");
        }
    }
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimRanges, AnswersMatchTheRecordingByteForByte) {
    std::map<std::string, std::vector<block>> runs = read_recording();
    ASSERT_EQ(runs.size(), 2U);
    ASSERT_GE(runs["default-noisy"].size(), 30U);
    ASSERT_GE(runs["slanted"].size(), 25U);

    replay({"--sonar-noise", "40", "--ir-noise", "15", "--seed", "11"}, runs["default-noisy"]);
    netpeer::TempDir dir;
    std::string world = simtest::write_file(dir, "slanted.world", slanted_world);
    replay({"--world", world}, runs["slanted"]);
}

} // namespace
