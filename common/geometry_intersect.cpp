/* Intersection points, contact points and virtual intersections (see geometry.h). */
#include "geometry.h"

#include "fatal.h"
#include "geometry_internal.h"

#include <math.h>
#include <stdio.h>

/* Determinant of the two line equations, and their crossing when it is not degenerate. */
static double line_det(Shape *S1, Shape *S2) {
    return S1->Line[0] * S2->Line[1] - S1->Line[1] * S2->Line[0];
}

static void line_crossing(Shape *S1, Shape *S2, double det, VECTOR *Point) {
    double a1 = S1->Line[0], b1 = S1->Line[1], c1 = S1->Line[2];
    double a2 = S2->Line[0], b2 = S2->Line[1], c2 = S2->Line[2];
    geo_set(Point, (b1 * c2 - c1 * b2) / det, (a2 * c1 - a1 * c2) / det, 1);
}

/* The overlap of two parallel segments, taken as collinear, measured along S1. */
static void collinear_points(Shape *S1, Shape *S2, VECTOR *Intersection1, VECTOR *Intersection2) {
    /* Along x, or along y for a (nearly) vertical S1; a segment shorter than 1E-5 goes along
     * whichever coordinate it spans more, so that a short horizontal one keeps its length. */
    double ax = fabs(S1->Vector[0]), ay = fabs(S1->Vector[1]);
    int k = (ax < GEO_EPSILON && ay > ax) ? 1 : 0;
    double *lo1 = (S1->Start[k] < S1->End[k]) ? S1->Start : S1->End;
    double *hi1 = (lo1 == S1->Start) ? S1->End : S1->Start;
    double *lo2 = (S2->Start[k] < S2->End[k]) ? S2->Start : S2->End;
    double *hi2 = (lo2 == S2->Start) ? S2->End : S2->Start;
    double len = hi1[k] - lo1[k];
    if (len == 0) {
        /* S1 is a single point: wherever the segments meet, it is there. */
        mxcopy(S1->Start, *Intersection1, 3);
        mxcopy(S1->Start, *Intersection2, 3);
        return;
    }
    double t_lo = (lo2[k] - lo1[k]) / len;
    double t_hi = (hi2[k] - lo1[k]) / len;
    const double *first;
    const double *second;
    if (t_lo > 1) {
        first = hi1, second = lo2;
    } else if (t_lo < 0) {
        if (t_hi > 1)
            first = lo1, second = hi1;
        else if (t_hi >= 0)
            first = lo1, second = hi2;
        else
            first = hi2, second = lo1;
    } else {
        FATAL_ASSERT(t_hi >= 0);
        if (t_hi > 1)
            first = lo2, second = hi1;
        else
            first = lo2, second = hi2;
    }
    mxcopy(first, *Intersection1, 3);
    mxcopy(second, *Intersection2, 3);
}

/* Both values strictly on one side of zero. */
static int same_side(double a, double b) { return (a > 0 && b > 0) || (a < 0 && b < 0); }

/* The one point where two segments that are not collinear meet, given the orientations of S1's
 * ends against S2's line (o[0], o[1]) and of S2's ends against S1's line (o[2], o[3]): an end
 * lying on the other segment exactly, else the crossing measured along S1, which stays between
 * S1's ends because o[0] and o[1] differ in sign. */
static void single_meeting(Shape *S1, Shape *S2, const double o[4], VECTOR *Point) {
    const double *ends[4] = {S1->Start, S1->End, S2->Start, S2->End};
    for (int k = 0; k < 4; k++)
        if (o[k] == 0) {
            geo_set(Point, ends[k][0], ends[k][1], 1);
            return;
        }
    double t = o[0] / (o[0] - o[1]);
    geo_set(Point, S1->Start[0] + t * (S1->End[0] - S1->Start[0]),
            S1->Start[1] + t * (S1->End[1] - S1->Start[1]), 1);
}

