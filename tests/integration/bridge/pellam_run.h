// Runs the real Pellam program in a child process with prepared standard input and environment,
// against scripted scheduler and robot server peers on loopback.
#ifndef ROVAK_TESTS_PELLAM_RUN_H
#define ROVAK_TESTS_PELLAM_RUN_H

#include "net_peer.h"

#include <string>
#include <utility>
#include <vector>

namespace pellamtest {

struct Result {
    int status = -1; // exit status, or -1 when it had to be killed
    std::string out, err;
};

// Runs Pellam with input on standard input and env added to the environment; kills it after
// timeout_s seconds.
Result run(const std::string &input, const std::vector<std::pair<std::string, std::string>> &env,
           const netpeer::TempDir &dir, int timeout_s = 30);

// Description of a robot as Pellam expects one: 3 axes, 6 sonar sets of 8, 6 infrared sets of 8,
// 6 bumper sets of 2, 4 batteries.
std::vector<std::string> full_robot();

// Sonar (or infrared) readings of 6 sets of 8 as one state line.
std::string sonar_line(const int r[6][8]);
std::string infrared_line(const int r[6][8]);

} // namespace pellamtest

#endif
