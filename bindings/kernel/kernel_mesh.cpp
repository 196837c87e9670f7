/* The faceter: triangulates a body with OCCT's mesher, numbers its nodes body-wide (a node on an
 * edge or vertex shared by several faces is one node), and reports it to the mesh manager. */
#include "kernel_internal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Geom_RectangularTrimmedSurface.hxx>
#include <Geom_SphericalSurface.hxx>
#include <Geom_ToroidalSurface.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressScope.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Precision.hxx>
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

// The places a triangulation node can stand for: a vertex of the body, the k-th point of an
// edge's discretisation, or the i-th node inside one face. Faces that share an edge share its
// discretisation, so a place names the same point in every face that has it; a node that two
// places claim in one face (coinciding vertices, say) joins them into one.
class Places {
  public:
    int id(NodeKind kind, int topo, int k, const Node &n) {
        auto [it, made] = ids_.emplace(std::make_tuple(int(kind), topo, k), int(parent_.size()));
        if (made) {
            parent_.push_back(int(parent_.size()));
            nodes_.push_back(n);
        }
        return it->second;
    }
    int find(int a) {
        while (parent_[a] != a)
            a = parent_[a] = parent_[parent_[a]];
        return a;
    }
    // Joins two places; the one of the lower kind (vertex before edge before face) stands for
    // both, so the node is announced on the most specific topology.
    void unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b)
            return;
        if (std::make_pair(nodes_[b].kind, b) < std::make_pair(nodes_[a].kind, a))
            std::swap(a, b);
        parent_[b] = a;
    }
    const Node &node(int a) const { return nodes_[a]; }
    int size() const { return int(parent_.size()); }

  private:
    std::map<std::tuple<int, int, int>, int> ids_;
    std::vector<int> parent_;
    std::vector<Node> nodes_;
};

// The triangulated body: nodes numbered from 0 and triangles over them.
struct Mesh {
    std::vector<Node> nodes;
    std::vector<std::array<int, 3>> triangles;
    Places places;
    std::vector<std::array<int, 3>> corners; // triangles over places, before numbering
    TopTools_IndexedMapOfShape vertices, edges, faces;
    bool incomplete = false; // a face or an edge of a face has no triangulation
};

// Gives the place of node `at` of a face's triangulation; a node already placed joins both.
void claim(Mesh &m, std::vector<int> &local, int at, int place) {
    if (local[at] < 0)
        local[at] = place;
    else
        m.places.unite(local[at], place);
}

// Places the triangulation nodes of face that lie on its edges: the ends of each edge's
// discretisation are its vertices, the points between them the edge's own k-th points. The
// polygon may run against the edge's direction; its parameters tell, so k counts from the edge's
// first vertex whichever face the polygon belongs to.
void place_edge_nodes(Mesh &m, const TopoDS_Face &face, const Handle(Poly_Triangulation) & tri,
                      const TopLoc_Location &loc, std::vector<int> &local) {
    for (TopExp_Explorer ex(face, TopAbs_EDGE); ex.More(); ex.Next()) {
        const TopoDS_Edge &edge = TopoDS::Edge(ex.Current());
        Handle(Poly_PolygonOnTriangulation) poly =
            BRep_Tool::PolygonOnTriangulation(edge, tri, loc);
        if (poly.IsNull()) {
            m.incomplete = true; // the mesher gave up on this edge
            continue;
        }
        TopoDS_Vertex first, last;
        TopExp::Vertices(TopoDS::Edge(edge.Oriented(TopAbs_FORWARD)), first, last);
        int eidx = m.edges.FindIndex(edge);
        bool degenerate = BRep_Tool::Degenerated(edge);
        int n = poly->NbNodes();
        bool backwards = poly->HasParameters() && n > 1 && poly->Parameter(1) > poly->Parameter(n);
        for (int k = 1; k <= n; ++k) {
            int at = poly->Node(k);
            if (at < 1 || at >= int(local.size()))
                continue;
            int along = backwards ? n + 1 - k : k;
            gp_Pnt p = tri->Node(at).Transformed(loc.Transformation());
            double t = poly->HasParameters() ? poly->Parameter(k) : k;
            TopoDS_Vertex v;
            if (degenerate || along == 1)
                v = first.IsNull() ? last : first;
            else if (along == n)
                v = last.IsNull() ? first : last;
            int place;
            if (!v.IsNull()) {
                int vidx = m.vertices.FindIndex(v);
                place = m.places.id(AT_VERTEX, vidx, 0,
                                    Node{BRep_Tool::Pnt(v), AT_VERTEX, vidx, 0, {0, 0}});
            } else {
                place = m.places.id(ON_EDGE, eidx, along, Node{p, ON_EDGE, eidx, t, {0, 0}});
            }
            claim(m, local, at, place);
        }
    }
}

