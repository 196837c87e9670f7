// The relay of OdometryProxy: one thread, one poll over the two listeners and every pair.
#include "odometry_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

namespace {

// A listening socket on a free loopback port; -1 on failure.
int listenLoopback(int *port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

int connectLoopback(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool writeAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> all;
    std::string w;
    while (in >> w)
        all.push_back(w);
    return all;
}

std::string joined(const std::vector<std::string> &all) {
    std::string line;
    for (const auto &w : all)
        line += (line.empty() ? "" : " ") + w;
    return line;
}

// The first word without the client's "<id>:" prefix.
std::string command(const std::string &word) {
    size_t colon = word.find(':');
    return colon == std::string::npos ? word : word.substr(colon + 1);
}

} // namespace

bool OdometryProxy::start(int simPort, long long addMrad) {
    simPort_ = simPort;
    addMrad_ = addMrad;
    schedulerListen_ = listenLoopback(&schedulerPort_);
    robotListen_ = listenLoopback(&robotPort_);
    if (schedulerListen_ < 0 || robotListen_ < 0) {
        stop();
        return false;
    }
    running_ = true;
    relay_ = std::thread([this] { run(); });
    return true;
}

void OdometryProxy::stop() {
    running_ = false;
    if (relay_.joinable())
        relay_.join();
    for (Pair &p : pairs_) {
        close(p.down);
        close(p.up);
    }
    pairs_.clear();
    for (int *fd : {&schedulerListen_, &robotListen_}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void OdometryProxy::run() {
    while (running_) {
        std::vector<struct pollfd> fds = {{schedulerListen_, POLLIN, 0}, {robotListen_, POLLIN, 0}};
        for (const Pair &p : pairs_) {
            fds.push_back({p.down, POLLIN, 0});
            fds.push_back({p.up, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        std::vector<Pair> kept;
        for (size_t i = 0; i < pairs_.size(); i++) {
            Pair &p = pairs_[i];
            bool open = true;
            if (fds[2 + 2 * i].revents != 0)
                open = relayUp(p);
            if (open && fds[3 + 2 * i].revents != 0)
                open = relayDown(p);
            if (open) {
                kept.push_back(p);
            } else {
                close(p.down);
                close(p.up);
            }
        }
        pairs_.swap(kept);
        if (fds[0].revents != 0)
            accept(schedulerListen_, false);
        if (fds[1].revents != 0)
            accept(robotListen_, true);
    }
}

void OdometryProxy::accept(int listener, bool robot) {
    int down = ::accept(listener, nullptr, nullptr);
    if (down < 0)
        return;
    int up = connectLoopback(robot ? robotUpPort_.load() : simPort_);
    if (up < 0) {
        close(down);
        return;
    }
    pairs_.push_back(Pair{down, up, robot, ""});
}

// Client to simulator: passed on as it comes.
bool OdometryProxy::relayUp(Pair &p) {
    char buf[4096];
    ssize_t n = read(p.down, buf, sizeof buf);
    return n > 0 && writeAll(p.up, std::string(buf, static_cast<size_t>(n)));
}

// Simulator to client: whole lines, each rewritten.
bool OdometryProxy::relayDown(Pair &p) {
    char buf[4096];
    ssize_t n = read(p.up, buf, sizeof buf);
    if (n <= 0)
        return false;
    p.lines.append(buf, static_cast<size_t>(n));
    size_t end;
    while ((end = p.lines.find('\n')) != std::string::npos) {
        std::string line = p.lines.substr(0, end);
        p.lines.erase(0, end + 1);
        if (!writeAll(p.down, rewrite(line, p.robot) + "\n"))
            return false;
    }
    return true;
}

// The scheduler's robot entries point at this relay over TCP (a host other than this machine's
// name makes the client take TCP); the robot's odometry reports carry the added turns in their
// last word, the heading.
std::string OdometryProxy::rewrite(const std::string &line, bool robot) {
    std::vector<std::string> all = words(line);
    if (all.empty())
        return line;
    std::string what = command(all[0]);
    if (!robot && what == "AddRegistered" && all.size() >= 5) {
        robotUpPort_ = std::stoi(all[3]);
        all[2] = "127.0.0.1";
        all[3] = std::to_string(robotPort_);
        return joined(all);
    }
    if (robot && what == "SetIntegratedConfiguration" && all.size() >= 5) {
        all.back() = std::to_string(std::stoll(all.back()) + addMrad_);
        rewritten_++;
        return joined(all);
    }
    return line;
}

} // namespace simtest
