/* Chamfers and fillets of the section ends, found by the vertex that each circular section edge
 * carries at (radius, 0, z), recorded one by one and built by a single fix. */
#include "arvend.h"
#include "kernel.h"

namespace {

// Records the treatment of the section end at radius r and height z; adds one of its edges to fix.
void treatEnd(BODY *shaft, double r, double z, double kind, double size, ENTITY_LIST &fix) {
    // Only the exact codes select a treatment (1.5 is none).
    if (kind != ARVEND_CHAMFER && kind != ARVEND_FILLET)
        return;
    VERTEX *vertex = nullptr;
    ENTITY_LIST edges;
    outcome result = api_find_vertex(shaft, position(r, 0, z), vertex);
    result = api_q_edges_around_vertex(vertex, edges);
    if (kind == ARVEND_CHAMFER)
        result = api_chamfer_edges(edges, size, -1.0);
    else
        result = api_blend_edges(edges, size);
    fix.add(edges[0]);
    edges.clear();
}

} // namespace

void arvendBlends(const ArvendForm &form, BODY *shaft) {
    outcome result = api_initialize_blending();
    ENTITY_LIST fix;
    double z = 0;
    for (int i = 0; i < form.sections; ++i) {
        treatEnd(shaft, form.startRadius.value[i], z, form.startBlend.value[i],
                 form.startSize.value[i], fix);
        z += form.length.value[i];
        treatEnd(shaft, form.endRadius.value[i], z, form.endBlend.value[i], form.endSize.value[i],
                 fix);
    }
    result = api_fix_blends(fix);
    result = api_terminate_blending();
}
