/* The proportion rule of the bodies the modelers build. */
#include "modeler_limits.h"

#include <cmath>

bool modelerProportionsServed(const std::vector<double> &sizes) {
    double smallest = 0, largest = 0;
    for (double s : sizes) {
        if (!std::isfinite(s) || s <= 0)
            continue;
        if (smallest == 0 || s < smallest)
            smallest = s;
        if (s > largest)
            largest = s;
    }
    return smallest == 0 || largest <= MODELER_MAX_PROPORTION * smallest;
}
