// A modeler started as a FastCGI worker the way a FastCGI server starts one (its standard input a
// listening Unix socket, its working directory the run directory's cgi-bin), and a minimal
// FastCGI client that sends it requests over that socket.
#ifndef ROVAK_TESTS_FCGI_WORKER_H
#define ROVAK_TESTS_FCGI_WORKER_H

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace modelertest {

struct FcgiResponse {
    bool complete = false; // the worker ended the request (END_REQUEST)
    std::string out;       // the response: headers, empty line, body
    std::string err;
};

class FcgiWorkers {
  public:
    // Starts count processes of program accepting on one socket in runRoot.
    FcgiWorkers(const std::string &program, const std::string &runRoot, int count = 1);
    // Ends the workers (SIGTERM, then SIGKILL) and removes the socket.
    ~FcgiWorkers();
    FcgiWorkers(const FcgiWorkers &) = delete;
    FcgiWorkers &operator=(const FcgiWorkers &) = delete;

    // Sends one request (its parameters and body) and reads the whole response; a response that
    // does not come within two minutes is returned incomplete. Safe from several threads.
    FcgiResponse request(const std::vector<std::pair<std::string, std::string>> &params,
                         const std::string &body = "") const;
    // Whether every worker is still running.
    bool alive() const;
    // The resident memory of the first worker in KiB, or -1.
    long residentKb() const;

  private:
    std::string socket_;
    std::vector<pid_t> pids_;
};

// The parameters of a GET request for query, as lighttpd passes them.
std::vector<std::pair<std::string, std::string>> fcgiGet(const std::string &query);
// The parameters of a POST request of the given type and body length.
std::vector<std::pair<std::string, std::string>> fcgiPost(const std::string &type, size_t length);

} // namespace modelertest

#endif
