/* Which bodies the mesher can serve.
 *
 * The faceter meshes a body with a deflection of a thousandth of its box diagonal. A feature
 * many thousand times smaller than the body (a torus 1e6 across with a tube 1e-6 thick, a chamfer
 * of 1e-6 on a shaft 1e6 long) falls below every segment the mesher would make, and the scene
 * would come out empty or with holes. So a body is built only when the largest of the sizes that
 * define it is at most MODELER_MAX_PROPORTION times the smallest; otherwise the modeler builds
 * nothing, as for sizes the kernel refuses. The bound keeps a margin of ten below the
 * proportions at which meshes were seen to break. */
#ifndef ROVAK_MODELER_LIMITS_H
#define ROVAK_MODELER_LIMITS_H

#include <vector>

// Largest accepted ratio between the largest and the smallest size of one body.
constexpr double MODELER_MAX_PROPORTION = 1e4;

// Whether a body defined by sizes has proportions the mesher can serve. Sizes that are 0,
// negative or not finite are left out: the kernel refuses such a body, or (a radius of 0) makes
// a point of it, on its own.
bool modelerProportionsServed(const std::vector<double> &sizes);

#endif
