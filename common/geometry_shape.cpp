/* Points and shapes: construction, vertices, copy and release (see geometry.h). */
#include "geometry.h"

#include "fatal.h"
#include "geometry_internal.h"
#include "mempool.h"

#include <math.h>
#include <string.h>

#define VECTORS_PER_CHUNK 500
#define SHAPES_PER_CHUNK 500

static MemPool vector_pool = MEM_POOL_INIT("Vector");
static MemPool shape_pool = MEM_POOL_INIT("Shape");

VECTOR *GEO_CreateVector(double x, double y, double z) {
    VECTOR *V = (VECTOR *)MEM_AllocBlock(sizeof(VECTOR), &vector_pool, VECTORS_PER_CHUNK);
    if (V != NULL)
        geo_set(V, x, y, z);
    return V;
}

VECTOR *GEO_CopyVector(VECTOR *V) {
    FATAL_ASSERT(V);
    return GEO_CreateVector((*V)[0], (*V)[1], (*V)[2]);
}

void GEO_FreeVector(VECTOR *V) {
    FATAL_ASSERT(V != ((void *)0));
    MEM_FreeBlock(V, &vector_pool);
}

/* A cleared shape of the given type, or null when the pool is exhausted. */
static Shape *new_shape(unsigned char type) {
    Shape *New = (Shape *)MEM_AllocBlock(sizeof(Shape), &shape_pool, SHAPES_PER_CHUNK);
    if (New != NULL) {
        memset(New, 0, sizeof(*New));
        New->Type = type;
    }
    return New;
}

Shape *GEO_CreateGenericShape(void) { return new_shape('G'); }

void geo_update_segment(Shape *S) {
    double dx = S->End[0] - S->Start[0];
    double dy = S->End[1] - S->Start[1];
    double d2 = dx * dx + dy * dy;
    double d = d2 > 0 ? sqrt(d2) : 1;
    geo_set(&S->Line, dy / d, -dx / d, -(S->Start[0] * S->End[1] - S->End[0] * S->Start[1]) / d);
    geo_set(&S->Vector, dx, dy, 1);
    S->XMin = fmin(S->Start[0], S->End[0]);
    S->XMax = fmax(S->Start[0], S->End[0]);
    S->YMin = fmin(S->Start[1], S->End[1]);
    S->YMax = fmax(S->Start[1], S->End[1]);
}

void geo_box_to_point(Shape *S, const VECTOR *v) {
    S->XMin = S->XMax = (*v)[0];
    S->YMin = S->YMax = (*v)[1];
}

void geo_widen_box(Shape *S, const VECTOR *v) {
    S->XMin = fmin(S->XMin, (*v)[0]);
    S->XMax = fmax(S->XMax, (*v)[0]);
    S->YMin = fmin(S->YMin, (*v)[1]);
    S->YMax = fmax(S->YMax, (*v)[1]);
}

Shape *GEO_CreateSegment(VECTOR *Start, VECTOR *End) {
    FATAL_ASSERT(Start);
    FATAL_ASSERT(End);
    Shape *New = new_shape('S');
    FATAL_ASSERT(New);
    mxcopy(*Start, New->Start, 3);
    mxcopy(*End, New->End, 3);
    geo_update_segment(New);
    return New;
}

Shape *GEO_CreateCircle(VECTOR *Center, double Radius) {
    FATAL_ASSERT(Center);
    FATAL_ASSERT(Radius > 1E-5);
    Shape *New = new_shape('C');
    FATAL_ASSERT(New);
    mxcopy(*Center, New->Center, 3);
    New->Radius = Radius;
    New->XMin = (*Center)[0] - Radius;
    New->XMax = (*Center)[0] + Radius;
    New->YMin = (*Center)[1] - Radius;
    New->YMax = (*Center)[1] + Radius;
    return New;
}

Shape *GEO_CreateArc(VECTOR *Center, double Radius, VECTOR *Start, VECTOR *End) {
    FATAL_ASSERT(Center);
    FATAL_ASSERT(Start);
    FATAL_ASSERT(End);
    FATAL_ASSERT(Radius > 1E-5);
    Shape *New = new_shape('A');
    FATAL_ASSERT(New);
    mxcopy(*Center, New->Center, 3);
    mxcopy(*Start, New->Start, 3);
    mxcopy(*End, New->End, 3);
    New->Radius = Radius;
    double Box[4];
    GEO_ArcBoundingBox(Center, Start, End, Radius, Box);
    New->XMin = Box[0];
    New->XMax = Box[1];
    New->YMin = Box[2];
    New->YMax = Box[3];
    return New;
}

/* Polygons and polylines start alike: no edges, the first vertex in Center. */
static Shape *new_vertex_chain(unsigned char type, VECTOR *InitialVertex) {
    FATAL_ASSERT(InitialVertex);
    Shape *New = new_shape(type);
    FATAL_ASSERT(New);
    mxcopy(*InitialVertex, New->Center, 3);
    geo_box_to_point(New, InitialVertex);
    return New;
}

