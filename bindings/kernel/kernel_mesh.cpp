/* The faceter: triangulates a body with OCCT's mesher, numbers its nodes body-wide (a node on an
 * edge or vertex shared by several faces is one node), and reports it to the mesh manager. */
#include "kernel_internal.h"

#include <cmath>
#include <map>
#include <tuple>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Vertex.hxx>
#include <array>

using namespace kernel_detail;

MESH_MANAGER::~MESH_MANAGER() {}
void MESH_MANAGER::begin_mesh_output(ENTITY *) {}
void MESH_MANAGER::announce_counts(int, int, int) {}
logical MESH_MANAGER::need_global_indexed_polygons() { return 0; }
logical MESH_MANAGER::need_normals() { return 0; }
void MESH_MANAGER::start_indexed_polygon(int, int) {}
void MESH_MANAGER::announce_indexed_polynode(int, int, int) {}
void MESH_MANAGER::announce_polynode(int, int, const position &) {}
void MESH_MANAGER::announce_polynode(int, int, const position &, const unit_vector &) {}
void MESH_MANAGER::end_indexed_polygon(int) {}
void MESH_MANAGER::end_mesh_output(ENTITY *) {}
logical GLOBAL_MESH_MANAGER::need_global_indexed_polygons() { return 1; }
void GLOBAL_MESH_MANAGER::announce_global_node(int, VERTEX *, const position &) {}
void GLOBAL_MESH_MANAGER::announce_global_node(int, EDGE *, const position &, double) {}
void GLOBAL_MESH_MANAGER::announce_global_node(int, FACE *, const position &, const par_pos &) {}
int GLOBAL_MESH_MANAGER::max_nodes_per_polygon() { return 3; }

namespace {

enum NodeKind { AT_VERTEX, ON_EDGE, IN_FACE };

struct Node {
    gp_Pnt p;
    NodeKind kind;
    int topo; // index of the vertex, edge or face in the body's maps
    double t; // edge parameter
    par_pos uv;
};

// The triangulated body: nodes numbered from 0 and triangles over them.
struct Mesh {
    std::vector<Node> nodes;
    std::vector<std::array<int, 3>> triangles;
    std::map<std::tuple<int, int, double>, int> shared; // (kind, topology index, parameter)
    TopTools_IndexedMapOfShape vertices, edges, faces;

