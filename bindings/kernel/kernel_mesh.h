/* The faceter and its mesh managers (errors: see kernel_types.h).
 *
 * api_facet_entity triangulates one body and reports the result to the installed manager:
 *   begin_mesh_output(body), announce_counts(polygons, nodes, polygon nodes), then
 *   - for a manager whose need_global_indexed_polygons() is 1: every node of the body once, through
 *     one announce_global_node variant (at a vertex, on an edge, inside a face), numbered from 0 in
 *     announcement order; then each polygon as start_indexed_polygon, one
 *     announce_indexed_polynode per corner with the node's number, end_indexed_polygon;
 *   - otherwise each polygon with its corner positions (announce_polynode, the variant with the
 *     normal when need_normals() is 1);
 *   end_mesh_output(body).
 * Polygons are triangles wound counter-clockwise seen from outside the solid; every node is
 * announced before the first polygon. A solid whose mesh would not close (every edge of the
 * triangles used exactly once in each direction) is refused with KERN_INVALID_RESULT before the
 * manager hears anything. */
#ifndef ROVAK_KERNEL_MESH_H
#define ROVAK_KERNEL_MESH_H

#include "kernel_entity.h"

class MESH_MANAGER : public ACIS_OBJECT {
  public:
    virtual ~MESH_MANAGER();
    virtual void begin_mesh_output(ENTITY *entity);
    virtual void announce_counts(int npolygons, int nnodes, int npolynodes);
    virtual logical need_global_indexed_polygons(); // 0 here
    virtual logical need_normals();                 // 0 here
    virtual void start_indexed_polygon(int ipoly, int npolynodes);
    virtual void announce_indexed_polynode(int ipoly, int i, int inode);
    virtual void announce_polynode(int ipoly, int i, const position &p);
    virtual void announce_polynode(int ipoly, int i, const position &p, const unit_vector &normal);
    virtual void end_indexed_polygon(int ipoly);
    virtual void end_mesh_output(ENTITY *entity);
};

class GLOBAL_MESH_MANAGER : public MESH_MANAGER {
  public:
    logical need_global_indexed_polygons() override; // 1 here
    virtual void announce_global_node(int inode, VERTEX *vertex, const position &p);
    virtual void announce_global_node(int inode, EDGE *edge, const position &p, double t);
    virtual void announce_global_node(int inode, FACE *face, const position &p, const par_pos &uv);
    // Largest number of corners the manager accepts in one polygon, -1 for any (3 here). The
    // faceter only makes triangles, which every answer of 3 or more (or -1) accepts.
    virtual int max_nodes_per_polygon();
};

// Installs the manager that api_facet_entity reports to (null uninstalls). The kernel does not
// own it; terminating the faceter or stopping the modeller uninstalls it.
outcome api_set_mesh_manager(MESH_MANAGER *manager);
// A new refinement entity holding the current default values (options: pass 0).
outcome api_get_default_refinement(REFINEMENT *&refinement, void *options = nullptr);
outcome api_get_default_refinement(REFINEMENT **refinement, void *options = nullptr);
// Makes the values of refinement the default (refused when not finite or run-away fine).
outcome api_set_default_refinement(REFINEMENT *refinement);
// Facets a body with the default refinement and reports it to the installed manager.
outcome api_facet_entity(ENTITY *entity);
// What meshing the body at the default refinement gives: a closed and consistently wound surface
// enclosing a positive volume (that volume is returned when asked for), an open or inside-out
// one, or nothing (no live body, or the mesher failed: a face or edge it could not mesh, memory
// run out). Needs no manager.
enum { KERN_MESH_CLOSED, KERN_MESH_OPEN, KERN_MESH_NOT_MADE };
int kernel_mesh_check(BODY *body, double *volume = nullptr);

#endif
