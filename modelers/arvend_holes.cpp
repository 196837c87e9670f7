/* The axial hole: at the end, at the start or right through the shaft. */
#include "arvend.h"
#include "kernel.h"

void arvendHole(const ArvendForm &form, BODY *shaft, double length) {
    double from = 0;
    double to = 0;
    switch (form.holeCode) {
    case ARVEND_HOLE_END:
        from = length - form.holeDepth;
        to = length;
        break;
    case ARVEND_HOLE_START:
        to = form.holeDepth;
        break;
    case ARVEND_HOLE_THROUGH:
        to = length;
        break;
    default:
        return;
    }
    double r = form.holeDiameter / 2;
    BODY *hole = nullptr;
    outcome result =
        api_solid_cylinder_cone(position(0, 0, from), position(0, 0, to), r, r, r, nullptr, hole);
    result = api_subtract(hole, shaft);
}
