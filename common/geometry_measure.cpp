/* Tests, measures, the arc bounding box and frame conversions (see geometry.h). */
#include "geometry.h"

#include "fatal.h"
#include "geometry_internal.h"

#include <math.h>

// clang-format off
const int BoundingBoxTable[4][4][4] = {
    /* XMin */ {{5, 5, 3, 3}, {3, 5, 3, 3}, {4, 8, 4, 4}, {8, 5, 3, 4}},
    /* XMax */ {{4, 4, 4, 9}, {1, 4, 9, 5}, {1, 1, 5, 5}, {1, 1, 1, 5}},
    /* YMin */ {{6, 10, 7, 2}, {2, 7, 7, 2}, {2, 2, 7, 2}, {6, 6, 10, 6}},
    /* YMax */ {{7, 0, 0, 0}, {11, 6, 6, 6}, {7, 0, 6, 11}, {7, 0, 0, 7}},
};
// clang-format on

int GEO_BoxOverlap(Shape *s1, Shape *s2) {
    FATAL_ASSERT(s1 && s2);
    return s2->XMin <= s1->XMax && s1->XMin <= s2->XMax && s2->YMin <= s1->YMax &&
           s1->YMin <= s2->YMax;
}

/* Both values strictly on one side of zero. */
static int same_side(double o1, double o2) { return (o1 > 0 && o2 > 0) || (o1 < 0 && o2 < 0); }

int GEO_SegmentSegmentIntersectionp(Shape *SegmentA, Shape *SegmentB) {
    FATAL_ASSERT(SegmentA && SegmentA->Type == 'S');
    FATAL_ASSERT(SegmentB && SegmentB->Type == 'S');
    if (!GEO_BoxOverlap(SegmentA, SegmentB))
        return 0;
    if (same_side(geo_orient2d(SegmentA->Start, SegmentA->End, SegmentB->Start),
                  geo_orient2d(SegmentA->Start, SegmentA->End, SegmentB->End)))
        return 0;
    if (same_side(geo_orient2d(SegmentB->Start, SegmentB->End, SegmentA->Start),
                  geo_orient2d(SegmentB->Start, SegmentB->End, SegmentA->End)))
        return 0;
    /* Each segment reaches the other's line (an end on it counts), so the lines meet inside
     * both; or every orientation is zero: the segments (or points) lie on one line, where
     * overlapping boxes mean overlapping segments. */
    return 1;
}

static int in_closed_disc(VECTOR *P, Shape *Circle) {
    return GEO_SquareDistance(P, &Circle->Center) <= Circle->Radius * Circle->Radius;
}

int GEO_SegmentCircleIntersectionp(Shape *Segment, Shape *Circle) {
    FATAL_ASSERT(Segment && Segment->Type == 'S');
    FATAL_ASSERT(Circle && (Circle->Type == 'C' || Circle->Type == 'A'));
    if (!GEO_BoxOverlap(Segment, Circle))
        return 0;
    double dx = Segment->End[0] - Segment->Start[0];
    double dy = Segment->End[1] - Segment->Start[1];
    /* A zero-length segment has no line (its equation is 0, 0, 0): it is its only point. */
    if (dx == 0 && dy == 0)
        return in_closed_disc(&Segment->Start, Circle);
    /* The centre's distance to the line above the radius, compared squared: the orientation
     * is the distance times the length, and squares stay exact on small integer inputs. */
    double cross = geo_orient2d(Segment->Start, Segment->End, Circle->Center);
    if (cross * cross > Circle->Radius * Circle->Radius * (dx * dx + dy * dy))
        return 0;
    double fromStart =
        dx * (Circle->Center[0] - Segment->Start[0]) + dy * (Circle->Center[1] - Segment->Start[1]);
    double fromEnd =
        dx * (Circle->Center[0] - Segment->End[0]) + dy * (Circle->Center[1] - Segment->End[1]);
    if (fromStart >= 0 && fromEnd <= 0)
        return 1;
    return in_closed_disc(&Segment->Start, Circle) || in_closed_disc(&Segment->End, Circle);
}

int GEO_CircleCircleIntersectionp(Shape *C1, Shape *C2) {
    FATAL_ASSERT(C1 && C1->Type == 'C');
    FATAL_ASSERT(C2 && C2->Type == 'C');
    if (!GEO_BoxOverlap(C1, C2))
        return 0;
    return geo_disc_overlap(C1->Center, C1->Radius, C2->Center, C2->Radius) >= 0;
}

int GEO_InShapep(Shape *S, VECTOR *Point) {
    FATAL_ASSERT(S && Point);
    switch (S->Type) {
    case 'S':
        return GEO_BetweenSegmentPointsp(Point, &S->Start, &S->End);
    case 'C':
        return GEO_SquareDistance(Point, &S->Center) <= S->Radius * S->Radius + GEO_FINE_EPSILON;
    case 'A':
        return GEO_BetweenArcPointsp(Point, &S->Center, S->Radius, &S->Start, &S->End);
    case 'P':
        return GEO_ConvexPolygonInclusion(Point, S);
    default:
        return 0;
    }
}

