/* Packed symmetric matrices (see matrix.h). */
#include "matrix.h"

#include "matrix_internal.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>

static long packed_size(long n) { return n * (n + 1) / 2; }

long mxs_fill(double *mat, long r, long c, ...) {
    if (r != c) {
        printf("mxs : non-square symmetrical matrix !!!\n");
        return 1;
    }
    va_list values;
    va_start(values, c);
    /* The values come as the upper triangle row by row; (i, j) with j >= i is stored at (j, i). */
    for (long i = 0; i < r; i++)
        for (long j = i; j < r; j++)
            mat[mxs_index(j, i)] = va_arg(values, double);
    va_end(values);
    return 0;
}

long mxs_init(double *m, long r, long c, double val) {
    if (r != c) {
        printf("mxs_init : non-square symmetrical matrix\n");
        return 1;
    }
    for (long k = 0; k < packed_size(r); k++)
        m[k] = val;
    return 0;
}

long mxs_copy(const double *m1, double *m2, long r, long c) {
    if (r != c) {
        printf("mxs_copy : non-square symmetrical matrix\n");
        return 1;
    }
    mxcopy(m1, m2, packed_size(r));
    return 0;
}

long mxs_plus(const double *m1, const double *m2, double *m, long r, long c) {
    if (r != c) {
        printf("mxs_plus : non-square symetrical matrix !!!\n");
        return 1;
    }
    for (long k = 0; k < packed_size(r); k++)
        m[k] = m1[k] + m2[k];
    return 0;
}

long mxs_diff(const double *m1, const double *m2, double *m, long r, long c) {
    if (r != c) {
        printf("mxs_diff : non-square symetrical matrix !!!\n");
        return 1;
    }
    for (long k = 0; k < packed_size(r); k++)
        m[k] = m1[k] - m2[k];
    return 0;
}

long mxs_mulreal(const double *m1, double real, double *m2, long r, long c) {
    if (r != c) {
        printf("mxs_mulreal : non-square matrix !!!\n");
        return 1;
    }
    for (long k = 0; k < packed_size(r); k++)
        m2[k] = real * m1[k];
    return 0;
}

long mxs_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r1 != c1 || c1 != r2 || r2 != c2) {
        printf("mxs_mult : incompatible sizes\n");
        return 1;
    }
    long n = r1;
    double *out = mx_target(m, m == m1 || m == m2, n * n);
    if (out == NULL)
        return 1;
    for (long i = 0; i < n; i++)
        for (long j = 0; j < n; j++) {
            double sum = 0;
            for (long k = 0; k < n; k++)
                sum += m1[mxs_index(i, k)] * m2[mxs_index(k, j)];
            out[i * n + j] = sum;
        }
    mx_commit(out, m, n * n);
    return 0;
}

long mxs_inf(const double *x, const double *y, long r, long c) {
    (void)c;
    for (long k = 0; k < packed_size(r); k++)
        if (!(x[k] < y[k]))
            return 0;
    return 1;
}

long mxs_diff_abs_inf(const double *m1, const double *m2, const double *m, long r, long c) {
    (void)c;
    for (long k = 0; k < packed_size(r); k++)
        if (!(fabs(m1[k] - m2[k]) < m[k]))
            return 0;
    return 1;
}

long mxs_print(const double *m, long r, long c) {
    (void)c;
    for (long i = 0; i < r; i++) {
        printf(" [ ");
        for (long j = 0; j < r; j++)
            printf("%.10e ", m[mxs_index(i, j)]);
        printf("]\n");
    }
    return 0;
}
