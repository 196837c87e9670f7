/* Shared helpers of the kernel tests: a fixture that runs each test inside the modeller's span
 * and a few shape builders. */
#ifndef ROVAK_KERNEL_TEST_UTIL_H
#define ROVAK_KERNEL_TEST_UTIL_H

#include <cmath>

#include <gtest/gtest.h>

#include "kernel.h"

class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(api_start_modeller(0).ok()); }
    void TearDown() override { EXPECT_TRUE(api_stop_modeller().ok()); }
};

inline void expectBox(const box &b, const position &lo, const position &hi, double tol = 1e-6) {
    ASSERT_FALSE(b.empty());
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(b.low().coordinate(i), lo.coordinate(i), tol) << "low " << i;
        EXPECT_NEAR(b.high().coordinate(i), hi.coordinate(i), tol) << "high " << i;
    }
}

// A cylinder of radius r from z0 to z1 along the z axis.
inline BODY *zCylinder(double r, double z0, double z1) {
    BODY *b = nullptr;
    EXPECT_TRUE(
        api_solid_cylinder_cone(position(0, 0, z0), position(0, 0, z1), r, r, r, nullptr, b).ok());
    return b;
}

// A two-section shaft: radius 4 from z 0 to 10, radius 6 from z 10 to 30.
inline BODY *twoSectionShaft() {
    BODY *a = zCylinder(4, 0, 10);
    BODY *b = zCylinder(6, 10, 30);
    EXPECT_TRUE(api_unite(a, b).ok());
    return b;
}

// The edges around the vertex of body at p.
inline ENTITY_LIST edgesAt(BODY *body, const position &p) {
    ENTITY_LIST edges;
    VERTEX *v = nullptr;
    EXPECT_TRUE(api_find_vertex(body, p, v).ok());
    EXPECT_TRUE(api_q_edges_around_vertex(v, edges).ok());
    return edges;
}

// A flat disc in the plane through centre with the given normal, big enough to split anything
// of size reach.
inline BODY *disc(const position &centre, const vector &normal, const vector &major) {
    EDGE *edge = nullptr;
    EXPECT_TRUE(api_mk_ed_ellipse(centre, normal, major, 1.0, 0.0, 0.0, edge).ok());
    BODY *wire = nullptr;
    EXPECT_TRUE(api_make_ewire(1, &edge, wire).ok());
    ENTITY_LIST faces;
    EXPECT_TRUE(api_cover_wires(wire, nullptr, faces).ok());
    EXPECT_EQ(faces.count(), 1);
    return wire;
}

#endif