void add_face(Mesh &m, const TopoDS_Face &face) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) &tri = BRep_Tool::Triangulation(face, loc);
    if (tri.IsNull()) {
        m.incomplete = true; // the mesher gave up on this face
        return;
    }
    std::vector<int> local(tri->NbNodes() + 1, -1);
    place_edge_nodes(m, face, tri, loc, local);
    int fidx = m.faces.FindIndex(face);
    for (int i = 1; i <= tri->NbNodes(); ++i) {
        if (local[i] >= 0)
            continue;
        par_pos uv{0, 0};
        if (tri->HasUVNodes())
            uv = par_pos{tri->UVNode(i).X(), tri->UVNode(i).Y()};
        local[i] =
            m.places.id(IN_FACE, fidx, i,
                        Node{tri->Node(i).Transformed(loc.Transformation()), IN_FACE, fidx, 0, uv});
    }
    bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= tri->NbTriangles(); ++i) {
        int a, b, c;
        tri->Triangle(i).Get(a, b, c);
        if (std::min({a, b, c}) < 1 || std::max({a, b, c}) > tri->NbNodes())
            continue;
        if (reversed)
            std::swap(b, c);
        m.corners.push_back({local[a], local[b], local[c]});
    }
}

// Numbers the places that triangles use, in the order they were first placed, and turns the
// triangles over places into triangles over node numbers. Triangles that collapse (at a pole, an
// apex, or where coinciding vertices were joined) are dropped.
void number_nodes(Mesh &m) {
    std::vector<int> number(m.places.size(), -1);
    for (auto &c : m.corners)
        for (int &p : c)
            p = m.places.find(p);
    for (const auto &c : m.corners)
        for (int p : c)
            number[p] = 0;
    for (int p = 0; p < m.places.size(); ++p) {
        if (number[p] < 0)
            continue;
        number[p] = int(m.nodes.size());
        m.nodes.push_back(m.places.node(p));
    }
    for (const auto &c : m.corners) {
        std::array<int, 3> t{number[c[0]], number[c[1]], number[c[2]]};
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        m.triangles.push_back(t);
    }
    m.corners.clear();
}

// Stops the mesher once the time given to one body has run out: a body whose geometry is sound
// but absurd (read from a damaged file, say) must not keep the converter busy for ever.
class MeshDeadline : public Message_ProgressIndicator {
  public:
    explicit MeshDeadline(double seconds)
        : until_(std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(seconds))) {}
    Standard_Boolean UserBreak() override { return std::chrono::steady_clock::now() > until_; }

  protected:
    void Show(const Message_ProgressScope &, const Standard_Boolean) override {}

  private:
    std::chrono::steady_clock::time_point until_;
};

// Time the mesher is given for one body; our own bodies take milliseconds.
constexpr double kMeshSeconds = 30;

// Whole tori and spheres are meshed as grids along their parameter lines, much faster than the
// general mesher, whatever the refinement asks: neighbouring grid lines at most kGridStep apart
// (64 segments a turn) and at most as far apart as keeps each chord within the deflection of
// its circle, with at most kGridMaxSegments a turn.
constexpr double kGridStep = 2 * M_PI / 64;
constexpr int kGridMaxSegments = 1024;

// Segments a whole turn of radius r needs: steps of at most angle, chords at most deflection
// from the circle.
int turn_segments(double r, double deflection, double angle) {
    double step = std::min(angle, kGridStep);
    if (r > deflection)
        step = std::min(step, 2 * std::acos(1 - deflection / r));
    double n = std::ceil(2 * M_PI / step - 1e-9);
    return int(std::clamp(n, 8.0, double(kGridMaxSegments)));
}

