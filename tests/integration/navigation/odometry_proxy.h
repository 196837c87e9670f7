// A fake robot endpoint between the robot client and the simulator, for the navigation
// integration tests: it relays the scheduler and robot 1 over loopback TCP and adds whole turns
// to every odometric heading the robot reports, as a robot whose heading counter never wraps
// would report it. The simulator keeps its headings within one turn, so this is how a test
// meets a peer that sends headings of many turns.
#ifndef ROVAK_TESTS_ODOMETRY_PROXY_H
#define ROVAK_TESTS_ODOMETRY_PROXY_H

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

class OdometryProxy {
  public:
    OdometryProxy() = default;
    ~OdometryProxy() { stop(); }
    OdometryProxy(const OdometryProxy &) = delete;
    OdometryProxy &operator=(const OdometryProxy &) = delete;

    // Listens on two free loopback ports and relays to the simulator's scheduler on simPort;
    // every robot heading passes with addMrad added. False when it cannot listen.
    bool start(int simPort, long long addMrad);
    // Ends the relay thread and closes every connection.
    void stop();
    // The port to give the robot client instead of the simulator's scheduler port.
    int schedulerPort() const { return schedulerPort_; }
    // Odometry reports passed on with the turns added, so far.
    int rewritten() const { return rewritten_.load(); }

  private:
    struct Pair {
        int down;          // the client's side
        int up;            // the simulator's side
        bool robot;        // a robot connection, else the scheduler
        std::string lines; // simulator output not yet ended by a line feed
    };
    void run();
    void accept(int listener, bool robot);
    bool relayUp(Pair &p);
    bool relayDown(Pair &p);
    std::string rewrite(const std::string &line, bool robot);

    int simPort_ = 0;
    long long addMrad_ = 0;
    int schedulerListen_ = -1, robotListen_ = -1;
    int schedulerPort_ = 0, robotPort_ = 0;
    std::atomic<int> robotUpPort_{0}; // the robot's real port, learnt from the robot list
    std::atomic<int> rewritten_{0};
    std::atomic<bool> running_{false};
    std::vector<Pair> pairs_;
    std::thread relay_;
};

} // namespace simtest

#endif
