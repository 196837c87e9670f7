// The modelers as FastCGI workers, driven directly over their socket: many requests of every
// kind through one process, failures answered without ending it, and concurrent requests of one
// shape through several workers.
#include <algorithm>
#include <cstdio>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fcgi_worker.h"
#include "modeler_run.h"
#include "sat_solid.h"
#include "scene_mesh.h"

using namespace modelertest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define ROVAK_WORKER_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROVAK_WORKER_UNDER_ASAN 1
#endif
#endif

const char kRedirect[] = "Location: http://127.0.0.1:8080/acis1/shtml/desenha";

std::string redirectTo(const std::string &name) { return kRedirect + name + ".shtml\n\n"; }

std::string statusLine(const FcgiResponse &r) { return r.out.substr(0, r.out.find('\n')); }

std::string urlencoded() { return "application/x-www-form-urlencoded"; }

// One kind of request in the mixed run: what is sent and what must come back.
struct MixedCase {
    const char *title;
    std::vector<std::pair<std::string, std::string>> params;
    std::string body;
    std::string answer; // the whole response, or its status line when it starts with "Status:"
};

std::vector<MixedCase> mixedCases(int k) {
    std::string box = "tipo=0&larg_s=" + std::to_string(10 + k % 7) + "&comp_s=20&altu_s=30";
    std::string manyFields(10001 * 2, '&');
    for (size_t i = 0; i < manyFields.size(); i += 2)
        manyFields[i] = 'a';
    auto hostile = fcgiGet("tipo=3&diam_s=8");
    hostile.push_back({"HTTP_HOST", "evil\r\nSet-Cookie: x=1"});
    std::string boundary(71, 'b');
    return {
        {"box", fcgiGet(box), "", redirectTo("paralelepipedo")},
        {"cylinder by POST", fcgiPost(urlencoded(), 25), "tipo=1&diam_s=10&altu_s=20",
         redirectTo("cilindro")},
        {"torus", fcgiGet("tipo=4&dmai_s=20&dmen_s=4"), "", redirectTo("torus")},
        {"body over the limit", fcgiPost(urlencoded(), 2000000), "",
         "Status: 413 Request Entity Too Large"},
        {"too many fields", fcgiGet(manyFields), "", "Status: 413 Request Entity Too Large"},
        {"boundary too long", fcgiPost("multipart/form-data; boundary=" + boundary, 4), "--bb",
         "Status: 400 Bad Request"},
        {"body shorter than announced", fcgiPost(urlencoded(), 100), "tipo=1",
         "Status: 400 Bad Request"},
        {"unknown primitive", fcgiGet("tipo=9&diam_s=10"), "", ""},
        {"smuggled header in the host", hostile, "", redirectTo("esfera")},
        {"sizes the kernel refuses", fcgiGet("tipo=7&dcin1_s=1e308&ccin1_s=nan&dcin2_s=%zz"), "",
         redirectTo("cruz")},
    };
}

// The files a served case must have left: its SAT file and scene, from this very request.
void expectFiles(const RunDir &dir, const std::string &title, int k) {
    if (title == "box") {
        Solid s = readSolid(dir.satPath("paralelepipedo"));
        ASSERT_EQ(s.bodies, 1);
        EXPECT_NEAR(s.volume, (10 + k % 7) * 20.0 * 30.0, 1e-6);
        std::vector<SceneShape> scene = readScene(readFile(dir.wrlPath("paralelepipedo")));
        ASSERT_EQ(scene.size(), 1u);
        MeshCheck m = checkMesh(scene[0]);
        EXPECT_TRUE(m.closed);
        EXPECT_NEAR(m.high[0] - m.low[0], (10 + k % 7) * 100.0 / 30, 1e-3);
    } else if (title == "sizes the kernel refuses") {
        EXPECT_EQ(readSolid(dir.satPath("cruz")).bodies, 0);
    } else if (title == "torus") {
        EXPECT_EQ(readSolid(dir.satPath("torus")).bodies, 1);
    }
}

// A thousand requests of every kind through one worker: each gets its own answer and files, the
// worker never ends, and its memory stays flat once warm.
TEST(Worker, ServesAThousandMixedRequests) {
    RunDir dir;
    FcgiWorkers worker(BOLMAR_BIN, dir.root());
    [[maybe_unused]] long warm = -1; // unread under the address sanitizer
    for (int k = 0; k < 100; ++k) {
        for (const MixedCase &c : mixedCases(k)) {
            SCOPED_TRACE(std::string(c.title) + ", round " + std::to_string(k));
            FcgiResponse r = worker.request(c.params, c.body);
            ASSERT_TRUE(r.complete) << "the worker did not answer";
            if (c.answer.rfind("Status:", 0) == 0)
                EXPECT_EQ(statusLine(r), c.answer) << r.out;
            else
                EXPECT_EQ(r.out, c.answer);
            if (k % 10 == 0)
                expectFiles(dir, c.title, k);
        }
        if (k == 9)
            warm = worker.residentKb();
    }
    EXPECT_TRUE(worker.alive());
    std::vector<std::string> files = dir.outputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"cilindro.sat", "cilindro.wrl", "cruz.sat", "cruz.wrl",
                                        "esfera.sat", "esfera.wrl", "paralelepipedo.sat",
                                        "paralelepipedo.wrl", "torus.sat", "torus.wrl"}));
