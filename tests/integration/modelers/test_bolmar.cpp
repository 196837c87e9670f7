// Bolmar run as CGI: every primitive's files, geometry and redirect, the primitive code's
// conversion, absent fields, the three kinds of request and the redirect's host.
#include <algorithm>
#include <cctype>
#include <cmath>

#include <gtest/gtest.h>

#include "modeler_run.h"
#include "sat_solid.h"

using namespace modelertest;

namespace {

const double kPi = 3.141592653589793;
// Hexagon inscribed in a circle of radius 5.
const double kHexagon = 1.5 * std::sqrt(3.0) * 25;

const char kDimensions[] = "diam_s=10&comp_s=20&larg_s=30&altu_s=12&dmai_s=16&dmen_s=6"
                           "&nlados_s=6&rmai_s=5&rmen_s=5&rtop_s=2&dcin1_s=4&dcin2_s=6"
                           "&ccin1_s=30&ccin2_s=20";

std::string redirect(const std::string &host, const std::string &name) {
    return "Location: http://" + host + "/acis1/shtml/desenha" + name + ".shtml\n\n";
}

Result bolmar(const RunDir &dir, const std::string &query, std::vector<std::string> extra = {}) {
    std::vector<std::string> env = getRequest(query);
    env.insert(env.end(), extra.begin(), extra.end());
    return dir.run(BOLMAR_BIN, env);
}

void expectNear(const position &a, const position &b, double tol = 1e-6) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(a.coordinate(i), b.coordinate(i), tol) << "coordinate " << i;
}

struct Primitive {
    const char *tipo;
    const char *name;
    position low, high;
    double volume; // 0: not checked
    bool xyChecked;
};

const Primitive kPrimitives[] = {
    {"0", "paralelepipedo", {-15, -10, -6}, {15, 10, 6}, 7200, true},
    // Diameter 10: radius 5 for both base radii and the top.
    {"1", "cilindro", {-5, -5, -6}, {5, 5, 6}, kPi * 25 * 12, true},
    {"2", "cone", {-8, -8, -6}, {8, 8, 6}, kPi * 12 / 3 * (64 + 24 + 9), true},
    {"3", "esfera", {-5, -5, -5}, {5, 5, 5}, 4.0 / 3 * kPi * 125, true},
    {"4", "torus", {-11, -11, -3}, {11, 11, 3}, 2 * kPi *kPi * 8 * 9, true},
    {"5", "prisma", {0, 0, -6}, {0, 0, 6}, kHexagon * 12, false},
    // Top polygon scaled by 2 / 5: a frustum of a pyramid.
    {"6", "piramide", {0, 0, -6}, {0, 0, 6}, 12.0 / 3 * kHexagon *(1 + 0.16 + 0.4), false},
    // Cylinder 1 (radius 2, length 30) turned along y, cylinder 2 (radius 3, length 20) along z.
    {"7", "cruz", {-3, -15, -10}, {3, 15, 10}, 0, true},
    // Half the box, cut along the diagonal of its x-z faces.
    {"8", "cunha", {-15, -10, -6}, {15, 10, 6}, 3600, true},
};

void PrintTo(const Primitive &p, std::ostream *os) { *os << "tipo " << p.tipo; }

class BolmarPrimitive : public ::testing::TestWithParam<Primitive> {};

