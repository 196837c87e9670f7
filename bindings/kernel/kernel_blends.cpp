/* Chamfers and rounds: recorded on the body by api_chamfer_edges / api_blend_edges and built by
 * api_fix_blends, one blend at a time so that one bad blend does not take the others with it. */
#include "kernel_internal.h"

#include <algorithm>

#include <BRepAdaptor_Curve.hxx>
#include <BRepBndLib.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopoDS.hxx>

using namespace kernel_detail;

namespace {

double diagonal(const TopoDS_Shape &shape) {
    Bnd_Box b;
    BRepBndLib::Add(shape, b);
    if (b.IsVoid())
        return 0;
    return b.CornerMin().Distance(b.CornerMax());
}

gp_Pnt midpoint(const TopoDS_Edge &edge) {
    BRepAdaptor_Curve c(edge);
    return c.Value((c.FirstParameter() + c.LastParameter()) / 2);
}

// The edge of shape that an earlier blend left in place of wanted: the same edge when it survived,
// else the edge through the same midpoint.
TopoDS_Edge locate(const TopoDS_Shape &shape, const PendingBlend &wanted) {
    double tol = 1e-6 * std::max(1.0, wanted.mid.Distance(gp::Origin()));
    TopoDS_Edge nearest;
    for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next()) {
        const TopoDS_Edge &edge = TopoDS::Edge(e.Current());
        if (edge.IsSame(wanted.edge))
            return edge;
        if (nearest.IsNull() && !BRep_Tool::Degenerated(edge) &&
            midpoint(edge).Distance(wanted.mid) <= tol)
            nearest = edge;
    }
    return nearest;
}

TopoDS_Shape build_one(const TopoDS_Shape &shape, const PendingBlend &blend) {
    TopoDS_Edge edge = locate(shape, blend);
    if (edge.IsNull())
        return TopoDS_Shape();
    if (blend.kind == BLEND_ROUND) {
        BRepFilletAPI_MakeFillet mk(shape);
        mk.Add(blend.size, edge);
        mk.Build();
        return mk.IsDone() ? mk.Shape() : TopoDS_Shape();
    }
    BRepFilletAPI_MakeChamfer mk(shape);
    if (blend.size2 == blend.size) {
        mk.Add(blend.size, edge);
    } else {
        TopTools_IndexedDataMapOfShapeListOfShape edge_faces;
        TopExp::MapShapesAndAncestors(shape, TopAbs_EDGE, TopAbs_FACE, edge_faces);
        const TopTools_ListOfShape *faces = edge_faces.Seek(edge);
        if (!faces || faces->IsEmpty())
            return TopoDS_Shape();
        mk.Add(blend.size, blend.size2, edge, TopoDS::Face(faces->First()));
    }
    mk.Build();
    return mk.IsDone() ? mk.Shape() : TopoDS_Shape();
}

// shape with blend built, or a null shape when it fails or gives an invalid solid.
TopoDS_Shape attempt(const TopoDS_Shape &shape, const PendingBlend &blend) {
    try {
        TopoDS_Shape next = unwrap(build_one(shape, blend));
        return valid_solid(next) ? next : TopoDS_Shape();
    } catch (const Standard_Failure &) {
        return TopoDS_Shape();
    } catch (const std::exception &) {
        return TopoDS_Shape();
    }
}

outcome record(const char *what, const ENTITY_LIST &edges, BlendKind kind, double d, double d2) {
    return guarded(what, [&] {
        std::string name(what);
        if (!size_ok(d) || !is_finite(d2) || (d2 >= 0 && !size_ok(d2)))
            return fail(KERN_BAD_ARGUMENT, name + ": bad size");
        if (edges.count() == 0)
            return fail(KERN_BAD_ARGUMENT, name + ": no edges");
        std::vector<std::pair<BODY *, PendingBlend>> todo;
        for (int i = 0; i < edges.count(); ++i) {
            ENTITY *e = edges[i];
            BODY *owner = is_EDGE(e) ? current_owner(e) : nullptr;
            if (!owner)
                return fail(KERN_NULL_ENTITY, name + ": not a current edge of a body");
            // A blend wider than the whole body cannot succeed; refusing it keeps fixing cheap.
            if (std::max(d, d2) > diagonal(shape_of(owner)))
                return fail(KERN_BAD_ARGUMENT, name + ": larger than the body");
            const TopoDS_Edge &edge = TopoDS::Edge(shape_of(e));
            todo.push_back({owner, PendingBlend{kind, d, d2 < 0 ? d : d2, edge, midpoint(edge)}});
        }
        for (auto &t : todo)
            t.first->data()->blends.push_back(t.second);
        return outcome();
    });
}

} // namespace

outcome api_chamfer_edges(const ENTITY_LIST &edges, double d, double r2) {
    return record("api_chamfer_edges", edges, BLEND_CHAMFER, d, r2);
}

outcome api_blend_edges(const ENTITY_LIST &edges, double r) {
    return record("api_blend_edges", edges, BLEND_ROUND, r, r);
}

outcome api_fix_blends(const ENTITY_LIST &edges) {
    return guarded("api_fix_blends", [&] {
        std::vector<BODY *> bodies;
        for (int i = 0; i < edges.count(); ++i) {
            BODY *owner = is_EDGE(edges[i]) ? current_owner(edges[i]) : nullptr;
            if (owner && std::find(bodies.begin(), bodies.end(), owner) == bodies.end())
                bodies.push_back(owner);
        }
        if (bodies.empty())
            return fail(KERN_NULL_ENTITY, "api_fix_blends: no current edges");
        int failed = 0, built = 0;
        for (BODY *body : bodies) {
            std::vector<PendingBlend> blends;
            blends.swap(body->data()->blends);
            TopoDS_Shape shape = shape_of(body);
            int built_here = 0;
            for (const PendingBlend &blend : blends) {
                TopoDS_Shape next = attempt(shape, blend);
                if (next.IsNull()) {
                    ++failed;
                    continue;
                }
                shape = next;
                ++built_here;
            }
            if (built_here)
                set_body_shape(body, shape);
            built += built_here;
        }
        if (failed)
            return fail(built ? KERN_INVALID_RESULT : KERN_OPERATION_FAILED,
                        "api_fix_blends: " + std::to_string(failed) + " blend(s) failed");
        return outcome();
    });
}