#ifndef ROVAK_WORKER_UNDER_ASAN // the sanitizer holds freed memory back on purpose
    long grown = worker.residentKb() - warm;
    EXPECT_LT(grown, 8 * 1024) << "resident memory grew by " << grown << " KiB over 900 requests";
#endif
}

// One worker serves request after request of one shape: each leaves a record of its own, with
// its own identity and time and its own verdict, whatever the request before it came to.
TEST(Worker, EachRequestLeavesItsOwnRecord) {
    RunDir dir;
    FcgiWorkers worker(BOLMAR_BIN, dir.root());
    struct Step {
        const char *query;
        bool built;
        const char *reason; // start of the reason
    } steps[] = {
        {"tipo=4&dmai_s=20&dmen_s=6", true, ""},
        {"tipo=4&dmai_s=6&dmen_s=20", false, "The values given do not make a solid: "},
        {"tipo=4&dmai_s=20&dmen_s=6", true, ""},
        {"tipo=4&dmai_s=200000&dmen_s=6", false, "The largest size may be at most"},
        {"tipo=4&dmai_s=30&dmen_s=6", true, ""},
    };
    std::vector<std::string> seen;
    long long last = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.query);
        long long before = nowMs();
        EXPECT_EQ(worker.request(fcgiGet(step.query)).out, redirectTo("torus"));
        Record rec = readRecord(dir.recordPath("torus"));
        ASSERT_TRUE(rec.wellFormed) << rec.text;
        EXPECT_EQ(rec.built, step.built);
        EXPECT_EQ(rec.reason.rfind(step.reason, 0), 0u) << rec.reason;
        EXPECT_EQ(rec.reason.empty(), step.built);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), rec.request), seen.end()) << rec.request;
        seen.push_back(rec.request);
        long long at = recordTimeMs(rec.time);
        EXPECT_GE(at, std::max(before, last)); // the request's own time, not the worker's start
        last = at;
    }
}

// A request whose files cannot be written is answered "Unable to open file!" under a 500 status;
// the same worker serves the next request once the folder is back.
TEST(Worker, UnwritableFolderIsAnsweredAndTheWorkerServesOn) {
    RunDir dir;
    FcgiWorkers worker(ARVEND_BIN, dir.root());
    const std::string shaft = "comp=10-20-&diam_e=8-12-&diam_d=8-6-&numsol=2&codfuros=4&dfuro=2";
    std::string sats = dir.root() + "/htdocs/acis1/sats";
    ASSERT_EQ(std::rename(sats.c_str(), (sats + ".away").c_str()), 0);
    std::FILE *blocker = std::fopen(sats.c_str(), "w"); // a file where the folder was
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    FcgiResponse failed = worker.request(fcgiGet(shaft));
    EXPECT_EQ(failed.out, "Status: 500 Internal Server Error\nContent-Type: text/plain\n\n"
                          "Unable to open file!\n");
    ASSERT_EQ(unlink(sats.c_str()), 0);
    ASSERT_EQ(std::rename((sats + ".away").c_str(), sats.c_str()), 0);

    EXPECT_EQ(worker.request(fcgiGet(shaft)).out, redirectTo("eixo"));
    EXPECT_EQ(worker.request(fcgiGet("numsol=0")).out, redirectTo("eixo"));
    Solid s = readSolid(dir.satPath("eixo"));
    EXPECT_EQ(s.bodies, 1);
    EXPECT_NEAR(s.bounds.high().z(), 30, 1e-6);
    EXPECT_TRUE(worker.alive());
    EXPECT_EQ(dir.outputFiles().size(), 2u); // no temporary file of the failed request is left
}

// Sixteen requests for one shape at once through four workers: the SAT file and the scene left
// at the end come from one request (every box's sides differ in order, so the scene's
// proportions name it).
TEST(Worker, ConcurrentRequestsOfOneShapeLeaveMatchingFiles) {
    RunDir dir;
    FcgiWorkers workers(BOLMAR_BIN, dir.root(), 4);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<FcgiResponse> answers(16);
        std::vector<std::thread> clients;
        for (int i = 0; i < 16; ++i) {
            std::string query = "tipo=0&larg_s=" + std::to_string(10 + i) +
                                "&comp_s=" + std::to_string(40 - i) +
                                "&altu_s=" + std::to_string(25 + (i * 7 + round) % 13);
            clients.emplace_back([&, i, query] { answers[i] = workers.request(fcgiGet(query)); });
        }
        for (std::thread &t : clients)
            t.join();
        for (const FcgiResponse &r : answers)
            EXPECT_EQ(r.out, redirectTo("paralelepipedo"));
        Solid s = readSolid(dir.satPath("paralelepipedo"));
        ASSERT_EQ(s.bodies, 1);
        std::vector<SceneShape> scene = readScene(readFile(dir.wrlPath("paralelepipedo")));
        ASSERT_EQ(scene.size(), 1u);
        MeshCheck m = checkMesh(scene[0]);
        double sat[3], wrl[3];
        for (int i = 0; i < 3; ++i) {
            sat[i] = s.bounds.high().coordinate(i) - s.bounds.low().coordinate(i);
            wrl[i] = m.high[i] - m.low[i];
        }
        double scale = 100.0 / std::max({int(sat[0]), int(sat[1]), int(sat[2])});
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(wrl[i], sat[i] * scale, 1e-3) << "axis " << i;
    }
    EXPECT_TRUE(workers.alive());
}

} // namespace
