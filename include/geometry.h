/* Plane geometry on shapes in homogeneous coordinates: segments, circles, arcs, polygons and
 * polylines, with bounding boxes, line equations, motions, tests, intersection and contact
 * points, virtual intersections and robot frame conversions.
 *
 * Points are VECTORs (x, y, w) with w = 1; translations have w = 0. Shapes come from the pool
 * "Shape", points from the pool "Vector"; edges and virtual intersections are double lists.
 * A shape owns its edges and its virtual-intersection points: copying copies them and freeing
 * releases them.
 *
 * Robustness: orientation, touching and disc overlap are decided with adaptive exact
 * arithmetic, so those answers are exact for any finite coordinates (whose products neither
 * overflow nor underflow) and do not depend on their scale. Distances to lines and computed
 * points are plain floating point, correct to within rounding. Every routine answers for every
 * shape the constructors accept.
 *
 * Error convention: programming errors (null arguments, wrong shape types, impossible cases)
 * and a shape pool that cannot grow inside a constructor are fatal assertions. Only
 * GEO_CreateVector, GEO_CopyVector and GEO_CreateGenericShape return null when their pool is
 * exhausted. Predicates return 1 for true and 0 for false. Not thread-safe. */
#ifndef ROVAK_GEOMETRY_H
#define ROVAK_GEOMETRY_H

#include "double_list.h"
#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Shape {
    unsigned char Type;            /* 'S', 'C', 'A', 'P', 'L' or 'G' (generic) */
    double XMin, XMax, YMin, YMax; /* closed bounding box */
    VECTOR Start;                  /* segment and arc: first end point */
    VECTOR End;                    /* segment and arc: second end point */
    VECTOR Center;                 /* circle, arc; polygon, polyline: first vertex */
    double Radius;                 /* circle and arc */
    VECTOR Line;                   /* segment: normalised a, b, c of a x + b y + c = 0 */
    VECTOR Vector;                 /* segment: (End.x - Start.x, End.y - Start.y, 1) */
    DBL *Edge;                     /* polygon: ring of segments; polyline: linear list */
    DBL *VirtualIntersections;     /* VECTORs crossing this segment, by distance from Start */
    double *Information;           /* free for the caller */
    short Index;                   /* free for the caller */
} Shape;
typedef Shape SHAPE;

/* Code of each box side k (XMin, XMax, YMin, YMax) of an arc from quadrant qs to qe. */
extern const int BoundingBoxTable[4][4][4];

/* Construction and release. */
VECTOR *GEO_CreateVector(double x, double y, double z); /* null when the pool is exhausted */
VECTOR *GEO_CopyVector(VECTOR *V);
void GEO_FreeVector(VECTOR *V);
Shape *GEO_CreateGenericShape(void); /* type 'G', or null */
Shape *GEO_CreateSegment(VECTOR *Start, VECTOR *End);
/* Radius must exceed 1E-5. */
Shape *GEO_CreateCircle(VECTOR *Center, double Radius);
/* Counter-clockwise from Start to End around Center; Radius must exceed 1E-5. */
Shape *GEO_CreateArc(VECTOR *Center, double Radius, VECTOR *Start, VECTOR *End);
Shape *GEO_CreatePolygon(VECTOR *InitialVertex);
/* Appends a vertex unless it coincides (within 1E-5) with the last one; keeps the ring closed. */
void GEO_AddVertexToPolygon(Shape *Polygon, VECTOR *Vertex);
Shape *GEO_CreatePolyline(VECTOR *InitialVertex);
void GEO_AddVertexToPolyline(Shape *Polyline, VECTOR *Vertex);
/* A new shape with the same geometry and virtual intersections; null for 'G' and unknown. */
Shape *GEO_CopyShape(Shape *S);
/* Releases the shape with its edges and virtual intersections. */
void GEO_FreeShape(Shape *S);

/* Motions. S2 gets S1 moved by the transform C (each point p becomes C p); both must have the
 * same type and structure; S2 may be S1. Boxes, line equations and directions follow; a
 * reflection swaps an arc's ends so that it keeps the same points. */
void GEO_DisplaceShapeIntoShape(Shape *S1, Shape *S2, MATRIX *C);
void GEO_DisplaceShape(Shape *S, MATRIX *C);
/* Adds T (w = 0) to every point; polylines are not supported (a message is printed). */
void GEO_TranslateShape(Shape *S, VECTOR *T);
/* Scales x by Sx and y by Sy (segments, circles, arcs, polygons) with their virtual
 * intersections; boxes, line equations and directions are recomputed. A radius follows only a
 * uniform scale (abs(Sx) == abs(Sy)); a mirror swaps an arc's ends. */
void GEO_Scale(Shape *S, double Sx, double Sy);

/* Tests. */
int GEO_BoxOverlap(Shape *s1, Shape *s2);
/* The closed segments share a point (touching counts; an end on the other's line but outside
 * the other segment does not). Exact. */
int GEO_SegmentSegmentIntersectionp(Shape *SegmentA, Shape *SegmentB);
int GEO_SegmentCircleIntersectionp(Shape *Segment, Shape *Circle); /* against the closed disc */
/* The closed discs meet (tangent counts). Exact. */
int GEO_CircleCircleIntersectionp(Shape *C1, Shape *C2);
int GEO_InShapep(Shape *S, VECTOR *Point);
/* 0 <= t <= 1 along the segment, t from x (from y when abs(dx) <= 1E-5); a zero-length segment
 * holds its own point only. The distance to the line is not tested. */