// The one face of shape, or a null face when it has none or several.
TopoDS_Face only_face(const TopoDS_Shape &shape) {
    TopExp_Explorer fx(shape, TopAbs_FACE);
    if (!fx.More())
        return TopoDS_Face();
    TopoDS_Face face = TopoDS::Face(fx.Current());
    fx.Next();
    return fx.More() ? TopoDS_Face() : face;
}

bool whole_turn(double from, double to) { return std::abs(to - from - 2 * M_PI) < 1e-9; }

// A grid of nu x nv parameter steps over face's surface s, wrapping in u, and in v too unless the
// v ends are poles (a sphere): then each pole is one node. Triangles wind with the surface's
// normal, turned over for a reversed face.
void add_grid(Mesh &m, const TopoDS_Face &face, const Handle(Geom_Surface) & s,
              const gp_Trsf &to_body, double v0, double v1, int nu, int nv, bool poles) {
    int fidx = m.faces.FindIndex(face);
    double du = 2 * M_PI / nu, dv = (v1 - v0) / nv;
    auto place = [&](int k, double u, double v) {
        return m.places.id(IN_FACE, fidx, k,
                           Node{s->Value(u, v).Transformed(to_body), IN_FACE, fidx, 0, {u, v}});
    };
    // Rows of nodes along u; a pole row is one node repeated.
    int rows = poles ? nv + 1 : nv;
    std::vector<std::vector<int>> row(rows, std::vector<int>(nu));
    for (int j = 0; j < rows; ++j) {
        bool pole = poles && (j == 0 || j == nv);
        for (int i = 0; i < nu; ++i)
            row[j][i] = pole && i > 0 ? row[j][0] : place(j * nu + i, i * du, v0 + j * dv);
    }
    bool flip = face.Orientation() == TopAbs_REVERSED;
    auto triangle = [&](int a, int b, int c) {
        if (flip)
            std::swap(b, c);
        m.corners.push_back({a, b, c});
    };
    for (int j = 0; j < nv; ++j) {
        const std::vector<int> &lo = row[j], &hi = row[(j + 1) % rows];
        for (int i = 0; i < nu; ++i) {
            int a = lo[i], b = lo[(i + 1) % nu], c = hi[(i + 1) % nu], d = hi[i];
            triangle(a, b, c); // a collapsed one at a pole is dropped when the nodes are numbered
            triangle(a, c, d);
        }
    }
}

// Meshes shape as a grid when it is one whole torus or sphere face whose tube or radius is not
// thinner than the deflection (such a body is left to the general mesher, which refuses what it
// cannot close). False when the shape is no such body.
bool grid_surface(const TopoDS_Shape &shape, double deflection, double angle, Mesh &m) {
    TopoDS_Face face = only_face(shape);
    if (face.IsNull())
        return false;
    TopLoc_Location loc;
    Handle(Geom_Surface) s = BRep_Tool::Surface(face, loc);
    if (auto trimmed = Handle(Geom_RectangularTrimmedSurface)::DownCast(s))
        s = trimmed->BasisSurface();
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    if (!whole_turn(u0, u1) || std::abs(u0) > 1e-9)
        return false;
    gp_Trsf to_body = loc.Transformation();
    bool outward = true;
    if (auto torus = Handle(Geom_ToroidalSurface)::DownCast(s)) {
        double big = torus->MajorRadius(), r = torus->MinorRadius();
        if (!whole_turn(v0, v1) || r < deflection || big <= r)
            return false;
        outward = torus->Position().Direct();
        add_grid(m, face, s, to_body, v0, v1, turn_segments(big + r, deflection, angle),
                 turn_segments(r, deflection, angle), false);
    } else if (auto sphere = Handle(Geom_SphericalSurface)::DownCast(s)) {
        double r = sphere->Radius();
        if (std::abs(v0 + M_PI / 2) > 1e-9 || std::abs(v1 - M_PI / 2) > 1e-9 || r < deflection)
            return false;
        outward = sphere->Position().Direct();
        int nu = turn_segments(r, deflection, angle);
        add_grid(m, face, s, to_body, v0, v1, nu, std::max(nu / 2, 4), true);
    } else {
        return false;
    }
    if (!outward) // a left-handed placement turns the surface's normal inwards
        for (auto &c : m.corners)
            std::swap(c[1], c[2]);
    number_nodes(m);
    return true;
}