    int node(std::tuple<int, int, double> key, const Node &n) {
        auto it = shared.find(key);
        if (it != shared.end())
            return it->second;
        nodes.push_back(n);
        shared.emplace(key, int(nodes.size()) - 1);
        return int(nodes.size()) - 1;
    }
};

// Maps the triangulation nodes of face lying on its edges to the body-wide numbers.
void map_edge_nodes(Mesh &m, const TopoDS_Face &face, const Handle(Poly_Triangulation) & tri,
                    const TopLoc_Location &loc, std::vector<int> &local) {
    for (TopExp_Explorer ex(face, TopAbs_EDGE); ex.More(); ex.Next()) {
        const TopoDS_Edge &edge = TopoDS::Edge(ex.Current());
        Handle(Poly_PolygonOnTriangulation) poly =
            BRep_Tool::PolygonOnTriangulation(edge, tri, loc);
        if (poly.IsNull())
            continue;
        TopoDS_Vertex v1, v2;
        TopExp::Vertices(TopoDS::Edge(edge.Oriented(TopAbs_FORWARD)), v1, v2);
        int eidx = m.edges.FindIndex(edge);
        bool degenerate = BRep_Tool::Degenerated(edge);
        int n = poly->NbNodes();
        for (int k = 1; k <= n; ++k) {
            int at = poly->Node(k);
            if (at < 1 || at >= int(local.size()) || local[at] >= 0)
                continue;
            gp_Pnt p = tri->Node(at).Transformed(loc.Transformation());
            double t = poly->HasParameters() ? poly->Parameter(k) : k;
            if (degenerate || k == 1 || k == n) {
                // Ends (and every node of a collapsed edge) are the vertex nearest to them.
                TopoDS_Vertex v = v1;
                if (!v2.IsNull() && (v1.IsNull() || BRep_Tool::Pnt(v2).Distance(p) <
                                                        BRep_Tool::Pnt(v1).Distance(p)))
                    v = v2;
                if (!v.IsNull()) {
                    int vidx = m.vertices.FindIndex(v);
                    local[at] = m.node({AT_VERTEX, vidx, 0.0}, Node{p, AT_VERTEX, vidx, 0, {0, 0}});
                    continue;
                }
            }
            local[at] = m.node({ON_EDGE, eidx, t}, Node{p, ON_EDGE, eidx, t, {0, 0}});
        }
    }
}

void add_face(Mesh &m, const TopoDS_Face &face) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) &tri = BRep_Tool::Triangulation(face, loc);
    if (tri.IsNull())
        return;
    std::vector<int> local(tri->NbNodes() + 1, -1);
    map_edge_nodes(m, face, tri, loc, local);
    int fidx = m.faces.FindIndex(face);
    for (int i = 1; i <= tri->NbNodes(); ++i) {
        if (local[i] >= 0)
            continue;
        par_pos uv{0, 0};
        if (tri->HasUVNodes())
            uv = par_pos{tri->UVNode(i).X(), tri->UVNode(i).Y()};
        m.nodes.push_back(
            Node{tri->Node(i).Transformed(loc.Transformation()), IN_FACE, fidx, 0, uv});
        local[i] = int(m.nodes.size()) - 1;
    }
    bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= tri->NbTriangles(); ++i) {
        int a, b, c;
        tri->Triangle(i).Get(a, b, c);
        if (reversed)
            std::swap(b, c);
        std::array<int, 3> t{local[a], local[b], local[c]};
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue; // collapsed at a pole or apex
        m.triangles.push_back(t);
    }
}

bool triangulate(const TopoDS_Shape &shape, Mesh &m) {
    Bnd_Box b;
    BRepBndLib::Add(shape, b);
    if (b.IsVoid())
        return false;
    double diag = b.CornerMin().Distance(b.CornerMax());
    const KernelState &s = state();
    BRepTools::Clean(shape);
    BRepMesh_IncrementalMesh mesher(shape, s.surface_tol * diag, Standard_False,
                                    s.normal_tol * M_PI / 180.0, Standard_False);
    if (!mesher.IsDone())
        return false;
    TopExp::MapShapes(shape, TopAbs_VERTEX, m.vertices);
    TopExp::MapShapes(shape, TopAbs_EDGE, m.edges);
    TopExp::MapShapes(shape, TopAbs_FACE, m.faces);
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next())
        add_face(m, TopoDS::Face(f.Current()));
    return true;
}

// Entities for the topology that nodes lie on, made once per faceting.
struct NodeEntities {
    BODY *body;
    const Mesh &m;
    std::map<std::pair<int, int>, ENTITY *> made;

    template <class T> T *get(int kind, int idx, const TopTools_IndexedMapOfShape &map) {
        ENTITY *&e = made[{kind, idx}];
        if (!e)
            e = make_sub<T>(body, map.FindKey(idx));
        return static_cast<T *>(e);
    }
};

void report_global(GLOBAL_MESH_MANAGER *g, BODY *body, const Mesh &m) {
    NodeEntities ents{body, m, {}};
    for (std::size_t i = 0; i < m.nodes.size(); ++i) {
        const Node &n = m.nodes[i];
        position p = to_position(n.p);
        if (n.kind == AT_VERTEX)
            g->announce_global_node(int(i), ents.get<VERTEX>(AT_VERTEX, n.topo, m.vertices), p);
        else if (n.kind == ON_EDGE)
            g->announce_global_node(int(i), ents.get<EDGE>(ON_EDGE, n.topo, m.edges), p, n.t);
        else
            g->announce_global_node(int(i), ents.get<FACE>(IN_FACE, n.topo, m.faces), p, n.uv);
    }
    for (std::size_t ip = 0; ip < m.triangles.size(); ++ip) {
        g->start_indexed_polygon(int(ip), 3);
        for (int k = 0; k < 3; ++k)
            g->announce_indexed_polynode(int(ip), k, m.triangles[ip][k]);
        g->end_indexed_polygon(int(ip));
    }
}

