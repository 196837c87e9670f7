/* Argument checks, shape validation and conversions shared by the kernel's operations. */
#include "kernel_internal.h"

#include <cmath>

#include <BRepCheck_Analyzer.hxx>
#include <GProp_GProps.hxx>
#include <BRepGProp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_Iterator.hxx>

namespace {
// Larger models gain nothing and make tolerances meaningless; smaller ones are below the
// modeller's own precision. Side counts beyond this are not prisms anyone can see.
constexpr double kMaxSize = 1.0e6;
constexpr double kMinSize = 1.0e-6;
constexpr int kMaxSides = 1000;
// Tools (cutting discs, the transforms that fit a model into view) are sized from a body: a disc
// reaching past any body within kMaxSize, or a body scaled up a hundredfold and moved into view,
// stays far inside this, and double precision still resolves the modeller's tolerance here.
constexpr double kMaxReach = 1.0e9;
} // namespace

double kernel_max_size() { return kMaxSize; }
double kernel_max_reach() { return kMaxReach; }
double kernel_min_size() { return kMinSize; }
int kernel_max_sides() { return kMaxSides; }

namespace kernel_detail {

bool is_finite(double v) { return std::isfinite(v); }
bool size_ok(double v) { return std::isfinite(v) && v >= kMinSize && v <= kMaxSize; }
bool radius_ok(double v) { return v == 0.0 || size_ok(v); }
bool reach_ok(double v) { return std::isfinite(v) && std::fabs(v) <= kMaxReach; }

bool valid_solid(const TopoDS_Shape &shape) {
    if (shape.IsNull())
        return false;
    TopExp_Explorer solids(shape, TopAbs_SOLID);
    if (!solids.More())
        return false;
    BRepCheck_Analyzer check(shape);
    if (!check.IsValid())
        return false;
    GProp_GProps props;
    BRepGProp::VolumeProperties(shape, props);
    return props.Mass() > 0;
}

TopoDS_Shape unwrap(const TopoDS_Shape &shape) {
    if (shape.IsNull() || shape.ShapeType() != TopAbs_COMPOUND)
        return shape;
    TopoDS_Iterator it(shape);
    if (!it.More())
        return shape;
    TopoDS_Shape first = it.Value();
    it.Next();
    return it.More() ? shape : first;
}

gp_Pnt to_pnt(const position &p) { return gp_Pnt(p.x(), p.y(), p.z()); }
gp_Vec to_vec(const vector &v) { return gp_Vec(v.x(), v.y(), v.z()); }
position to_position(const gp_Pnt &p) { return position(p.X(), p.Y(), p.Z()); }

} // namespace kernel_detail
