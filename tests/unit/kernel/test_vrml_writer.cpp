/* The scene text written by VrmlMeshManager, compared with reference text. */
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "vrml_mesh.h"
#include "vrml_test_util.h"

const char *const kDefaultHead =
    "#VRML V2.0 utf8\n"
    "WorldInfo {\n"
    "\tinfo [\n"
    "\t\t\"This file was created by the Vexlo program\",\n"
    "\t\t\"Solid model faceted from its SAT file\",\n"
    "\t\t\"Fitted into the cube from (0, 0, 0) to (100, 100, 100)\",\n"
    "\t\t\"One shape per body\",\n"
    "\t\t\"Units: one hundredth of the largest extent\"\n"
    "\t]\n"
    "\ttitle \"Vexlo\"\n"
    "}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 50 50 300\n\torientation 0 0 1 0\n"
    "\tdescription \"Front\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 50 50 -200\n\torientation 1 0 0 3.141593\n"
    "\tdescription \"Back\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 300 50 50\n\torientation 0 1 0 1.570796\n"
    "\tdescription \"Right Side\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition -200 50 50\n\torientation 0 1 0 -1.570796\n"
    "\tdescription \"Left Side\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 50 300 50\n\torientation 1 0 0 -1.570796\n"
    "\tdescription \"Top\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 50 -200 50\n\torientation 1 0 0 1.570796\n"
    "\tdescription \"Bottom\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition 200 200 200\n\torientation 1 -1 0 -1.047198\n"
    "\tdescription \"Diagonal Top\"\n\tjump TRUE\n}\n"
    "Viewpoint {\n\tfieldOfView 0.785398\n\tposition -100 -100 -100\n"
    "\torientation 1 -1 0 2.094395\n\tdescription \"Diagonal Bottom\"\n\tjump TRUE\n}\n"
    "NavigationInfo {\n"
    "\tavatarSize [0.25, 1.6, 0.75]\n"
    "\theadlight TRUE\n"
    "\tspeed 1.0\n"
    "\ttype [\"EXAMINE\", \"ANY\"]\n"
    "\tvisibilityLimit 0.0\n"
    "}\n"
    "Transform {\n"
    "\tchildren [\n";

const char *const kTail = "\t] #end of children\n}\n";

const char *const kPlainAppearance = "\t\t\tappearance Appearance {\n"
                                     "\t\t\t\tmaterial Material {\n"
                                     "\t\t\t\t\tdiffuseColor 0.7 0.7 0.7\n"
                                     "\t\t\t\t\temissiveColor 0.05 0.05 0.05\n"
                                     "\t\t\t\t\tspecularColor 1.0 1.0 1.0\n"
                                     "\t\t\t\t\tambientIntensity 0.2\n"
                                     "\t\t\t\t\tshininess 0.2\n"
                                     "\t\t\t\t\ttransparency 0.0\n"
                                     "\t\t\t\t} #end of material\n"
                                     "\t\t\t} #end of appearance\n";

