/* Motions of shapes: transforms, translations and scaling (see geometry.h). */
#include "geometry.h"

#include "fatal.h"
#include "geometry_internal.h"

#include <math.h>
#include <stdio.h>

/* out = C p; out may be p. */
static void transform_point(MATRIX *C, const VECTOR *p, VECTOR *out) {
    VECTOR moved;
    mx_mult(*C, (double *)*p, moved, 3, 3, 3, 1);
    mxcopy(moved, *out, 3);
}

/* Moves every point of from's list into the point at the same place of to's list. */
static void displace_points(DBL *from, DBL *to, MATRIX *C) {
    DBL *f = from;
    DBL *t = to;
    for (; f != NULL && t != NULL; f = geo_next(from, f), t = geo_next(to, t))
        transform_point(C, (VECTOR *)f->element, (VECTOR *)t->element);
}

static void displace_segment(Shape *S1, Shape *S2, MATRIX *C) {
    transform_point(C, &S1->Start, &S2->Start);
    transform_point(C, &S1->End, &S2->End);
    geo_update_segment(S2);
    displace_points(S1->VirtualIntersections, S2->VirtualIntersections, C);
}

/* Polygon and polyline edges. A polygon's edge ends are the next edge's starts, so each end is
 * taken from the moved start after it (the ring closes on the first edge). */
static void displace_edges(Shape *S1, Shape *S2, MATRIX *C) {
    DBL *from = S1->Edge;
    DBL *to = S2->Edge;
    for (DBL *f = from, *t = to; f != NULL && t != NULL;
         f = geo_next(from, f), t = geo_next(to, t)) {
        transform_point(C, &geo_shape(f)->Start, &geo_shape(t)->Start);
        if (S1->Type == 'L')
            transform_point(C, &geo_shape(f)->End, &geo_shape(t)->End);
    }
    for (DBL *f = from, *t = to; f != NULL && t != NULL;
         f = geo_next(from, f), t = geo_next(to, t)) {
        Shape *Edge = geo_shape(t);
        if (S1->Type == 'P')
            mxcopy(geo_shape(t->next)->Start, Edge->End, 3);
        geo_update_segment(Edge);
        displace_points(geo_shape(f)->VirtualIntersections, Edge->VirtualIntersections, C);
    }
    if (to == NULL) {
        /* A single vertex: it lives in Center. */
        transform_point(C, &S1->Center, &S2->Center);
        geo_box_to_point(S2, &S2->Center);
        return;
    }
    geo_box_to_point(S2, &geo_shape(to)->Start);
    for (DBL *t = to; t != NULL; t = geo_next(to, t))
        geo_widen_box(S2, &geo_shape(t)->End);
}

static void set_circle_box(Shape *S) {
    S->XMin = S->Center[0] - S->Radius;
    S->XMax = S->Center[0] + S->Radius;
    S->YMin = S->Center[1] - S->Radius;
    S->YMax = S->Center[1] + S->Radius;
}

static void set_arc_box(Shape *S) {
    double Box[4];
    GEO_ArcBoundingBox(&S->Center, &S->Start, &S->End, S->Radius, Box);
    S->XMin = Box[0];
    S->XMax = Box[1];
    S->YMin = Box[2];
    S->YMax = Box[3];
}

/* A mirror turns a counter-clockwise arc clockwise; swapping its ends keeps the same points. */
static void swap_arc_ends(Shape *S) {
    VECTOR Start;
    mxcopy(S->Start, Start, 3);
    mxcopy(S->End, S->Start, 3);
    mxcopy(Start, S->End, 3);
}

void GEO_DisplaceShapeIntoShape(Shape *S1, Shape *S2, MATRIX *C) {
    FATAL_ASSERT(S1);
    FATAL_ASSERT(S2);
    FATAL_ASSERT(C);
    FATAL_ASSERT(S1->Type == S2->Type);
    switch (S1->Type) {
    case 'S':
        displace_segment(S1, S2, C);
        break;
    case 'A':
        transform_point(C, &S1->Start, &S2->Start);
        transform_point(C, &S1->End, &S2->End);
        /* A reflection would turn the arc clockwise: its ends swap to keep the same points. */
        if ((*C)[0] * (*C)[4] - (*C)[1] * (*C)[3] < 0)
            swap_arc_ends(S2);
        [[fallthrough]]; /* the centre and the crossings move as for a circle */
    case 'C':
        transform_point(C, &S1->Center, &S2->Center);
        displace_points(S1->VirtualIntersections, S2->VirtualIntersections, C);
        if (S1->Type == 'A')
            set_arc_box(S2);
        else
            set_circle_box(S2);
        break;
    case 'P':
    case 'L':
        displace_edges(S1, S2, C);
        break;
    default:
        break;
    }
}

