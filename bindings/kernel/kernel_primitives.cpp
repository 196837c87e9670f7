/* Solid primitives: box, frustum, sphere, torus, prism, pyramid and the cylinder or cone between
 * two points. Every size is checked before any geometry is built. */
#include "kernel_internal.h"

#include <cmath>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepBuilderAPI_MakeWire.hxx>
#include <BRepOffsetAPI_ThruSections.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <TopExp_Explorer.hxx>
#include <gce_MakeElips.hxx>
#include <gp_Ax2.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

using namespace kernel_detail;

namespace {

// Stores a freshly built solid in a new body after validating it.
outcome finish(const char *what, const TopoDS_Shape &shape, BODY *&body) {
    TopoDS_Shape s = unwrap(shape);
    if (!valid_solid(s))
        return fail(KERN_INVALID_RESULT, std::string(what) + ": invalid solid");
    body = new_body(s);
    return outcome();
}

// Stores a box, round cylinder or cone, sphere or torus in a new body. These come whole from
// closed forms over sizes already checked, so they are valid by construction and the costly
// validity check (most of the time of making one) is left out.
outcome finish_analytic(const char *what, const TopoDS_Shape &shape, BODY *&body) {
    if (shape.IsNull() || !TopExp_Explorer(shape, TopAbs_SOLID).More())
        return fail(KERN_INVALID_RESULT, std::string(what) + ": invalid solid");
    body = new_body(unwrap(shape));
    return outcome();
}

// A frustum: made whole by a closed form when round, lofted (and then checked) when elliptic.
outcome finish_round(const char *what, const TopoDS_Shape &shape, bool round, BODY *&body) {
    return round ? finish_analytic(what, shape, body) : finish(what, shape, body);
}

outcome bad(const char *what) { return fail(KERN_BAD_ARGUMENT, std::string(what) + ": bad size"); }

// A closed polygon of n corners on the ellipse of radii a (along the frame's x) and b, scaled by k.
TopoDS_Wire polygon(const gp_Ax2 &frame, double a, double b, int n, double k) {
    BRepBuilderAPI_MakePolygon poly;
    for (int i = 0; i < n; ++i) {
        double t = 2 * M_PI * i / n;
        gp_Vec off = gp_Vec(frame.XDirection()) * (k * a * std::cos(t)) +
                     gp_Vec(frame.YDirection()) * (k * b * std::sin(t));
        poly.Add(frame.Location().Translated(off));
    }
    poly.Close();
    return poly.Wire();
}

// A closed ellipse (or circle) wire of radii a along the frame's x and b along its y.
TopoDS_Wire ellipse(const gp_Ax2 &frame, double a, double b) {
    if (a == b)
        return BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Circ(frame, a)));
    gp_Ax2 ax = frame;
    if (b > a) { // an ellipse's major radius must lie along its x direction
        ax = gp_Ax2(frame.Location(), frame.Direction(), frame.YDirection());
        std::swap(a, b);
    }
    return BRepBuilderAPI_MakeWire(BRepBuilderAPI_MakeEdge(gp_Elips(ax, a, b)));
}

// A ruled solid between a bottom section and a top section (or apex when top is null).
TopoDS_Shape loft(const TopoDS_Wire &bottom, const TopoDS_Wire *top, const gp_Pnt &apex) {
    BRepOffsetAPI_ThruSections loft(Standard_True, Standard_True);
    loft.AddWire(bottom);
    if (top)
        loft.AddWire(*top);
    else
        loft.AddVertex(BRepBuilderAPI_MakeVertex(apex));
    loft.Build();
    return loft.IsDone() ? loft.Shape() : TopoDS_Shape();
}

// A round or elliptic cylinder or cone of the given height on frame.
TopoDS_Shape round_solid(const gp_Ax2 &frame, double height, double a, double b, double top) {
    if (a == b) {
        if (top == a)
            return BRepPrimAPI_MakeCylinder(frame, a, height).Shape();
        return BRepPrimAPI_MakeCone(frame, a, top, height).Shape();
    }
    TopoDS_Wire base = ellipse(frame, a, b);
    gp_Ax2 upper = frame.Translated(gp_Vec(frame.Direction()) * height);
    if (top == 0)
        return loft(base, nullptr, upper.Location());
    TopoDS_Wire lid = ellipse(upper, top, top * b / a);
    return loft(base, &lid, upper.Location());
}

// The base radii and top radius of a frustum: the base either elliptic or round with both radii
// sizes, or a point (both 0) under a top that is not, which makes a cone standing on its apex.
bool frustum_radii_ok(double a, double b, double top) {
    if (a == 0 && b == 0)
        return size_ok(top);
    return size_ok(a) && size_ok(b) && radius_ok(top);
}

