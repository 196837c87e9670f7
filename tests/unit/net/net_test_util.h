// Helpers shared by the socket and connection tests: a bounded wait on real sockets.
#ifndef ROVAK_TESTS_NET_TEST_UTIL_H
#define ROVAK_TESTS_NET_TEST_UTIL_H

#include <chrono>
#include <functional>

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

#endif
