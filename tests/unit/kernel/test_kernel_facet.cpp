/* The faceter: closed, consistently wound meshes with body-wide node numbers from 0. */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "kernel_test_util.h"

namespace {

// Records what the faceter reports, body by body.
class RecordingManager : public GLOBAL_MESH_MANAGER {
  public:
    struct Body {
        std::vector<position> nodes;
        std::vector<std::vector<int>> polygons;
        bool polygonBeforeLastNode = false;
        bool ended = false;
    };
    std::vector<Body> bodies;

    void begin_mesh_output(ENTITY *) override { bodies.emplace_back(); }
    void announce_global_node(int inode, VERTEX *, const position &p) override { node(inode, p); }
    void announce_global_node(int inode, EDGE *, const position &p, double) override {
        node(inode, p);
    }
    void announce_global_node(int inode, FACE *, const position &p, const par_pos &) override {
        node(inode, p);
    }
    void start_indexed_polygon(int, int) override { bodies.back().polygons.emplace_back(); }
    void announce_indexed_polynode(int, int, int inode) override {
        bodies.back().polygons.back().push_back(inode);
    }
    void end_mesh_output(ENTITY *) override { bodies.back().ended = true; }

  private:
    void node(int inode, const position &p) {
        Body &b = bodies.back();
        EXPECT_EQ(inode, int(b.nodes.size())); // numbered from 0 in announcement order
        if (!b.polygons.empty())
            b.polygonBeforeLastNode = true;
        b.nodes.push_back(p);
    }
};

// Checks that every edge of the mesh is used once in each direction, and returns the volume the
// triangles enclose (positive when they face outwards).
double checkClosed(const RecordingManager::Body &b) {
    std::map<std::pair<int, int>, int> directed;
    double volume = 0;
    for (const auto &poly : b.polygons) {
        EXPECT_EQ(poly.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_GE(poly[i], 0);
            EXPECT_LT(poly[i], int(b.nodes.size()));
            directed[{poly[i], poly[(i + 1) % 3]}]++;
        }
        const position &p = b.nodes[poly[0]], &q = b.nodes[poly[1]], &r = b.nodes[poly[2]];
        volume += ((p - position()) % ((q - position()) * (r - position()))) / 6;
    }
    int bad = 0;
    for (const auto &d : directed)
        if (d.second != 1 || directed.count({d.first.second, d.first.first}) != 1)
            ++bad;
    EXPECT_EQ(bad, 0) << "edges not shared by exactly two consistently wound triangles";
    return volume;
}

class FacetTest : public KernelTest {
  protected:
    RecordingManager *manager = nullptr;
    void SetUp() override {
        KernelTest::SetUp();
        ASSERT_TRUE(api_initialize_faceter().ok());
        manager = new RecordingManager();
        ASSERT_TRUE(api_set_mesh_manager(manager).ok());
    }
    void TearDown() override {
        EXPECT_TRUE(api_terminate_faceter().ok());
        delete manager;
        KernelTest::TearDown();
    }
};

TEST_F(FacetTest, EveryBodyGivesAClosedOutwardMesh) {
    std::vector<std::pair<const char *, BODY *>> bodies;
    BODY *b = nullptr;
    api_make_cuboid(40, 20, 10, b);
    bodies.push_back({"cuboid", b});
    api_make_sphere(5, b);
    bodies.push_back({"sphere", b});
    api_make_torus(10, 2, b);
    bodies.push_back({"torus", b});
    api_make_frustum(10, 5, 5, 0, b);
    bodies.push_back({"cone", b});
    api_make_prism(10, 5, 3, 7, b);
    bodies.push_back({"prism", b});
    BODY *shaft = twoSectionShaft();
    ENTITY_LIST fix, e1 = edgesAt(shaft, position(6, 0, 10)),
                     e2 = edgesAt(shaft, position(4, 0, 0));
    api_blend_edges(e1, 1.0);
    api_chamfer_edges(e2, 0.5);
    fix.add(e1[0]);
    fix.add(e2[0]);
    ASSERT_TRUE(api_fix_blends(fix).ok());
    BODY *hole = zCylinder(2, 0, 30);
    ASSERT_TRUE(api_subtract(hole, shaft).ok());
    ASSERT_TRUE(
        api_boolean(disc(position(0, 0, 15), vector(1, 0, 0), vector(0, 0, 30)), shaft, 2).ok());
    bodies.push_back({"shaft", shaft});

    for (const auto &nb : bodies) {
        SCOPED_TRACE(nb.first);
        ASSERT_NE(nb.second, nullptr);
        std::size_t before = manager->bodies.size();
        outcome r = api_facet_entity(nb.second);
        ASSERT_TRUE(r.ok()) << r.message();
        ASSERT_EQ(manager->bodies.size(), before + 1);
        const RecordingManager::Body &m = manager->bodies.back();
        EXPECT_TRUE(m.ended);
        EXPECT_FALSE(m.polygonBeforeLastNode);
        EXPECT_GT(m.polygons.size(), 4u);
        EXPECT_LT(m.polygons.size(), 50000u);
        double v = kernel_body_volume(nb.second);
        EXPECT_NEAR(checkClosed(m), v, 0.03 * v);
    }
}

TEST_F(FacetTest, RefinementControlsDensityWithinBounds) {
    BODY *sphere = nullptr;
    ASSERT_TRUE(api_make_sphere(5, sphere).ok());
    ASSERT_TRUE(api_facet_entity(sphere).ok());
    std::size_t coarse = manager->bodies.back().polygons.size();
    REFINEMENT *ref = nullptr;
    ASSERT_TRUE(api_get_default_refinement(ref).ok());
    ref->normal_tol = 5;
    ref->surface_tol = 0.0001;
    ASSERT_TRUE(api_set_default_refinement(ref).ok());
    ASSERT_TRUE(api_facet_entity(sphere).ok());
    EXPECT_GT(manager->bodies.back().polygons.size(), coarse);
    ref->surface_tol = 1e-12; // would run away
    EXPECT_EQ(api_set_default_refinement(ref).error_number(), KERN_BAD_ARGUMENT);
    ref->surface_tol = std::nan("");
    EXPECT_EQ(api_set_default_refinement(ref).error_number(), KERN_BAD_ARGUMENT);
}

// Two equal cylinders crossing meet at points where four edges and several vertices come
// together; at large sizes, read back from SAT and fitted as the converter does, the mesh must
// still close.
TEST_F(FacetTest, EqualCrossAtLargeSizesCloses) {
    for (double size : {2e5, 5e5, 1e6}) {
        SCOPED_TRACE(size);
        BODY *a = nullptr, *b = nullptr;
        ASSERT_TRUE(api_make_frustum(size, size / 2, size / 2, size / 2, a).ok());
        ASSERT_TRUE(api_make_frustum(size, size / 2, size / 2, size / 2, b).ok());
        ASSERT_TRUE(api_apply_transf(a, rotate_transf(M_PI / 2, vector(1, 0, 0))).ok());
        ASSERT_TRUE(api_unite(a, b).ok());
        FILE *f = std::tmpfile();
        ENTITY_LIST saved, restored;
        saved.add(b);
        ASSERT_TRUE(api_save_entity_list(f, 1, saved).ok());
        std::rewind(f);
        ASSERT_TRUE(api_restore_entity_list(f, 1, restored).ok());
        std::fclose(f);
        BODY *back = static_cast<BODY *>(restored[0]);
        double scale = 100.0 / size;
        ASSERT_TRUE(api_apply_transf(back, scale_transf(scale)).ok());
        ASSERT_TRUE(api_apply_transf(back, translate_transf(vector(50, 50, 50))).ok());
        ASSERT_TRUE(api_change_body_trans(back, nullptr, 0).ok());
        ASSERT_TRUE(api_facet_entity(back).ok());
        double v = kernel_body_volume(back);
        EXPECT_NEAR(checkClosed(manager->bodies.back()), v, 0.03 * v);
    }
}

// A tube far thinner than the torus it bends around falls below the mesher's segments: the
// faceter refuses it rather than report an open mesh, and the check says so.
TEST_F(FacetTest, MeshesThatWouldNotCloseAreRefused) {
    BODY *thin = nullptr;
    ASSERT_TRUE(api_make_torus(1, 1e-6, thin).ok());
    ASSERT_TRUE(api_apply_transf(thin, scale_transf(50)).ok()); // as the converter fits it
    ASSERT_TRUE(api_change_body_trans(thin, nullptr, 0).ok());
    std::size_t before = manager->bodies.size();
    EXPECT_EQ(api_facet_entity(thin).error_number(), KERN_INVALID_RESULT);
    EXPECT_EQ(manager->bodies.size(), before); // the manager heard nothing
    EXPECT_EQ(kernel_mesh_check(thin), KERN_MESH_OPEN);

    BODY *torus = nullptr;
    ASSERT_TRUE(api_make_torus(1, 1e-4, torus).ok());
    double volume = 0;
    EXPECT_EQ(kernel_mesh_check(torus, &volume), KERN_MESH_CLOSED);
    double exact = kernel_body_volume(torus);
    EXPECT_NEAR(volume, exact, 0.03 * exact);
}

// Largest angle, in degrees, that a mesh edge spans about the z axis, and about the circle of
// radius ring in the x-y plane (0 for a sphere's centre), for a body centred on the origin.
struct Spans {
    double aboutAxis = 0, aboutRing = 0, offSurface = 0;
};

Spans spans(const RecordingManager::Body &b, double ring, double radius) {
    auto angle = [](double a, double b) {
        double d = std::fabs(a - b);
        return std::min(d, 2 * M_PI - d) * 180 / M_PI;
    };
    Spans s;
    // Where a node stands about the axis and about the tube (or sphere) centre beneath it.
    auto tube = [&](const position &p, double &around, double &across) {
        double rho = std::hypot(p.x(), p.y());
        around = std::atan2(p.y(), p.x());
        across = std::atan2(p.z(), rho - ring);
        double off = std::fabs(std::hypot(rho - ring, p.z()) - radius);
        s.offSurface = std::max(s.offSurface, off);
    };
    for (const auto &poly : b.polygons)
        for (int k = 0; k < 3; ++k) {
            const position &p = b.nodes[poly[k]], &q = b.nodes[poly[(k + 1) % 3]];
            double pa, pc, qa, qc;
            tube(p, pa, pc);
            tube(q, qa, qc);
            bool nearAxis = std::hypot(p.x(), p.y()) < 1e-9 || std::hypot(q.x(), q.y()) < 1e-9;
            if (!nearAxis) // a sphere's poles stand at every angle about the axis
                s.aboutAxis = std::max(s.aboutAxis, angle(pa, qa));
            s.aboutRing = std::max(s.aboutRing, angle(pc, qc));
        }
    return s;
}

// Tori and spheres are meshed at least 64 segments a turn both ways (steps of 5.625 degrees) with
// every node on the surface, under the default refinement; a finer refinement gives more.
TEST_F(FacetTest, TorusAndSphereAreFineAndOnTheirSurface) {
    struct Case {
        const char *name;
        double ring, radius;
    } cases[] = {{"torus", 10, 3}, {"thin torus", 40, 1}, {"sphere", 0, 5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BODY *b = nullptr;
        if (c.ring > 0)
            ASSERT_TRUE(api_make_torus(c.ring, c.radius, b).ok());
        else
            ASSERT_TRUE(api_make_sphere(c.radius, b).ok());
        ASSERT_TRUE(api_facet_entity(b).ok());
        const RecordingManager::Body &mesh = manager->bodies.back();
        double v = kernel_body_volume(b);
        EXPECT_NEAR(checkClosed(mesh), v, 0.01 * v);
        Spans s = spans(mesh, c.ring, c.radius);
        EXPECT_LE(s.aboutAxis, 5.625 + 1e-6);
        EXPECT_LE(s.aboutRing, 5.625 + 1e-6);
        EXPECT_LT(s.offSurface, 1e-9 * (c.ring + c.radius));
    }
}

TEST_F(FacetTest, FacetingNeedsABodyAndAManager) {
    EXPECT_EQ(api_facet_entity(nullptr).error_number(), KERN_NULL_ENTITY);
    BODY *sphere = nullptr;
    ASSERT_TRUE(api_make_sphere(5, sphere).ok());
    ASSERT_TRUE(api_set_mesh_manager(nullptr).ok());
    EXPECT_EQ(api_facet_entity(sphere).error_number(), KERN_NO_MESH_MANAGER);
}

} // namespace
