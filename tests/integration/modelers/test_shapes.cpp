// Shapes at the edges of what the modelers accept, run as CGI: cutting tools and the fitting of
// large and far bodies, cones pointing either way, proportions past the mesher's rule, and a
// sweep of random shapes within the limits whose scenes must be closed, consistently wound and
// of the right volume.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "modeler_run.h"
#include "sat_solid.h"
#include "scene_mesh.h"

using namespace modelertest;

namespace {

const double kPi = 3.141592653589793;

struct Built {
    Result result;
    Solid solid;
    std::vector<SceneShape> scene;
};

Built build(const char *program, const std::string &query, const std::string &name,
            const std::vector<position> &probes = {}) {
    RunDir dir;
    Built b;
    b.result = dir.run(program, getRequest(query));
    b.solid = readSolid(dir.satPath(name), probes);
    b.scene = readScene(readFile(dir.wrlPath(name)));
    return b;
}

// The fitting scale satToVrml uses for the solid's box (a model under one unit is fitted by its
// largest extent as it is).
double fitScale(const Solid &s) {
    int largest = 0;
    for (int i = 0; i < 3; ++i)
        largest = std::max(
            largest, int(std::fabs(s.bounds.high().coordinate(i) - s.bounds.low().coordinate(i))));
    if (largest > 0)
        return 100.0 / largest;
    double exact = 0;
    for (int i = 0; i < 3; ++i)
        exact = std::max(exact, s.bounds.high().coordinate(i) - s.bounds.low().coordinate(i));
    return 100.0 / exact;
}

// Checks that the solid was built with the given volume and that its one scene shape is closed,
// consistently wound, encloses that volume (at the scene's scale) within the mesh's chord error
// and lies in the solid's box as fitted: scaled and centred on (50, 50, 50).
void expectShown(const Built &b, double volume, const std::string &what) {
    SCOPED_TRACE(what);
    EXPECT_NE(b.result.out.find("Location:"), std::string::npos) << b.result.out << b.result.err;
    ASSERT_EQ(b.solid.bodies, 1);
    EXPECT_NEAR(b.solid.volume, volume, volume * 1e-6);
    ASSERT_EQ(b.scene.size(), 1u);
    MeshCheck m = checkMesh(b.scene[0]);
    EXPECT_TRUE(m.closed) << m.badEdges << " unpaired edges";
    double scale = fitScale(b.solid);
    EXPECT_NEAR(m.volume / (scale * scale * scale), volume, volume * 0.04);
    for (int i = 0; i < 3; ++i) {
        double half =
            scale * (b.solid.bounds.high().coordinate(i) - b.solid.bounds.low().coordinate(i)) / 2;
        EXPECT_GE(m.low[i], 50 - half - 1e-3 * (1 + half)) << "axis " << i;
        EXPECT_LE(m.high[i], 50 + half + 1e-3 * (1 + half)) << "axis " << i;
        // Facets cut corners of curved faces; they still span most of the box.
        EXPECT_GE(m.high[i] - m.low[i], 2 * half * 0.9) << "axis " << i;
    }
}

void expectNothingBuilt(const Built &b, const std::string &what) {
    SCOPED_TRACE(what);
    EXPECT_NE(b.result.out.find("Location:"), std::string::npos) << b.result.out << b.result.err;
    EXPECT_TRUE(b.solid.read);
    EXPECT_EQ(b.solid.bodies, 0);
    EXPECT_TRUE(b.scene.empty());
}

std::string num(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// The cutting disc reaches past the body whatever its size: a cube of the largest size is halved
// by the wedge's cut, a shaft of the largest size by the cut-away.
TEST(Shapes, CuttingToolsAreSizedFromTheBody) {
    expectShown(build(BOLMAR_BIN, "tipo=8&larg_s=1e6&comp_s=1e6&altu_s=1e6", "cunha"), 0.5e18,
                "wedge of a 1e6 cube");
    expectShown(build(ARVEND_BIN, "numsol=1&comp=1000000-&diam_e=1000000-&diam_d=1000000-&seccao=2",
                      "eixo"),
                kPi * 25e10 * 1e6 / 2, "shaft 1e6 long and wide, half kept");
    expectShown(build(ARVEND_BIN, "numsol=1&comp=1000000-&diam_e=1000000-&diam_d=1000000-&seccao=3",
                      "eixo"),
                kPi * 25e10 * 1e6 / 4, "shaft 1e6 long and wide, one quarter kept");
}

// A small body far along the axis is still moved into view: the first section (no radius) is
// refused, the second is a cylinder of radius 1 from z 999998 to 999999.
TEST(Shapes, FarBodiesAreFittedIntoView) {
    Built b = build(ARVEND_BIN, "numsol=2&comp=999998-1-&diam_e=0-2-&diam_d=0-2-", "eixo");
    expectShown(b, kPi, "cylinder at z 999998");
    EXPECT_NEAR(b.solid.bounds.low().z(), 999998, 1e-6);
}

TEST(Shapes, ConesPointEitherWay) {
    const double shaftCone = kPi * 25 * 10 / 3;
    Built up = build(ARVEND_BIN, "numsol=1&comp=10-&diam_e=0-&diam_d=10-", "eixo",
                     {position(0, 0, 0), position(5, 0, 10)});
    expectShown(up, shaftCone, "shaft cone with its apex at the start");
    EXPECT_TRUE(up.solid.vertexAt[0]);
    EXPECT_TRUE(up.solid.vertexAt[1]);
    Built down = build(ARVEND_BIN, "numsol=1&comp=10-&diam_e=10-&diam_d=0-", "eixo",
                       {position(0, 0, 10), position(5, 0, 0)});
    expectShown(down, shaftCone, "shaft cone with its apex at the end");
    EXPECT_TRUE(down.solid.vertexAt[0]);
    EXPECT_TRUE(down.solid.vertexAt[1]);

    const double cone = kPi * 25 * 12 / 3;
    Built base = build(BOLMAR_BIN, "tipo=2&dmai_s=0&dmen_s=10&altu_s=12", "cone");
    expectShown(base, cone, "cone standing on its apex");
    EXPECT_NEAR(base.solid.bounds.high().x(), 5, 1e-6);
    expectShown(build(BOLMAR_BIN, "tipo=2&dmai_s=10&dmen_s=0&altu_s=12", "cone"), cone,
                "cone with its apex on top");
    expectNothingBuilt(build(BOLMAR_BIN, "tipo=2&dmai_s=0&dmen_s=0&altu_s=12", "cone"),
                       "no radius at either end");
}

// Proportions beyond the rule build nothing; right at it they are built and mesh closed.
TEST(Shapes, ProportionRule) {
    expectNothingBuilt(build(BOLMAR_BIN, "tipo=4&dmai_s=2e6&dmen_s=2e-6", "torus"),
                       "torus 2e6 by 2e-6");
    expectNothingBuilt(
        build(BOLMAR_BIN, "tipo=5&altu_s=1e6&rmai_s=1e-6&rmen_s=1e-6&nlados_s=5", "prisma"),
        "prism 1e6 by 1e-6");
    expectNothingBuilt(
        build(BOLMAR_BIN, "tipo=0&larg_s=100001&comp_s=10&altu_s=10", "paralelepipedo"),
        "box of proportion 1e4 + 1e-4");
    expectNothingBuilt(build(ARVEND_BIN,
                             "numsol=1&comp=1000-&diam_e=100-&diam_d=100-&blend_e=1-"
                             "&vblend_e=0.0001-",
                             "eixo"),
                       "chamfer 1e-7 of the shaft's length");
    expectShown(build(BOLMAR_BIN, "tipo=0&larg_s=100000&comp_s=10&altu_s=10", "paralelepipedo"),
                1e7, "box of proportion 1e4");
    expectShown(build(BOLMAR_BIN, "tipo=4&dmai_s=2&dmen_s=0.0002", "torus"),
                2 * kPi * kPi * 1 * 1e-8, "torus of proportion 1e4");
}

// A small generator of its own, so that every run sweeps the same shapes.
class Sweep {
  public:
    explicit Sweep(std::uint32_t seed) : state_(seed) {}
    double unit() {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) / 16777216.0;
    }
    // A size 10^[lo, hi).
    double size(double lo, double hi) { return std::pow(10.0, lo + (hi - lo) * unit()); }

  private:
    std::uint32_t state_;
};

// Area of the polygon of n corners on the ellipse of radii a and b.
double polygonArea(int n, double a, double b) { return n / 2.0 * a * b * std::sin(2 * kPi / n); }

// Random primitives within the size limits and the proportion rule: every scene closed, wound
// outwards, of the primitive's own volume.
TEST(Shapes, RandomPrimitivesMeshClosedWithTheirVolume) {
    Sweep r(20261208);
    for (int i = 0; i < 27; ++i) {
        int tipo = i % 9;
        // A base size anywhere in the limits, the other sizes within a factor 100 of it.
        double base = r.size(-3, 3.9);
        auto near = [&] { return base * r.size(-2, 2); };
        std::string q = "tipo=" + std::to_string(tipo), name;
        double volume = 0;
        switch (tipo) {
        case 0:
        case 8: {
            double x = near(), y = near(), z = near();
            q += "&larg_s=" + num(x) + "&comp_s=" + num(y) + "&altu_s=" + num(z);
            name = tipo == 0 ? "paralelepipedo" : "cunha";
            volume = tipo == 0 ? x * y * z : x * y * z / 2;
            break;
        }
        case 1: {
            double d = near(), h = near();
            q += "&diam_s=" + num(d) + "&altu_s=" + num(h);
            name = "cilindro";
            volume = kPi * d * d / 4 * h;
            break;
        }
        case 2: {
            double d1 = near(), d2 = r.unit() < 0.3 ? 0 : near(), h = near();
            q += "&dmai_s=" + num(d1) + "&dmen_s=" + num(d2) + "&altu_s=" + num(h);
            name = "cone";
            double a = d1 / 2, b = d2 / 2;
            volume = kPi * h / 3 * (a * a + a * b + b * b);
            break;
        }
        case 3: {
            double d = near();
            q += "&diam_s=" + num(d);
            name = "esfera";
            volume = kPi * d * d * d / 6;
            break;
        }
        case 4: {
            double big = near(), small = big * r.size(-3.9, -0.1);
            q += "&dmai_s=" + num(big) + "&dmen_s=" + num(small);
            name = "torus";
            volume = 2 * kPi * kPi * (big / 2) * (small / 2) * (small / 2);
            break;
        }
        case 5:
        case 6: {
            double h = near(), a = near(), b = near();
            int n = 3 + int(r.unit() * 40);
            double top = tipo == 6 && r.unit() < 0.5 ? a * r.size(-1.5, 0) : 0;
            q += "&altu_s=" + num(h) + "&rmai_s=" + num(a) + "&rmen_s=" + num(b) +
                 "&nlados_s=" + std::to_string(n);
            double area = polygonArea(n, a, b), k = top / a;
            if (tipo == 5) {
                name = "prisma";
                volume = area * h;
            } else {
                q += "&rtop_s=" + num(top);
                name = "piramide";
                volume = h / 3 * area * (1 + k + k * k);
            }
            break;
        }
        case 7: {
            // Two crossing cylinders; their volume comes from the SAT file (checked elsewhere).
            q += "&dcin1_s=" + num(near()) + "&ccin1_s=" + num(near()) + "&dcin2_s=" + num(near()) +
                 "&ccin2_s=" + num(near());
            name = "cruz";
            break;
        }
        }
        Built b = build(BOLMAR_BIN, q, name);
        if (volume == 0 && b.solid.bodies == 1)
            volume = b.solid.volume;
        expectShown(b, volume, q);
    }
}

// Random shafts: sections of any lengths and diameters within the rule (some cones, some ending
// in a point), treatments, holes and cut-aways. Treatments and holes may be refused by the kernel
// (too big for the section); whatever is built must mesh closed with the solid's own volume.
TEST(Shapes, RandomShaftsMeshClosed) {
    Sweep r(7031);
    for (int i = 0; i < 8; ++i) {
        double base = r.size(-2, 3);
        int n = 1 + int(r.unit() * 6);
        std::string comp, de, dd, be, vbe, bd, vbd;
        for (int s = 0; s < n; ++s) {
            double d1 = base * r.size(-1, 1), d2 = r.unit() < 0.2 ? 0 : base * r.size(-1, 1);
            comp += num(base * r.size(-1, 1)) + "-";
            de += num(d1) + "-";
            dd += num(d2) + "-";
            be += std::to_string(int(r.unit() * 3)) + "-";
            vbe += num(std::min(d1, d2 > 0 ? d2 : d1) * 0.05) + "-";
            bd += std::to_string(int(r.unit() * 3)) + "-";
            vbd += num(std::min(d1, d2 > 0 ? d2 : d1) * 0.05) + "-";
        }
        std::string q = "numsol=" + std::to_string(n) + "&comp=" + comp + "&diam_e=" + de +
                        "&diam_d=" + dd + "&blend_e=" + be + "&vblend_e=" + vbe + "&blend_d=" + bd +
                        "&vblend_d=" + vbd + "&codfuros=" + std::to_string(1 + int(r.unit() * 4)) +
                        "&dfuro=" + num(base * 0.05) + "&profuro=" + num(base) +
                        "&seccao=" + std::to_string(1 + int(r.unit() * 3));
        Built b = build(ARVEND_BIN, q, "eixo");
        ASSERT_EQ(b.solid.bodies, 1) << q;
        expectShown(b, b.solid.volume, q);
    }
}

} // namespace
