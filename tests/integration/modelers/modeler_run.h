// Runs the modeler programs as a web server would run them as CGI, in a temporary run directory
// laid out like the site's (cgi-bin beside htdocs/acis1/sats and wrls), and reads back the SAT
// files they write.
#ifndef ROVAK_TESTS_MODELER_RUN_H
#define ROVAK_TESTS_MODELER_RUN_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace modelertest {

struct Result {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out; // standard output
    std::string err; // standard error
};

// A run directory under the system's temporary folder, removed with everything in it.
class RunDir {
  public:
    RunDir();
    ~RunDir();
    RunDir(const RunDir &) = delete;
    RunDir &operator=(const RunDir &) = delete;

    const std::string &root() const { return root_; }
    std::string satPath(const std::string &name) const;
    std::string wrlPath(const std::string &name) const;
    // The shape's status record.
    std::string recordPath(const std::string &name) const;
    // Names of the files in htdocs/acis1/sats and wrls, but for the shapes' lock files and
    // status records.
    std::vector<std::string> outputFiles() const;

    // Runs program in cgi-bin with exactly the environment entries env ("NAME=value", plus the
    // sanitizer options of the test itself) and body on standard input; a positive addressSpace
    // limits the program's address space (bytes), as `ulimit -v` would.
    Result run(const std::string &program, const std::vector<std::string> &env,
               const std::string &body = "", long addressSpace = 0) const;
    // The same in two steps, so that several programs can run at once: start() returns the
    // child's process id, finish() waits for it (killing it after two minutes) and collects its
    // output. tag keeps the input and output files of concurrent runs apart.
    pid_t start(const std::string &program, const std::vector<std::string> &env,
                const std::string &body, const std::string &tag, long addressSpace = 0) const;
    Result finish(pid_t pid, const std::string &tag) const;

  private:
    std::string root_;
};

// A GET request's environment for query.
std::vector<std::string> getRequest(const std::string &query);
// A POST request's environment for a body of the given type.
std::vector<std::string> postRequest(const std::string &contentType, const std::string &body);

// A multipart/form-data body of the name/value pairs, with the given boundary.
std::string multipartBody(const std::vector<std::pair<std::string, std::string>> &fields,
                          const std::string &boundary);

// The whole text of a file, or "" when it cannot be read.
std::string readFile(const std::string &path);

// A shape's status record as read back.
struct Record {
    bool present = false;    // the file exists
    bool wellFormed = false; // exactly one line of the record's fields in order, as JSON
    std::string shape;
    bool built = false;
    std::string reason; // JSON escapes undone
    std::string time;
    std::string request;
    std::string text; // the whole file
};
Record readRecord(const std::string &path);

// Milliseconds since 1970 of a record's time ("2026-12-08T10:19:26.123Z"), or -1.
long long recordTimeMs(const std::string &time);
// Now, in milliseconds since 1970.
long long nowMs();

} // namespace modelertest

#endif
