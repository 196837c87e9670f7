// robot.cpp: a robot program in C++ on the installed robot vendor library (Rovak::vx9200).
//
//   robot_cpp                 (the scheduler from ROVAK_SCHEDULER_HOST and ROVAK_SCHEDULER_PORT,
//                              default localhost 7073, e.g. a rovak-sim)
//
// Connects to robot 1, reads the sonar range in the 24 directions around it, turns a quarter turn
// to the left and waits, for at most 20 s, until it stands still, then prints the odometry.
// Exit status 0 when every step worked, 1 otherwise.
#include "vx9200.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

int failed(const char *step, int code) {
    std::fprintf(stderr, "robot_cpp: %s failed (%d)\n", step, code);
    return 1;
}

// Waits until no drive axis is in progress; false after the time limit.
bool waitUntilStill(Cinematic &motion, Q_RobotState *state, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (motion.Moving(state)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

} // namespace

int main() {
    Rovak robot;
    int rc = robot.Connect();
    if (rc != 0)
        return failed("connect", rc);
    Q_RobotState *state = robot.GetRobotState();

    SenSonar sonar;
    const int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int set = 0; set < 6; set++)
        if ((rc = sonar.Start(state, set, order, 0)) != 0)
            return failed("sonar start", rc);
    if ((rc = Q_GetSonar(VX_ROBOT_ID)) != 0)
        return failed("sonar", rc);
    std::printf("sonar ranges (mm), counter-clockwise from the heading:");
    for (int i = 0; i < VX_DIRECTIONS; i++)
        std::printf(" %d", sonar.Read(state, i));
    std::printf("\n");

    Cinematic motion;
    if ((rc = motion.ZeroRobot(state)) != 0)
        return failed("zero odometry", rc);
    const Coord quarterTurn{0, 0, 1571}; // thousandths of a radian
    const Coord speed{400, 400, 1000}, accel{800, 800, 2000};
    if ((rc = motion.SetPosition(state, quarterTurn, speed, accel, 2)) != 0)
        return failed("turn", rc);
    if (!waitUntilStill(motion, state, std::chrono::seconds(20)))
        return failed("turn (still moving after 20 s)", 1);

    Coord pose;
    if (motion.ReadOdometry(state, &pose) != 0)
        return failed("odometry", -1);
    std::printf("odometry: x %d mm, y %d mm, heading %d mrad\n", (int)pose.x, (int)pose.y,
                (int)pose.th);
    robot.Disconnect();
    std::printf("robot_cpp: done\n");
    return 0;
}
