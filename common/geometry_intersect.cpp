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
    int k = (fabs(S1->Vector[0]) < GEO_EPSILON) ? 1 : 0;
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

void GEO_SegmentSegmentIntersectionPoint(Shape *S1, Shape *S2, VECTOR *Intersection1,
                                         VECTOR *Intersection2) {
    FATAL_ASSERT(S1 && S1->Type == 'S');
    FATAL_ASSERT(S2 && S2->Type == 'S');
    FATAL_ASSERT(Intersection1 && Intersection2);
    double det = line_det(S1, S2);
    if (fabs(det) >= GEO_EPSILON) {
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
        /* The line passes through the centre: go along the line itself. */
        dx = L->Vector[0], dy = L->Vector[1];
        double Norm2 = dx * dx + dy * dy;
        // The condition's text is the assertion message; keep it as written.
        // clang-format off
        FATAL_ASSERT(Norm2>0);
        // clang-format on
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

void GEO_CircleCircleIntersectionPoint(Shape *C1, Shape *C2, VECTOR *Intersection1,
                                       VECTOR *Intersection2) {
    FATAL_ASSERT(C1 && C1->Type == 'C');
    FATAL_ASSERT(C2 && C2->Type == 'C');
    FATAL_ASSERT(Intersection1 && Intersection2);
    double r1 = C1->Radius, r2 = C2->Radius;
    double d2 = GEO_SquareDistance(&C1->Center, &C2->Center);
    double ux = C2->Center[0] - C1->Center[0];
    double uy = C2->Center[1] - C1->Center[1];
    double d = sqrt(d2);
    if (d + r1 <= r2 - GEO_EPSILON || d + r2 <= r1 - GEO_EPSILON) {
        fprintf(stderr, "GEO_CircleCircleIntersectionPoint: Inclusion between circles, deal "
                        "with this at a higher level please\n");
        return;
    }
    FATAL_ASSERT(d > 1E-5);
    double u = (r1 * r1 + d2 - r2 * r2) / (2 * d);
    double v2 = r1 * r1 - u * u;
    /* Circles that just touch can come out a rounding error below zero. */
    if (v2 < 0 && v2 > -GEO_FINE_EPSILON * r1 * r1)
        v2 = 0;
    FATAL_ASSERT(v2 >= 0);
    double mx = C1->Center[0] + (u / d) * ux;
    double my = C1->Center[1] + (u / d) * uy;
    double k = sqrt(v2) / d;
    geo_set(Intersection1, mx - k * uy, my + k * ux, 1);
    geo_set(Intersection2, mx + k * uy, my - k * ux, 1);
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

int GEO_PolygonCircleContactPoint(Shape *P, Shape *C, VECTOR *ContactPoint) {
    FATAL_ASSERT(P && P->Type == 'P');
    FATAL_ASSERT(C && C->Type == 'C');
    FATAL_ASSERT(ContactPoint);
    if (!GEO_BoxOverlap(P, C))
        return 0;
    for (DBL *e = P->Edge; e != NULL; e = geo_next(P->Edge, e))
        if (GEO_SegmentCircleIntersectionp(geo_shape(e), C)) {
            VECTOR I1, I2;
            GEO_SegmentCircleIntersectionPoint(geo_shape(e), C, &I1, &I2);
            GEO_Middle(&I1, &I2, ContactPoint);
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
    double reach = C1->Radius + C2->Radius;
    if (reach * reach < GEO_SquareDistance(&C1->Center, &C2->Center))
        return 0;
    /* When one circle lies inside the other there are no crossing points; the centre of the
     * smaller one, inside both discs, stands in for them. */
    Shape *Smaller = (C1->Radius <= C2->Radius) ? C1 : C2;
    VECTOR I1, I2;
    mxcopy(Smaller->Center, I1, 3);
    mxcopy(Smaller->Center, I2, 3);
    GEO_CircleCircleIntersectionPoint(C1, C2, &I1, &I2);
    GEO_Middle(&I1, &I2, ContactPoint);
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