int GEO_BetweenSegmentPointsp(VECTOR *Point, VECTOR *SegmentStart, VECTOR *SegmentEnd) {
    FATAL_ASSERT(Point && SegmentStart && SegmentEnd);
    double dx = (*SegmentEnd)[0] - (*SegmentStart)[0];
    double dy = (*SegmentEnd)[1] - (*SegmentStart)[1];
    int k = (fabs(dx) > GEO_EPSILON || (dy == 0 && dx != 0)) ? 0 : 1;
    double length = (k == 0) ? dx : dy;
    /* A segment of zero length holds its own point only. */
    if (length == 0)
        return (*Point)[0] == (*SegmentStart)[0] && (*Point)[1] == (*SegmentStart)[1];
    double t = ((*Point)[k] - (*SegmentStart)[k]) / length;
    return t >= 0 && t <= 1;
}

/* Which half turn, counted counter-clockwise from the direction Ref, the direction V lies in:
 * 0 for angles in [0, pi), 1 for [pi, 2 pi). Center is the common origin. */
static int half_turn(VECTOR *Center, VECTOR *Ref, VECTOR *V) {
    double cross = geo_orient2d(*Ref, *V, *Center);
    if (cross != 0)
        return cross < 0;
    /* Collinear directions: the dot product's terms share their sign, so its sign is exact. */
    double dot = ((*Ref)[0] - (*Center)[0]) * ((*V)[0] - (*Center)[0]) +
                 ((*Ref)[1] - (*Center)[1]) * ((*V)[1] - (*Center)[1]);
    return dot <= 0;
}

static int same_point(VECTOR *A, VECTOR *B) { return (*A)[0] == (*B)[0] && (*A)[1] == (*B)[1]; }

int GEO_BetweenArcPointsp(VECTOR *Point, VECTOR *Center, double Radius, VECTOR *ArcStart,
                          VECTOR *ArcEnd) {
    // The condition's text is the assertion message; keep it as written.
    // clang-format off
    FATAL_ASSERT(Radius>=0);
    // clang-format on
    FATAL_ASSERT(Point && Center && ArcStart && ArcEnd);
    /* Without a direction from the centre, fall back on the two half-plane tests. */
    if (same_point(Point, Center) || same_point(ArcStart, Center) || same_point(ArcEnd, Center))
        return geo_orient2d(*ArcStart, *Center, *Point) <= 0 &&
               geo_orient2d(*ArcEnd, *Center, *Point) >= 0;
    int end_half = half_turn(Center, ArcStart, ArcEnd);
    /* The end in the start's direction closes a full turn. */
    if (end_half == 0 && geo_orient2d(*ArcStart, *ArcEnd, *Center) == 0)
        return 1;
    int point_half = half_turn(Center, ArcStart, Point);
    if (point_half != end_half)
        return point_half < end_half;
    /* Within one half turn the angles differ by less than pi: the orientation orders them. */
    return geo_orient2d(*Point, *ArcEnd, *Center) >= 0;
}

int GEO_ConvexPolygonInclusion(VECTOR *V, Shape *P) {
    FATAL_ASSERT(P && P->Type == 'P');
    for (DBL *node = P->Edge; node != NULL; node = geo_next(P->Edge, node))
        if (geo_orient2d(*V, geo_shape(node)->Start, geo_shape(node)->End) < 0)
            return 0;
    return 1;
}

double GEO_SignedArea(VECTOR *A, VECTOR *B, VECTOR *C) {
    FATAL_ASSERT(A && (*(A))[2] == 1);
    FATAL_ASSERT(B && (*(B))[2] == 1);
    FATAL_ASSERT(C && (*(C))[2] == 1);
    /* With w = 1 in every row the determinant is the orientation of A, B, C. */
    double det = geo_orient2d(*A, *B, *C);
    return (fabs(det) > GEO_EPSILON) ? det : 0;
}

double GEO_SquareDistance(VECTOR *V1, VECTOR *V2) {
    FATAL_ASSERT(V1 && V2);
    double dx = (*V1)[0] - (*V2)[0];
    double dy = (*V1)[1] - (*V2)[1];
    return dx * dx + dy * dy;
}

double GEO_VectorLineDistance(VECTOR *V, Shape *S) {
    FATAL_ASSERT(V && S && S->Type == 'S');
    return fabs(S->Line[0] * (*V)[0] + S->Line[1] * (*V)[1] + S->Line[2]);
}

void GEO_Middle(VECTOR *V1, VECTOR *V2, VECTOR *M) {
    FATAL_ASSERT(V1 && V2 && M);
    geo_set(M, ((*V1)[0] + (*V2)[0]) * 0.5, ((*V1)[1] + (*V2)[1]) * 0.5, 1);
}

void GEO_DisplacePoint(VECTOR *Point, VECTOR *Direction, double Amount, VECTOR *Result) {
    FATAL_ASSERT(Point && Direction && Result);
    geo_set(Result, (*Point)[0] + Amount * (*Direction)[0], (*Point)[1] + Amount * (*Direction)[1],
            1);
}

