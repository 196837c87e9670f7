/* Wires and sheets (elliptic edges, wire bodies, covering, face reversal) and the topology
 * queries (vertex at a position, edges around a vertex). */
#include "kernel_internal.h"

#include <cmath>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRep_Builder.hxx>
#include <Geom_Plane.hxx>
#include <TopoDS_Compound.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepLib_FindSurface.hxx>
#include <BRepTools_ReShape.hxx>
#include <BRep_Tool.hxx>
#include <Geom_Conic.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>
#include <gp_Pln.hxx>

using namespace kernel_detail;

namespace {

// The plane a wire lies in, oriented so that the wire runs counter-clockwise about its normal.
bool wire_plane(const TopoDS_Wire &wire, gp_Pln &plane) {
    TopExp_Explorer first(wire, TopAbs_EDGE);
    if (!first.More())
        return false;
    const TopoDS_Edge &edge = TopoDS::Edge(first.Current());
    double f, l;
    Handle(Geom_Curve) curve = BRep_Tool::Curve(edge, f, l);
    Handle(Geom_Conic) conic = Handle(Geom_Conic)::DownCast(curve);
    if (!conic.IsNull()) { // a conic knows its normal: keep it, flipped for a reversed edge
        gp_Ax2 ax = conic->Position();
        if (edge.Orientation() == TopAbs_REVERSED)
            ax = gp_Ax2(ax.Location(), ax.Direction().Reversed());
        plane = gp_Pln(gp_Ax3(ax));
        return true;
    }
    BRepLib_FindSurface find(wire, 1e-7, Standard_True);
    if (!find.Found())
        return false;
    Handle(Geom_Plane) pl = Handle(Geom_Plane)::DownCast(find.Surface());
    if (pl.IsNull())
        return false;
    plane = pl->Pln();
    return true;
}

bool is_seam_or_degenerate(const TopoDS_Edge &edge, const TopTools_ListOfShape &faces) {
    if (BRep_Tool::Degenerated(edge))
        return true;
    for (const TopoDS_Shape &f : faces)
        if (BRep_Tool::IsClosed(edge, TopoDS::Face(f)))
            return true;
    return false;
}

} // namespace

outcome api_mk_ed_ellipse(const position &centre, const vector &normal, const vector &major,
                          double ratio, double start, double end, EDGE *&edge) {
    edge = nullptr;
    return guarded("api_mk_ed_ellipse", [&] {
        double r = major.len();
        gp_Vec n = to_vec(normal), m = to_vec(major);
        auto radius_fits = [](double v) { return v >= kernel_min_size() && reach_ok(v); };
        bool ok = radius_fits(r) && is_finite(ratio) && ratio > 0 && ratio <= 1 &&
                  is_finite(start) && is_finite(end) && std::fabs(start) <= 100 &&
                  std::fabs(end) <= 100 && n.Magnitude() > 0 && is_finite(n.Magnitude());
        for (int i = 0; ok && i < 3; ++i)
            ok = reach_ok(centre.coordinate(i));
        if (!ok || !radius_fits(r * ratio))
            return fail(KERN_BAD_ARGUMENT, "api_mk_ed_ellipse: bad size");
        if (n.CrossMagnitude(m) < 1e-9 * n.Magnitude() * r)
            return fail(KERN_BAD_ARGUMENT, "api_mk_ed_ellipse: major axis along the normal");
        gp_Ax2 ax(to_pnt(centre), gp_Dir(n), gp_Dir(m - n.Normalized() * m.Dot(n.Normalized())));
        Handle(Geom_Curve) curve;
        TopoDS_Edge e;
        bool full = start == end;
        if (ratio == 1) {
            gp_Circ c(ax, r);
            e = full ? BRepBuilderAPI_MakeEdge(c) : BRepBuilderAPI_MakeEdge(c, start, end);
        } else {
            gp_Elips el(ax, r, r * ratio);
            e = full ? BRepBuilderAPI_MakeEdge(el) : BRepBuilderAPI_MakeEdge(el, start, end);
        }
        edge = make_sub<EDGE>(nullptr, e);
        return outcome();
    });
}

outcome api_make_ewire(int n, EDGE *edges[], BODY *&wire) {
    wire = nullptr;
    return guarded("api_make_ewire", [&] {
        if (n < 1 || n > 100000 || !edges)
            return fail(KERN_BAD_ARGUMENT, "api_make_ewire: bad count");
        BRepBuilderAPI_MakeWire mk;
        for (int i = 0; i < n; ++i) {
            if (!registered(edges[i]) || !is_EDGE(edges[i]))
                return fail(KERN_NULL_ENTITY, "api_make_ewire: not an edge");
            mk.Add(TopoDS::Edge(shape_of(edges[i])));
            if (!mk.IsDone())
                return fail(KERN_OPERATION_FAILED, "api_make_ewire: edges not connected");
        }
        wire = new_body(mk.Wire());
        for (int i = 0; i < n; ++i) { // the edges now belong to the wire body
            edges[i]->data()->owner = wire;
            edges[i]->data()->version = wire->data()->version;
        }
        return outcome();
    });
}

outcome api_make_ewire(int n, EDGE *edge, BODY *&wire) {
    if (n != 1) {
        wire = nullptr;
        return fail(KERN_BAD_ARGUMENT, "api_make_ewire: one edge expected");
    }
    EDGE *edges[1] = {edge};
    return api_make_ewire(1, edges, wire);
}

