/* Primitive solids: sizes, boxes and volumes, and refusal of run-away inputs. */
#include <cmath>
#include <functional>
#include <limits>

#include "kernel_test_util.h"

namespace {

struct SolidCase {
    const char *name;
    std::function<outcome(BODY *&)> make;
    position low, high;
    double volume;
};

const double kPi = M_PI;

TEST_F(KernelTest, PrimitivesHaveTheirBoxesAndVolumes) {
    const double hexArea = 6 * 0.5 * 5 * 5 * std::sin(2 * kPi / 6); // regular hexagon, radius 5
    const SolidCase cases[] = {
        {"cuboid",
         [](BODY *&b) { return api_make_cuboid(40, 20, 10, b); },
         {-20, -10, -5},
         {20, 10, 5},
         8000},
        {"cylinder",
         [](BODY *&b) { return api_make_frustum(10, 5, 5, 5, b); },
         {-5, -5, -5},
         {5, 5, 5},
         kPi * 25 * 10},
        {"cone",
         [](BODY *&b) { return api_make_frustum(12, 6, 6, 3, b); },
         {-6, -6, -6},
         {6, 6, 6},
         kPi * 12 / 3 * (36 + 18 + 9)},
        {"elliptic cylinder",
         [](BODY *&b) { return api_make_frustum(10, 4, 2, 4, b); },
         {-4, -2, -5},
         {4, 2, 5},
         kPi * 4 * 2 * 10},
        {"sphere",
         [](BODY *&b) { return api_make_sphere(5, b); },
         {-5, -5, -5},
         {5, 5, 5},
         4.0 / 3 * kPi * 125},
        {"torus",
         [](BODY *&b) { return api_make_torus(10, 2, b); },
         {-12, -12, -2},
         {12, 12, 2},
         2 * kPi * kPi * 10 * 4},
        {"prism",
         [](BODY *&b) { return api_make_prism(10, 5, 5, 6, b); },
         {-5, -5 * std::sin(kPi / 3), -5},
         {5, 5 * std::sin(kPi / 3), 5},
         hexArea * 10},
        {"pyramid",
         [](BODY *&b) { return api_make_pyramid(9, 5, 5, 0, 4, b); },
         {-5, -5, -4.5},
         {5, 5, 4.5},
         50.0 * 9 / 3},
        {"cylinder between points",
         [](BODY *&b) {
             return api_solid_cylinder_cone(position(0, 0, 10), position(0, 0, 30), 6, 6, 3,
                                            nullptr, b);
         },
         {-6, -6, 10},
         {6, 6, 30},
         kPi * 20 / 3 * (36 + 18 + 9)},
    };
    for (const SolidCase &c : cases) {
        SCOPED_TRACE(c.name);
        BODY *body = nullptr;
        outcome r = c.make(body);
        ASSERT_TRUE(r.ok()) << r.message();
        ASSERT_NE(body, nullptr);
        expectBox(get_body_box(body), c.low, c.high, 1e-6 * 40);
        EXPECT_NEAR(kernel_body_volume(body), c.volume, 1e-6 * c.volume);
    }
}

TEST_F(KernelTest, RunAwayAndNonsenseSizesAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::function<outcome(BODY *&)> cases[] = {
        [&](BODY *&b) { return api_make_cuboid(nan, 1, 1, b); },
        [&](BODY *&b) { return api_make_cuboid(1, 0, 1, b); },
        [&](BODY *&b) { return api_make_cuboid(1, -2, 1, b); },
        [&](BODY *&b) { return api_make_frustum(1e300, 1, 1, 1, b); },
        [&](BODY *&b) { return api_make_frustum(1, 1e300, 1e300, 1e300, b); },
        [&](BODY *&b) { return api_make_frustum(1, 1, 1, -1, b); },
        [&](BODY *&b) { return api_make_sphere(inf, b); },
        [&](BODY *&b) { return api_make_torus(5, 5, b); },
        [&](BODY *&b) { return api_make_torus(1e300, 1, b); },
        [&](BODY *&b) { return api_make_prism(10, 5, 5, 1000000, b); },
        [&](BODY *&b) { return api_make_prism(10, 5, 5, 2, b); },
        [&](BODY *&b) { return api_make_pyramid(10, 5, 5, 1, -3, b); },
        [&](BODY *&b) {
            return api_solid_cylinder_cone(position(0, 0, 0), position(0, 0, 0), 1, 1, 1, nullptr,
                                           b);
        },
        [&](BODY *&b) {
            return api_solid_cylinder_cone(position(0, 0, 0), position(0, 0, nan), 1, 1, 1, nullptr,
                                           b);
        },
        // A point at both ends, or an elliptic base of one radius 0, is no solid.
        [&](BODY *&b) { return api_make_frustum(1, 0, 0, 0, b); },
        [&](BODY *&b) { return api_make_frustum(1, 0, 2, 1, b); },
        [&](BODY *&b) {
            return api_solid_cylinder_cone(position(0, 0, 0), position(0, 0, 1), 0, 0, 0, nullptr,
                                           b);
        },
        // Bodies (not tools) keep the size limit: a section starting past it.
        [&](BODY *&b) {
            return api_solid_cylinder_cone(position(0, 0, 2e6), position(0, 0, 2e6 + 1), 1, 1, 1,
                                           nullptr, b);
        },
    };
    int i = 0;
    for (const auto &make : cases) {
        SCOPED_TRACE(i++);
        BODY *body = reinterpret_cast<BODY *>(1);
        outcome r = make(body);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error_number(), KERN_BAD_ARGUMENT);
        EXPECT_EQ(body, nullptr);
    }
}

