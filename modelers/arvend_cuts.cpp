/* The cut-away views: the shaft loses the material on one side of the plane x = 0 (half kept)
 * and, for two cuts, then on one side of the plane y = 0 (one quarter kept), so the inside
 * shows. */
#include "arvend.h"
#include "kernel.h"

namespace {

// Cuts shaft with a disc through its axis, of the given normal, reaching past it everywhere.
void cutWith(BODY *shaft, double length, double reach, const vector &normal) {
    EDGE *edge = nullptr;
    BODY *disc = nullptr;
    ENTITY_LIST faces;
    outcome result = api_mk_ed_ellipse(position(0, 0, length / 2), normal,
                                       vector(0, 0, 0.6 * reach), 1.0, 0.0, 0.0, edge);
    result = api_make_ewire(1, edge, disc);
    result = api_cover_wires(disc, nullptr, faces);
    result = api_reverse_face(static_cast<FACE *>(faces[0]));
    result = api_boolean(disc, shaft, 2);
}

} // namespace

void arvendCuts(const ArvendForm &form, BODY *shaft, double length) {
    if (form.cutCode <= 1)
        return;
    outcome result = api_initialize_covering();
    box bounds = get_body_box(shaft);
    double reach = (bounds.high() - bounds.low()).len();
    cutWith(shaft, length, reach, vector(1, 0, 0));
    if (form.cutCode == ARVEND_TWO_CUTS)
        cutWith(shaft, length, reach, vector(0, 1, 0));
    result = api_terminate_covering();
}
