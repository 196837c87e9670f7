/* VrmlMeshManager: the faceter's mesh manager that writes a VRML 2.0 scene, one IndexedFaceSet
 * shape per faceted body, between a fixed scene head and tail.
 *
 * Write errors on the output stream are ignored (the caller checks the stream when closing it).
 * Allocate with new (the kernel's allocator) and delete through the base class. */
#ifndef ROVAK_VRML_MESH_H
#define ROVAK_VRML_MESH_H

#include <cstdio>

#include "kernel.h"

// Longest text vrmlFixed6 writes, with its terminating null.
enum { VRML_FIXED6_MAX = 32 };

// Writes x to out as printf's "%f" does (six decimals, the exact binary value rounded to nearest,
// ties to even; "-" for any negative value, "-0.000000" included) and returns the length; false
// (out untouched) for a value beyond 9e12 in size or not finite, which the caller must format
// with printf. Meshes print hundreds of thousands of numbers, and printf's general machinery
// costs more than the meshing.
bool vrmlFixed6(double x, char *out, int &length);

class VrmlMeshManager : public GLOBAL_MESH_MANAGER {
  public:
    // Defaults: output standard output, no reference cube, plain grey shapes, all viewpoints.
    // Seeds rand() with the current time, for the random appearance names.
    VrmlMeshManager();
    ~VrmlMeshManager() override;

    // Where all text goes from now on; the manager never closes it.
    void setOutput(FILE *output) { output_ = output; }
    // 1 writes the reference cube in the scene head.
    void setShowAxes(int v) { showAxes_ = v; }
    // 1 gives every shape the inline light-grey appearance; any other value defines the 24 named
    // appearances in the head and gives each shape a random one.
    void setPlainColour(int v) { plainColour_ = v; }
    // 1 writes the seven viewpoints after the first.
    void setExtraViewpoints(int v) { extraViewpoints_ = v; }

    // Header, world info, viewpoints, navigation, optional cube, root, optional appearances.
    void writeSceneHead();
    // Closes a shape left open, then the root.
    void writeSceneTail();

    int indicesOpen() const { return indicesOpen_; }
    int pointsOpen() const { return pointsOpen_; }
    const char *colourName() const { return colourName_; }

    // Faceter callbacks.
    void begin_mesh_output(ENTITY *entity) override;
    logical need_global_indexed_polygons() override;
    void announce_global_node(int inode, VERTEX *vertex, const position &p) override;
    void announce_global_node(int inode, EDGE *edge, const position &p, double t) override;
    void announce_global_node(int inode, FACE *face, const position &p, const par_pos &uv) override;
    void announce_indexed_polynode(int ipoly, int i, int inode) override;
    void end_indexed_polygon(int ipoly) override;
    void end_mesh_output(ENTITY *entity) override;
    int max_nodes_per_polygon() override;

  private:
    void writePoint(const position &p);
    void closePoints();
    void closeIndices();
    void writeAppearance();

    FILE *output_;
    int indicesOpen_ = 0;
    int pointsOpen_ = 0;
    char colourName_[20] = "";
    int showAxes_ = 0;
    int plainColour_ = 1;
    int extraViewpoints_ = 1;
};

#endif