void GEO_DisplaceShape(Shape *S, MATRIX *C) { GEO_DisplaceShapeIntoShape(S, S, C); }

static void translate_point(VECTOR *p, const VECTOR *T) {
    (*p)[0] += (*T)[0];
    (*p)[1] += (*T)[1];
}

static void translate_box(Shape *S, const VECTOR *T) {
    S->XMin += (*T)[0];
    S->XMax += (*T)[0];
    S->YMin += (*T)[1];
    S->YMax += (*T)[1];
}

/* Moves a segment's ends, box and crossings; the line keeps its direction, so only c changes. */
static void translate_segment(Shape *S, const VECTOR *T) {
    translate_point(&S->Start, T);
    translate_point(&S->End, T);
    translate_box(S, T);
    for (DBL *node = S->VirtualIntersections; node != NULL;
         node = geo_next(S->VirtualIntersections, node))
        translate_point((VECTOR *)node->element, T);
    S->Line[2] -= S->Line[0] * (*T)[0] + S->Line[1] * (*T)[1];
}

void GEO_TranslateShape(Shape *S, VECTOR *T) {
    FATAL_ASSERT(S);
    FATAL_ASSERT(T);
    FATAL_ASSERT((*(T))[2] == (double)0.0);
    switch (S->Type) {
    case 'S':
        translate_segment(S, T);
        break;
    case 'A':
        translate_point(&S->Start, T);
        translate_point(&S->End, T);
        [[fallthrough]];
    case 'C':
        translate_point(&S->Center, T);
        translate_box(S, T);
        break;
    case 'P':
        for (DBL *node = S->Edge; node != NULL; node = geo_next(S->Edge, node))
            translate_segment(geo_shape(node), T);
        if (S->Edge == NULL)
            translate_point(&S->Center, T); /* the single vertex */
        translate_box(S, T);
        break;
    case 'L':
        printf("Translate shape for polylines yet to be implemented...\n");
        break;
    default:
        break;
    }
}

static void scale_point(VECTOR *p, double Sx, double Sy) {
    (*p)[0] *= Sx;
    (*p)[1] *= Sy;
}

static void scale_points(DBL *points, double Sx, double Sy) {
    for (DBL *node = points; node != NULL; node = geo_next(points, node))
        scale_point((VECTOR *)node->element, Sx, Sy);
}

/* The ends and the crossings on the segment follow; line equation, direction and box are
 * recomputed from the new ends. */
static void scale_segment(Shape *S, double Sx, double Sy) {
    scale_point(&S->Start, Sx, Sy);
    scale_point(&S->End, Sx, Sy);
    scale_points(S->VirtualIntersections, Sx, Sy);
    geo_update_segment(S);
}

/* Circles and arcs: the centre, the ends and the crossings follow. The radius follows only a
 * uniform scale (a circle stays a circle only then; a mirror keeps it positive); the box is
 * recomputed in every case from the centre and the kept radius. */
static void scale_round(Shape *S, double Sx, double Sy) {
    scale_point(&S->Center, Sx, Sy);
    scale_points(S->VirtualIntersections, Sx, Sy);
    if (fabs(Sx) == fabs(Sy))
        S->Radius *= fabs(Sx);
    if (S->Type == 'C') {
        set_circle_box(S);
        return;
    }
    scale_point(&S->Start, Sx, Sy);
    scale_point(&S->End, Sx, Sy);
    if ((Sx < 0) != (Sy < 0))
        swap_arc_ends(S);
    set_arc_box(S);
}

void GEO_Scale(Shape *S, double Sx, double Sy) {
    FATAL_ASSERT(S);
    FATAL_ASSERT(S->Type == 'S' || S->Type == 'C' || S->Type == 'A' || S->Type == 'P');
    switch (S->Type) {
    case 'S':
        scale_segment(S, Sx, Sy);
        break;
    case 'A':
    case 'C':
        scale_round(S, Sx, Sy);
        break;
    default: /* 'P' */
        for (DBL *node = S->Edge; node != NULL; node = geo_next(S->Edge, node))
            scale_segment(geo_shape(node), Sx, Sy);
        if (S->Edge == NULL) {
            scale_point(&S->Center, Sx, Sy);
            geo_box_to_point(S, &S->Center);
            break;
        }
        geo_box_to_point(S, &geo_shape(S->Edge)->Start);
        for (DBL *node = S->Edge; node != NULL; node = geo_next(S->Edge, node))
            geo_widen_box(S, &geo_shape(node)->End);
        break;
    }
}
