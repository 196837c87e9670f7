/* Dense and packed-symmetric matrix operations on plain arrays of doubles, and the pool of 3x3
 * pose matrices.
 *
 * Full matrix: r rows, c columns, row by row; element (i, j) at i*c + j. Packed symmetric
 * matrix: the triangle on and below the diagonal, row by row, n(n+1)/2 doubles; (i, j) with
 * j <= i at i(i+1)/2 + j (see mxs_index). Names: mx_ full, mxs_ symmetric, mxfs_/mxsf_ mixed
 * (the letters give the forms of the first and second operand). The caller owns all storage.
 *
 * Error convention: every operation returns a long, 0 on success and 1 on failure. A size
 * mismatch prints the operation's message on standard output; a scratch buffer that cannot be
 * had is reported as 1 without a message. On failure the result operand is untouched. The
 * comparisons return 1 for true and 0 for false; mx_det returns the determinant.
 *
 * Operations whose result may be one of their inputs compute through one process-wide scratch
 * buffer (F_alloctemp). Not thread-safe. */
#ifndef ROVAK_MATRIX_H
#define ROVAK_MATRIX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A 3x3 matrix row by row (a plane transform; a pose is cos, -sin, x / sin, cos, y / 0, 0, 1). */
typedef double MATRIX[9];
/* A homogeneous plane vector (x, y, w). */
typedef double VECTOR[3];

/* Index of element (i, j) of a packed symmetric matrix. */
static inline long mxs_index(long i, long j) {
    return j <= i ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i;
}

/* The scratch buffer, holding at least n doubles, or null when it cannot grow (the previous
 * buffer is then kept). The first buffer is made 20 doubles larger than asked. Shared by all
 * operations and never released. */
double *F_alloctemp(long n);
/* Test seam: replaces the allocator of the scratch buffer (null restores malloc). Buffers it
 * returns are released with free. */
void mx_set_allocator(void *(*alloc)(size_t));

/* A 3x3 matrix from the pool "Matrix" (200 per chunk), or null when the pool cannot grow. */
MATRIX *GEO_AllocMatrix(void);
/* Returns a matrix to its pool; matrix must not be null. */
void GEO_FreeMatrix(MATRIX *matrix);

/* Full matrices. mx_fill takes r*c values, which must be passed as doubles. */
long mx_fill(double *mat, long r, long c, ...);
long mx_init(double *m, long r, long c, double val);
long mx_copy(const double *m1, double *m2, long r, long c);
void mxcopy(const double *src, double *dest, long size);
long mx_abs(const double *x, double *ax, long r, long c);
long mx_plus(const double *m1, const double *m2, double *m, long r, long c);
long mx_diff(const double *m1, const double *m2, double *m, long r, long c);
long mx_mulscal(const double *m1, double real, double *m2, long r, long c);
/* m2 (c x r) = transpose of m1 (r x c); m2 may be m1. */
long mx_trans(double *m1, double *m2, long r, long c);
/* m (r1 x c2) = m1 m2; needs r2 == c1. m may be an input. */
long mx_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (c1 x c2) = m1' m2; needs r2 == r1. m may be an input. */
long mx_trmult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (r1 x r2) = m1 m2'; needs c2 == c1. m may be an input. */
long mx_multtr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m2 (packed c x c) = m1' m1; in place only when r == c. */
long mx_trmult1(double *m1, double *m2, long r, long c);
/* m2 (packed r x r) = m1 m1'; in place only when r == c. */
long mx_trmult2(double *m1, double *m2, long r, long c);
/* m (packed) = m1 + m1'; needs r == c. */
long mx_plustr(const double *m1, double *m, long r, long c);
/* 1 when every element of x is less than the one of y at the same place (NaN is not less). */
long mx_inf(const double *x, const double *y, long r, long c);
/* 1 when every |m1 - m2| element is less than the one of m at the same place. */
long mx_diff_abs_inf(const double *m1, const double *m2, const double *m, long r, long c);
/* Determinant of the r x r matrix m; r must be 1, 2 or 3. */
double mx_det(const double *m, long r);
/* Prints each row as " [ ", "%.10e " per element, "]\n". */
long mx_print(const double *m, long r, long c);

/* Symmetric (packed) matrices; all need r == c. mxs_fill takes the upper triangle row by row,
 * (0,0), (0,1), ..., (0,n-1), (1,1), ..., as n(n+1)/2 doubles. */
long mxs_fill(double *mat, long r, long c, ...);
long mxs_init(double *m, long r, long c, double val);
long mxs_copy(const double *m1, double *m2, long r, long c);
long mxs_plus(const double *m1, const double *m2, double *m, long r, long c);
long mxs_diff(const double *m1, const double *m2, double *m, long r, long c);
long mxs_mulreal(const double *m1, double real, double *m2, long r, long c);
/* m (full n x n) = m1 m2; needs r1 == c1 == r2 == c2. m may be an input. */
long mxs_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
long mxs_inf(const double *x, const double *y, long r, long c);
long mxs_diff_abs_inf(const double *m1, const double *m2, const double *m, long r, long c);
/* Prints the full r x r matrix in the mx_print format. */
long mxs_print(const double *m, long r, long c);

/* Mixed operations (s packed symmetric, f full). The symmetric operand of a product may not be
 * its result (reported as a size mismatch); the full operand may. */
long mxfs_copy(const double *m1, double *m2, long r, long c); /* upper triangle of f */
long mxsf_copy(const double *m1, double *m2, long r, long c); /* full form of s */
long mxfs_plus(const double *m1, const double *m2, double *m, long r, long c);
long mxfs_diff(const double *m1, const double *m2, double *m, long r, long c);
long mxsf_diff(const double *m1, const double *m2, double *m, long r, long c);
/* m (r1 x c2) = s f; needs r1 == c1 == r2. */
long mxsf_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (r1 x r2) = s f'; needs r1 == c1 == c2. */
long mxsf_multtr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (r1 x c2) = f s; needs r2 == c2 == c1. */
long mxfs_mult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (c1 x c2) = f' s; needs r2 == c2 == r1. */
long mxfs_trmult(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (packed c1 x c1) = f' s f; needs r2 == c2 == r1. */
long mxfs_trmultm(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);
/* m (packed r1 x r1) = f s f'; needs r2 == c2 == c1. */
long mxfs_mmulttr(double *m1, double *m2, double *m, long r1, long c1, long r2, long c2);

#ifdef __cplusplus
}
#endif

#endif
