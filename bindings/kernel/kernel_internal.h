/* Private to the kernel binding: the OCCT data behind entities, the kernel's state and the guard
 * that turns every exception into a failed outcome. Never included outside bindings/kernel. */
#ifndef ROVAK_KERNEL_INTERNAL_H
#define ROVAK_KERNEL_INTERNAL_H

#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include <Standard_Failure.hxx>
#include <Standard_OutOfMemory.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include "kernel.h"

namespace kernel_detail {

enum BlendKind { BLEND_CHAMFER, BLEND_ROUND };

// A chamfer or round recorded on an edge, built by api_fix_blends.
struct PendingBlend {
    BlendKind kind;
    double size;
    double size2; // second chamfer distance; equal to size for a round
    TopoDS_Edge edge;
    gp_Pnt mid; // point halfway along the edge, to find it again after earlier blends
};

struct EntityData {
    TopoDS_Shape shape;               // a body's whole shape, or the sub-shape an entity refers to
    BODY *owner = nullptr;            // the body of an edge, vertex or face
    unsigned long version = 0;        // body: bumped at every change; others: owner's at creation
    std::vector<PendingBlend> blends; // body only
};

struct KernelState {
    int starts = 0;
    int components[5] = {0, 0, 0, 0, 0};
    std::vector<ENTITY *> entities;          // every live entity, oldest first
    std::unordered_set<const ENTITY *> live; // the same, for the liveness check
    FileInfo file_info;
    MESH_MANAGER *manager = nullptr;
    double surface_tol = 0.001;
    double normal_tol = 20.0;
    // The body texts of the last SAT file written: a file read back with exactly these texts
    // comes from bodies this process held, and needs no check in a child process.
    std::vector<std::string> saved_bodies;
};

// The one kernel state of the process.
KernelState &state();

outcome fail(int code, const std::string &message);
// Records that an allocation failed (see kernel_ran_out_of_memory).
void note_out_of_memory();
// True when e is a live entity of the kernel (safe on stale pointers: no dereference).
bool registered(const ENTITY *e);
// e as a live body, or null.
BODY *live_body(ENTITY *e);
// The live owner of a sub-entity whose reference is still current, or null.
BODY *current_owner(const ENTITY *e);
// A new body holding shape.
BODY *new_body(const TopoDS_Shape &shape);
// Replaces a body's shape; earlier sub-entity references and recorded blends become stale.
void set_body_shape(BODY *body, const TopoDS_Shape &shape);
const TopoDS_Shape &shape_of(const ENTITY *e);
// A new edge, vertex or face entity referring to shape inside owner (null owner: a free one).
template <class T> T *make_sub(BODY *owner, const TopoDS_Shape &shape) {
    T *e = new T();
    e->data()->shape = shape;
    e->data()->owner = owner;
    e->data()->version = owner ? owner->data()->version : 0;
    return e;
}

// Argument checks: finite lengths in [min size, max size]; radii may also be 0.
bool size_ok(double v);
bool radius_ok(double v);
bool is_finite(double v);
// Finite and within kernel_max_reach() of 0: positions, tool radii and translations.
bool reach_ok(double v);

// True when shape is a valid, non-empty solid (or compound of solids).
bool valid_solid(const TopoDS_Shape &shape);
// A compound of one solid becomes that solid; anything else is returned as it is.
TopoDS_Shape unwrap(const TopoDS_Shape &shape);

gp_Pnt to_pnt(const position &p);
gp_Vec to_vec(const vector &v);
position to_position(const gp_Pnt &p);

// While alive, std::cout writes to standard error. OCCT reports some problems on std::cout,
// which in a CGI program is the response itself.
class QuietStdout {
  public:
    QuietStdout() : saved_(std::cout.rdbuf(std::cerr.rdbuf())) {}
    ~QuietStdout() { std::cout.rdbuf(saved_); }
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;

  private:
    std::streambuf *saved_;
};

// Runs fn (returning outcome) inside the kernel's guard: fails when the modeller is not
// started, turns every exception into a failed outcome and keeps OCCT off standard output.
template <class F> outcome guarded(const char *what, F &&fn) {
    if (state().starts <= 0)
        return fail(KERN_NOT_STARTED, std::string(what) + ": modeller not started");
    QuietStdout quiet;
    try {
        return fn();
    } catch (const std::bad_alloc &) {
        note_out_of_memory();
        return outcome(KERN_OUT_OF_MEMORY, "out of memory");
    } catch (const Standard_Failure &e) {
        if (e.IsKind(STANDARD_TYPE(Standard_OutOfMemory))) {
            note_out_of_memory();
            return outcome(KERN_OUT_OF_MEMORY, "out of memory");
        }
        return fail(KERN_EXCEPTION, std::string(what) + ": " + e.GetMessageString());
    } catch (const std::exception &e) {
        return fail(KERN_EXCEPTION, std::string(what) + ": " + e.what());
    } catch (...) {
        return fail(KERN_EXCEPTION, std::string(what) + ": unknown exception");
    }
}

} // namespace kernel_detail

#endif
