// Reading back a SAT file that a modeler wrote: the bodies it holds, their box and volume.
#ifndef ROVAK_TESTS_SAT_SOLID_H
#define ROVAK_TESTS_SAT_SOLID_H

#include <string>
#include <vector>

#include "kernel.h"

namespace modelertest {

struct Solid {
    bool read = false; // the file was read as SAT text
    int bodies = 0;
    box bounds;        // union of the bodies' boxes
    double volume = 0; // sum of the bodies' volumes
    // For each probe point given to readSolid: whether some body has a vertex there.
    std::vector<bool> vertexAt;
};

// Restores the bodies of the SAT file at path in a modeller span of its own and measures them.
Solid readSolid(const std::string &path, const std::vector<position> &probes = {});

} // namespace modelertest

#endif
