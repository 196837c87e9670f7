/* The bodies the export benchmarks use, built with the modelers' sequence of kernel calls. */
#ifndef ROVAK_BENCH_KERNEL_SHAPES_H
#define ROVAK_BENCH_KERNEL_SHAPES_H

#include <string>

#include "kernel.h"

// A 40 x 20 x 10 box.
BODY *benchBox();
// A torus of radii 10 and 2.
BODY *benchTorus();
// A six-section shaft with chamfers and fillets, a through hole and two cuts.
BODY *benchShaft();
// Builds the named body ("box", "torus" or "shaft"); null for another name.
BODY *benchBody(const std::string &name);
// Number of triangles in a scene file.
long sceneTriangles(const std::string &wrlPath);

#endif
