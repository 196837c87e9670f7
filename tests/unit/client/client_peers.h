// A scheduler and a robot server played by scripted loopback peers, for the client tests.
#ifndef ROVAK_TESTS_CLIENT_PEERS_H
#define ROVAK_TESTS_CLIENT_PEERS_H

#include "client.h"
#include "net_peer.h"

#include <chrono>

#include <string>
#include <vector>

namespace clientpeers {

// Sends the lines (each without its line feed) at once, then expects the client's
// acknowledgement of each, in order: "Done <word>" for every line but "Done" lines.
inline netpeer::Script &send_acked(netpeer::Script &s, const std::vector<std::string> &lines) {
    std::string text;
    for (const auto &l : lines)
        text += l + "\n";
    s.send(text);
    for (const auto &l : lines) {
        std::string word = l.substr(0, l.find(' '));
        if (word != "Done")
            s.expect("Done " + word);
    }
    return s;
}

// The scheduler's answer to one list request.
inline netpeer::Script &list_answer(netpeer::Script &s, const std::vector<std::string> &adds) {
    s.expect("0:GetRegisteredList");
    std::vector<std::string> lines = adds;
    lines.push_back("Done GetRegisteredList");
    return send_acked(s, lines);
}

// The description lines of a small robot: two axes, one lift axis, two sonar sets of 2 and 3,
// one infrared set of 2, one bumper set of 2, one laser, no point-range sensor, 2 batteries.
inline std::vector<std::string> small_robot() {
    return {"SetRobotType H",
            "SetAxesDescription 2",
            "SetLiftDescription 1",
            "SetSonarDescription 2 2 1 1 1 1 1 4000 s0 base 0 1 100 0 s1 base 1 0 0 100 "
            "3 1 1 1 1 1 4000 t0 base 0 1 0 0 t1 base 0 1 0 0 t2 base 0 1 0 0",
            "SetInfraredDescription 1 2 1 500 i0 base 0 1 0 0 i1 base 0 1 0 0",
            "SetBumperDescription 1 2 b0 base 0 1 0 0 b1 base 0 1 0 0",
            "SetLaserDescription 1",
            "SetBatteryDescription 2",
            "Done GetConstMembers"};
}

// The robot server's answer to "GetConstMembers".
inline netpeer::Script &describe(netpeer::Script &s, long id) {
    s.expect(std::to_string(id) + ":GetConstMembers");
    return send_acked(s, small_robot());
}

// Keeps the client's connections moving (queued acknowledgements, requested closes) until both
// peers have ended their scripts, for at most ten seconds.
inline void poll_until_done(netpeer::ScriptedPeer &a, netpeer::ScriptedPeer &b) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(a.done() && b.done()) && std::chrono::steady_clock::now() < until)
        for (int i = 0; i < 100; i++)
            Q_PollClient();
}

} // namespace clientpeers

#endif