void report_plain(MESH_MANAGER *mm, const Mesh &m) {
    bool normals = mm->need_normals() != 0;
    for (std::size_t ip = 0; ip < m.triangles.size(); ++ip) {
        const auto &t = m.triangles[ip];
        gp_Vec n = gp_Vec(m.nodes[t[0]].p, m.nodes[t[1]].p)
                       .Crossed(gp_Vec(m.nodes[t[0]].p, m.nodes[t[2]].p));
        unit_vector normal = normalise(vector(n.X(), n.Y(), n.Z()));
        mm->start_indexed_polygon(int(ip), 3);
        for (int k = 0; k < 3; ++k) {
            position p = to_position(m.nodes[t[k]].p);
            if (normals)
                mm->announce_polynode(int(ip), k, p, normal);
            else
                mm->announce_polynode(int(ip), k, p);
        }
        mm->end_indexed_polygon(int(ip));
    }
}

} // namespace

outcome api_set_mesh_manager(MESH_MANAGER *manager) {
    return guarded("api_set_mesh_manager", [&] {
        state().manager = manager;
        return outcome();
    });
}

outcome api_get_default_refinement(REFINEMENT *&refinement, void *) {
    refinement = nullptr;
    return guarded("api_get_default_refinement", [&] {
        refinement = new REFINEMENT();
        refinement->surface_tol = state().surface_tol;
        refinement->normal_tol = state().normal_tol;
        return outcome();
    });
}

outcome api_get_default_refinement(REFINEMENT **refinement, void *options) {
    if (!refinement)
        return fail(KERN_BAD_ARGUMENT, "api_get_default_refinement: no pointer");
    return api_get_default_refinement(*refinement, options);
}

outcome api_set_default_refinement(REFINEMENT *refinement) {
    return guarded("api_set_default_refinement", [&] {
        if (!registered(refinement) || !is_REFINEMENT(refinement))
            return fail(KERN_NULL_ENTITY, "api_set_default_refinement: not a refinement");
        double st = refinement->surface_tol, nt = refinement->normal_tol;
        // Finer than this only multiplies triangles nobody can see.
        if (!is_finite(st) || st < 1e-5 || st > 1 || !is_finite(nt) || nt < 1 || nt > 90)
            return fail(KERN_BAD_ARGUMENT, "api_set_default_refinement: values out of range");
        state().surface_tol = st;
        state().normal_tol = nt;
        return outcome();
    });
}

outcome api_facet_entity(ENTITY *entity) {
    return guarded("api_facet_entity", [&] {
        BODY *body = live_body(entity);
        if (!body)
            return fail(KERN_NULL_ENTITY, "api_facet_entity: not a body");
        MESH_MANAGER *mm = state().manager;
        if (!mm)
            return fail(KERN_NO_MESH_MANAGER, "api_facet_entity: no mesh manager");
        Mesh m;
        if (shape_of(body).IsNull() || !triangulate(shape_of(body), m))
            return fail(KERN_OPERATION_FAILED, "api_facet_entity: cannot triangulate");
        // Everything is computed before the first callback, so a manager may do as it likes.
        mm->begin_mesh_output(body);
        mm->announce_counts(int(m.triangles.size()), int(m.nodes.size()),
                            int(3 * m.triangles.size()));
        GLOBAL_MESH_MANAGER *g = dynamic_cast<GLOBAL_MESH_MANAGER *>(mm);
        if (g && g->need_global_indexed_polygons())
            report_global(g, body, m);
        else
            report_plain(mm, m);
        mm->end_mesh_output(body);
        return outcome();
    });
}