bool triangulate(const TopoDS_Shape &shape, Mesh &m) {
    Bnd_Box b;
    BRepBndLib::Add(shape, b);
    if (b.IsVoid())
        return false;
    double diag = b.CornerMin().Distance(b.CornerMax());
    const KernelState &s = state();
    TopExp::MapShapes(shape, TopAbs_VERTEX, m.vertices);
    TopExp::MapShapes(shape, TopAbs_EDGE, m.edges);
    TopExp::MapShapes(shape, TopAbs_FACE, m.faces);
    if (grid_surface(shape, s.surface_tol * diag, s.normal_tol * M_PI / 180.0, m))
        return true;
    BRepTools::Clean(shape);
    IMeshTools_Parameters params;
    params.Deflection = s.surface_tol * diag;
    params.Angle = s.normal_tol * M_PI / 180.0;
    params.InParallel = Standard_False;
    params.Relative = Standard_False;
    // Segments down to the modeller's precision: the default (a tenth of the deflection) would
    // merge the points of a circle much smaller than the body into a line.
    params.MinSize = Precision::Confusion();
    Handle(MeshDeadline) deadline = new MeshDeadline(kMeshSeconds);
    BRepMesh_IncrementalMesh mesher(shape, params, deadline->Start());
    if (!mesher.IsDone() || deadline->UserBreak())
        return false;
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next())
        add_face(m, TopoDS::Face(f.Current()));
    number_nodes(m);
    // Missing pieces are the mesher's failure (out of memory, say), not a fault of the body.
    return !m.incomplete;
}

// Whether every edge of the triangles is used exactly once in each direction (a closed,
// consistently wound surface); volume receives what the triangles enclose (positive when they
// face outwards), by the divergence theorem.
bool closed_mesh(const Mesh &m, double &volume) {
    volume = 0;
    for (const auto &t : m.triangles) {
        gp_XYZ p = m.nodes[t[0]].p.XYZ(), q = m.nodes[t[1]].p.XYZ(), r = m.nodes[t[2]].p.XYZ();
        volume += p.Dot(q.Crossed(r)) / 6;
    }
    if (m.triangles.empty())
        return false;
    // The directed edges grouped by their first node (a counting sort: node numbers run from 0),
    // so each edge's twin is looked for among the few edges leaving one node. A hash table of
    // the edges cost more than meshing a torus.
    std::size_t n = m.nodes.size();
    std::vector<int> first(n + 1, 0), to(3 * m.triangles.size());
    for (const auto &t : m.triangles)
        for (int k = 0; k < 3; ++k)
            ++first[t[k] + 1];
    for (std::size_t i = 0; i < n; ++i)
        first[i + 1] += first[i];
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (const auto &t : m.triangles)
        for (int k = 0; k < 3; ++k)
            to[fill[t[k]]++] = t[(k + 1) % 3];
    auto count = [&](int from, int target) {
        return int(std::count(to.begin() + first[from], to.begin() + first[from + 1], target));
    };
    for (std::size_t a = 0; a < n; ++a)
        for (int e = first[a]; e < first[a + 1]; ++e) // used once each way
            if (count(int(a), to[e]) != 1 || count(to[e], int(a)) != 1)
                return false;
    return volume > 0;
}

bool has_solid(const TopoDS_Shape &shape) { return TopExp_Explorer(shape, TopAbs_SOLID).More(); }

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
        double volume = 0;
        // A solid's mesh must close; an open one would show holes, so nothing is reported.
        if (has_solid(shape_of(body)) && !closed_mesh(m, volume))
            return fail(KERN_INVALID_RESULT, "api_facet_entity: the mesh does not close");
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

int kernel_mesh_check(BODY *body, double *volume) {
    if (!live_body(body) || shape_of(body).IsNull())
        return KERN_MESH_NOT_MADE;
    QuietStdout quiet;
    try {
        Mesh m;
        double v = 0;
        if (!triangulate(shape_of(body), m))
            return KERN_MESH_NOT_MADE;
        if (!closed_mesh(m, v))
            return KERN_MESH_OPEN;
        if (volume)
            *volume = v;
        return KERN_MESH_CLOSED;
    } catch (const std::bad_alloc &) {
        note_out_of_memory();
    } catch (const Standard_Failure &e) {
        if (e.IsKind(STANDARD_TYPE(Standard_OutOfMemory)))
            note_out_of_memory();
    } catch (...) {
    }
    return KERN_MESH_NOT_MADE;
}
