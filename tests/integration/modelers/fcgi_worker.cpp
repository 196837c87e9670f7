#include "fcgi_worker.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace modelertest {

namespace {

enum : unsigned char { BEGIN_REQUEST = 1, END_REQUEST = 3, PARAMS = 4, STDIN = 5, STDOUT = 6 };
enum : unsigned char { STDERR = 7 };
const int kTimeoutMs = 120000;

sockaddr_un address(const std::string &path) {
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path)
        throw std::runtime_error("socket path too long: " + path);
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return a;
}

void appendRecord(std::string &out, unsigned char type, const std::string &content) {
    const unsigned char head[8] = {1,
                                   type,
                                   0,
                                   1,
                                   static_cast<unsigned char>(content.size() >> 8),
                                   static_cast<unsigned char>(content.size() & 0xff),
                                   0,
                                   0};
    out.append(reinterpret_cast<const char *>(head), 8);
    out += content;
}

// A stream's content in records of at most 65535 bytes, then its empty closing record.
void appendStream(std::string &out, unsigned char type, const std::string &content) {
    for (size_t at = 0; at < content.size(); at += 65535)
        appendRecord(out, type, content.substr(at, 65535));
    appendRecord(out, type, "");
}

void appendLength(std::string &out, size_t n) {
    if (n < 128) {
        out += static_cast<char>(n);
        return;
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(((n >> shift) & 0xff) | (shift == 24 ? 0x80 : 0));
}

bool writeAll(int fd, const std::string &data) {
    for (size_t at = 0; at < data.size();) {
        ssize_t n = send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly n bytes; false on end of stream, error or time-out.
bool readExactly(int fd, char *buffer, size_t n) {
    for (size_t at = 0; at < n;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kTimeoutMs) <= 0)
            return false;
        ssize_t got = read(fd, buffer + at, n - at);
        if (got <= 0)
            return false;
        at += static_cast<size_t>(got);
    }
    return true;
}

} // namespace

FcgiWorkers::FcgiWorkers(const std::string &program, const std::string &runRoot, int count)
    : socket_(runRoot + "/worker.sock") {
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a = address(socket_);
    unlink(socket_.c_str());
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        listen(listener, 64) != 0)
        throw std::runtime_error("cannot listen on " + socket_);
    std::string cgiBin = runRoot + "/cgi-bin";
    for (int i = 0; i < count; ++i) {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(cgiBin.c_str()) != 0 || dup2(listener, 0) != 0)
                _exit(126);
            execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        pids_.push_back(pid);
    }
    close(listener);
}

FcgiWorkers::~FcgiWorkers() {
    for (pid_t pid : pids_)
        kill(pid, SIGTERM);
    for (pid_t pid : pids_) {
        int status = 0;
        for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (kill(pid, 0) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    unlink(socket_.c_str());
}

FcgiResponse FcgiWorkers::request(const std::vector<std::pair<std::string, std::string>> &params,
                                  const std::string &body) const {
    FcgiResponse r;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a = address(socket_);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        if (fd >= 0)
            close(fd);
        return r;
    }
    std::string pairs, message;
    for (const auto &p : params) {
        appendLength(pairs, p.first.size());
        appendLength(pairs, p.second.size());
        pairs += p.first + p.second;
    }
    appendRecord(message, BEGIN_REQUEST, std::string("\0\1\0\0\0\0\0\0", 8)); // responder
    appendStream(message, PARAMS, pairs);
    appendStream(message, STDIN, body);
    if (writeAll(fd, message)) {
        char head[8];
        while (readExactly(fd, head, 8)) {
            size_t length =
                (static_cast<unsigned char>(head[4]) << 8) | static_cast<unsigned char>(head[5]);
            std::string content(length + static_cast<unsigned char>(head[6]), '\0');
            if (!content.empty() && !readExactly(fd, &content[0], content.size()))
                break;
            content.resize(length);
            if (head[1] == STDOUT)
                r.out += content;
            else if (head[1] == STDERR)
                r.err += content;
            else if (head[1] == END_REQUEST) {
                r.complete = true;
                break;
            }
        }
    }
    close(fd);
    return r;
}

bool FcgiWorkers::alive() const {
    for (pid_t pid : pids_)
        if (waitpid(pid, nullptr, WNOHANG) != 0)
            return false;
    return true;
}

long FcgiWorkers::residentKb() const {
    if (pids_.empty())
        return -1;
    std::ifstream status("/proc/" + std::to_string(pids_[0]) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

std::vector<std::pair<std::string, std::string>> fcgiGet(const std::string &query) {
    return {{"REQUEST_METHOD", "GET"},
            {"QUERY_STRING", query},
            {"SERVER_NAME", "127.0.0.1"},
            {"SERVER_PORT", "8080"},
            {"GATEWAY_INTERFACE", "CGI/1.1"}};
}

std::vector<std::pair<std::string, std::string>> fcgiPost(const std::string &type, size_t length) {
    return {{"REQUEST_METHOD", "POST"},
            {"CONTENT_TYPE", type},
            {"CONTENT_LENGTH", std::to_string(length)},
            {"SERVER_NAME", "127.0.0.1"},
            {"SERVER_PORT", "8080"}};
}

} // namespace modelertest
