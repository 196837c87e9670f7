// Helpers shared by the socket and connection tests: a bounded wait on real sockets and sending
// a request line.
#ifndef ROVAK_TESTS_NET_TEST_UTIL_H
#define ROVAK_TESTS_NET_TEST_UTIL_H

#include "connect.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

// Calls step until done() holds; gives up after a generous guard time so a broken peer fails the
// test instead of hanging it. Returns done().
inline bool spin_until(const std::function<bool()> &done, const std::function<void()> &step) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        step();
    }
    return true;
}

// A heap copy of s (no terminator), as the connection manager takes request texts.
inline char *heap(const std::string &s) {
    char *p = (char *)malloc(s.size());
    memcpy(p, s.data(), s.size());
    return p;
}

// Sends a request line (line feed added) on c.
inline int request(CONN_ConnInfo *c, const std::string &line, int block) {
    std::string text = line + "\n";
    return CONN_SendToConnection(c, heap(text), (unsigned int)text.size(), block);
}

#endif