void GEO_ProjectionOnLine(VECTOR *P, Shape *S, VECTOR *Projection) {
    FATAL_ASSERT(P && S && S->Type == 'S' && Projection);
    double wx = (*P)[0] - S->Start[0];
    double wy = (*P)[1] - S->Start[1];
    double dd = S->Vector[0] * S->Vector[0] + S->Vector[1] * S->Vector[1];
    /* A zero-length segment projects everything onto its only point. */
    double t = (dd > 0) ? (wx * S->Vector[0] + wy * S->Vector[1]) / dd : 0;
    geo_set(Projection, S->Start[0] + t * S->Vector[0], S->Start[1] + t * S->Vector[1],
            S->Start[2]);
}

void GEO_ProjectionOnCircle(VECTOR *P, Shape *C, VECTOR *Projection) {
    FATAL_ASSERT(P && C && (C->Type == 'C' || C->Type == 'A') && Projection);
    double ux = (*P)[0] - C->Center[0];
    double uy = (*P)[1] - C->Center[1];
    FATAL_ASSERT(!(fabs(ux) < 1E-5 && fabs(uy) < 1E-5));
    double k = C->Radius / sqrt(ux * ux + uy * uy);
    geo_set(Projection, C->Center[0] + k * ux, C->Center[1] + k * uy, 1);
}

int WhichQuadrant(VECTOR *Point) {
    FATAL_ASSERT(Point);
    double x = (*Point)[0];
    double y = (*Point)[1];
    if (y > 0)
        return (x > 0) ? 0 : 1;
    return (x > 0) ? 3 : 2;
}

/* The value of one box side for a code of BoundingBoxTable. */
static double box_side(int code, VECTOR *Origin, VECTOR *Start, VECTOR *End, double Radius) {
    switch (code) {
    case 0:
        return (*Origin)[1] + Radius;
    case 1:
        return (*Origin)[0] + Radius;
    case 2:
        return (*Origin)[1] - Radius;
    case 3:
        return (*Origin)[0] - Radius;
    case 4:
        return (*Start)[0];
    case 5:
        return (*End)[0];
    case 6:
        return (*Start)[1];
    case 7:
        return (*End)[1];
    case 8:
        return fmin((*Start)[0], (*End)[0]);
    case 9:
        return fmax((*Start)[0], (*End)[0]);
    case 10:
        return fmin((*Start)[1], (*End)[1]);
    default: /* 11 */
        return fmax((*Start)[1], (*End)[1]);
    }
}

void GEO_ArcBoundingBox(VECTOR *Origin, VECTOR *Start, VECTOR *End, double Radius, double *Box) {
    FATAL_ASSERT(Origin && Start && End && Box);
    // The condition's text is the assertion message; keep it as written.
    // clang-format off
    FATAL_ASSERT(Radius>0);
    // clang-format on
    VECTOR s = {(*Start)[0] - (*Origin)[0], (*Start)[1] - (*Origin)[1], 0};
    VECTOR e = {(*End)[0] - (*Origin)[0], (*End)[1] - (*Origin)[1], 0};
    int qs = WhichQuadrant(&s);
    int qe = WhichQuadrant(&e);
    /* Ends in one quadrant with the end clockwise of the start (or in the start's direction):
     * the arc goes nearly or fully round and passes all four extremes. */
    if (qs == qe && geo_orient2d(*Start, *End, *Origin) <= 0) {
        Box[0] = (*Origin)[0] - Radius;
        Box[1] = (*Origin)[0] + Radius;
        Box[2] = (*Origin)[1] - Radius;
        Box[3] = (*Origin)[1] + Radius;
        return;
    }
    for (int k = 0; k < 4; k++)
        Box[k] = box_side(BoundingBoxTable[k][qs][qe], Origin, Start, End, Radius);
}

void GEO_InFrame(VECTOR *V, MATRIX *M, VECTOR *W) {
    FATAL_ASSERT(V && M && W);
    double cosine = (*M)[0], sine = (*M)[3];
    double dx = (*V)[0] - (*M)[2];
    double dy = (*V)[1] - (*M)[5];
    geo_set(W, cosine * dx + sine * dy, -sine * dx + cosine * dy, (*V)[2]);
}

void GEO_Invert(double Tx, double Ty, double Cosine, double Sine, MATRIX *Inverse) {
    FATAL_ASSERT(Inverse);
    mx_fill(*Inverse, 3, 3, Cosine, Sine, -Cosine * Tx - Sine * Ty, -Sine, Cosine,
            Sine * Tx - Cosine * Ty, 0.0, 0.0, 1.0);
}

void GEO_WorldPointToX(VECTOR *dest, VECTOR *src, double tx, double ty, double s) {
    FATAL_ASSERT(dest && src);
    double x = (*src)[0] * s + tx;
    double y = -s * (*src)[1] + ty;
    (*dest)[0] = x;
    (*dest)[1] = y;
}
