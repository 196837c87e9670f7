/* saveSatFile and satToVrml on real files in a temporary folder. */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "satvrml.h"
#include "vrml_test_util.h"

namespace {

struct Shape {
    std::vector<position> points;
    std::vector<int> indices;
};

// The shapes of a scene file: their points and their index lists (without the -1 terminators).
std::vector<Shape> parseShapes(const std::string &text) {
    std::vector<Shape> shapes;
    std::size_t at = 0;
    while ((at = text.find("\t\tShape {\n", at)) != std::string::npos) {
        Shape s;
        std::size_t end = text.find("\t\t} #end of Shape\n", at);
        std::size_t p = text.find("point [\n", at) + 8;
        std::size_t pend = text.find("] #end of point", p);
        double x, y, z;
        int used;
        while (p < pend &&
               std::sscanf(text.c_str() + p, " %lf %lf %lf,%n", &x, &y, &z, &used) == 3) {
            s.points.push_back(position(x, y, z));
            p = text.find('\n', p) + 1;
        }
        std::size_t i = text.find("coordIndex [\n", pend);
        if (i != std::string::npos && i < end) {
            i += 13;
            std::size_t iend = text.find("] #end of coordIndex", i);
            int n;
            while (i < iend && std::sscanf(text.c_str() + i, " %d,%n", &n, &used) == 1) {
                if (n >= 0)
                    s.indices.push_back(n);
                i += used;
            }
        }
        shapes.push_back(s);
        at = end;
    }
    return shapes;
}

box pointBox(const Shape &s) {
    box b;
    for (const position &p : s.points)
        b |= box(p, p);
    return b;
}

void expectNear(const position &a, const position &b, double tol) {
    EXPECT_NEAR(a.x(), b.x(), tol);
    EXPECT_NEAR(a.y(), b.y(), tol);
    EXPECT_NEAR(a.z(), b.z(), tol);
}

std::vector<std::string> listDir(const std::string &dir) {
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

class ExportTest : public ::testing::Test {
  protected:
    std::string dir;
    std::string sat, wrl;
    void SetUp() override {
        char tmpl[] = "/tmp/rovak-vrml-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        sat = dir + "/shape.sat";
        wrl = dir + "/shape.wrl";
        ASSERT_TRUE(api_start_modeller(0).ok());
    }
    void TearDown() override {
        EXPECT_TRUE(api_stop_modeller().ok());
        for (const std::string &n : listDir(dir))
            unlink((dir + "/" + n).c_str());
        rmdir(dir.c_str());
    }
    std::vector<Shape> exportBody(BODY *body) {
        saveSatFile(sat.c_str(), body);
        satToVrml(sat.c_str(), wrl.c_str());
        return parseShapes(readFile(wrl));
    }
};

TEST_F(ExportTest, BoxIsScaledAndCentredInTheViewingCube) {
    BODY *blk = nullptr;
    ASSERT_TRUE(api_make_cuboid(40, 20, 10, blk).ok());
    std::vector<Shape> shapes = exportBody(blk);
    ASSERT_EQ(shapes.size(), 1u);
    box b = pointBox(shapes[0]);
    expectNear(b.low(), position(0, 25, 37.5), 1e-5);
    expectNear(b.high(), position(100, 75, 62.5), 1e-5);
    std::string text = readFile(wrl);
    EXPECT_EQ(text.rfind(kDefaultHead, 0), 0u);
    EXPECT_EQ(text.substr(text.size() - std::string(kTail).size()), kTail);
    EXPECT_NE(text.find(kPlainAppearance), std::string::npos);
    EXPECT_EQ(readFile(sat).rfind("ROVAK SAT 1\nproduct 4 QORM\nunits 10\nbodies 1\n", 0), 0u);
    // Only the two files: no temporary left behind.
    EXPECT_EQ(listDir(dir), (std::vector<std::string>{"shape.sat", "shape.wrl"}));
    // The modeler's own body outlives the conversion's nested modeller span.
    EXPECT_NEAR(kernel_body_volume(blk), 8000, 1e-6);
}

TEST_F(ExportTest, ExtentsAreTruncatedBeforeTheLargestIsTaken) {
    EXPECT_DOUBLE_EQ(satVrmlScale(box(position(0, 0, 0), position(0.9, 0.9, 2.5))), 50.0);
    EXPECT_DOUBLE_EQ(satVrmlScale(box(position(0, 0, 0), position(40, 20, 10))), 2.5);
    // Under one unit every way: fitted by the largest extent itself.
    EXPECT_DOUBLE_EQ(satVrmlScale(box(position(0, 0, 0), position(0.5, 0.9, 0.8))), 100 / 0.9);
    EXPECT_DOUBLE_EQ(satVrmlScale(box(position(2, 2, 2), position(2, 2, 2))), 1.0);
    EXPECT_DOUBLE_EQ(satVrmlScale(box()), 1.0);
    BODY *blk = nullptr;
    ASSERT_TRUE(api_make_cuboid(0.9, 0.9, 2.5, blk).ok());
    std::vector<Shape> shapes = exportBody(blk);
    ASSERT_EQ(shapes.size(), 1u);
    box b = pointBox(shapes[0]);
    expectNear(b.low(), position(27.5, 27.5, -12.5), 1e-5);
    expectNear(b.high(), position(72.5, 72.5, 112.5), 1e-5);
}

TEST_F(ExportTest, TwoBodiesGiveTwoShapesNumberedFromZero) {
    BODY *a = nullptr, *b = nullptr;
    ASSERT_TRUE(api_make_sphere(5, a).ok());
    ASSERT_TRUE(api_make_torus(10, 2, b).ok());
    ASSERT_TRUE(api_apply_transf(b, translate_transf(vector(30, 0, 0))).ok());
    FileInfo info;
    info.set_product_id("QORM");
    info.set_units(10);
    ASSERT_TRUE(api_set_file_info(3, info).ok());
    ENTITY_LIST list;
    list.add(a);
    list.add(b);
    FILE *f = std::fopen(sat.c_str(), "w");
    ASSERT_TRUE(api_save_entity_list(f, 1, list).ok());
    std::fclose(f);
    satToVrml(sat.c_str(), wrl.c_str());
    std::vector<Shape> shapes = parseShapes(readFile(wrl));
    ASSERT_EQ(shapes.size(), 2u);
    for (const Shape &s : shapes) {
        ASSERT_FALSE(s.indices.empty());
        EXPECT_EQ(s.indices.size() % 3, 0u);
        EXPECT_EQ(*std::min_element(s.indices.begin(), s.indices.end()), 0);
        EXPECT_EQ(*std::max_element(s.indices.begin(), s.indices.end()), int(s.points.size()) - 1);
    }
    // Together the two bodies span x from -5 to 42, scaled by 100 / 47 around x 50; the facets
    // of the round bodies stay within a facet's sag of that.
    box all = pointBox(shapes[0]) | pointBox(shapes[1]);
    EXPECT_NEAR(all.low().x(), 0, 0.1);
    EXPECT_NEAR(all.high().x(), 100, 0.1);
}

TEST_F(ExportTest, UnopenableFilesEndTheProcessWithTheMessage) {
    BODY *blk = nullptr;
    ASSERT_TRUE(api_make_cuboid(1, 1, 1, blk).ok());
    std::string missing = dir + "/no/such/dir/x.sat";
    // The message goes to standard output; the death test watches standard error.
    EXPECT_EXIT((dup2(2, 1), saveSatFile(missing.c_str(), blk)), ::testing::ExitedWithCode(1),
                "Unable to open file!");
    EXPECT_EXIT((dup2(2, 1), satToVrml(missing.c_str(), wrl.c_str())), ::testing::ExitedWithCode(1),
                "Unable to open file!");
    saveSatFile(sat.c_str(), blk);
    EXPECT_EXIT((dup2(2, 1), satToVrml(sat.c_str(), (dir + "/no/x.wrl").c_str())),
                ::testing::ExitedWithCode(1), "Unable to open file!");
    FILE *junk = std::fopen(sat.c_str(), "w");
    std::fputs("garbage\n", junk);
    std::fclose(junk);
    EXPECT_EXIT((dup2(2, 1), satToVrml(sat.c_str(), wrl.c_str())), ::testing::ExitedWithCode(1),
                "Unable to open file!");
    EXPECT_EQ(listDir(dir), (std::vector<std::string>{"shape.sat"}));
}

} // namespace
