/* The one stop of the robot-side modules for broken invariants. */
#include "fatal.h"

#include <stdio.h>
#include <stdlib.h>

void fatal_assert_fail(const char *text, const char *file, int line) {
    fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", text, file, line);
    fflush(stderr);
    abort();
}
