/* Text dumps of points and shapes on standard output (see geometry.h). */
#include "geometry.h"

#include "fatal.h"
#include "geometry_internal.h"

#include <stdio.h>

void GEO_PrintVector(VECTOR *V) {
    FATAL_ASSERT(V);
    printf("VECTOR %p %5.2f %5.2f %5.2f\n", (void *)V, (*V)[0], (*V)[1], (*V)[2]);
}

/* A polygon's or polyline's vertices: the first one alone, or every edge as a shape. */
static void print_edges(Shape *S) {
    if (S->Edge == NULL) {
        printf("Start ");
        GEO_PrintVector(&S->Center);
        return;
    }
    for (DBL *node = S->Edge; node != NULL; node = geo_next(S->Edge, node))
        GEO_PrintShape(geo_shape(node));
}

void GEO_PrintShape(Shape *S) {
    FATAL_ASSERT(S);
    switch (S->Type) {
    case 'A':
        printf("GEO_ARC %p ", (void *)S);
        printf(" Center ");
        GEO_PrintVector(&S->Center);
        printf(" Radius %5.2f\n", S->Radius);
        printf(" Start ");
        GEO_PrintVector(&S->Start);
        printf(" End ");
        GEO_PrintVector(&S->End);
        break;
    case 'C':
        printf("GEO_CIRCLE %p\n", (void *)S);
        printf(" Center ");
        GEO_PrintVector(&S->Center);
        printf(" Radius %5.2f\n", S->Radius);
        break;
    case 'L':
        printf("GEO_POLYLINE %p\n", (void *)S);
        print_edges(S);
        break;
    case 'P':
        printf("GEO_POLYGON %p\n", (void *)S);
        print_edges(S);
        break;
    case 'S':
        printf("GEO_SEGMENT %p\n", (void *)S);
        printf(" Start ");
        GEO_PrintVector(&S->Start);
        printf(" End ");
        GEO_PrintVector(&S->End);
        break;
    default:
        printf("%s, line %d: Unknown shape code in %d\n", "geometry", __LINE__, S->Type);
        return;
    }
    printf("Bounding Box: %5.2f %5.2f %5.2f %5.2f\n", S->XMin, S->XMax, S->YMin, S->YMax);
    printf("Virtual Intersections:\n");
    for (DBL *node = S->VirtualIntersections; node != NULL;
         node = geo_next(S->VirtualIntersections, node))
        GEO_PrintVector((VECTOR *)node->element);
}
