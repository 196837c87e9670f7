// Pellam against the real simulator: readings of a known world, and a robot server that drops
// the connection in the middle of a session.
#include "pellam_run.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The 24 numbers between the frame letters of the group that starts with " <letter>".
std::vector<int> group(const std::string &out, char letter) {
    std::vector<int> v;
    size_t at = out.find(std::string(" ") + letter + " ");
    if (at == std::string::npos)
        return v;
    std::istringstream in(out.substr(at + 3));
    std::string word;
    while (in >> word && word != std::string(1, letter))
        v.push_back(std::stoi(word));
    return v;
}

// A wall 1000 mm in front of the robot's rim (the body's radius is 300 mm) inside a large room.
const char *kWorld = "room 8000 8000\n"
                     "wall 3300 3000 3300 5000\n"
                     "start 2000 4000 0\n";

pellamtest::Result run_pellam(const simtest::SimProcess &sim, const std::string &input) {
    return pellamtest::run(input,
                           {{"PELLAM_SCHEDULER_HOST", "127.0.0.1"},
                            {"PELLAM_SCHEDULER_PORT", std::to_string(sim.port())},
                            {"PELLAM_LOCK", sim.dir().file("pellam.lock")}},
                           sim.dir());
}

TEST(PellamSim, ReadingsOfAKnownWorld) {
    netpeer::TempDir dir;
    std::string world = simtest::write_file(dir, "room.world", kWorld);
    simtest::SimProcess sim({"--world", world, "--battery", "1299,1250,1201,1100"});
    ASSERT_TRUE(sim.ok());
    pellamtest::Result r =
        run_pellam(sim, "get=battery get=odometry get=speed get=sonar get=IR goodbye");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Success!\nGoodbye. Connection closed.\n");
    EXPECT_EQ(r.out.substr(0, 17), " B 12 12 12 11 B ");
    EXPECT_NE(r.out.find(" O 0 0 0 0 O "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" V 0 0 0 V "), std::string::npos) << r.out;
    std::vector<int> sonar = group(r.out, 'S');
    ASSERT_EQ(sonar.size(), 24u) << r.out;
    EXPECT_EQ(sonar[0], 10);  // the wall ahead: 1000 mm
    EXPECT_EQ(sonar[6], 37);  // the room's wall to the left: 4000 - 300 mm
    EXPECT_EQ(sonar[12], 17); // behind: 2000 - 300 mm
    EXPECT_EQ(sonar[18], 37);
    EXPECT_EQ(group(r.out, 'I').size(), 24u);
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "Success!\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(PellamSim, RobotServerDropsMidSession) {
    // The description request and two battery requests are answered; the third drops.
    simtest::SimProcess sim({"--drop-after", "3"});
    ASSERT_TRUE(sim.ok());
    pellamtest::Result r = run_pellam(sim, "get=battery get=battery");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Robot not found!\n");
    EXPECT_EQ(r.err, "Success!\nConnection lost!\nGoodbye. Connection closed.\n");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(PellamSim, SecondCopyIsRefused) {
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.ok());
    std::ofstream(sim.dir().file("pellam.lock")) << "";
    pellamtest::Result r = run_pellam(sim, "goodbye");
    EXPECT_EQ(r.err, "Lock file found. Program aborted.\n");
    EXPECT_EQ(sim.stop(), 0);
}

} // namespace