int GEO_BetweenSegmentPointsp(VECTOR *Point, VECTOR *SegmentStart, VECTOR *SegmentEnd);
/* The direction of Point from Center lies on the counter-clockwise arc from ArcStart to ArcEnd,
 * of any extent (ends in the same direction: a full turn); ends included, exact. The distance
 * is not tested. Point, ArcStart or ArcEnd at Center: the two half-plane tests. */
int GEO_BetweenArcPointsp(VECTOR *Point, VECTOR *Center, double Radius, VECTOR *ArcStart,
                          VECTOR *ArcEnd);
/* Inside or on a convex polygon whose vertices run counter-clockwise. Exact. */
int GEO_ConvexPolygonInclusion(VECTOR *V, Shape *P);

/* Points and measures. */
/* Determinant of the rows A, B, C (w = 1 each); 0 when its magnitude is not above 1E-5. */
double GEO_SignedArea(VECTOR *A, VECTOR *B, VECTOR *C);
double GEO_SquareDistance(VECTOR *V1, VECTOR *V2);
double GEO_VectorLineDistance(VECTOR *V, Shape *S);
void GEO_Middle(VECTOR *V1, VECTOR *V2, VECTOR *M);
void GEO_DisplacePoint(VECTOR *Point, VECTOR *Direction, double Amount, VECTOR *Result);
void GEO_ProjectionOnLine(VECTOR *P, Shape *S, VECTOR *Projection);
void GEO_ProjectionOnCircle(VECTOR *P, Shape *C, VECTOR *Projection);
/* 0: x > 0, y > 0; 1: x <= 0, y > 0; 2: x <= 0, y <= 0; 3: x > 0, y <= 0. */
int WhichQuadrant(VECTOR *Point);
/* Box = XMin, XMax, YMin, YMax of the counter-clockwise arc of any extent (ends in one
 * quadrant with the end clockwise of the start, or in one direction: the whole circle's box);
 * Radius must be positive. */
void GEO_ArcBoundingBox(VECTOR *Origin, VECTOR *Start, VECTOR *End, double Radius, double *Box);

/* Intersection points: both results are written, equal when there is one point. "Line"
 * arguments are segments taken as infinite lines. */
/* Meeting segments that are not collinear: their one common point (an end exactly when it lies
 * on the other). Collinear ones: the ends of their overlap along S1. Segments that do not meet:
 * the crossing of their lines, or for (nearly) parallel lines the overlap rule. */
void GEO_SegmentSegmentIntersectionPoint(Shape *S1, Shape *S2, VECTOR *Intersection1,
                                         VECTOR *Intersection2);
void GEO_LineSegmentIntersectionPoint(Shape *L, Shape *S, VECTOR *Intersection1,
                                      VECTOR *Intersection2);
/* A line that misses gives its point nearest the circle twice; a zero-length line at the centre
 * is taken as horizontal. */
void GEO_LineCircleIntersectionPoint(Shape *L, Shape *C, VECTOR *Intersection1,
                                     VECTOR *Intersection2);
void GEO_SegmentCircleIntersectionPoint(Shape *S, Shape *C, VECTOR *Intersection1,
                                        VECTOR *Intersection2);
void GEO_LineArcIntersectionPoint(Shape *L, Shape *A, VECTOR *Intersection1, VECTOR *Intersection2);
/* One circle inside the other (by more than 1E-5): a message on standard error, results
 * untouched. Circles that do not cross otherwise: the point of C1 nearest to C2's circle, twice;
 * concentric ones: the points of C1 straight above and below its centre. */
void GEO_CircleCircleIntersectionPoint(Shape *C1, Shape *C2, VECTOR *Intersection1,
                                       VECTOR *Intersection2);

/* Contact: 1 and one contact point when the shapes touch, else 0. The point lies on both
 * shapes: polygons meet along their edges (a polygon inside the other has no contact); for a
 * circle, the point lies on the polygon's edge and in the closed disc (the middle of the
 * crossings on the first edge that meets it, or of the part inside the disc). Two circles: the
 * middle of their common chord, moved into both discs when they do not cross; one inside the
 * other or concentric: the smaller one's centre. */
int GEO_PolygonPolygonContactPoint(Shape *P1, Shape *P2, VECTOR *ContactPoint);
int GEO_PolygonCircleContactPoint(Shape *P, Shape *C, VECTOR *ContactPoint);
int GEO_CircleCircleContactPoint(Shape *C1, Shape *C2, VECTOR *ContactPoint);
/* Rebuilds every edge's virtual intersections of the polygon Source from the polygon Other. */
void GEO_CreateVirtualIntersections(Shape *Source, Shape *Other);

/* Frames and output. */
/* W = V in the frame of the pose M. */
void GEO_InFrame(VECTOR *V, MATRIX *M, VECTOR *W);
/* Inverse = the inverse of the pose (Tx, Ty, angle given by its cosine and sine). */
void GEO_Invert(double Tx, double Ty, double Cosine, double Sine, MATRIX *Inverse);
/* World to screen: x scaled and shifted, y flipped; dest's w unchanged. */
void GEO_WorldPointToX(VECTOR *dest, VECTOR *src, double tx, double ty, double s);
void GEO_PrintVector(VECTOR *V);
void GEO_PrintShape(Shape *S);

#ifdef __cplusplus
}
#endif

#endif