TEST_P(BolmarPrimitive, WritesItsFilesAndRedirects) {
    const Primitive &p = GetParam();
    RunDir dir;
    Result r = bolmar(dir, std::string("tipo=") + p.tipo + "&" + kDimensions,
                      {"HTTP_HOST=models.example:8080"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, redirect("models.example:8080", p.name));

    std::vector<std::string> files = dir.outputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{std::string(p.name) + ".sat",
                                               std::string(p.name) + ".wrl"}));
    std::string scene = readFile(dir.wrlPath(p.name));
    EXPECT_EQ(scene.rfind("#VRML V2.0 utf8\n", 0), 0u);
    EXPECT_NE(scene.find("coordIndex"), std::string::npos);

    Solid s = readSolid(dir.satPath(p.name));
    ASSERT_TRUE(s.read);
    ASSERT_EQ(s.bodies, 1);
    if (p.xyChecked) {
        expectNear(s.bounds.low(), p.low);
        expectNear(s.bounds.high(), p.high);
    } else {
        EXPECT_NEAR(s.bounds.low().z(), p.low.z(), 1e-6);
        EXPECT_NEAR(s.bounds.high().z(), p.high.z(), 1e-6);
    }
    if (p.volume > 0) {
        EXPECT_NEAR(s.volume, p.volume, p.volume * 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(AllNine, BolmarPrimitive, ::testing::ValuesIn(kPrimitives),
                         [](const ::testing::TestParamInfo<Primitive> &info) {
                             return std::string(info.param.name);
                         });

struct Code {
    const char *tipo;
    const char *name; // null: nothing is built
};

void PrintTo(const Code &c, std::ostream *os) { *os << "tipo \"" << c.tipo << '"'; }

class BolmarCode : public ::testing::TestWithParam<Code> {};

// The code is read as a number and truncated toward zero; text converts to 0.
TEST_P(BolmarCode, SelectsThePrimitive) {
    const Code &c = GetParam();
    RunDir dir;
    Result r = bolmar(dir, std::string("tipo=") + c.tipo + "&" + kDimensions);
    EXPECT_EQ(r.status, 0) << r.err;
    if (!c.name) {
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(dir.outputFiles().empty());
        for (int tipo = 0; tipo < 9; ++tipo) // no shape is known, so no record either
            EXPECT_FALSE(readRecord(dir.recordPath(kPrimitives[tipo].name)).present);
        return;
    }
    EXPECT_EQ(r.out, redirect("localhost", c.name));
    EXPECT_EQ(dir.outputFiles().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Conversions, BolmarCode,
                         ::testing::Values(Code{"2.9", "cone"}, Code{"caixa", "paralelepipedo"},
                                           Code{"", "paralelepipedo"}, Code{"8.99", "cunha"},
                                           Code{"-0.5", "paralelepipedo"}, Code{"9", nullptr},
                                           Code{"-1", nullptr}, Code{"1e300", nullptr},
                                           Code{"nan", nullptr}),
                         [](const ::testing::TestParamInfo<Code> &info) {
                             std::string name = "tipo_";
                             for (const char *c = info.param.tipo; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// 6.5 sides are 6: the hexagonal prism's volume, not a heptagon's.
TEST(Bolmar, SidesAreTruncated) {
    RunDir dir;
    Result r = bolmar(dir, "tipo=5&altu_s=12&rmai_s=5&rmen_s=5&nlados_s=6.5");
    ASSERT_EQ(r.out, redirect("localhost", "prisma"));
    EXPECT_NEAR(readSolid(dir.satPath("prisma")).volume, kHexagon * 12, 1e-6);
}

// Absent fields are 0: the kernel refuses a box of size 0, and the program still writes a file
// (without a body) and answers.
TEST(Bolmar, AbsentFieldsConvertAsZero) {
    RunDir dir;
    Result r = bolmar(dir, "tipo=0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, redirect("localhost", "paralelepipedo"));
    Solid s = readSolid(dir.satPath("paralelepipedo"));
    EXPECT_TRUE(s.read);
    EXPECT_EQ(s.bodies, 0);
    EXPECT_FALSE(readFile(dir.wrlPath("paralelepipedo")).empty());
}

// Sizes the kernel refuses still give an answer.
TEST(Bolmar, RunawaySizesStillAnswer) {
    RunDir dir;
    Result r = bolmar(dir, "tipo=3&diam_s=1e300");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, redirect("localhost", "esfera"));
    EXPECT_EQ(readSolid(dir.satPath("esfera")).bodies, 0);
}

TEST(Bolmar, PostBodiesAreRead) {
    const std::string fields = "tipo=1&diam_s=10&altu_s=12";
    {
        RunDir dir;
        std::string body = fields;
        Result r =
            dir.run(BOLMAR_BIN, postRequest("application/x-www-form-urlencoded", body), body);
        EXPECT_EQ(r.out, redirect("localhost", "cilindro"));
        expectNear(readSolid(dir.satPath("cilindro")).bounds.high(), position(5, 5, 6));
    }
    {
        RunDir dir;
        std::string body =
            multipartBody({{"tipo", "1"}, {"diam_s", "10"}, {"altu_s", "12"}}, "b0undary");
        Result r =
            dir.run(BOLMAR_BIN, postRequest("multipart/form-data; boundary=b0undary", body), body);
        EXPECT_EQ(r.out, redirect("localhost", "cilindro"));
        expectNear(readSolid(dir.satPath("cilindro")).bounds.high(), position(5, 5, 6));
    }
}

// The request's host, else the server's name and port, else localhost; a host holding line
// breaks or blanks is not copied into the response.
TEST(Bolmar, RedirectHost) {
    struct Case {
        std::vector<std::string> env;
        const char *host;
    } cases[] = {
        {{"HTTP_HOST=127.0.0.1:8123", "SERVER_NAME=other", "SERVER_PORT=9"}, "127.0.0.1:8123"},
        {{"SERVER_NAME=web.local", "SERVER_PORT=8080"}, "web.local:8080"},
        {{"SERVER_NAME=web.local", "SERVER_PORT=80"}, "web.local"},
        {{"HTTP_HOST=[::1]:81"}, "[::1]:81"},
        {{}, "localhost"},
        {{"HTTP_HOST="}, "localhost"},
        {{"HTTP_HOST=evil\r\nSet-Cookie: a=b", "SERVER_NAME=web.local"}, "web.local"},
        {{"HTTP_HOST=a b", "SERVER_NAME=x\ny"}, "localhost"},
    };
    for (const Case &c : cases) {
        RunDir dir;
        EXPECT_EQ(bolmar(dir, "tipo=3&diam_s=4", c.env).out, redirect(c.host, "esfera")) << c.host;
    }
}

const char kProportions[] = "The largest size may be at most 10000 times the smallest.";
const char kKernelRefused[] = "The values given do not make a solid: ";

// Every request of a known shape leaves a record saying whether a body was built and saved and,
// if not, why; its time is the request's own, in UTC. The record agrees with the SAT file.
TEST(Bolmar, StatusRecordSaysWhatCameOfTheRequest) {
    struct Case {
        const char *what;
        const char *query;
        const char *name;
        bool built;
        const char *reason; // the whole reason, or its start for the kernel's refusals
    } cases[] = {
        {"built", "tipo=1&diam_s=10&altu_s=20", "cilindro", true, ""},
        {"built by a boolean", "tipo=7&dcin1_s=6&ccin1_s=40&dcin2_s=8&ccin2_s=30", "cruz", true,
         ""},
        {"proportions", "tipo=0&larg_s=300000&comp_s=20&altu_s=10", "paralelepipedo", false,
         kProportions},
        {"proportions of the cross", "tipo=7&dcin1_s=6&ccin1_s=400000&dcin2_s=8&ccin2_s=30", "cruz",
         false, kProportions},
        {"proportions of the wedge", "tipo=8&larg_s=30&comp_s=200000&altu_s=1", "cunha", false,
         kProportions},
        {"kernel refuses the torus", "tipo=4&dmai_s=6&dmen_s=20", "torus", false, kKernelRefused},
        {"absent sizes", "tipo=0", "paralelepipedo", false, kKernelRefused},
        {"runaway size", "tipo=3&diam_s=1e300", "esfera", false, kKernelRefused},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RunDir dir;
        long long before = nowMs();
        Result r = bolmar(dir, c.query);
        long long after = nowMs();
        EXPECT_EQ(r.out, redirect("localhost", c.name));
        Record rec = readRecord(dir.recordPath(c.name));
        ASSERT_TRUE(rec.wellFormed) << rec.text;
        EXPECT_EQ(rec.shape, c.name);
        EXPECT_EQ(rec.built, c.built);
        if (c.reason == kKernelRefused) {
            EXPECT_EQ(rec.reason.rfind(c.reason, 0), 0u) << rec.reason;
            EXPECT_GT(rec.reason.size(), std::string(c.reason).size() + 1) << rec.reason;
            EXPECT_EQ(rec.reason.back(), '.');
            EXPECT_EQ(rec.reason.find("api_"), std::string::npos) << rec.reason;
        } else {
            EXPECT_EQ(rec.reason, c.reason);
        }
        long long at = recordTimeMs(rec.time);
        EXPECT_GE(at, before) << rec.time;
        EXPECT_LE(at, after) << rec.time;
        EXPECT_FALSE(rec.request.empty());
        EXPECT_EQ(readSolid(dir.satPath(c.name)).bodies, c.built ? 1 : 0);
    }
}

// Each request's record replaces the one before, with an identity of its own.
TEST(Bolmar, EachRequestWritesAFreshRecord) {
    RunDir dir;
    ASSERT_EQ(bolmar(dir, "tipo=4&dmai_s=20&dmen_s=6").status, 0);
    Record first = readRecord(dir.recordPath("torus"));
    ASSERT_EQ(bolmar(dir, "tipo=4&dmai_s=6&dmen_s=20").status, 0);
    Record second = readRecord(dir.recordPath("torus"));
    ASSERT_TRUE(first.wellFormed && second.wellFormed) << first.text << second.text;
    EXPECT_TRUE(first.built);
    EXPECT_FALSE(second.built);
    EXPECT_NE(first.request, second.request);
    EXPECT_LE(recordTimeMs(first.time), recordTimeMs(second.time));
    EXPECT_EQ(dir.outputFiles().size(), 2u); // the record's temporary file went too
}

} // namespace