Shape *GEO_CreatePolygon(VECTOR *InitialVertex) { return new_vertex_chain('P', InitialVertex); }

Shape *GEO_CreatePolyline(VECTOR *InitialVertex) { return new_vertex_chain('L', InitialVertex); }

/* A vertex that repeats the last one (same object, or both coordinates within 1E-5) adds no
 * edge. */
static int same_vertex(VECTOR *Last, VECTOR *Vertex) {
    return Last == Vertex || (fabs((*Last)[0] - (*Vertex)[0]) < GEO_EPSILON &&
                              fabs((*Last)[1] - (*Vertex)[1]) < GEO_EPSILON);
}

void GEO_AddVertexToPolygon(Shape *Polygon, VECTOR *Vertex) {
    FATAL_ASSERT(Polygon);
    FATAL_ASSERT(Vertex);
    DBL *closing = Polygon->Edge ? Polygon->Edge->previous : NULL;
    VECTOR *Last = closing ? &geo_shape(closing)->Start : &Polygon->Center;
    if (same_vertex(Last, Vertex))
        return;
    if (closing == NULL) {
        DBL *head = DBL_AddBefore(NULL, GEO_CreateSegment(&Polygon->Center, Vertex));
        DBL_AddAfter(head, GEO_CreateSegment(Vertex, &Polygon->Center));
        DBL_Close(head);
        Polygon->Edge = head;
    } else {
        /* The new edge goes before the closing edge, which then starts at the new vertex. */
        Shape *Closing = geo_shape(closing);
        DBL_AddBefore(closing, GEO_CreateSegment(&Closing->Start, Vertex));
        mxcopy(*Vertex, Closing->Start, 3);
        geo_update_segment(Closing);
    }
    geo_widen_box(Polygon, Vertex);
}

void GEO_AddVertexToPolyline(Shape *Polyline, VECTOR *Vertex) {
    FATAL_ASSERT(Polyline);
    FATAL_ASSERT(Vertex);
    DBL *last = DBL_Tail(Polyline->Edge);
    VECTOR *Last = last ? &geo_shape(last)->End : &Polyline->Center;
    if (same_vertex(Last, Vertex))
        return;
    Shape *Edge = GEO_CreateSegment(Last, Vertex);
    if (last == NULL)
        Polyline->Edge = DBL_AddBefore(NULL, Edge);
    else
        DBL_AddAfter(last, Edge);
    geo_widen_box(Polyline, Vertex);
}

DBL *geo_copy_points(DBL *points) {
    DBL *head = NULL;
    DBL *tail = NULL;
    for (DBL *node = points; node != NULL; node = geo_next(points, node)) {
        VECTOR *Copy = GEO_CopyVector((VECTOR *)node->element);
        FATAL_ASSERT(Copy);
        tail = DBL_AddAfter(tail, Copy);
        if (head == NULL)
            head = tail;
    }
    return head;
}

static void free_point(void *point) { GEO_FreeVector((VECTOR *)point); }

void geo_free_points(DBL *points) { DBL_Free(points, free_point); }

/* Rebuilds a polygon from its edges' starts, a polyline from its first start and every end. */
static Shape *copy_vertex_chain(Shape *S) {
    DBL *edges = S->Edge;
    Shape *New = new_vertex_chain(S->Type, edges ? &geo_shape(edges)->Start : &S->Center);
    for (DBL *node = edges; node != NULL; node = geo_next(edges, node)) {
        if (S->Type == 'P' && node != edges)
            GEO_AddVertexToPolygon(New, &geo_shape(node)->Start);
        else if (S->Type == 'L')
            GEO_AddVertexToPolyline(New, &geo_shape(node)->End);
    }
    /* Each edge's crossings go to the matching edge of the copy. */
    DBL *to = New->Edge;
    for (DBL *from = edges; from != NULL && to != NULL;
         from = geo_next(edges, from), to = geo_next(New->Edge, to))
        geo_shape(to)->VirtualIntersections =
            geo_copy_points(geo_shape(from)->VirtualIntersections);
    return New;
}

Shape *GEO_CopyShape(Shape *S) {
    FATAL_ASSERT(S);
    Shape *New = NULL;
    switch (S->Type) {
    case 'S':
        New = GEO_CreateSegment(&S->Start, &S->End);
        break;
    case 'C':
        New = GEO_CreateCircle(&S->Center, S->Radius);
        break;
    case 'A':
        New = GEO_CreateArc(&S->Center, S->Radius, &S->Start, &S->End);
        break;
    case 'P':
    case 'L':
        return copy_vertex_chain(S);
    default:
        return NULL;
    }
    New->VirtualIntersections = geo_copy_points(S->VirtualIntersections);
    return New;
}

static void free_edge(void *edge) { GEO_FreeShape((Shape *)edge); }

void GEO_FreeShape(Shape *S) {
    FATAL_ASSERT(S != ((void *)0));
    if (S->Type == 'P' || S->Type == 'L')
        DBL_Free(S->Edge, free_edge);
    geo_free_points(S->VirtualIntersections);
    MEM_FreeBlock(S, &shape_pool);
}
