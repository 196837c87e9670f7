/* Booleans of two solids, and the cut of a solid by a flat sheet standing for a half space. */
#include "kernel_internal.h"

#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBndLib.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <Bnd_Box.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Pln.hxx>

using namespace kernel_detail;

namespace {

bool has(const TopoDS_Shape &s, TopAbs_ShapeEnum kind) { return TopExp_Explorer(s, kind).More(); }

// Runs op on blank and tool. Every solid the kernel holds was checked when made (a positive
// volume, so not inside out), so the operation's own check of its arguments for inverted solids
// is left out; bounding boxes oriented along the shapes sort out pairs that cannot meet sooner.
template <class Op>
TopoDS_Shape perform(Op &op, const TopoDS_Shape &blank, const TopoDS_Shape &tool) {
    TopTools_ListOfShape arguments, tools;
    arguments.Append(blank);
    tools.Append(tool);
    op.SetArguments(arguments);
    op.SetTools(tools);
    op.SetCheckInverted(Standard_False);
    op.SetUseOBB(Standard_True);
    op.Build();
    return op.IsDone() && !op.HasErrors() ? op.Shape() : TopoDS_Shape();
}

TopoDS_Shape run_boolean(const TopoDS_Shape &blank, const TopoDS_Shape &tool, int type) {
    if (type == UNION) {
        BRepAlgoAPI_Fuse op;
        return perform(op, blank, tool);
    }
    if (type == INTERSECTION) {
        BRepAlgoAPI_Common op;
        return perform(op, blank, tool);
    }
    BRepAlgoAPI_Cut op;
    return perform(op, blank, tool);
}

// The one flat face of a sheet tool with its outward normal, or false.
bool sheet_plane(const TopoDS_Shape &sheet, gp_Pnt &origin, gp_Dir &normal) {
    TopExp_Explorer faces(sheet, TopAbs_FACE);
    if (!faces.More())
        return false;
    const TopoDS_Face &face = TopoDS::Face(faces.Current());
    faces.Next();
    if (faces.More())
        return false;
    BRepAdaptor_Surface surf(face);
    if (surf.GetType() != GeomAbs_Plane)
        return false;
    gp_Pln pln = surf.Plane();
    origin = pln.Location();
    normal = pln.Axis().Direction();
    if (!pln.Direct())
        normal.Reverse();
    if (face.Orientation() == TopAbs_REVERSED)
        normal.Reverse();
    return true;
}

// A box that holds everything of blank lying behind the plane (opposite the normal) and has one
// face in the plane: the half space behind the sheet, bounded so the boolean stays cheap.
TopoDS_Shape half_space(const TopoDS_Shape &blank, const gp_Pnt &origin, const gp_Dir &normal) {
    Bnd_Box bounds;
    BRepBndLib::Add(blank, bounds);
    double x0, y0, z0, x1, y1, z1;
    bounds.Get(x0, y0, z0, x1, y1, z1);
    gp_Pnt centre((x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2);
    double reach =
        2 * (gp_Pnt(x0, y0, z0).Distance(gp_Pnt(x1, y1, z1)) + centre.Distance(origin)) + 1.0;
    gp_Vec n(normal);
    gp_Pnt foot = centre.Translated(-n * gp_Vec(origin, centre).Dot(n)); // centre on the plane
    gp_Ax2 frame(foot, normal.Reversed());
    gp_Pnt corner =
        foot.Translated(-gp_Vec(frame.XDirection()) * reach - gp_Vec(frame.YDirection()) * reach);
    return BRepPrimAPI_MakeBox(gp_Ax2(corner, frame.Direction(), frame.XDirection()), 2 * reach,
                               2 * reach, reach)
        .Shape();
}

outcome boolean(const char *what, BODY *tool, BODY *blank, int type) {
    return guarded(what, [&] {
        std::string name(what);
        if (!live_body(tool) || !live_body(blank))
            return fail(KERN_NULL_ENTITY, name + ": no body");
        if (tool == blank)
            return fail(KERN_BAD_ARGUMENT, name + ": tool is the blank");
        if (type != UNION && type != INTERSECTION && type != SUBTRACTION)
            return fail(KERN_BAD_ARGUMENT, name + ": unknown boolean type");
        const TopoDS_Shape &b = shape_of(blank), &t = shape_of(tool);
        if (!has(b, TopAbs_SOLID))
            return fail(KERN_WRONG_TYPE, name + ": blank is not a solid");
        TopoDS_Shape result;
        if (has(t, TopAbs_SOLID)) {
            result = run_boolean(b, t, type);
        } else {
            gp_Pnt origin;
            gp_Dir normal;
            if (type == UNION || !sheet_plane(t, origin, normal))
                return fail(KERN_WRONG_TYPE, name + ": tool is not a solid or a flat sheet");
            result = run_boolean(b, half_space(b, origin, normal),
                                 type == SUBTRACTION ? SUBTRACTION : INTERSECTION);
        }
        result = unwrap(result);
        if (!valid_solid(result))
            return fail(KERN_INVALID_RESULT, name + ": empty or invalid result");
        set_body_shape(blank, result);
        set_body_shape(tool, TopoDS_Shape()); // the tool is used up
        return outcome();
    });
}

} // namespace

outcome api_unite(BODY *tool, BODY *blank) { return boolean("api_unite", tool, blank, UNION); }
outcome api_subtract(BODY *tool, BODY *blank) {
    return boolean("api_subtract", tool, blank, SUBTRACTION);
}
outcome api_intersect(BODY *tool, BODY *blank) {
    return boolean("api_intersect", tool, blank, INTERSECTION);
}
outcome api_boolean(BODY *tool, BODY *blank, int type) {
    return boolean("api_boolean", tool, blank, type);
}
