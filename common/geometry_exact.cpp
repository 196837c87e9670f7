/* Adaptive exact predicates: the orientation of three points and the overlap of two discs (see
 * geometry_internal.h).
 *
 * The plain floating-point formula decides almost every case; its rounding error is bounded by a
 * multiple of the magnitudes that went into it, so when the result is larger than that bound its
 * sign is certain. Otherwise the polynomial is summed exactly as a floating-point expansion (a
 * sum of non-overlapping doubles) from exact products of the inputs. The method is Shewchuk's
 * ("Adaptive Precision Floating-Point Arithmetic and Fast Robust Geometric Predicates", 1997). */
#include "geometry_internal.h"

#include <math.h>

/* Relative error bound of the plain determinant: (3 + 16 eps) eps with eps = 2^-53. */
static const double kOrientBound = (3.0 + 16.0 * 0x1p-53) * 0x1p-53;

/* a + b = x + y exactly, x being the rounded sum. */
static inline void two_sum(double a, double b, double *x, double *y) {
    double s = a + b;
    double bv = s - a;
    double av = s - bv;
    *x = s;
    *y = (a - av) + (b - bv);
}

/* a - b = x + y exactly. */
static inline void two_diff(double a, double b, double *x, double *y) {
    double d = a - b;
    double bv = a - d;
    double av = d + bv;
    *x = d;
    *y = (a - av) + (bv - b);
}

/* a b = x + y exactly. With a fused multiply-add the error term is one instruction; without
 * one, Dekker's splitting into 26-bit halves gives it (and nothing can then be contracted into a
 * fused operation behind our back). */
static inline void two_product(double a, double b, double *x, double *y) {
    double p = a * b;
    *x = p;
#if defined(__FMA__) || defined(__ARM_FEATURE_FMA) || defined(FP_FAST_FMA)
    *y = fma(a, b, -p);
#else
    const double splitter = 134217729.0; /* 2^27 + 1 */
    double ca = splitter * a, cb = splitter * b;
    double ahi = ca - (ca - a), bhi = cb - (cb - b);
    double alo = a - ahi, blo = b - bhi;
    *y = alo * blo - (((p - ahi * bhi) - alo * bhi) - ahi * blo);
#endif
}

/* Adds b to the expansion e of n components (increasing magnitude, non-overlapping), dropping
 * zero components; returns the new length. The result keeps both properties. */
static int grow_expansion(double *e, int n, double b) {
    double q = b;
    int m = 0;
    for (int i = 0; i < n; i++) {
        double sum, tail;
        two_sum(q, e[i], &sum, &tail);
        q = sum;
        if (tail != 0)
            e[m++] = tail;
    }
    if (q != 0)
        e[m++] = q;
    return m;
}

/* The sum of the terms, with the sign of the exact sum (its largest component decides). */
static double exact_sum(const double *terms, int n) {
    double e[24]; /* a sum of n terms never needs more than n components */
    int m = 0;
    for (int i = 0; i < n; i++)
        m = grow_expansion(e, m, terms[i]);
    double estimate = 0;
    for (int i = 0; i < m; i++)
        estimate += e[i];
    /* Rounding the estimate cannot flip the sign, but it can reach zero when the components
     * cancel in floating point; the largest component then keeps the sign. */
    return (estimate == 0 && m > 0) ? e[m - 1] : estimate;
}

/* The determinant from its coordinate differences when they are exact, else from the raw
 * coordinates: ax by - ax cy - ay bx + ay cx + bx cy - by cx. */
static double orient_exact(const double *a, const double *b, const double *c) {
    double acx, acy, bcx, bcy, t1, t2, t3, t4;
    two_diff(a[0], c[0], &acx, &t1);
    two_diff(a[1], c[1], &acy, &t2);
    two_diff(b[0], c[0], &bcx, &t3);
    two_diff(b[1], c[1], &bcy, &t4);
    double terms[12];
    if (t1 == 0 && t2 == 0 && t3 == 0 && t4 == 0) {
        two_product(acx, bcy, &terms[0], &terms[1]);
        two_product(-acy, bcx, &terms[2], &terms[3]);
        return exact_sum(terms, 4);
    }
    two_product(a[0], b[1], &terms[0], &terms[1]);
    two_product(-a[0], c[1], &terms[2], &terms[3]);
    two_product(-a[1], b[0], &terms[4], &terms[5]);
    two_product(a[1], c[0], &terms[6], &terms[7]);
    two_product(b[0], c[1], &terms[8], &terms[9]);
    two_product(-b[1], c[0], &terms[10], &terms[11]);
    return exact_sum(terms, 12);
}

double geo_orient2d(const double *a, const double *b, const double *c) {
    double left = (a[0] - c[0]) * (b[1] - c[1]);
    double right = (a[1] - c[1]) * (b[0] - c[0]);
    double det = left - right;
    /* Terms of opposite signs (or a zero term) subtract without cancellation. */
    if ((left > 0 && right <= 0) || (left < 0 && right >= 0) || left == 0)
        return det;
    double bound = kOrientBound * fabs(left + right);
    if (det >= bound || -det >= bound)
        return det;
    return orient_exact(a, b, c);
}

/* Error bound of the plain disc formula relative to the sum of its squared magnitudes: each of
 * the three differences or sums, squares, two additions and the subtraction round once. */
static const double kDiscBound = 8.0 * 0x1p-53;

double geo_disc_overlap(const double *c1, double r1, const double *c2, double r2) {
    double dx = c2[0] - c1[0], dy = c2[1] - c1[1], s = r1 + r2;
    double reach = s * s, gap = dx * dx + dy * dy;
    double value = reach - gap;
    if (fabs(value) > kDiscBound * (reach + gap))
        return value;
    double ex, ey, es;
    two_diff(c2[0], c1[0], &dx, &ex);
    two_diff(c2[1], c1[1], &dy, &ey);
    two_sum(r1, r2, &s, &es);
    if (ex == 0 && ey == 0 && es == 0) {
        /* Exact differences and sum (the usual case near a tangency): three products. */
        double terms[6];
        two_product(s, s, &terms[0], &terms[1]);
        two_product(-dx, dx, &terms[2], &terms[3]);
        two_product(-dy, dy, &terms[4], &terms[5]);
        return exact_sum(terms, 6);
    }
    /* (r1 + r2)^2 - |c2 - c1|^2 expanded into nine products; doubling is exact. */
    const double f[9][2] = {{r1, r1},        {r2, r2},        {2 * r1, r2},
                            {-c1[0], c1[0]}, {-c2[0], c2[0]}, {2 * c1[0], c2[0]},
                            {-c1[1], c1[1]}, {-c2[1], c2[1]}, {2 * c1[1], c2[1]}};
    double terms[18];
    for (int k = 0; k < 9; k++)
        two_product(f[k][0], f[k][1], &terms[2 * k], &terms[2 * k + 1]);
    return exact_sum(terms, 18);
}
