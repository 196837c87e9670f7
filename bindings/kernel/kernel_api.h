/* The function-style operations of the modelling kernel (errors: see kernel_types.h).
 *
 * Lifecycle: api_start_modeller comes first and api_stop_modeller last; starts and stops nest,
 * and only the outermost stop deletes the entities left alive. Every other operation fails with
 * KERN_NOT_STARTED outside that span. Components (constructors, booleans, blending, covering,
 * faceter) are counted by their initialise/terminate calls; their operations work either way.
 * The kernel is single-threaded.
 *
 * Sizes: every length and radius must be finite and at most kernel_max_size(); lengths that make
 * a solid must also be at least kernel_min_size(). Anything else is refused with KERN_BAD_ARGUMENT
 * before any geometry is built, so no input makes the kernel run away. */
#ifndef ROVAK_KERNEL_API_H
#define ROVAK_KERNEL_API_H

#include <cstdio>

#include "kernel_entity.h"

// Largest accepted length, smallest accepted solid size, largest number of polygon sides.
// Curves, sheets and transforms are tools sized from bodies: their radii, centres and
// translations may reach kernel_max_reach(), so a tool sized from a body within the size limits
// is never refused.
double kernel_max_size();
double kernel_max_reach();
double kernel_min_size();
int kernel_max_sides();

// ---- modeller and components ----
outcome api_start_modeller(int memory_hint);
outcome api_stop_modeller();
outcome api_initialize_constructors();
outcome api_terminate_constructors();
outcome api_initialize_booleans();
outcome api_terminate_booleans();
outcome api_initialize_blending();
outcome api_terminate_blending();
outcome api_initialize_covering();
outcome api_terminate_covering();
outcome api_initialize_faceter();
outcome api_terminate_faceter();

// Deletes e and, for a body, every edge, vertex and face entity that refers to it.
outcome api_del_entity(ENTITY *e);

// ---- solids; all centred on the origin, axes along z ----
// A box of the given x, y and z sizes.
outcome api_make_cuboid(double x, double y, double z, BODY *&body);
// A frustum from z = -height/2 to height/2 with an elliptic base of radii rx (along x) and ry
// (along y) and a top of radius top along x (the same shape); top 0 gives a cone, and a base of
// radii 0 and 0 under a round top a cone standing on its apex.
outcome api_make_frustum(double height, double rx, double ry, double top, BODY *&body);
outcome api_make_sphere(double radius, BODY *&body);
// A ring torus about z; minor must be smaller than major.
outcome api_make_torus(double major, double minor, BODY *&body);
// A prism of nsides sides whose corners lie on the ellipse of radii major (x) and minor (y).
outcome api_make_prism(double height, double major, double minor, int nsides, BODY *&body);
// As the prism, with the top polygon scaled to top / major (a point when top is 0).
outcome api_make_pyramid(double height, double major, double minor, double top, int nsides,
                         BODY *&body);
// A cylinder or cone from bottom to top: radii major/minor at the bottom, top (major) at the top;
// either end may be a point (major and minor 0, or top 0), not both.
// The major axis points to xpt when given, else along x for an axis along z. The circular edges
// of a round one carry one vertex each, at angle 0 (for an axis along z, at (r, 0, z)).
outcome api_solid_cylinder_cone(const position &bottom, const position &top, double major,
                                double minor, double top_major, const position *xpt, BODY *&body);

// ---- wires and sheets ----
// An elliptic edge centred on centre in the plane of normal; major gives the major radius and
// its direction, ratio the minor/major ratio. Angles in radians; start == end gives the full
// closed curve. The edge runs counter-clockwise about normal.
outcome api_mk_ed_ellipse(const position &centre, const vector &normal, const vector &major,
                          double ratio, double start, double end, EDGE *&edge);
// A wire body of n connected edges (which then belong to it).
outcome api_make_ewire(int n, EDGE *edges[], BODY *&wire);
outcome api_make_ewire(int n, EDGE *edge, BODY *&wire);
// A surface to cover with; only the plane of the wire is supported (pass null).
class surface;
// Turns a wire body into a flat sheet body in place and adds its faces to faces. The sheet's
// normal is the wire's own normal (counter-clockwise about it).
outcome api_cover_wires(BODY *wire, const surface *surf, ENTITY_LIST &faces);
// Turns a face over in its body.
outcome api_reverse_face(FACE *face);

// ---- topology queries ----
// The vertex of body at p (within a small tolerance), or null with KERN_NOT_FOUND.
outcome api_find_vertex(BODY *body, const position &p, VERTEX *&vertex);
// Adds the real edges that meet at vertex (not seams or degenerate ones) to edges.
outcome api_q_edges_around_vertex(VERTEX *vertex, ENTITY_LIST &edges);
outcome api_q_edges_around_vertex(VERTEX *vertex, ENTITY_LIST *edges);

// ---- booleans: the blank receives the result; the tool is used up (left empty) ----
enum BOOL_TYPE { UNION = 0, INTERSECTION = 1, SUBTRACTION = 2 };
outcome api_unite(BODY *tool, BODY *blank);
outcome api_subtract(BODY *tool, BODY *blank);
outcome api_intersect(BODY *tool, BODY *blank);
// A boolean of type UNION, INTERSECTION or SUBTRACTION. A flat sheet tool stands for the half
// space behind it (opposite its normal): subtraction keeps the part of the blank on the side the
// sheet's normal points to, intersection the other part.
outcome api_boolean(BODY *tool, BODY *blank, int type);

// ---- blends: recorded on the edges' body and built by api_fix_blends ----
// A chamfer of distance d on each edge (second distance r2; negative means equal to d).
outcome api_chamfer_edges(const ENTITY_LIST &edges, double d, double r2 = -1.0);
// A round of radius r on each edge.
outcome api_blend_edges(const ENTITY_LIST &edges, double r);
// Builds every recorded blend of the bodies of edges, one at a time; a blend that fails or
// gives an invalid solid is dropped (the body keeps its shape before it) and the outcome fails.
outcome api_fix_blends(const ENTITY_LIST &edges);

// ---- placement ----
outcome api_apply_transf(ENTITY *body, const SPAtransf &t);
// Applies t when given, then folds any pending placement into the body's geometry.
outcome api_change_body_trans(BODY *body, const SPAtransf *t, logical negate);

// ---- measure ----
// The body's axis-aligned box; empty for a null or empty body.
box get_body_box(const BODY *body);
// Volume of a solid body (0 for sheets, wires and empty bodies).
double kernel_body_volume(const BODY *body);

// ---- files ----
class FileInfo {
  public:
    void set_product_id(const char *id) { product_id_ = id ? id : ""; }
    void set_units(double units) { units_ = units; }
    const char *product_id() const { return product_id_.c_str(); }
    double units() const { return units_; }

  private:
    std::string product_id_;
    double units_ = 1.0;
};
enum { FILEINFO_PRODUCT_ID = 1, FILEINFO_UNITS = 2 };
// Stores the fields of info selected by mask for the following saves.
outcome api_set_file_info(unsigned mask, const FileInfo &info);
// The file information saves currently record.
const FileInfo &kernel_file_info();
// Writes the bodies of list to file as SAT text (text must be 1; refinements are skipped).
outcome api_save_entity_list(FILE *file, logical text, const ENTITY_LIST &list);
// Reads SAT text from file and appends the restored bodies to list; nothing is added on failure.
outcome api_restore_entity_list(FILE *file, logical text, ENTITY_LIST &list);

#endif
