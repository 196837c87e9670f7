/* Bodies for the export benchmarks. */
#include "kernel_shapes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct Section {
    double length, rStart, rEnd;
    int blendStart, blendEnd; // 1 chamfer, 2 fillet, 0 none
    double sizeStart, sizeEnd;
};

const Section kShaft[6] = {
    {10, 10, 10, 1, 0, 1.0, 0}, {15, 15, 15, 2, 0, 1.0, 0}, {20, 20, 20, 2, 1, 1.5, 1.0},
    {10, 18, 15, 0, 0, 0, 0},   {25, 15, 15, 0, 2, 0, 1.0}, {10, 10, 10, 0, 1, 0, 1.0},
};

void treat(BODY *shaft, double r, double z, int kind, double size, ENTITY_LIST &fix) {
    if (kind != 1 && kind != 2)
        return;
    VERTEX *v = nullptr;
    ENTITY_LIST edges;
    outcome o = api_find_vertex(shaft, position(r, 0, z), v);
    o = api_q_edges_around_vertex(v, edges);
    o = kind == 1 ? api_chamfer_edges(edges, size, -1.0) : api_blend_edges(edges, size);
    fix.add(edges[0]);
}

void cut(BODY *shaft, double length, const vector &normal) {
    box b = get_body_box(shaft);
    double d = (b.high() - b.low()).len();
    EDGE *edge = nullptr;
    BODY *disc = nullptr;
    ENTITY_LIST faces;
    outcome o = api_mk_ed_ellipse(position(0, 0, length / 2), normal, vector(0, 0, 0.6 * d), 1.0,
                                  0.0, 0.0, edge);
    o = api_make_ewire(1, &edge, disc);
    o = api_cover_wires(disc, nullptr, faces);
    o = api_reverse_face(static_cast<FACE *>(faces[0]));
    o = api_boolean(disc, shaft, 2);
}

} // namespace

BODY *benchBox() {
    BODY *b = nullptr;
    outcome o = api_make_cuboid(40, 20, 10, b);
    return b;
}

BODY *benchTorus() {
    BODY *b = nullptr;
    outcome o = api_make_torus(10, 2, b);
    return b;
}

BODY *benchSphere() {
    BODY *b = nullptr;
    outcome o = api_make_sphere(5, b);
    return b;
}

BODY *benchShaft() {
    BODY *body[6] = {};
    double z = 0;
    outcome o;
    for (int i = 0; i < 6; ++i) {
        const Section &s = kShaft[i];
        o = api_solid_cylinder_cone(position(0, 0, z), position(0, 0, z + s.length), s.rStart,
                                    s.rStart, s.rEnd, nullptr, body[i]);
        z += s.length;
        if (i > 0)
            o = api_unite(body[i - 1], body[i]);
    }
    BODY *shaft = body[5];
    double length = z;
    ENTITY_LIST fix;
    z = 0;
    for (const Section &s : kShaft) {
        treat(shaft, s.rStart, z, s.blendStart, s.sizeStart, fix);
        z += s.length;
        treat(shaft, s.rEnd, z, s.blendEnd, s.sizeEnd, fix);
    }
    o = api_fix_blends(fix);
    BODY *hole = nullptr;
    o = api_solid_cylinder_cone(position(0, 0, 0), position(0, 0, length), 4, 4, 4, nullptr, hole);
    o = api_subtract(hole, shaft);
    cut(shaft, length, vector(1, 0, 0));
    cut(shaft, length, vector(0, 1, 0));
    return shaft;
}

BODY *benchBody(const std::string &name) {
    if (name == "box")
        return benchBox();
    if (name == "torus")
        return benchTorus();
    if (name == "sphere")
        return benchSphere();
    if (name == "shaft")
        return benchShaft();
    return nullptr;
}

long sceneTriangles(const std::string &wrlPath) {
    FILE *f = std::fopen(wrlPath.c_str(), "r");
    if (!f)
        return -1;
    long n = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, f))
        if (std::strstr(line, "-1,"))
            ++n;
    std::fclose(f);
    return n;
}