void GEO_SegmentSegmentIntersectionPoint(Shape *S1, Shape *S2, VECTOR *Intersection1,
                                         VECTOR *Intersection2) {
    FATAL_ASSERT(S1 && S1->Type == 'S');
    FATAL_ASSERT(S2 && S2->Type == 'S');
    FATAL_ASSERT(Intersection1 && Intersection2);
    const double o[4] = {
        geo_orient2d(S2->Start, S2->End, S1->Start), geo_orient2d(S2->Start, S2->End, S1->End),
        geo_orient2d(S1->Start, S1->End, S2->Start), geo_orient2d(S1->Start, S1->End, S2->End)};
    /* A zero-length segment has every orientation against it zero, so whenever one meets the
     * other segment all four are zero and it is handled as collinear. */
    int collinear = o[0] == 0 && o[1] == 0 && o[2] == 0 && o[3] == 0;
    int meet = GEO_BoxOverlap(S1, S2) && !same_side(o[0], o[1]) && !same_side(o[2], o[3]);
    if (meet && !collinear) {
        single_meeting(S1, S2, o, Intersection1);
        mxcopy(*Intersection1, *Intersection2, 3);
        return;
    }
    /* Collinear segments take the ends of their overlap along S1. Segments that do not meet
     * get the crossing of their lines, or that overlap when the lines are (nearly) parallel. */
    double det = line_det(S1, S2);
    if (!collinear && fabs(det) >= GEO_EPSILON) {
        line_crossing(S1, S2, det, Intersection1);
        mxcopy(*Intersection1, *Intersection2, 3);
    } else {
        collinear_points(S1, S2, Intersection1, Intersection2);
    }
}

void GEO_LineSegmentIntersectionPoint(Shape *L, Shape *S, VECTOR *Intersection1,
                                      VECTOR *Intersection2) {
    FATAL_ASSERT(L && L->Type == 'S');
    FATAL_ASSERT(S && S->Type == 'S');
    FATAL_ASSERT(Intersection1 && Intersection2);
    double det = line_det(L, S);
    if (fabs(det) < GEO_EPSILON) {
        mxcopy(S->Start, *Intersection1, 3);
        mxcopy(S->End, *Intersection2, 3);
    } else {
        line_crossing(L, S, det, Intersection1);
        mxcopy(*Intersection1, *Intersection2, 3);
    }
}

/* Line against the full circle of a circle or an arc; a miss gives the nearest point twice. */
static void line_full_circle(Shape *L, Shape *C, VECTOR *Intersection1, VECTOR *Intersection2) {
    VECTOR P;
    GEO_ProjectionOnLine(&C->Center, L, &P);
    double vx = P[0] - C->Center[0];
    double vy = P[1] - C->Center[1];
    double n = vx * vx + vy * vy;
    double dx, dy, k;
    if (n >= GEO_FINE_EPSILON) {
        double u2 = fmax(C->Radius * C->Radius - n, 0);
        k = sqrt(u2 / n);
        dx = -vy, dy = vx;
    } else {
        /* The line passes through the centre: go along the line itself. A zero-length
         * segment at the centre has no direction; the horizontal one stands in for it. */
        dx = L->Vector[0], dy = L->Vector[1];
        double Norm2 = dx * dx + dy * dy;
        if (!(Norm2 > 0))
            dx = 1, dy = 0, Norm2 = 1;
        k = C->Radius / sqrt(Norm2);
    }
    geo_set(Intersection1, P[0] + k * dx, P[1] + k * dy, 1);
    geo_set(Intersection2, P[0] - k * dx, P[1] - k * dy, 1);
}

void GEO_LineCircleIntersectionPoint(Shape *L, Shape *C, VECTOR *Intersection1,
                                     VECTOR *Intersection2) {
    FATAL_ASSERT(L && L->Type == 'S');
    FATAL_ASSERT(C && C->Type == 'C');
    FATAL_ASSERT(Intersection1 && Intersection2);
    line_full_circle(L, C, Intersection1, Intersection2);
}

/* Keeps the points that lie on Target: a point off it is replaced by the other one. */
static void keep_points_on(Shape *Target, VECTOR *Intersection1, VECTOR *Intersection2) {
    if (!GEO_InShapep(Target, Intersection1))
        mxcopy(*Intersection2, *Intersection1, 3);
    else if (!GEO_InShapep(Target, Intersection2))
        mxcopy(*Intersection1, *Intersection2, 3);
}

void GEO_SegmentCircleIntersectionPoint(Shape *S, Shape *C, VECTOR *Intersection1,
                                        VECTOR *Intersection2) {
    FATAL_ASSERT(S && S->Type == 'S');
    FATAL_ASSERT(C && C->Type == 'C');
    FATAL_ASSERT(Intersection1 && Intersection2);
    line_full_circle(S, C, Intersection1, Intersection2);
    keep_points_on(S, Intersection1, Intersection2);
}

void GEO_LineArcIntersectionPoint(Shape *L, Shape *A, VECTOR *Intersection1,
                                  VECTOR *Intersection2) {
    FATAL_ASSERT(L && L->Type == 'S');
    FATAL_ASSERT(A && A->Type == 'A');
    FATAL_ASSERT(Intersection1 && Intersection2);
    line_full_circle(L, A, Intersection1, Intersection2);
    keep_points_on(A, Intersection1, Intersection2);
}

