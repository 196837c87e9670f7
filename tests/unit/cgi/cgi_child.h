// Runs the test driver as a child process with a prepared environment and standard input.
#ifndef ROVAK_TESTS_CGI_CHILD_H
#define ROVAK_TESTS_CGI_CHILD_H

#include <string>
#include <vector>

struct CgiChildResult {
    int status = -1;  // exit status, or -1 when the child did not exit normally
    std::string out;  // everything the child wrote on standard output
    long peakKiB = 0; // the child's largest resident size, in KiB
};

// Runs the driver with exactly the environment entries env ("NAME=value"), the command-line
// arguments args, and input written to its standard input through a pipe, then closed.
CgiChildResult cgiRunDriver(const std::vector<std::string> &env,
                            const std::vector<std::string> &args, const std::string &input = "");

#endif