namespace {

const char *const kShapeOpen = "\t\tShape {\n"
                               "\t\t\tgeometry IndexedFaceSet {\n"
                               "\t\t\t\tcoord Coordinate {\n"
                               "\t\t\t\t\tpoint [\n";

struct Scene {
    Capture out;
    VrmlMeshManager *m = new VrmlMeshManager();
    Scene() { m->setOutput(out.file()); }
    ~Scene() { delete m; }
    void triangle() {
        m->begin_mesh_output(nullptr);
        m->announce_counts(1, 3, 3);
        m->announce_global_node(0, static_cast<VERTEX *>(nullptr), position(0, 0, 0));
        m->announce_global_node(1, static_cast<EDGE *>(nullptr), position(1.5, 0, 0), 0.5);
        m->announce_global_node(2, static_cast<FACE *>(nullptr), position(0, -2, 0.25),
                                par_pos{0, 0});
        m->start_indexed_polygon(0, 3);
        for (int i = 0; i < 3; ++i)
            m->announce_indexed_polynode(0, i, i);
        m->end_indexed_polygon(0);
        m->end_mesh_output(nullptr);
    }
};

const std::string kTriangle = std::string(kShapeOpen) +
                              "\t\t\t\t\t\t0.000000 0.000000 0.000000,\n"
                              "\t\t\t\t\t\t1.500000 0.000000 0.000000,\n"
                              "\t\t\t\t\t\t0.000000 -2.000000 0.250000,\n"
                              "\t\t\t\t\t] #end of point\n"
                              "\t\t\t\t} #end of Coordinate\n"
                              "\t\t\t\tcoordIndex [\n"
                              "\t\t\t\t\t0, 1, 2, -1,\n"
                              "\t\t\t\t\t"
                              "\n\t\t\t\t] #end of coordIndex\n"
                              "\t\t\t} #end of geometry\n" +
                              kPlainAppearance + "\t\t} #end of Shape\n";

TEST(VrmlWriter, DefaultSceneHeadAndTailMatchTheReference) {
    Scene s;
    EXPECT_EQ(s.m->need_global_indexed_polygons(), 1);
    EXPECT_EQ(s.m->max_nodes_per_polygon(), -1);
    s.m->writeSceneHead();
    s.m->writeSceneTail();
    EXPECT_EQ(s.out.text(), std::string(kDefaultHead) + kTail);
}

TEST(VrmlWriter, OneTriangleBody) {
    Scene s;
    s.triangle();
    EXPECT_EQ(s.out.text(), kTriangle);
    EXPECT_EQ(s.m->pointsOpen(), 0);
    EXPECT_EQ(s.m->indicesOpen(), 0);
}

TEST(VrmlWriter, BodyWithoutPolygonsGetsTheDummyPointAndNoAppearance) {
    Scene s;
    s.m->begin_mesh_output(nullptr);
    EXPECT_EQ(s.m->pointsOpen(), 1);
    s.m->announce_global_node(0, static_cast<VERTEX *>(nullptr), position(1, 2, 3));
    s.m->end_mesh_output(nullptr);
    EXPECT_EQ(s.out.text(), std::string(kShapeOpen) + "\t\t\t\t\t\t1.000000 2.000000 3.000000,\n"
                                                      "\t\t\t\t\t\t0 0 0, #IGNORE\n"
                                                      "\t\t\t\t\t] #end of point\n"
                                                      "\t\t\t\t} #end of Coordinate\n"
                                                      "\t\t\t} #end of geometry\n"
                                                      "\t\t} #end of Shape\n");
}

TEST(VrmlWriter, TailClosesAShapeLeftOpen) {
    Scene points;
    points.m->begin_mesh_output(nullptr);
    points.m->writeSceneTail();
    EXPECT_EQ(points.out.text(), std::string(kShapeOpen) +
                                     "\t\t\t\t\t] #end of point\n"
                                     "\t\t\t\t} #end of Coordinate\n"
                                     "\t\t\t} #end of geometry\n"
                                     "\t\t} #end of Shape\n" +
                                     kTail);
    Scene indices;
    indices.m->begin_mesh_output(nullptr);
    indices.m->announce_indexed_polynode(0, 0, 0);
    indices.m->writeSceneTail();
    std::string text = indices.out.text();
    EXPECT_NE(text.find("0, \n\t\t\t\t] #end of coordIndex\n\t\t\t} #end of geometry\n" +
                        std::string(kPlainAppearance) + "\t\t} #end of Shape\n" + kTail),
              std::string::npos);
    EXPECT_EQ(indices.m->indicesOpen(), 0);
}

TEST(VrmlWriter, ReferenceCubeAndSingleViewpointOptions) {
    Scene s;
    s.m->setShowAxes(1);
    s.m->setExtraViewpoints(0);
    s.m->writeSceneHead();
    std::string text = s.out.text();
    EXPECT_EQ(countOf(text, "Viewpoint {\n"), 1);
    EXPECT_EQ(countOf(text, "\tdescription \"Front\"\n"), 1);
    EXPECT_EQ(countOf(text, "Transform {\n"), 21); // twenty blocks and the root
    EXPECT_EQ(countOf(text, "\t\t\t\t\tdiffuseColor 0 1 0\n"), 12);
    EXPECT_EQ(countOf(text, "\t\t\t\t\tdiffuseColor 1 1 0\n"), 8);
    const std::string firstBar = "}\nTransform {\n"
                                 "\ttranslation 50 0 0\n"
                                 "\tchildren [\n"
                                 "\t\tShape {\n"
                                 "\t\t\tgeometry Box { size 100 2 2 }\n"
                                 "\t\t\tappearance Appearance {\n"
                                 "\t\t\t\tmaterial Material {\n"
                                 "\t\t\t\t\tdiffuseColor 0 1 0\n"
                                 "\t\t\t\t}\n"
                                 "\t\t\t}\n"
                                 "\t\t}\n"
                                 "\t]\n"
                                 "}\n";
    EXPECT_NE(text.find("\tvisibilityLimit 0.0\n" + firstBar), std::string::npos);
    EXPECT_LT(text.find("\ttranslation 100 50 100\n"), text.find("\n#Boxes\n"));
    std::size_t boxes = text.find("}\n\n#Boxes\nTransform {\n\ttranslation 100 100 100\n");
    ASSERT_NE(boxes, std::string::npos);
    EXPECT_NE(text.find("\t\t\tgeometry Box { size 5 5 5 }\n", boxes), std::string::npos);
    EXPECT_NE(text.find("\ttranslation 0 0 0\n", boxes), std::string::npos);
    const std::string end = "\t\t}\n\t]\n}\nTransform {\n\tchildren [\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(VrmlWriter, AppearanceLibraryAndRandomNames) {
    Scene s;
    s.m->setPlainColour(0);
    s.m->writeSceneHead();
    std::string head = s.out.text();
    EXPECT_EQ(countOf(head, " Appearance {\n"), 24);
    EXPECT_NE(head.find("\t\tDEF white  Appearance {\n\t\t\tmaterial Material {\n"
                        "\t\t\t\tdiffuseColor 1.0 1.0 1.0\n"),
              std::string::npos);
    EXPECT_NE(head.find("\t\tDEF red Appearance {\n"
                        "\t\t\tmaterial Material {\n"
                        "\t\t\t\tdiffuseColor 1.0 0.0 0.0\n"
                        "\t\t\t\temissiveColor 0.05 0.05 0.05\n"
                        "\t\t\t\tspecularColor 1.0 1.0 1.0\n"
                        "\t\t\t\tambientIntensity 0.2\n"
                        "\t\t\t\tshininess 0.2\n"
                        "\t\t\t\ttransparency 0.0\n"
                        "\t\t\t} #end of material\n"
                        "\t\t} #end of appearance\n"
                        "\t\tDEF green Appearance {\n"),
              std::string::npos);
    EXPECT_LT(head.find("DEF darkslateblue"), head.find("DEF beige"));

    // The draw numbers 21, 22 and 23 name beige, white and lightgray.
    const char *const drawn[24] = {
        "red",       "green",       "blue",       "yellow",    "magenta",       "cyan",
        "goldenrod", "fuchsia",     "darksalmon", "lime",      "darkturquoise", "darkseagreen",
        "purple",    "deepskyblue", "blueviolet", "firebrick", "forestgreen",   "darkslateblue",
        "olive",     "orchid",      "turquoise",  "beige",     "white",         "lightgray"};
    for (unsigned seed = 1; seed < 40; ++seed) {
        std::srand(seed);
        std::string expected = drawn[std::rand() % 24];
        std::srand(seed);
        std::size_t at = s.out.text().size();
        s.triangle();
        std::string shape = s.out.text().substr(at);
        EXPECT_EQ(s.m->colourName(), expected);
        EXPECT_NE(shape.find("\t\t\t} #end of geometry\n\t\t\tappearance USE " + expected +
                             "\n\t\t} #end of Shape\n"),
                  std::string::npos);
    }
}

} // namespace