/* Unit vector from C1's centre towards C2's, given their offset (ux, uy) and distance d; the x
 * axis when the centres coincide. */
static void centre_direction(double ux, double uy, double d, double *ex, double *ey) {
    if (d > 0)
        *ex = ux / d, *ey = uy / d;
    else
        *ex = 1, *ey = 0;
}

/* Distance from C1's centre, along the line of centres, to the common chord (the radical line):
 * (r1^2 - r2^2 + d^2) / 2d, with r1^2 - r2^2 factored so that nearly equal radii do not lose
 * their difference. */
static double chord_offset(double r1, double r2, double d) {
    return ((r1 - r2) * (r1 + r2) + d * d) / (2 * d);
}

void GEO_CircleCircleIntersectionPoint(Shape *C1, Shape *C2, VECTOR *Intersection1,
                                       VECTOR *Intersection2) {
    FATAL_ASSERT(C1 && C1->Type == 'C');
    FATAL_ASSERT(C2 && C2->Type == 'C');
    FATAL_ASSERT(Intersection1 && Intersection2);
    double r1 = C1->Radius, r2 = C2->Radius;
    double ux = C2->Center[0] - C1->Center[0];
    double uy = C2->Center[1] - C1->Center[1];
    double d = sqrt(ux * ux + uy * uy);
    if (d + r1 <= r2 - GEO_EPSILON || d + r2 <= r1 - GEO_EPSILON) {
        fprintf(stderr, "GEO_CircleCircleIntersectionPoint: Inclusion between circles, deal "
                        "with this at a higher level please\n");
        return;
    }
    /* Circles that do not cross (apart, or one just inside the other) get the point of C1
     * nearest to C2's circle, twice: u clamped to C1. Concentric ones get the points of C1
     * straight above and below its centre. */
    double ex, ey;
    centre_direction(ux, uy, d, &ex, &ey);
    double u = (d > 0) ? fmin(fmax(chord_offset(r1, r2, d), -r1), r1) : 0;
    double mx = C1->Center[0] + u * ex, my = C1->Center[1] + u * ey;
    double v = sqrt(fmax(r1 * r1 - u * u, 0));
    geo_set(Intersection1, mx - v * ey, my + v * ex, 1);
    geo_set(Intersection2, mx + v * ey, my - v * ex, 1);
}

int GEO_PolygonPolygonContactPoint(Shape *P1, Shape *P2, VECTOR *ContactPoint) {
    FATAL_ASSERT(P1 && P1->Type == 'P');
    FATAL_ASSERT(P2 && P2->Type == 'P');
    FATAL_ASSERT(ContactPoint);
    if (!GEO_BoxOverlap(P1, P2))
        return 0;
    for (DBL *e = P1->Edge; e != NULL; e = geo_next(P1->Edge, e))
        for (DBL *f = P2->Edge; f != NULL; f = geo_next(P2->Edge, f))
            if (GEO_SegmentSegmentIntersectionp(geo_shape(e), geo_shape(f))) {
                VECTOR I1, I2;
                GEO_SegmentSegmentIntersectionPoint(geo_shape(e), geo_shape(f), &I1, &I2);
                GEO_Middle(&I1, &I2, ContactPoint);
                return 1;
            }
    return 0;
}

/* A point of segment S in the closed disc of C (the caller knows that they meet): the middle of
 * the crossings that lie on S (one crossing: itself), or, when neither does (S wholly inside the
 * disc, or touching it at an end), the middle of the part of S inside the disc. */
static void segment_in_disc_point(Shape *S, Shape *C, VECTOR *Point) {
    double dx = S->End[0] - S->Start[0], dy = S->End[1] - S->Start[1];
    double fx = S->Start[0] - C->Center[0], fy = S->Start[1] - C->Center[1];
    double a = dx * dx + dy * dy;
    double t = 0;
    if (a > 0) {
        /* |f + t (dx, dy)|^2 = r^2 at t = mid -+ half. */
        double mid = -(fx * dx + fy * dy) / a;
        double g = (fx * fx + fy * fy - C->Radius * C->Radius) / a;
        double half = sqrt(fmax(mid * mid - g, 0));
        double t0 = mid - half, t1 = mid + half;
        int on0 = t0 >= 0 && t0 <= 1, on1 = t1 >= 0 && t1 <= 1;
        double lo = fmax(t0, 0), hi = fmin(t1, 1);
        if (on0 || on1)
            t = (on0 && on1) ? 0.5 * (t0 + t1) : (on0 ? t0 : t1);
        else /* a touch can come out as an empty interval by rounding: its nearer end */
            t = (lo <= hi) ? 0.5 * (lo + hi) : fmin(fmax(mid, 0), 1);
    }
    geo_set(Point, S->Start[0] + t * dx, S->Start[1] + t * dy, 1);
}