gp_Ax2 centred_frame(double height) {
    return gp_Ax2(gp_Pnt(0, 0, -height / 2), gp::DZ(), gp::DX());
}

} // namespace

outcome api_make_cuboid(double x, double y, double z, BODY *&body) {
    body = nullptr;
    return guarded("api_make_cuboid", [&] {
        if (!size_ok(x) || !size_ok(y) || !size_ok(z))
            return bad("api_make_cuboid");
        return finish_analytic("api_make_cuboid",
                               BRepPrimAPI_MakeBox(gp_Pnt(-x / 2, -y / 2, -z / 2), x, y, z).Shape(),
                               body);
    });
}

outcome api_make_frustum(double height, double rx, double ry, double top, BODY *&body) {
    body = nullptr;
    return guarded("api_make_frustum", [&] {
        if (!size_ok(height) || !frustum_radii_ok(rx, ry, top))
            return bad("api_make_frustum");
        return finish_round("api_make_frustum",
                            round_solid(centred_frame(height), height, rx, ry, top), rx == ry,
                            body);
    });
}

outcome api_make_sphere(double radius, BODY *&body) {
    body = nullptr;
    return guarded("api_make_sphere", [&] {
        if (!size_ok(radius))
            return bad("api_make_sphere");
        return finish_analytic("api_make_sphere", BRepPrimAPI_MakeSphere(radius).Shape(), body);
    });
}

outcome api_make_torus(double major, double minor, BODY *&body) {
    body = nullptr;
    return guarded("api_make_torus", [&] {
        // A minor radius reaching the axis would make the surface cut through itself.
        if (!size_ok(major) || !size_ok(minor) || minor >= major)
            return bad("api_make_torus");
        return finish_analytic("api_make_torus", BRepPrimAPI_MakeTorus(major, minor).Shape(), body);
    });
}

outcome api_make_prism(double height, double major, double minor, int nsides, BODY *&body) {
    body = nullptr;
    return guarded("api_make_prism", [&] {
        if (!size_ok(height) || !size_ok(major) || !size_ok(minor) || nsides < 3 ||
            nsides > kernel_max_sides())
            return bad("api_make_prism");
        gp_Ax2 frame = centred_frame(height);
        TopoDS_Face base = BRepBuilderAPI_MakeFace(polygon(frame, major, minor, nsides, 1.0), true);
        return finish("api_make_prism", BRepPrimAPI_MakePrism(base, gp_Vec(0, 0, height)).Shape(),
                      body);
    });
}

outcome api_make_pyramid(double height, double major, double minor, double top, int nsides,
                         BODY *&body) {
    body = nullptr;
    return guarded("api_make_pyramid", [&] {
        if (!size_ok(height) || !size_ok(major) || !size_ok(minor) || !radius_ok(top) ||
            nsides < 3 || nsides > kernel_max_sides())
            return bad("api_make_pyramid");
        gp_Ax2 frame = centred_frame(height);
        gp_Ax2 upper = frame.Translated(gp_Vec(0, 0, height));
        TopoDS_Wire base = polygon(frame, major, minor, nsides, 1.0);
        if (top == 0)
            return finish("api_make_pyramid", loft(base, nullptr, upper.Location()), body);
        TopoDS_Wire lid = polygon(upper, major, minor, nsides, top / major);
        return finish("api_make_pyramid", loft(base, &lid, upper.Location()), body);
    });
}

outcome api_solid_cylinder_cone(const position &bottom, const position &top, double major,
                                double minor, double top_major, const position *xpt, BODY *&body) {
    body = nullptr;
    return guarded("api_solid_cylinder_cone", [&] {
        gp_Pnt p0 = to_pnt(bottom), p1 = to_pnt(top);
        for (double c : {p0.X(), p0.Y(), p0.Z(), p1.X(), p1.Y(), p1.Z()})
            if (!is_finite(c) || std::fabs(c) > kernel_max_size())
                return bad("api_solid_cylinder_cone");
        double height = p0.Distance(p1);
        if (!size_ok(height) || !frustum_radii_ok(major, minor, top_major))
            return bad("api_solid_cylinder_cone");
        gp_Dir axis(gp_Vec(p0, p1));
        gp_Ax2 frame(p0, axis); // some x direction perpendicular to the axis
        if (axis.IsParallel(gp::DZ(), 1e-12))
            frame = gp_Ax2(p0, axis, gp::DX());
        if (xpt) {
            gp_Vec toward(p0, to_pnt(*xpt));
            gp_Vec across = toward - gp_Vec(axis) * toward.Dot(gp_Vec(axis));
            if (across.Magnitude() > kernel_min_size())
                frame = gp_Ax2(p0, axis, gp_Dir(across));
        }
        return finish_round("api_solid_cylinder_cone",
                            round_solid(frame, height, major, minor, top_major), major == minor,
                            body);
    });
}