outcome api_cover_wires(BODY *wire, const surface *surf, ENTITY_LIST &faces) {
    return guarded("api_cover_wires", [&] {
        if (!live_body(wire))
            return fail(KERN_NULL_ENTITY, "api_cover_wires: no body");
        if (surf)
            return fail(KERN_BAD_ARGUMENT, "api_cover_wires: only planar covering");
        TopTools_ListOfShape made;
        for (TopExp_Explorer w(shape_of(wire), TopAbs_WIRE); w.More(); w.Next()) {
            const TopoDS_Wire &wr = TopoDS::Wire(w.Current());
            gp_Pln plane;
            if (!wire_plane(wr, plane))
                return fail(KERN_OPERATION_FAILED, "api_cover_wires: wire not flat");
            BRepBuilderAPI_MakeFace mk(plane, wr, Standard_True);
            if (!mk.IsDone())
                return fail(KERN_OPERATION_FAILED, "api_cover_wires: cannot cover");
            made.Append(mk.Face());
        }
        if (made.IsEmpty())
            return fail(KERN_WRONG_TYPE, "api_cover_wires: no wire");
        TopoDS_Shape sheet = made.First();
        if (made.Extent() > 1) {
            TopoDS_Compound c;
            BRep_Builder b;
            b.MakeCompound(c);
            for (const TopoDS_Shape &f : made)
                b.Add(c, f);
            sheet = c;
        }
        set_body_shape(wire, sheet);
        for (TopExp_Explorer f(sheet, TopAbs_FACE); f.More(); f.Next())
            faces.add(make_sub<FACE>(wire, f.Current()));
        return outcome();
    });
}

outcome api_reverse_face(FACE *face) {
    return guarded("api_reverse_face", [&] {
        BODY *owner = current_owner(face);
        if (!owner)
            return fail(KERN_NULL_ENTITY, "api_reverse_face: no current face");
        const TopoDS_Shape &f = shape_of(face);
        const TopoDS_Shape &whole = shape_of(owner);
        TopoDS_Shape turned;
        if (whole.IsSame(f)) {
            turned = whole.Reversed();
        } else {
            Handle(BRepTools_ReShape) reshape = new BRepTools_ReShape();
            reshape->Replace(f, f.Reversed());
            turned = reshape->Apply(whole);
        }
        set_body_shape(owner, turned);
        face->data()->shape = f.Reversed();
        face->data()->version = owner->data()->version;
        return outcome();
    });
}

outcome api_find_vertex(BODY *body, const position &p, VERTEX *&vertex) {
    vertex = nullptr;
    return guarded("api_find_vertex", [&] {
        if (!live_body(body))
            return fail(KERN_NULL_ENTITY, "api_find_vertex: no body");
        gp_Pnt target = to_pnt(p);
        // Vertices of revolved edges sit a rounding error off their nominal spot.
        double best = 1e-6 * std::max(1.0, target.Distance(gp::Origin()));
        TopoDS_Shape found;
        for (TopExp_Explorer v(shape_of(body), TopAbs_VERTEX); v.More(); v.Next()) {
            const TopoDS_Vertex &vx = TopoDS::Vertex(v.Current());
            double d = BRep_Tool::Pnt(vx).Distance(target);
            if (d <= std::max(best, BRep_Tool::Tolerance(vx)) && (found.IsNull() || d < best)) {
                best = d;
                found = vx;
            }
        }
        if (found.IsNull())
            return fail(KERN_NOT_FOUND, "api_find_vertex: no vertex there");
        vertex = make_sub<VERTEX>(body, found);
        return outcome();
    });
}

outcome api_q_edges_around_vertex(VERTEX *vertex, ENTITY_LIST &edges) {
    return guarded("api_q_edges_around_vertex", [&] {
        BODY *owner = current_owner(vertex);
        if (!owner)
            return fail(KERN_NULL_ENTITY, "api_q_edges_around_vertex: no current vertex");
        TopTools_IndexedDataMapOfShapeListOfShape edge_faces, vertex_edges;
        TopExp::MapShapesAndAncestors(shape_of(owner), TopAbs_EDGE, TopAbs_FACE, edge_faces);
        TopExp::MapShapesAndAncestors(shape_of(owner), TopAbs_VERTEX, TopAbs_EDGE, vertex_edges);
        const TopTools_ListOfShape *around = vertex_edges.Seek(shape_of(vertex));
        if (!around)
            return outcome();
        std::vector<TopoDS_Shape> seen;
        for (const TopoDS_Shape &e : *around) {
            bool dup = false;
            for (const TopoDS_Shape &s : seen)
                dup = dup || s.IsSame(e);
            if (dup)
                continue;
            seen.push_back(e);
            const TopTools_ListOfShape *faces = edge_faces.Seek(e);
            if (faces && is_seam_or_degenerate(TopoDS::Edge(e), *faces))
                continue;
            if (!faces && BRep_Tool::Degenerated(TopoDS::Edge(e)))
                continue;
            edges.add(make_sub<EDGE>(owner, e));
        }
        return outcome();
    });
}

outcome api_q_edges_around_vertex(VERTEX *vertex, ENTITY_LIST *edges) {
    if (!edges)
        return fail(KERN_BAD_ARGUMENT, "api_q_edges_around_vertex: no list");
    return api_q_edges_around_vertex(vertex, *edges);
}