int GEO_PolygonCircleContactPoint(Shape *P, Shape *C, VECTOR *ContactPoint) {
    FATAL_ASSERT(P && P->Type == 'P');
    FATAL_ASSERT(C && C->Type == 'C');
    FATAL_ASSERT(ContactPoint);
    if (!GEO_BoxOverlap(P, C))
        return 0;
    for (DBL *e = P->Edge; e != NULL; e = geo_next(P->Edge, e))
        if (GEO_SegmentCircleIntersectionp(geo_shape(e), C)) {
            segment_in_disc_point(geo_shape(e), C, ContactPoint);
            return 1;
        }
    return 0;
}

int GEO_CircleCircleContactPoint(Shape *C1, Shape *C2, VECTOR *ContactPoint) {
    FATAL_ASSERT(C1 && C1->Type == 'C');
    FATAL_ASSERT(C2 && C2->Type == 'C');
    FATAL_ASSERT(ContactPoint);
    if (!GEO_BoxOverlap(C1, C2))
        return 0;
    double r1 = C1->Radius, r2 = C2->Radius;
    double ux = C2->Center[0] - C1->Center[0];
    double uy = C2->Center[1] - C1->Center[1];
    if (geo_disc_overlap(C1->Center, r1, C2->Center, r2) < 0)
        return 0;
    double d = sqrt(ux * ux + uy * uy);
    Shape *Smaller = (r1 <= r2) ? C1 : C2;
    /* One disc inside the other (by the crossing points' 1E-5 test), or centres within 1E-5:
     * the smaller centre lies in both discs. */
    if (d + fmin(r1, r2) <= fmax(r1, r2) - GEO_EPSILON || d <= GEO_EPSILON) {
        geo_set(ContactPoint, Smaller->Center[0], Smaller->Center[1], 1);
        return 1;
    }
    /* The middle of the common chord, on the line of centres; when the circles do not cross
     * (tangent, or one just inside the other) the nearest point of that line that is in both
     * discs. */
    double u = chord_offset(r1, r2, d);
    u = fmax(fmax(-r1, d - r2), fmin(u, fmin(r1, d + r2)));
    double ex, ey;
    centre_direction(ux, uy, d, &ex, &ey);
    geo_set(ContactPoint, C1->Center[0] + u * ex, C1->Center[1] + u * ey, 1);
    return 1;
}

static int near_point(VECTOR *A, const VECTOR *B) {
    return fabs((*A)[0] - (*B)[0]) < GEO_EPSILON && fabs((*A)[1] - (*B)[1]) < GEO_EPSILON;
}

/* Inserts a copy of I into the edge's list by distance from its start; ties go last. */
static void insert_crossing(Shape *E, VECTOR *I) {
    VECTOR *Copy = GEO_CopyVector(I);
    FATAL_ASSERT(Copy);
    double dist = GEO_SquareDistance(I, &E->Start);
    DBL *list = E->VirtualIntersections;
    for (DBL *node = list; node != NULL; node = geo_next(list, node))
        if (GEO_SquareDistance((VECTOR *)node->element, &E->Start) > dist) {
            DBL *added = DBL_AddBefore(node, Copy);
            if (node == list)
                E->VirtualIntersections = added;
            return;
        }
    if (list == NULL)
        E->VirtualIntersections = DBL_AddBefore(NULL, Copy);
    else
        DBL_AddToTail(list, Copy);
}

void GEO_CreateVirtualIntersections(Shape *Source, Shape *Other) {
    FATAL_ASSERT(Source && Other);
    FATAL_ASSERT(Source->Type == 'P');
    FATAL_ASSERT(Other->Type == 'P');
    for (DBL *e = Source->Edge; e != NULL; e = geo_next(Source->Edge, e)) {
        Shape *E = geo_shape(e);
        geo_free_points(E->VirtualIntersections);
        E->VirtualIntersections = NULL;
        for (DBL *f = Other->Edge; f != NULL; f = geo_next(Other->Edge, f)) {
            if (!GEO_SegmentSegmentIntersectionp(E, geo_shape(f)))
                continue;
            VECTOR I1, I2, I;
            GEO_SegmentSegmentIntersectionPoint(E, geo_shape(f), &I1, &I2);
            GEO_Middle(&I1, &I2, &I);
            if (near_point(&I, &E->Start) || near_point(&I, &E->End))
                continue;
            insert_crossing(E, &I);
        }
    }
}
