/* Measuring a body and writing it for CAD programs: volume, area and tight box, the faceter's
 * triangle count, AP214 STEP and binary STL (errors: see kernel_types.h).
 *
 * Lengths are model units, written as millimetres. The mesh behind the triangle count and the
 * STL is the faceter's (kernel_mesh.h) at the default refinement: the mesh a scene shows. None of
 * these operations prints anything; OCCT's messages are silenced while they run. */
#ifndef ROVAK_KERNEL_EXPORT_H
#define ROVAK_KERNEL_EXPORT_H

#include <string>

#include "kernel_entity.h"

// Largest mesh an STL is made from: 50 bytes a triangle, so at most about 200 MB of STL. The
// finest mesh the faceter makes of one torus or sphere stays below it.
constexpr long KERNEL_EXPORT_MAX_TRIANGLES = 4000000;

struct kernel_measures {
    double volume = 0; // enclosed volume, cubic units
    double area = 0;   // area of every face, square units
    box bounds;        // the tight box of the body's faces (no tolerance margin)
};

// Measures a body holding at least one solid; KERN_WRONG_TYPE for a sheet, a wire or an empty
// body, KERN_NULL_ENTITY for anything but a live body.
outcome kernel_measure_body(BODY *body, kernel_measures &measures);

// The number of triangles the faceter makes of body (needs no mesh manager; the installed one,
// if any, is neither called nor changed). Fails as api_facet_entity does.
outcome kernel_count_triangles(BODY *body, long &triangles);

// Writes body as an AP214 STEP file at path, lengths in millimetres, with product name
// product (null or empty: "solid"). A file left by a failed write is removed.
outcome kernel_write_step(BODY *body, const char *product, const char *path);

// Binary STL of the faceter's mesh of body, in bytes (replaced, empty on failure): an 80-byte
// header holding header (cut to fit; it never starts with "solid", which would make readers take
// the file for text), the triangle count as 32-bit little-endian, then per triangle its unit
// normal and three corners as 32-bit little-endian floats, counter-clockwise seen from outside,
// and a zero 16-bit attribute. KERN_BAD_ARGUMENT when the mesh has more than
// KERNEL_EXPORT_MAX_TRIANGLES triangles. triangles receives the count (0 on failure).
outcome kernel_write_stl(BODY *body, const char *header, std::string &bytes, long &triangles);

#endif
