/* Entities of the modelling kernel: bodies, their edges, vertices and faces, refinements, and the
 * ordered entity list.
 *
 * The kernel owns every entity it hands out. An entity lives until api_del_entity or until the
 * outermost api_stop_modeller, which deletes whatever is left; callers never delete entities
 * themselves. Edges, vertices and faces refer to a place in their body's current shape; after
 * the body changes (boolean, blend, transform) old references find nothing. */
#ifndef ROVAK_KERNEL_ENTITY_H
#define ROVAK_KERNEL_ENTITY_H

#include <cstddef>
#include <vector>

#include "kernel_types.h"

// Base of objects allocated with the kernel's own allocator.
class ACIS_OBJECT {
  public:
    static void *operator new(std::size_t size);
    static void operator delete(void *p);
    // Number of kernel-allocated objects alive now.
    static long live_objects();

  protected:
    ~ACIS_OBJECT() = default;
};

class ENTITY;
namespace kernel_detail {
struct EntityData;
void destroy_entity(ENTITY *e);
} // namespace kernel_detail

class ENTITY : public ACIS_OBJECT {
  public:
    // Name of the entity kind: "body", "edge", "vertex", "face" or "refinement".
    virtual const char *type_name() const = 0;
    // Kernel-private data; opaque to callers.
    kernel_detail::EntityData *data() const { return data_; }

  protected:
    ENTITY();
    virtual ~ENTITY();

  private:
    friend void kernel_detail::destroy_entity(ENTITY *e);
    kernel_detail::EntityData *data_;
};

class BODY : public ENTITY {
  public:
    const char *type_name() const override { return "body"; }
};

class EDGE : public ENTITY {
  public:
    const char *type_name() const override { return "edge"; }
};

class VERTEX : public ENTITY {
  public:
    const char *type_name() const override { return "vertex"; }
    // Position of the vertex in model space.
    position geometry() const;
};

class FACE : public ENTITY {
  public:
    const char *type_name() const override { return "face"; }
};

// Faceting controls. surface_tol is the largest distance between a facet and its surface as a
// fraction of the body's box diagonal; normal_tol the largest angle (degrees) between the
// normals at the corners of a facet.
class REFINEMENT : public ENTITY {
  public:
    const char *type_name() const override { return "refinement"; }
    double surface_tol = 0.001;
    double normal_tol = 20.0;
};

logical is_BODY(const ENTITY *e);
logical is_EDGE(const ENTITY *e);
logical is_VERTEX(const ENTITY *e);
logical is_FACE(const ENTITY *e);
logical is_REFINEMENT(const ENTITY *e);

// An ordered set of entity pointers: insertion order, no duplicates, null never stored.
class ENTITY_LIST {
  public:
    // Adds e unless present or null; returns its index (-1 for null).
    int add(ENTITY *e);
    // Appends every entity of other.
    void add(const ENTITY_LIST &other);
    // Index of e, or -1.
    int lookup(const ENTITY *e) const;
    // Removes e if present.
    void remove(const ENTITY *e);
    // Entity at index i, null when i is out of range.
    ENTITY *operator[](int i) const;
    int count() const { return static_cast<int>(items_.size()); }
    int iteration_count() const { return count(); }
    // Restarts the iteration of next().
    void init() const { cursor_ = 0; }
    // The following entity of the iteration, null at the end.
    ENTITY *next() const;
    void clear();

  private:
    std::vector<ENTITY *> items_;
    mutable std::size_t cursor_ = 0;
};

#endif
