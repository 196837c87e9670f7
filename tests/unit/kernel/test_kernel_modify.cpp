/* Booleans, sheet cuts, blends and transforms. */
#include <cmath>

#include "kernel_test_util.h"

namespace {

const double kPi = M_PI;

double cylVolume(double r, double h) { return kPi * r * r * h; }

TEST_F(KernelTest, UniteAndSubtractLandInTheBlank) {
    BODY *shaft = twoSectionShaft();
    double v = cylVolume(4, 10) + cylVolume(6, 20);
    EXPECT_NEAR(kernel_body_volume(shaft), v, 1e-6 * v);
    expectBox(get_body_box(shaft), position(-6, -6, 0), position(6, 6, 30));

    BODY *hole = zCylinder(2, 0, 5);
    ASSERT_TRUE(api_subtract(hole, shaft).ok());
    EXPECT_NEAR(kernel_body_volume(shaft), v - cylVolume(2, 5), 1e-6 * v);
    EXPECT_EQ(kernel_body_volume(hole), 0); // the tool is used up

    // A tool that misses leaves nothing of an intersection: a failure, the blank unchanged.
    BODY *far = zCylinder(1, 100, 110);
    outcome r = api_intersect(far, shaft);
    EXPECT_FALSE(r.ok());
    EXPECT_NEAR(kernel_body_volume(shaft), v - cylVolume(2, 5), 1e-6 * v);
    EXPECT_EQ(api_unite(shaft, shaft).error_number(), KERN_BAD_ARGUMENT);
}

TEST_F(KernelTest, CrossOfTwoRotatedCylinders) {
    BODY *a = nullptr, *b = nullptr;
    ASSERT_TRUE(api_make_frustum(40, 5, 5, 5, a).ok());
    ASSERT_TRUE(api_make_frustum(30, 5, 5, 5, b).ok());
    ASSERT_TRUE(api_apply_transf(a, rotate_transf(1.5707963267948966, vector(1, 0, 0))).ok());
    expectBox(get_body_box(a), position(-5, -20, -5), position(5, 20, 5));
    ASSERT_TRUE(api_unite(a, b).ok());
    // Two perpendicular cylinders of equal radius r share a Steinmetz solid of 16 r^3 / 3.
    double v = cylVolume(5, 40) + cylVolume(5, 30) - 16.0 * 125 / 3;
    EXPECT_NEAR(kernel_body_volume(b), v, 1e-4 * v);
    expectBox(get_body_box(b), position(-5, -20, -15), position(5, 20, 15));
}

TEST_F(KernelTest, SheetCutKeepsTheSideTheNormalPointsTo) {
    BODY *box40 = nullptr;
    ASSERT_TRUE(api_make_cuboid(40, 20, 10, box40).ok());
    BODY *cut = disc(position(0, 0, 0), vector(1, 0, 0), vector(0, 0, 60));
    ASSERT_TRUE(api_boolean(cut, box40, 2).ok());
    expectBox(get_body_box(box40), position(0, -10, -5), position(20, 10, 5));

    BODY *flipped = nullptr;
    ASSERT_TRUE(api_make_cuboid(40, 20, 10, flipped).ok());
    EDGE *edge = nullptr;
    ASSERT_TRUE(
        api_mk_ed_ellipse(position(0, 0, 0), vector(1, 0, 0), vector(0, 0, 60), 1, 0, 0, edge)
            .ok());
    BODY *sheet = nullptr;
    ASSERT_TRUE(api_make_ewire(1, &edge, sheet).ok());
    ENTITY_LIST faces;
    ASSERT_TRUE(api_cover_wires(sheet, nullptr, faces).ok());
    ASSERT_TRUE(api_reverse_face(static_cast<FACE *>(faces[0])).ok());
    ASSERT_TRUE(api_boolean(sheet, flipped, SUBTRACTION).ok());
    expectBox(get_body_box(flipped), position(-20, -10, -5), position(0, 10, 5));

    // A second cut on what the first left keeps a quarter.
    BODY *second = disc(position(0, 0, 0), vector(0, 1, 0), vector(60, 0, 0));
    ASSERT_TRUE(api_boolean(second, flipped, 2).ok());
    EXPECT_NEAR(kernel_body_volume(flipped), 2000, 1e-6 * 2000);
    expectBox(get_body_box(flipped), position(-20, 0, -5), position(0, 10, 5));
}

TEST_F(KernelTest, WedgeKeepsTheHalfBelowTheTurnedDiagonal) {
    BODY *blk = nullptr;
    ASSERT_TRUE(api_make_cuboid(40, 20, 10, blk).ok());
    box b = get_body_box(blk);
    double d = (b.high() - b.low()).len();
    BODY *cut = disc(position(0, 0, 0), vector(0, 0, 1), vector(0.6 * d, 0, 0));
    double angle = std::atan(10.0 / 40.0) + 3.141592653589793;
    ASSERT_TRUE(api_apply_transf(cut, rotate_transf(angle, vector(0, 1, 0))).ok());
    ASSERT_TRUE(api_boolean(cut, blk, 2).ok());
    EXPECT_NEAR(kernel_body_volume(blk), 4000, 1e-6 * 4000);
    expectBox(get_body_box(blk), position(-20, -10, -5), position(20, 10, 5));
    VERTEX *v = nullptr;
    EXPECT_TRUE(api_find_vertex(blk, position(-20, -10, -5), v).ok());
    EXPECT_FALSE(api_find_vertex(blk, position(20, -10, 5), v).ok());
}

TEST_F(KernelTest, ChamferAndRoundOnShaftEdgesTakeEffectAtFix) {
    BODY *shaft = twoSectionShaft();
    double v0 = kernel_body_volume(shaft);
    ENTITY_LIST fix;
    ENTITY_LIST end = edgesAt(shaft, position(6, 0, 30));
    ASSERT_EQ(end.count(), 1);
    ASSERT_TRUE(api_chamfer_edges(end, 1.0, -1.0).ok());
    fix.add(end[0]);
    ENTITY_LIST shoulder = edgesAt(shaft, position(6, 0, 10));
    ASSERT_EQ(shoulder.count(), 1);
    ASSERT_TRUE(api_blend_edges(shoulder, 1.0).ok());
    fix.add(shoulder[0]);
    EXPECT_NEAR(kernel_body_volume(shaft), v0, 1e-9 * v0); // nothing happens before the fix

    outcome r = api_fix_blends(fix);
    ASSERT_TRUE(r.ok()) << r.message();
    // Pappus: ring cross-section area times the path of its centroid.
    double chamfer = 2 * kPi * (6 - 1.0 / 3) * 0.5;
    double xbar = (10 - 3 * kPi) / (12 - 3 * kPi);
    double round = 2 * kPi * (6 - xbar) * (1 - kPi / 4);
    EXPECT_NEAR(kernel_body_volume(shaft), v0 - chamfer - round, 1e-4 * v0);
}

TEST_F(KernelTest, OversizeBlendsFailCleanlyAndKeepTheShape) {
    BODY *shaft = twoSectionShaft();
    double v0 = kernel_body_volume(shaft);
    // Deeper than the radius of the thin section: no valid solid can come of it.
    ENTITY_LIST start = edgesAt(shaft, position(4, 0, 0));
    ASSERT_TRUE(api_chamfer_edges(start, 5.0).ok());
    outcome r = api_fix_blends(start);
    EXPECT_FALSE(r.ok());
    EXPECT_NEAR(kernel_body_volume(shaft), v0, 1e-9 * v0);

    // Larger than the body itself: refused when recorded.
    ENTITY_LIST again = edgesAt(shaft, position(4, 0, 0));
    EXPECT_EQ(api_blend_edges(again, 1e6).error_number(), KERN_BAD_ARGUMENT);
    EXPECT_EQ(api_blend_edges(again, std::nan("")).error_number(), KERN_BAD_ARGUMENT);
    // A good blend after a bad one still works.
    ASSERT_TRUE(api_chamfer_edges(again, 0.5).ok());
    EXPECT_TRUE(api_fix_blends(again).ok());
    EXPECT_LT(kernel_body_volume(shaft), v0);
}

TEST_F(KernelTest, EdgesFoundBeforeAChangeAreStale) {
    BODY *shaft = twoSectionShaft();
    ENTITY_LIST edges = edgesAt(shaft, position(6, 0, 30));
    BODY *hole = zCylinder(1, 0, 30);
    ASSERT_TRUE(api_subtract(hole, shaft).ok());
    EXPECT_EQ(api_chamfer_edges(edges, 1.0).error_number(), KERN_NULL_ENTITY);
}

TEST_F(KernelTest, TransformsAreFoldedIntoTheBody) {
    BODY *blk = nullptr;
    ASSERT_TRUE(api_make_cuboid(40, 20, 10, blk).ok());
    ASSERT_TRUE(api_apply_transf(blk, scale_transf(2.5)).ok());
    ASSERT_TRUE(api_change_body_trans(blk, nullptr, 0).ok());
    ASSERT_TRUE(api_apply_transf(blk, translate_transf(vector(50, 50, 50))).ok());
    ASSERT_TRUE(api_change_body_trans(blk, nullptr, 0).ok());
    expectBox(get_body_box(blk), position(0, 25, 37.5), position(100, 75, 62.5));
    EXPECT_NEAR(kernel_body_volume(blk), 8000 * 2.5 * 2.5 * 2.5, 1e-6);
    EXPECT_EQ(api_apply_transf(blk, scale_transf(0)).error_number(), KERN_BAD_ARGUMENT);
    EXPECT_EQ(api_apply_transf(blk, scale_transf(std::nan(""))).error_number(), KERN_BAD_ARGUMENT);
}

} // namespace
