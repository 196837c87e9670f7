/* Full matrices, the scratch buffer and the pose matrix pool (see matrix.h). */
#include "matrix.h"

#include "fatal.h"
#include "matrix_internal.h"
#include "mempool.h"

#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#define MATRICES_PER_CHUNK 200

static double *tempo = NULL;
static long dim_tempo = 0;
static void *(*tempo_alloc)(size_t) = malloc;
static MemPool matrix_pool = MEM_POOL_INIT("Matrix");

void mx_set_allocator(void *(*alloc)(size_t)) { tempo_alloc = alloc ? alloc : malloc; }

double *F_alloctemp(long n) {
    if (tempo != NULL && n <= dim_tempo)
        return tempo;
    /* The first buffer gets some slack so that small requests rarely regrow it. */
    long want = (tempo == NULL) ? n + 20 : n;
    if (want < 1 || (unsigned long)want > SIZE_MAX / sizeof(double))
        return NULL;
    /* The old buffer is released only once the new one exists, so a failure loses nothing. */
    double *grown = (double *)tempo_alloc((size_t)want * sizeof(double));
    if (grown == NULL)
        return NULL;
    free(tempo);
    tempo = grown;
    dim_tempo = want;
    return tempo;
}

MATRIX *GEO_AllocMatrix(void) {
    return (MATRIX *)MEM_AllocBlock(sizeof(MATRIX), &matrix_pool, MATRICES_PER_CHUNK);
}

void GEO_FreeMatrix(MATRIX *matrix) {
    FATAL_ASSERT(matrix != ((void *)0));
    MEM_FreeBlock(matrix, &matrix_pool);
}

long mx_fill(double *mat, long r, long c, ...) {
    va_list values;
    va_start(values, c);
    for (long k = 0; k < r * c; k++)
        mat[k] = va_arg(values, double);
    va_end(values);
    return 0;
}

long mx_init(double *m, long r, long c, double val) {
    for (long k = 0; k < r * c; k++)
        m[k] = val;
    return 0;
}

long mx_copy(const double *m1, double *m2, long r, long c) {
    mxcopy(m1, m2, r * c);
    return 0;
}

void mxcopy(const double *src, double *dest, long size) {
    for (long k = 0; k < size; k++)
        dest[k] = src[k];
}

long mx_abs(const double *x, double *ax, long r, long c) {
    for (long k = 0; k < r * c; k++)
        ax[k] = fabs(x[k]);
    return 0;
}

long mx_plus(const double *m1, const double *m2, double *m, long r, long c) {
    for (long k = 0; k < r * c; k++)
        m[k] = m1[k] + m2[k];
    return 0;
}

long mx_diff(const double *m1, const double *m2, double *m, long r, long c) {
    for (long k = 0; k < r * c; k++)
        m[k] = m1[k] - m2[k];
    return 0;
}

long mx_mulscal(const double *m1, double real, double *m2, long r, long c) {
    for (long k = 0; k < r * c; k++)
        m2[k] = real * m1[k];
    return 0;
}

long mx_trans(double *m1, double *m2, long r, long c) {
    double *out = mx_target(m2, m2 == m1, r * c);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r; i++)
        for (long j = 0; j < c; j++)
            out[j * r + i] = m1[i * c + j];
    mx_commit(out, m2, r * c);
    return 0;
}

long mx_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != c1) {
        printf("mx_mult : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m1 || m == m2, r1 * c2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[i * c1 + k] * m2[k * c2 + j];
            out[i * c2 + j] = sum;
        }
    mx_commit(out, m, r1 * c2);
    return 0;
}

long mx_trmult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (r2 != r1) {
        printf("mx_mult : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m1 || m == m2, c1 * c2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < c1; i++)
        for (long j = 0; j < c2; j++) {
            double sum = 0;
            for (long k = 0; k < r1; k++)
                sum += m1[k * c1 + i] * m2[k * c2 + j];
            out[i * c2 + j] = sum;
        }
    mx_commit(out, m, c1 * c2);
    return 0;
}

long mx_multtr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2) {
    if (c2 != c1) {
        printf("mx_multtr : incompatible sizes\n");
        return 1;
    }
    double *out = mx_target(m, m == m1 || m == m2, r1 * r2);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r1; i++)
        for (long j = 0; j < r2; j++) {
            double sum = 0;
            for (long k = 0; k < c1; k++)
                sum += m1[i * c1 + k] * m2[j * c1 + k];
            out[i * r2 + j] = sum;
        }
    mx_commit(out, m, r1 * r2);
    return 0;
}

long mx_trmult1(double *m1, double *m2, long r, long c) {
    if (m2 == m1 && r != c) {
        printf("mx_trmult1 : non-square matrix \n");
        return 1;
    }
    long packed = c * (c + 1) / 2;
    double *out = mx_target(m2, m2 == m1, packed);
    if (out == NULL)
        return 1;
    for (long i = 0; i < c; i++)
        for (long j = 0; j <= i; j++) {
            double sum = 0;
            for (long k = 0; k < r; k++)
                sum += m1[k * c + j] * m1[k * c + i];
            out[mxs_index(i, j)] = sum;
        }
    mx_commit(out, m2, packed);
    return 0;
}

long mx_trmult2(double *m1, double *m2, long r, long c) {
    if (m2 == m1 && r != c) {
        printf("mx_trmult1 : non-square matrix\n");
        return 1;
    }
    long packed = r * (r + 1) / 2;
    double *out = mx_target(m2, m2 == m1, packed);
    if (out == NULL)
        return 1;
    for (long i = 0; i < r; i++)
        for (long j = 0; j <= i; j++) {
            double sum = 0;
            for (long k = 0; k < c; k++)
                sum += m1[j * c + k] * m1[i * c + k];
            out[mxs_index(i, j)] = sum;
        }
    mx_commit(out, m2, packed);
    return 0;
}

long mx_plustr(const double *m1, double *m, long r, long c) {
    if (r != c) {
        printf("mx_plustr : non_square matrix !!!\n");
        return 1;
    }
    for (long j = 0; j < r; j++)
        for (long i = 0; i <= j; i++)
            m[mxs_index(j, i)] = m1[i * c + j] + m1[j * c + i];
    return 0;
}

long mx_inf(const double *x, const double *y, long r, long c) {
    for (long k = 0; k < r * c; k++)
        if (!(x[k] < y[k]))
            return 0;
    return 1;
}

long mx_diff_abs_inf(const double *m1, const double *m2, const double *m, long r, long c) {
    for (long k = 0; k < r * c; k++)
        if (!(fabs(m1[k] - m2[k]) < m[k]))
            return 0;
    return 1;
}

double mx_det(const double *m, long r) {
    // The condition's text is the assertion message; keep it as written.
    // clang-format off
    FATAL_ASSERT(r>0 && r<4);
    // clang-format on
    if (r == 1)
        return m[0];
    if (r == 2)
        return m[0] * m[3] - m[1] * m[2];
    /* Expansion along the first column. */
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[3] * (m[1] * m[8] - m[2] * m[7]) +
           m[6] * (m[1] * m[5] - m[2] * m[4]);
}

long mx_print(const double *m, long r, long c) {
    for (long i = 0; i < r; i++) {
        printf(" [ ");
        for (long j = 0; j < c; j++)
            printf("%.10e ", m[i * c + j]);
        printf("]\n");
    }
    return 0;
}