// Points and node numbers are written without printf but must read exactly as its "%f" and
// "%d": checked against printf itself on random values, on exact ties of the sixth decimal
// (rounded to even), on values of every size and sign, and through the manager, including the
// values it leaves to printf.
TEST(VrmlWriter, NumbersAreWrittenAsPrintfWouldWriteThem) {
    std::mt19937_64 random(12345);
    int mismatches = 0;
    auto check = [&](double x) {
        char expected[400], got[VRML_FIXED6_MAX] = "";
        std::snprintf(expected, sizeof expected, "%f", x);
        int n = -1;
        if (!vrmlFixed6(x, got, n)) {
            EXPECT_TRUE(!std::isfinite(x) || std::fabs(x) >= 9e12) << expected;
            return;
        }
        if (std::string(got, n) != expected && ++mismatches <= 5)
            ADD_FAILURE() << "%f gives " << expected << ", we gave " << std::string(got, n);
    };
    std::uniform_real_distribution<double> scene(-150, 150);
    for (int i = 0; i < 200000; ++i)
        check(scene(random));
    for (int i = 0; i < 200000; ++i) { // any bits at all: every exponent, subnormals, NaN
        std::uint64_t bits = random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        check(x);
    }
    for (int i = 0; i < 200000; ++i) // multiples of small powers of two: ties of the last decimal
        check(std::ldexp(double(random() % 2000001) - 1000000, -int(random() % 30)));
    for (double x : {0.0, -0.0, 5e-7, -5e-7, 1.5e-6, 2.5e-6, 4.9e-324, -1e-300, 8.999999e12, 9e12,
                     99.9999995, 0.0000015})
        check(x);

    Scene s;
    s.m->begin_mesh_output(nullptr);
    s.m->announce_global_node(0, static_cast<VERTEX *>(nullptr), position(-0.0, 12.3456785, 1e13));
    s.m->announce_global_node(1, static_cast<VERTEX *>(nullptr), position(1e-9, -1e-9, 99.5));
    for (int node : {0, 1, 9, 10, 123456789, INT_MAX, -3})
        s.m->announce_indexed_polynode(0, 0, node);
    s.m->end_indexed_polygon(0);
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "\t\t\t\t\t\t%f %f %f,\n\t\t\t\t\t\t%f %f %f,\n\t\t\t\t\t] #end of point\n"
                  "\t\t\t\t} #end of Coordinate\n\t\t\t\tcoordIndex [\n\t\t\t\t\t"
                  "%d, %d, %d, %d, %d, %d, %d, -1,\n\t\t\t\t\t",
                  -0.0, 12.3456785, 1e13, 1e-9, -1e-9, 99.5, 0, 1, 9, 10, 123456789, INT_MAX, -3);
    EXPECT_EQ(s.out.text(), std::string(kShapeOpen) + expected);
}
