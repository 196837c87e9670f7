/* Operations mixing full and packed symmetric operands (see matrix.h). */
#include "matrix.h"

#include "matrix_internal.h"

#include <stdio.h>

long mxfs_copy(const double *m1, double *m2, long r, long c) {
    if (r != c) {
        printf("mxs_copy : non-square matrix\n");
        return 1;
    }
    for (long i = 0; i < r; i++)
        for (long j = 0; j <= i; j++)
            m2[mxs_index(i, j)] = m1[j * r + i];
    return 0;
}

long mxsf_copy(const double *m1, double *m2, long r, long c) {
    if (r != c) {
        printf("mxsf_copy : non-square matrix\n");
        return 1;
    }
    for (long i = 0; i < r; i++)
        for (long j = 0; j < r; j++)
            m2[i * r + j] = m1[mxs_index(i, j)];
    return 0;
}

long mxfs_plus(const double *m1, const double *m2, double *m, long r, long c) {
    if (r != c) {
        printf("mxfs_plus : non-square matrix !!!\n");
        return 1;
    }
    for (long i = 0; i < r; i++)
        for (long j = 0; j < r; j++)
            m[i * r + j] = m1[i * r + j] + m2[mxs_index(i, j)];
    return 0;
}

long mxfs_diff(const double *m1, const double *m2, double *m, long r, long c) {
    if (r != c) {
        printf("mxs : non-square matrix !!!\n");
        return 1;
    }
    for (long i = 0; i < r; i++)
        for (long j = 0; j < r; j++)
            m[i * r + j] = m1[i * r + j] - m2[mxs_index(i, j)];
    return 0;
}

long mxsf_diff(const double *m1, const double *m2, double *m, long r, long c) {
    if (r != c) {
        printf("mxs : non-square matrix !!!\n");
        return 1;
    }
    for (long i = 0; i < r; i++)
        for (long j = 0; j < r; j++)
            m[i * r + j] = m1[mxs_index(i, j)] - m2[i * r + j];
    return 0;
}

long mxsf_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r1 != c1 || c1 != r2 || m == m1) {
        printf("mxsf_mult : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m2, r1 * c2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[mxs_index(i, k)] * m2[k * c2 + j];
            out[i * c2 + j] = sum;
        }
    mx_commit(out, m, r1 * c2);
    return 0;
}

long mxsf_multtr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r1 != c1 || c1 != c2 || m == m1) {
        printf("mxsf_multtr : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m2, r1 * r2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < r2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[mxs_index(i, k)] * m2[j * c2 + k];
            out[i * r2 + j] = sum;
        }
    mx_commit(out, m, r1 * r2);
    return 0;
}

long mxfs_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != c2 || c2 != c1 || m == m2) {
        printf("mxfs_mult : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m1, r1 * c2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[i * c1 + k] * m2[mxs_index(k, j)];
            out[i * c2 + j] = sum;
        }
    mx_commit(out, m, r1 * c2);
    return 0;
}

long mxfs_trmult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != c2 || c2 != r1 || m == m2) {
        printf("mxfs_trmult : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m1, c1 * c2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < c1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < r1; k++)
                sum += m1[k * c1 + i] * m2[mxs_index(k, j)];
            out[i * c2 + j] = sum;
        }
    mx_commit(out, m, c1 * c2);
    return 0;
}

/* The intermediate product lives in the scratch buffer; so does the packed result when it
 * overwrites an input, right after the intermediate one (one request for both). */
static double *sandwich_buffers(long inter, long packed, bool aliased, double *m, double **out) {
    double *t = F_alloctemp(aliased ? inter + packed : inter);
    if (t != NULL)
        *out = aliased ? t + inter : m;
    return t;
}

long mxfs_trmultm(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != c2 || c2 != r1) {
        printf("mxsf_trmultm : incompatible sizes \n");
        return 1;
    }
    long packed = c1 * (c1 + 1) / 2;
    double *out = NULL;
    double *t = sandwich_buffers(c1 * c2, packed, m == m1 || m == m2, m, &out);
    if (t == NULL)
        return 1;
    /* t (c1 x c2) = m1' m2 */
    for (long i = 0; i < c1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < r1; k++)
                sum += m1[k * c1 + i] * m2[mxs_index(k, j)];
            t[i * c2 + j] = sum;
        }
    for (long i = 0; i < c1; i++)
        for (long j = 0; j <= i; j++) {
            double sum = 0;
            for (long k = 0; k < r1; k++)
                sum += t[j * c2 + k] * m1[k * c1 + i];
            out[mxs_index(i, j)] = sum;
        }
    mx_commit(out, m, packed);
    return 0;
}

long mxfs_mmulttr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != c2 || c2 != c1) {
        printf("mxsf_mmulttr : incompatible sizes \n");
        return 1;
    }
    long packed = r1 * (r1 + 1) / 2;
    double *out = NULL;
    double *t = sandwich_buffers(r1 * c2, packed, m == m1 || m == m2, m, &out);
    if (t == NULL)
        return 1;
    /* t (r1 x c2) = m1 m2 */
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[i * c1 + k] * m2[mxs_index(k, j)];
            t[i * c2 + j] = sum;
        }
    for (long i = 0; i < r1; i++)
        for (long j = 0; j <= i; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += t[j * c2 + k] * m1[i * c1 + k];
            out[mxs_index(i, j)] = sum;
        }
    mx_commit(out, m, packed);
    return 0;
}
