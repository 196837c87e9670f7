/* A pause of the leak checker in sanitizer builds.
 *
 * OCCT's STEP translators leave a few kilobytes of their first-use registrations unreachable once
 * per process (the amount does not grow with further use). While a LeakCheckPause is alive, the
 * leak checker ignores what is allocated, so a sanitizer run of a program that reads or writes
 * STEP reports our leaks rather than those. Outside sanitizer builds it does nothing. */
#ifndef ROVAK_KERNEL_LEAK_H
#define ROVAK_KERNEL_LEAK_H

#if defined(__SANITIZE_ADDRESS__)
#define KERNEL_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KERNEL_LEAK_CHECKER 1
#endif
#endif
#ifdef KERNEL_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

class LeakCheckPause {
  public:
#ifdef KERNEL_LEAK_CHECKER
    LeakCheckPause() { __lsan_disable(); }
    ~LeakCheckPause() { __lsan_enable(); }
#else
    // User-provided, so a pause in a build without the checker is not an unused variable.
    LeakCheckPause() {}
    ~LeakCheckPause() {}
#endif
    LeakCheckPause(const LeakCheckPause &) = delete;
    LeakCheckPause &operator=(const LeakCheckPause &) = delete;
};

#endif
