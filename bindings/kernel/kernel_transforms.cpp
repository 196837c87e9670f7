/* Placement of bodies (transforms applied and folded into the geometry) and their measures. */
#include "kernel_internal.h"

#include <cmath>
#include <vector>

#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepTools.hxx>
#include <gp_Torus.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepGProp.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Trsf.hxx>

using namespace kernel_detail;

namespace {

// The OCCT form of t, or false when t is not finite or not a rotation with a sane uniform scale.
bool to_trsf(const SPAtransf &t, gp_Trsf &out) {
    double m[3][4];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            m[r][c] = t.linear(r, c);
        m[r][3] = t.translation(r);
        for (int c = 0; c < 4; ++c)
            if (!is_finite(m[r][c]))
                return false;
        if (!reach_ok(m[r][3]))
            return false;
    }
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                 m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                 m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    double scale = std::cbrt(std::fabs(det));
    if (!(scale > 1e-9 && scale < 1e9))
        return false;
    out.SetValues(m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3], m[2][0],
                  m[2][1], m[2][2], m[2][3]);
    return true;
}

// shape with trsf applied; the geometry is copied when the transform scales.
TopoDS_Shape moved(const TopoDS_Shape &shape, const gp_Trsf &trsf, bool copy) {
    bool scales = std::fabs(std::fabs(trsf.ScaleFactor()) - 1.0) > 1e-12 || trsf.IsNegative();
    BRepBuilderAPI_Transform op(shape, trsf, copy || scales);
    return op.Shape();
}

outcome apply(const char *what, BODY *body, const SPAtransf &t) {
    gp_Trsf trsf;
    if (!to_trsf(t, trsf))
        return fail(KERN_BAD_ARGUMENT, std::string(what) + ": bad transform");
    if (t.identity() || shape_of(body).IsNull())
        return outcome();
    set_body_shape(body, moved(shape_of(body), trsf, false));
    return outcome();
}

// Adds to out every angle t + 2 pi k that lies in [lo, hi].
void add_angle(std::vector<double> &out, double t, double lo, double hi) {
    for (int k = -3; k <= 3; ++k) {
        double a = t + 2 * M_PI * k;
        if (a >= lo && a <= hi)
            out.push_back(a);
    }
}

// The exact box of a torus patch over its parameter rectangle: every coordinate reaches its
// extremes at a corner, where a derivative along a side vanishes, or at an interior critical point,
// and each of these has a closed form.
void torus_bounds(const TopoDS_Face &face, const BRepAdaptor_Surface &surf, Bnd_Box &b) {
    double u0, u1, v0, v1;
    BRepTools::UVBounds(face, u0, u1, v0, v1);
    gp_Torus t = surf.Torus();
    const gp_Ax3 &ax = t.Position();
    std::vector<double> us{u0, u1}, vs{v0, v1};
    for (int i = 0; i < 3; ++i) {
        double a = ax.XDirection().Coord(i + 1), bb = ax.YDirection().Coord(i + 1),
               c = ax.Direction().Coord(i + 1);
        double ucrit = std::atan2(bb, a);
        add_angle(us, ucrit, u0, u1);
        add_angle(us, ucrit + M_PI, u0, u1);
        for (double u : {u0, u1, ucrit, ucrit + M_PI}) {
            double k = a * std::cos(u) + bb * std::sin(u);
            double vcrit = std::atan2(c, k);
            add_angle(vs, vcrit, v0, v1);
            add_angle(vs, vcrit + M_PI, v0, v1);
        }
    }
    for (double u : us)
        for (double v : vs)
            b.Add(surf.Value(u, v));
}

// The tight box of shape. Planes, cylinders, cones and spheres have exact bounds from their
// parameter ranges; other faces (tori, free-form) need the slower optimising search.
Bnd_Box exact_bounds(const TopoDS_Shape &shape) {
    Bnd_Box all;
    bool faces = false;
    for (TopExp_Explorer f(shape, TopAbs_FACE); f.More(); f.Next()) {
        faces = true;
        const TopoDS_Face &face = TopoDS::Face(f.Current());
        GeomAbs_SurfaceType kind = BRepAdaptor_Surface(face, Standard_False).GetType();
        Bnd_Box b;
        if (kind == GeomAbs_Plane || kind == GeomAbs_Cylinder || kind == GeomAbs_Cone ||
            kind == GeomAbs_Sphere)
            BRepBndLib::Add(face, b, Standard_False);
        else if (kind == GeomAbs_Torus)
            torus_bounds(face, BRepAdaptor_Surface(face, Standard_False), b);
        else
            BRepBndLib::AddOptimal(face, b, Standard_False, Standard_False);
        b.SetGap(0.0); // the tolerance margin is not part of the body
        all.Add(b);
    }
    if (!faces) {
        BRepBndLib::AddOptimal(shape, all, Standard_False, Standard_False);
        all.SetGap(0.0);
    }
    return all;
}

} // namespace

outcome api_apply_transf(ENTITY *entity, const SPAtransf &t) {
    return guarded("api_apply_transf", [&] {
        BODY *body = live_body(entity);
        if (!body)
            return fail(KERN_NULL_ENTITY, "api_apply_transf: not a body");
        return apply("api_apply_transf", body, t);
    });
}

outcome api_change_body_trans(BODY *body, const SPAtransf *t, logical) {
    return guarded("api_change_body_trans", [&] {
        if (!live_body(body))
            return fail(KERN_NULL_ENTITY, "api_change_body_trans: not a body");
        if (t) {
            outcome r = apply("api_change_body_trans", body, *t);
            if (!r.ok())
                return r;
        }
        const TopoDS_Shape &shape = shape_of(body);
        if (shape.IsNull() || shape.Location().IsIdentity())
            return outcome();
        // Fold the placement into the geometry itself.
        set_body_shape(
            body, moved(shape.Located(TopLoc_Location()), shape.Location().Transformation(), true));
        return outcome();
    });
}

box get_body_box(const BODY *body) {
    if (!registered(body) || shape_of(body).IsNull())
        return box();
    QuietStdout quiet;
    try {
        Bnd_Box b = exact_bounds(shape_of(body));
        if (b.IsVoid())
            return box();
        double x0, y0, z0, x1, y1, z1;
        b.Get(x0, y0, z0, x1, y1, z1);
        return box(position(x0, y0, z0), position(x1, y1, z1));
    } catch (const std::bad_alloc &) {
        note_out_of_memory();
        return box();
    } catch (...) {
        return box();
    }
}

double kernel_body_volume(const BODY *body) {
    if (!registered(body) || shape_of(body).IsNull())
        return 0;
    QuietStdout quiet;
    try {
        GProp_GProps props;
        BRepGProp::VolumeProperties(shape_of(body), props);
        return props.Mass();
    } catch (const std::bad_alloc &) {
        note_out_of_memory();
        return 0;
    } catch (...) {
        return 0;
    }
}
