/* Helpers shared by the matrix source files; not part of the public interface. */
#ifndef ROVAK_MATRIX_INTERNAL_H
#define ROVAK_MATRIX_INTERNAL_H

#include "matrix.h"

/* Where an operation writes n doubles: m itself, or the scratch buffer when m is also an input
 * (null when the scratch buffer cannot grow). */
static inline double *mx_target(double *m, bool aliased, long n) {
    return aliased ? F_alloctemp(n) : m;
}

/* Copies a result built in the scratch buffer over the result operand. */
static inline void mx_commit(const double *out, double *m, long n) {
    if (out != m)
        mxcopy(out, m, n);
}

#endif
