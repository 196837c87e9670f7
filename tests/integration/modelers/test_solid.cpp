// Solid run as CGI (and once as a FastCGI worker) over the files the real modelers wrote: the
// measures of every primitive against their closed formulas, STEP read back by OCCT, the STL
// parsed byte by byte, the refusals, the status record, and the shape's lock.
#include <array>
#include <cmath>
#include <cstdint>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <STEPControl_Reader.hxx>

#include "fcgi_worker.h"
#include "kernel_leak.h"
#include "modeler_lock.h"
#include "modeler_run.h"
#include "scene_mesh.h"

using namespace modelertest;

namespace {

const double kPi = 3.141592653589793;
const double kRoot3 = std::sqrt(3.0);
// Hexagon inscribed in a circle of radius 5 (prism and pyramid base), side 5.
const double kHexagon = 1.5 * kRoot3 * 25;

const char kDimensions[] = "diam_s=10&comp_s=20&larg_s=30&altu_s=12&dmai_s=16&dmen_s=6"
                           "&nlados_s=6&rmai_s=5&rmen_s=5&rtop_s=2&dcin1_s=6&dcin2_s=6"
                           "&ccin1_s=30&ccin2_s=20";

// An answer split into its status, headers and body.
struct Answer {
    int status = 0;
    std::map<std::string, std::string> headers;
    std::string body;
};

Answer parseAnswer(const std::string &out) {
    Answer a;
    std::size_t end = out.find("\n\n");
    if (end == std::string::npos)
        return a;
    a.body = out.substr(end + 2);
    a.status = 200;
    std::size_t at = 0;
    while (at < end) {
        std::size_t eol = out.find('\n', at);
        std::string line = out.substr(at, eol - at);
        std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            a.headers[line.substr(0, colon)] = line.substr(colon + 2);
        at = eol + 1;
    }
    if (a.headers.count("Status"))
        a.status = std::atoi(a.headers["Status"].c_str());
    return a;
}

Answer solid(const RunDir &dir, const std::string &query, const std::string &method = "GET") {
    std::vector<std::string> env = {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=" + method,
                                    "QUERY_STRING=" + query, "TMPDIR=" + dir.root()};
    Result r = dir.run(SOLID_BIN, env);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
    return parseAnswer(r.out);
}

// The number after "key": in a flat JSON text (NaN when absent).
double jsonNumber(const std::string &json, const std::string &key) {
    std::size_t at = json.find("\"" + key + "\":");
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

std::array<double, 6> jsonBox(const std::string &json) {
    std::array<double, 6> b{};
    b.fill(NAN);
    std::size_t at = json.find("\"box\":[");
    if (at == std::string::npos)
        return b;
    const char *p = json.c_str() + at + 7;
    for (double &v : b) {
        char *end = nullptr;
        v = std::strtod(p, &end);
        p = end + 1; // past the comma or the closing bracket
    }
    return b;
}

// ---- STL, read independently of the writer ----

struct Stl {
    bool wellFormed = false;
    std::string header;
    std::uint32_t count = 0;
    double volume = 0;     // what the triangles enclose (divergence theorem)
    bool closed = false;   // every edge used once in each direction (corners compared exactly)
    bool normalsOk = true; // each normal is the unit normal of its corners' winding
};

std::uint32_t u32At(const std::string &b, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(b[at + k]);
    return v;
}

float floatAt(const std::string &b, std::size_t at) {
    std::uint32_t bits = u32At(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

typedef std::array<float, 3> Corner;

double dot(const std::array<double, 3> &a, const std::array<double, 3> &b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

std::array<double, 3> cross(const std::array<double, 3> &a, const std::array<double, 3> &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

void checkTriangle(Stl &s, const std::string &b, std::size_t at, Corner c[3]) {
    std::array<double, 3> n{floatAt(b, at), floatAt(b, at + 4), floatAt(b, at + 8)};
    std::array<double, 3> p[3];
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i)
            p[k][i] = c[k][i] = floatAt(b, at + 12 + 12 * k + 4 * i);
    s.volume += dot(p[0], cross(p[1], p[2])) / 6;
    std::array<double, 3> e1{p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    std::array<double, 3> e2{p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    std::array<double, 3> w = cross(e1, e2);
    double len = std::sqrt(dot(w, w));
    if (len > 1e-9 && (std::fabs(std::sqrt(dot(n, n)) - 1) > 1e-4 || dot(n, w) / len < 0.999))
        s.normalsOk = false;
    if (b[at + 48] != 0 || b[at + 49] != 0)
        s.wellFormed = false;
}

Stl readStl(const std::string &b) {
    Stl s;
    if (b.size() < 84)
        return s;
    s.header = b.substr(0, 80);
    s.count = u32At(b, 80);
    if (b.size() != 84 + 50 * std::size_t(s.count))
        return s;
    s.wellFormed = true;
    std::map<std::pair<Corner, Corner>, int> edges;
    for (std::uint32_t t = 0; t < s.count; ++t) {
        Corner c[3];
        checkTriangle(s, b, 84 + 50 * std::size_t(t), c);
        for (int k = 0; k < 3; ++k)
            edges[{c[k], c[(k + 1) % 3]}]++;
    }
    s.closed = s.count > 0;
    for (const auto &e : edges)
        if (e.second != 1 || !edges.count({e.first.second, e.first.first}))
            s.closed = false;
    return s;
}

double stepVolume(const std::string &path) {
    LeakCheckPause pause; // the reader's own first-use leaks are not ours
    STEPControl_Reader reader;
    if (reader.ReadFile(path.c_str()) != IFSelect_RetDone || reader.TransferRoots() == 0)
        return NAN;
    GProp_GProps props;
    BRepGProp::VolumeProperties(reader.OneShape(), props);
    return props.Mass();
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

// ---- the nine primitives, built once ----

struct Primitive {
    const char *tipo;
    const char *name;
    double volume, area;
    std::array<double, 6> box;
    double meshTolerance; // relative: how far the STL's volume may fall from the solid's
};

// Pyramid: a hexagonal frustum, base side 5, top side 2, height 12.
const double kSlant = std::sqrt(144 + 0.75 * 9);
// Cross: two cylinders of radius 3 (lengths 30 along y, 20 along z) share a Steinmetz solid
// 16r^3/3, whose surface 16r^2 is half in each cylinder; their ends stay outside each other.
const Primitive kPrimitives[] = {
    {"0", "paralelepipedo", 7200, 2400, {-15, -10, -6, 15, 10, 6}, 1e-9},
    {"1", "cilindro", kPi * 25 * 12, 2 * kPi * 25 + 2 * kPi * 5 * 12, {-5, -5, -6, 5, 5, 6}, 0.01},
    {"2",
     "cone",
     kPi * 12 / 3 * (64 + 24 + 9),
     kPi * 73 + kPi * 11 * 13,
     {-8, -8, -6, 8, 8, 6},
     0.01},
    {"3", "esfera", 4.0 / 3 * kPi * 125, 4 * kPi * 25, {-5, -5, -5, 5, 5, 5}, 0.01},
    {"4", "torus", 2 * kPi *kPi * 8 * 9, 4 * kPi *kPi * 8 * 3, {-11, -11, -3, 11, 11, 3}, 0.01},
    {"5",
     "prisma",
     kHexagon * 12,
     2 * kHexagon + 6 * 5 * 12,
     {-5, -2.5 * kRoot3, -6, 5, 2.5 * kRoot3, 6},
     1e-9},
    {"6",
     "piramide",
     12.0 / 3 * kHexagon *(1 + 0.16 + 0.4),
     1.16 * kHexagon + 6 * 3.5 * kSlant,
     {-5, -2.5 * kRoot3, -6, 5, 2.5 * kRoot3, 6},
     1e-6},
    {"7",
     "cruz",
     kPi * 9 * 50 - 16.0 * 27 / 3,
     kPi * 6 * 50 + 4 * kPi * 9 - 16 * 9,
     {-3, -15, -10, 3, 15, 10},
     0.01},
    // Half the box, cut along the diagonal of its x-z faces: a prism on a right triangle.
    {"8", "cunha", 3600, 360 + 20 * (42 + std::sqrt(900.0 + 144)), {-15, -10, -6, 15, 10, 6}, 1e-9},
};

void PrintTo(const Primitive &p, std::ostream *os) { *os << p.name; }

class SolidPrimitive : public ::testing::TestWithParam<Primitive> {
  protected:
    static void SetUpTestSuite() {
        dir_ = new RunDir();
        for (const Primitive &p : kPrimitives) {
            Result r = dir_->run(BOLMAR_BIN,
                                 getRequest(std::string("tipo=") + p.tipo + "&" + kDimensions));
            ASSERT_EQ(r.status, 0) << p.name << ": " << r.err;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static RunDir *dir_;
};

RunDir *SolidPrimitive::dir_ = nullptr;

// Sizes and the box to a millionth, the STL's volume to the mesh's own tolerance.
TEST_P(SolidPrimitive, MeasuresStepAndStlAgree) {
    const Primitive &p = GetParam();
    Answer json = solid(*dir_, std::string("shape=") + p.name + "&format=json");
    ASSERT_EQ(json.status, 200) << json.body;
    EXPECT_EQ(json.headers["Content-Type"], "application/json");
    EXPECT_EQ(json.headers["Cache-Control"], "no-store");
    EXPECT_EQ(json.body.rfind(std::string("{\"shape\":\"") + p.name + "\",\"built\":true,", 0), 0u)
        << json.body;
    double volume = jsonNumber(json.body, "volume");
    EXPECT_NEAR(volume, p.volume, 1e-6 * p.volume) << json.body;
    EXPECT_NEAR(jsonNumber(json.body, "area"), p.area, 1e-6 * p.area) << json.body;
    std::array<double, 6> box = jsonBox(json.body);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(box[i], p.box[i], 1e-6) << "box[" << i << "] " << json.body;
    double triangles = jsonNumber(json.body, "triangles");

    Answer step = solid(*dir_, std::string("shape=") + p.name + "&format=step");
    ASSERT_EQ(step.status, 200) << step.body;
    EXPECT_EQ(step.headers["Content-Type"], "model/step");
    EXPECT_EQ(step.headers["Content-Disposition"],
              std::string("attachment; filename=\"") + p.name + ".step\"");
    EXPECT_NE(step.body.find("AUTOMOTIVE_DESIGN"), std::string::npos); // AP214
    std::string stepPath = dir_->root() + "/" + p.name + ".step";
    writeFile(stepPath, step.body);
    EXPECT_NEAR(stepVolume(stepPath), volume, 1e-6 * volume);

    Answer stl = solid(*dir_, std::string("shape=") + p.name + "&format=stl");
    ASSERT_EQ(stl.status, 200) << stl.body;
    EXPECT_EQ(stl.headers["Content-Type"], "model/stl");
    EXPECT_EQ(stl.headers["Content-Disposition"],
              std::string("attachment; filename=\"") + p.name + ".stl\"");
    EXPECT_EQ(stl.headers["Content-Length"], std::to_string(stl.body.size()));
    Stl s = readStl(stl.body);
    ASSERT_TRUE(s.wellFormed) << stl.body.size() << " bytes";
    EXPECT_NE(s.header.rfind("solid", 0), 0u); // a binary file that readers would take for text
    EXPECT_EQ(s.count, triangles);
    EXPECT_TRUE(s.closed);
    EXPECT_TRUE(s.normalsOk);
    EXPECT_NEAR(s.volume, volume, p.meshTolerance * volume + 1e-3);

    // The same mesh as the scene the viewer shows.
    std::vector<SceneShape> scene = readScene(readFile(dir_->wrlPath(p.name)));
    ASSERT_EQ(scene.size(), 1u);
    EXPECT_EQ(scene[0].polygons.size(), s.count);
}

INSTANTIATE_TEST_SUITE_P(Primitives, SolidPrimitive, ::testing::ValuesIn(kPrimitives));

// ---- the shaft ----

TEST(Solid, MeasuresTheShaft) {
    RunDir dir;
    // Radius 4 from z 0 to 10, then a cone from radius 6 to radius 3 over 20.
    Result r = dir.run(ARVEND_BIN, getRequest("comp=10-20-&diam_e=8-12-&diam_d=8-6-&numsol=2"));
    ASSERT_EQ(r.status, 0) << r.err;
    Answer json = solid(dir, "shape=eixo&format=json");
    ASSERT_EQ(json.status, 200);
    double v = kPi * 16 * 10 + kPi * 20 / 3 * (36 + 18 + 9);
    EXPECT_NEAR(jsonNumber(json.body, "volume"), v, 1e-6 * v) << json.body;
}

// Requests killed at every moment of writing a STEP file leave nothing in the temporary folder.
TEST(Solid, KilledStepRequestsLeaveNoTemporaryFile) {
    RunDir dir;
    Result r = dir.run(ARVEND_BIN, getRequest("comp=10-20-30-&diam_e=8-12-10-&diam_d=8-6-10-"
                                              "&numsol=3&codfuros=4&dfuro=2&seccao=2"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string tmp = dir.root() + "/solid-tmp";
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    std::vector<std::string> env = {"GATEWAY_INTERFACE=CGI/1.1", "REQUEST_METHOD=GET",
                                    "QUERY_STRING=shape=eixo&format=step", "TMPDIR=" + tmp};
    // Kills spread over the length of a whole request, as measured here.
    auto begin = std::chrono::steady_clock::now();
    dir.finish(dir.start(SOLID_BIN, env, "", "timed"), "timed");
    auto whole = std::chrono::steady_clock::now() - begin;
    const int kKills = 40;
    for (int k = 0; k < kKills; ++k) {
        std::string tag = "kill" + std::to_string(k);
        pid_t pid = dir.start(SOLID_BIN, env, "", tag);
        std::this_thread::sleep_for(whole * k / kKills);
        kill(pid, SIGKILL);
        dir.finish(pid, tag);
    }
    EXPECT_EQ(solid(dir, "shape=eixo&format=step").status, 200);
    std::vector<std::string> left;
    if (DIR *d = opendir(tmp.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                left.push_back(e->d_name);
        closedir(d);
    }
    EXPECT_TRUE(left.empty()) << left.size() << " files left, first " << left[0];
}

// ---- refusals and nothing built ----

struct Refusal {
    const char *title;
    const char *query;
    const char *method;
    int status;
};

const std::string kLongQuery = "shape=cilindro&format=json&pad=" + std::string(5000, 'x');

const Refusal kRefusals[] = {
    {"unknown shape", "shape=cubo&format=json", "GET", 404},
    {"no shape", "format=json", "GET", 404},
    {"empty shape", "shape=&format=json", "GET", 404},
    {"path in the name", "shape=../sats/cilindro&format=json", "GET", 404},
    {"encoded slash", "shape=..%2Fsats%2Fcilindro&format=step", "GET", 404},
    {"name and a NUL", "shape=cilindro%00.sat&format=json", "GET", 404},
    {"name in capitals", "shape=CILINDRO&format=json", "GET", 404},
    {"unknown format", "shape=cilindro&format=obj", "GET", 400},
    {"no format", "shape=cilindro", "GET", 400},
    {"format in capitals", "shape=cilindro&format=JSON", "GET", 400},
    {"POST", "shape=cilindro&format=json", "POST", 405},
    {"HEAD", "shape=cilindro&format=json", "HEAD", 405},
    {"overlong query", kLongQuery.c_str(), "GET", 414},
};

TEST(Solid, RefusesWithOneLineOfText) {
    RunDir dir;
    ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=1&diam_s=10&altu_s=12")).status, 0);
    for (const Refusal &c : kRefusals) {
        SCOPED_TRACE(c.title);
        Answer a = solid(dir, c.query, c.method);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(a.headers["Content-Type"], "text/plain");
        ASSERT_FALSE(a.body.empty());
        EXPECT_EQ(a.body.find('\n'), a.body.size() - 1) << a.body;
    }
}

TEST(Solid, NothingBuiltIsAnAnswerForJsonAndNotFoundForFiles) {
    RunDir dir;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "no files" : "a SAT file without a body and no record");
        Answer a = solid(dir, "shape=torus&format=json");
        EXPECT_EQ(a.status, 200);
        EXPECT_EQ(a.body.rfind("{\"shape\":\"torus\",\"built\":false,\"reason\":\"", 0), 0u)
            << a.body;
        EXPECT_EQ(solid(dir, "shape=torus&format=step").status, 404);
        EXPECT_EQ(solid(dir, "shape=torus&format=stl").status, 404);
        // A tube thicker than the ring builds nothing; without its record (files from before
        // records) the SAT file alone tells.
        ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=4&dmai_s=6&dmen_s=16")).status, 0);
        unlink((dir.root() + "/htdocs/acis1/sats/torus.json").c_str());
    }
}

// The record of a refused request wins over a SAT file an earlier request left.
TEST(Solid, FollowsTheStatusRecord) {
    RunDir dir;
    ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=1&diam_s=10&altu_s=12")).status, 0);
    std::string sat = readFile(dir.satPath("cilindro"));
    ASSERT_FALSE(sat.empty());
    std::string record = dir.root() + "/htdocs/acis1/sats/cilindro.json";

    // A diameter of 0 makes no solid: the modeler's record says so.
    ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=1&diam_s=0&altu_s=12")).status, 0);
    Answer a = solid(dir, "shape=cilindro&format=json");
    EXPECT_EQ(a.body.rfind("{\"shape\":\"cilindro\",\"built\":false,\"reason\":\"", 0), 0u)
        << a.body;
    EXPECT_EQ(solid(dir, "shape=cilindro&format=stl").status, 404);

    // A reason is passed on as it was written, escapes and UTF-8 alike.
    writeFile(dir.satPath("cilindro"), sat);
    const std::string reason = "\"Tamanho \\\"0\\\" inv\xC3\xA1lido \\u00e9\"";
    writeFile(record, "{\"shape\":\"cilindro\",\"built\":false,\"reason\":" + reason +
                          ",\"time\":\"2026-12-08T10:19:26.123Z\",\"request\":\"h-1-2-3\"}\n");
    a = solid(dir, "shape=cilindro&format=json");
    EXPECT_EQ(a.body, "{\"shape\":\"cilindro\",\"built\":false,\"reason\":" + reason + "}");
    EXPECT_EQ(solid(dir, "shape=cilindro&format=step").status, 404);

    // Records that are no records (damaged, foreign, unsafe to pass on) leave the SAT file to
    // decide.
    for (const char *bad :
         {"{\"built\":false,\"reason\":\"x\"", "{\"built\":\"no\",\"reason\":\"x\"}",
          "{\"built\":false,\"reason\":\"x\"}</script>",
          "{\"built\":false,\"reason\":\"a\xC0\xAF\"}", "{\"built\":false,\"reason\":\"\\q\"}",
          "{\"built\":false,\"reason\":{\"a\":1}}", ""}) {
        SCOPED_TRACE(bad);
        writeFile(record, bad);
        EXPECT_NE(solid(dir, "shape=cilindro&format=json").body.find("\"built\":true"),
                  std::string::npos);
    }
    writeFile(record, "{\"shape\":\"cilindro\",\"built\":true,\"reason\":\"\"}");
    EXPECT_EQ(solid(dir, "shape=cilindro&format=stl").status, 200);
}

// ---- the shape's lock ----

TEST(Solid, ReadersShareTheLockAndWritersExcludeThem) {
    RunDir dir;
    std::string path = dir.root() + "/l.lock";
    {
        ModelerLock a(path, 0, ModelerLock::SHARED), b(path, 0, ModelerLock::SHARED);
        EXPECT_EQ(a.state(), ModelerLock::HELD);
        EXPECT_EQ(b.state(), ModelerLock::HELD);
        EXPECT_EQ(ModelerLock(path, 20).state(), ModelerLock::BUSY);
    }
    ModelerLock writer(path, 0);
    EXPECT_EQ(writer.state(), ModelerLock::HELD);
    EXPECT_EQ(ModelerLock(path, 20, ModelerLock::SHARED).state(), ModelerLock::BUSY);
    writer.release();
    EXPECT_EQ(ModelerLock(path, 0, ModelerLock::SHARED).state(), ModelerLock::HELD);
    EXPECT_EQ(ModelerLock(dir.root() + "/no/such/folder.lock", 0, ModelerLock::SHARED).state(),
              ModelerLock::NO_FILE);
}

// While a writer holds the shape, Solid waits and then reads what the writer left, never the
// files from before it.
TEST(Solid, WaitsForTheWriter) {
    RunDir dir;
    ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=1&diam_s=10&altu_s=12")).status, 0);
    int fd = open((dir.root() + "/htdocs/acis1/sats/cilindro.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    pid_t pid = dir.start(SOLID_BIN, getRequest("shape=cilindro&format=json"), "", "w");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writeFile(dir.root() + "/htdocs/acis1/sats/cilindro.json",
              "{\"shape\":\"cilindro\",\"built\":false,\"reason\":\"later\"}");
    writeFile(dir.satPath("cilindro"), "");
    close(fd);
    Answer a = parseAnswer(dir.finish(pid, "w").out);
    EXPECT_EQ(a.body, "{\"shape\":\"cilindro\",\"built\":false,\"reason\":\"later\"}");
}

// ---- as a FastCGI worker ----

TEST(Solid, ServesAsAFastCgiWorker) {
#ifndef SOLID_FCGI
    GTEST_SKIP() << "built without libfcgi: Solid runs as CGI only";
#endif
    RunDir dir;
    ASSERT_EQ(dir.run(BOLMAR_BIN, getRequest("tipo=3&diam_s=10")).status, 0);
    FcgiWorkers worker(SOLID_BIN, dir.root());
    FcgiResponse bad = worker.request(fcgiGet("shape=esfera&format=pdf"));
    ASSERT_TRUE(bad.complete);
    EXPECT_EQ(parseAnswer(bad.out).status, 400);
    for (int i = 0; i < 3; ++i) {
        FcgiResponse json = worker.request(fcgiGet("shape=esfera&format=json"));
        ASSERT_TRUE(json.complete);
        Answer a = parseAnswer(json.out);
        EXPECT_EQ(a.status, 200);
        double v = 4.0 / 3 * kPi * 125;
        EXPECT_NEAR(jsonNumber(a.body, "volume"), v, 1e-6 * v) << a.body;
        FcgiResponse stl = worker.request(fcgiGet("shape=esfera&format=stl"));
        ASSERT_TRUE(stl.complete);
        EXPECT_TRUE(readStl(parseAnswer(stl.out).body).closed);
    }
    EXPECT_TRUE(worker.alive());
}

} // namespace