// A frustum with a zero radius at either end is a cone: its apex a vertex on the axis.
TEST_F(KernelTest, ConesStandOnEitherEnd) {
    const double cone = M_PI * 25 * 12 / 3;
    BODY *onApex = nullptr, *apexUp = nullptr;
    ASSERT_TRUE(api_make_frustum(12, 0, 0, 5, onApex).ok());
    ASSERT_TRUE(api_make_frustum(12, 5, 5, 0, apexUp).ok());
    for (BODY *b : {onApex, apexUp}) {
        EXPECT_NEAR(kernel_body_volume(b), cone, 1e-9 * cone);
        expectBox(get_body_box(b), position(-5, -5, -6), position(5, 5, 6));
    }
    VERTEX *v = nullptr;
    EXPECT_TRUE(api_find_vertex(onApex, position(0, 0, -6), v).ok());
    EXPECT_TRUE(api_find_vertex(apexUp, position(0, 0, 6), v).ok());

    BODY *start = nullptr, *end = nullptr;
    ASSERT_TRUE(
        api_solid_cylinder_cone(position(0, 0, 10), position(0, 0, 20), 0, 0, 3, nullptr, start)
            .ok());
    ASSERT_TRUE(
        api_solid_cylinder_cone(position(0, 0, 10), position(0, 0, 20), 3, 3, 0, nullptr, end)
            .ok());
    for (BODY *b : {start, end})
        EXPECT_NEAR(kernel_body_volume(b), M_PI * 9 * 10 / 3, 1e-9);
    EXPECT_TRUE(api_find_vertex(start, position(0, 0, 10), v).ok());
    EXPECT_TRUE(api_find_vertex(start, position(3, 0, 20), v).ok());
    EXPECT_TRUE(api_find_vertex(end, position(0, 0, 20), v).ok());
}

// Tools are sized from bodies and may reach past the size limit; they are refused only when no
// body within the limits could call for them.
TEST_F(KernelTest, ToolsReachPastTheSizeLimit) {
    EDGE *edge = nullptr;
    const double diagonal = std::sqrt(3.0) * 2e6; // of the largest box a shaft can fill
    EXPECT_TRUE(api_mk_ed_ellipse(position(0, 0, 1e6), vector(1, 0, 0),
                                  vector(0, 0, 0.6 * diagonal), 1.0, 0.0, 0.0, edge)
                    .ok());
    EXPECT_EQ(api_mk_ed_ellipse(position(0, 0, 0), vector(1, 0, 0), vector(0, 0, 2e9), 1.0, 0.0,
                                0.0, edge)
                  .error_number(),
              KERN_BAD_ARGUMENT);
    EXPECT_EQ(api_mk_ed_ellipse(position(0, 0, 2e9), vector(1, 0, 0), vector(0, 0, 1), 1.0, 0.0,
                                0.0, edge)
                  .error_number(),
              KERN_BAD_ARGUMENT);
    // A unit body far along the axis, scaled a hundredfold and moved back into view.
    BODY *far = zCylinder(1, 999998, 999999);
    ASSERT_TRUE(api_apply_transf(far, scale_transf(100)).ok());
    ASSERT_TRUE(api_apply_transf(far, translate_transf(vector(50, 50, 50 - 99999850))).ok());
    ASSERT_TRUE(api_change_body_trans(far, nullptr, 0).ok());
    expectBox(get_body_box(far), position(-50, -50, 0), position(150, 150, 100), 1e-4);
    EXPECT_EQ(api_apply_transf(far, translate_transf(vector(0, 0, 2e9))).error_number(),
              KERN_BAD_ARGUMENT);
}

// A deleted entity is of no kind, and every call that takes it fails instead of reading freed
// memory.
TEST_F(KernelTest, DeletedEntitiesAreRefused) {
    BODY *cyl = zCylinder(4, 0, 10);
    ENTITY_LIST edges = edgesAt(cyl, position(4, 0, 0));
    ASSERT_EQ(edges.count(), 1);
    ENTITY *edge = edges[0];
    VERTEX *vertex = nullptr;
    ASSERT_TRUE(api_find_vertex(cyl, position(4, 0, 10), vertex).ok());
    ASSERT_TRUE(api_del_entity(cyl).ok()); // its edges and vertices go with it
    for (ENTITY *gone : {static_cast<ENTITY *>(cyl), edge, static_cast<ENTITY *>(vertex)}) {
        EXPECT_FALSE(is_BODY(gone));
        EXPECT_FALSE(is_EDGE(gone));
        EXPECT_FALSE(is_VERTEX(gone));
        EXPECT_FALSE(is_FACE(gone));
        EXPECT_FALSE(is_REFINEMENT(gone));
        EXPECT_EQ(api_del_entity(gone).error_number(), KERN_NULL_ENTITY);
    }
    ENTITY_LIST around;
    EXPECT_EQ(api_q_edges_around_vertex(vertex, around).error_number(), KERN_NULL_ENTITY);
    EXPECT_EQ(api_chamfer_edges(edges, 1.0).error_number(), KERN_NULL_ENTITY);
    EXPECT_EQ(api_apply_transf(cyl, scale_transf(2)).error_number(), KERN_NULL_ENTITY);
    EXPECT_TRUE(get_body_box(cyl).empty());
    EXPECT_EQ(kernel_mesh_check(cyl), KERN_MESH_NOT_MADE);
    ENTITY_LIST list;
    list.add(cyl);
    FILE *f = std::tmpfile();
    EXPECT_EQ(api_save_entity_list(f, 1, list).error_number(), KERN_WRONG_TYPE);
    std::fclose(f);
}

TEST_F(KernelTest, RoundSectionsCarryAVertexAtAngleZero) {
    BODY *cyl = zCylinder(4, 0, 10);
    for (double z : {0.0, 10.0}) {
        VERTEX *v = nullptr;
        ASSERT_TRUE(api_find_vertex(cyl, position(4, 0, z), v).ok());
        EXPECT_NEAR(v->geometry().x(), 4, 1e-9);
        ENTITY_LIST edges;
        ASSERT_TRUE(api_q_edges_around_vertex(v, edges).ok());
        // The circle only: the lateral face's seam is not a real edge of the solid.
        ASSERT_EQ(edges.count(), 1);
        EXPECT_TRUE(is_EDGE(edges[0]));
    }
    VERTEX *none = reinterpret_cast<VERTEX *>(1);
    outcome r = api_find_vertex(cyl, position(4, 0, 5), none);
    EXPECT_EQ(r.error_number(), KERN_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
}

TEST(KernelLifecycle, CallsOutsideTheModellerFailAndStopDeletesEverything) {
    BODY *body = nullptr;
    EXPECT_EQ(api_make_sphere(1, body).error_number(), KERN_NOT_STARTED);
    long before = ACIS_OBJECT::live_objects();
    ASSERT_TRUE(api_start_modeller(0).ok());
    ASSERT_TRUE(api_make_sphere(1, body).ok());
    ASSERT_TRUE(api_start_modeller(0).ok()); // a nested span keeps what the outer one made
    ASSERT_TRUE(api_stop_modeller().ok());
    EXPECT_NEAR(kernel_body_volume(body), 4.0 / 3 * M_PI, 1e-6);
    ASSERT_TRUE(api_stop_modeller().ok());
    EXPECT_EQ(ACIS_OBJECT::live_objects(), before);
    EXPECT_FALSE(api_stop_modeller().ok());
}

TEST(KernelTypes, TransformsComposeInOrderAndBoxesUnite) {
    SPAtransf t = rotate_transf(M_PI / 2, vector(1, 0, 0)) * translate_transf(vector(0, 0, 5));
    position p = t.transform(position(0, 1, 0));
    EXPECT_NEAR(p.x(), 0, 1e-12);
    EXPECT_NEAR(p.y(), 0, 1e-12);
    EXPECT_NEAR(p.z(), 6, 1e-12);
    EXPECT_NEAR((scale_transf(2.5).transform(position(1, 2, 3)) - position(2.5, 5, 7.5)).len(), 0,
                1e-12);
    box b = box(position(0, 0, 0), position(1, 1, 1)) | box(position(-1, 2, 0), position(0, 3, 4));
    expectBox(b, position(-1, 0, 0), position(1, 3, 4));
    EXPECT_NEAR(b.mid().y(), 1.5, 1e-12);
    EXPECT_TRUE(box().empty());
    expectBox(box() | b, b.low(), b.high());
    EXPECT_NEAR(normalise(vector(3, 0, 4)).len(), 1, 1e-12);
}

TEST(KernelTypes, EntityListKeepsInsertionOrderWithoutDuplicates) {
    ASSERT_TRUE(api_start_modeller(0).ok());
    BODY *a = nullptr, *b = nullptr;
    ASSERT_TRUE(api_make_sphere(1, a).ok());
    ASSERT_TRUE(api_make_sphere(2, b).ok());
    ENTITY_LIST list;
    EXPECT_EQ(list.add(b), 0);
    EXPECT_EQ(list.add(a), 1);
    EXPECT_EQ(list.add(b), 0);
    EXPECT_EQ(list.add(nullptr), -1);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list[5], nullptr);
    list.init();
    EXPECT_EQ(list.next(), b);
    EXPECT_EQ(list.next(), a);
    EXPECT_EQ(list.next(), nullptr);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(api_del_entity(a).ok());
    EXPECT_EQ(api_del_entity(a).error_number(), KERN_NULL_ENTITY); // stale pointers are refused
    ASSERT_TRUE(api_stop_modeller().ok());
}

} // namespace
