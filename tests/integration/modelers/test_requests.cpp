// Hostile and heavy requests, run as CGI: long boundaries, bodies and field counts at and over
// the limits, short bodies, allocation failure under an address-space limit, concurrent requests
// of one shape and requests killed on the way.
#include <csignal>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "modeler_run.h"
#include "sat_solid.h"
#include "scene_mesh.h"

using namespace modelertest;

namespace {

const long kLimit = 1L << 20; // the default largest body
const char kBoxFields[] = "tipo=0&larg_s=30&comp_s=20&altu_s=10";

bool hasRedirect(const Result &r) { return r.out.find("Location:") != std::string::npos; }

std::string statusLine(const Result &r) { return r.out.substr(0, r.out.find('\n')); }

// An urlencoded body of exactly size bytes: the box's fields and one long field nobody reads.
std::string paddedBody(std::size_t size) {
    std::string body = std::string(kBoxFields) + "&pad=";
    return body + std::string(size - body.size(), 'x');
}

Result post(const RunDir &dir, const std::string &type, const std::string &body,
            long addressSpace = 0) {
    return dir.run(BOLMAR_BIN, postRequest(type, body), body, addressSpace);
}

void expectRefused(const RunDir &dir, const Result &r, const std::string &status) {
    EXPECT_EQ(statusLine(r), "Status: " + status);
    EXPECT_NE(r.out.find("\nContent-Type: text/plain\n\n"), std::string::npos);
    EXPECT_FALSE(hasRedirect(r)) << r.out;
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(dir.outputFiles().empty()); // nothing was built from a form not taken whole
}

// The worst text for a delimiter search: the delimiter over and over, each time but its last byte.
std::string nearMisses(const std::string &boundary, std::size_t size) {
    std::string miss = "--" + boundary.substr(0, boundary.size() - 1);
    std::string text;
    while (text.size() + miss.size() <= size)
        text += miss;
    return text;
}

// A multipart body of the box's fields and a file part of near misses, filled up to size bytes.
std::string multipartOfSize(const std::string &boundary, std::size_t size) {
    std::string head = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"f\"; "
                       "filename=\"x\"\r\n\r\n";
    std::string tail = "\r\n";
    for (const char *f : {"tipo=0", "larg_s=30", "comp_s=20", "altu_s=10"}) {
        std::string field(f);
        std::size_t eq = field.find('=');
        tail += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                field.substr(0, eq) + "\"\r\n\r\n" + field.substr(eq + 1) + "\r\n";
    }
    tail += "--" + boundary + "--\r\n";
    std::string fill = nearMisses(boundary, size - head.size() - tail.size());
    fill += std::string(size - head.size() - tail.size() - fill.size(), 'z');
    return head + fill + tail;
}

TEST(Requests, LongBoundaryIsRefusedBeforeTheBodyIsScanned) {
    RunDir dir;
    std::string boundary(8000, 'b');
    std::string body = multipartOfSize(boundary, kLimit);
    expectRefused(dir, post(dir, "multipart/form-data; boundary=" + boundary, body),
                  "400 Bad Request");
}

TEST(Requests, WorstBodyWithTheLongestBoundaryIsServed) {
    RunDir dir;
    std::string boundary(69, '-');
    boundary += 'x'; // 70 bytes, nearly all of them the delimiter's own leading byte
    std::string body = multipartOfSize(boundary, kLimit);
    ASSERT_EQ(body.size(), std::size_t(kLimit));
    Result r = post(dir, "multipart/form-data; boundary=\"" + boundary + "\"", body);
    EXPECT_TRUE(hasRedirect(r)) << r.out << r.err;
    Solid s = readSolid(dir.satPath("paralelepipedo"));
    ASSERT_EQ(s.bodies, 1);
    EXPECT_NEAR(s.volume, 6000, 1e-6);
}

TEST(Requests, BodyAtAndOverTheLimit) {
    const std::string type = "application/x-www-form-urlencoded";
    {
        RunDir dir;
        Result r = post(dir, type, paddedBody(kLimit));
        EXPECT_TRUE(hasRedirect(r)) << r.out;
        EXPECT_EQ(readSolid(dir.satPath("paralelepipedo")).bodies, 1);
    }
    {
        RunDir dir;
        expectRefused(dir, post(dir, type, paddedBody(kLimit + 1)), "413 Request Entity Too Large");
    }
    {
        // The announced length decides: the body is not read at all.
        RunDir dir;
        std::vector<std::string> env = postRequest(type, "");
        env.back() = "CONTENT_LENGTH=99999999999";
        expectRefused(dir, dir.run(BOLMAR_BIN, env, kBoxFields), "413 Request Entity Too Large");
    }
}

// Every source counts: four box fields in the query string and the rest in the body.
TEST(Requests, FieldCountLimit) {
    for (int fields : {10000, 10001}) {
        SCOPED_TRACE(fields);
        RunDir dir;
        std::string body = "a";
        for (int i = 5; i < fields; ++i)
            body += "&a";
        std::vector<std::string> env = postRequest("application/x-www-form-urlencoded", body);
        env.push_back(std::string("QUERY_STRING=") + kBoxFields);
        Result r = dir.run(BOLMAR_BIN, env, body);
        if (fields == 10000) {
            EXPECT_TRUE(hasRedirect(r)) << r.out;
            EXPECT_EQ(readSolid(dir.satPath("paralelepipedo")).bodies, 1);
        } else {
            expectRefused(dir, r, "413 Request Entity Too Large");
        }
    }
}

TEST(Requests, BodyShorterThanAnnouncedIsRefused) {
    RunDir dir;
    std::vector<std::string> env = postRequest("application/x-www-form-urlencoded", "");
    env.back() = "CONTENT_LENGTH=500";
    expectRefused(dir, dir.run(ARVEND_BIN, env, "numsol=1&comp=10-&diam_e=4-&diam_d=4-"),
                  "400 Bad Request");
}

#if defined(__SANITIZE_ADDRESS__)
#define ROVAK_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROVAK_TEST_UNDER_ASAN 1
#endif
#endif

// Not built under the address sanitizer, which cannot run under an address-space limit (the
// plain debug build runs it); a skip there would fail the strict run.
#ifndef ROVAK_TEST_UNDER_ASAN
// Under falling address-space limits the program first serves the request, then runs out of
// memory on the way (a 500 answer, or the converter's "Unable to open file!"), then cannot even
// load: it never redirects to a solid it did not build.
TEST(Requests, AllocationFailureNeverRedirects) {
    const std::string body = paddedBody(kLimit);
    int served = 0, errorAnswers = 0;
    for (long mb = 20; mb <= 400 && served < 3; mb += 1) {
        RunDir dir;
        Result r = post(dir, "application/x-www-form-urlencoded", body, mb << 20);
        SCOPED_TRACE("address space " + std::to_string(mb) + " MiB: " + r.out);
        Record rec = readRecord(dir.recordPath("paralelepipedo"));
        if (rec.present) { // whatever came of the request, its record tells it
            EXPECT_TRUE(rec.wellFormed) << rec.text;
            EXPECT_EQ(rec.built, hasRedirect(r));
            if (!rec.built) {
                EXPECT_EQ(rec.reason, "The server ran out of memory building the solid.");
            }
        }
        if (hasRedirect(r)) {
            ++served;
            EXPECT_EQ(r.status, 0);
            EXPECT_TRUE(rec.present);
            Solid s = readSolid(dir.satPath("paralelepipedo"));
            EXPECT_EQ(s.bodies, 1);
            EXPECT_NEAR(s.volume, 6000, 1e-6);
            EXPECT_TRUE(checkMesh(readScene(readFile(dir.wrlPath("paralelepipedo")))[0]).closed);
            continue;
        }
        served = 0;
        EXPECT_NE(r.status, 0);
        if (statusLine(r) == "Status: 500 Internal Server Error")
            ++errorAnswers;
    }
    EXPECT_EQ(served, 3) << "the program never got enough memory";
    EXPECT_GT(errorAnswers, 0) << "no limit left the program short of memory while it worked";
}
#endif

// A box of the given sizes: the proportions its scene must show.
struct Dimensions {
    int x, y, z;
};

// Sixteen requests for the same shape at once, each with its own sizes: the SAT file, the scene
// and the status record left at the end must come from one request. Every box differs in the
// order of its sides, so the scene's proportions (fitted into the 100 cube) name the request;
// every fourth one is too long to be built, so the record's verdict must match the files.
TEST(Requests, ConcurrentRequestsOfOneShapeLeaveMatchingFiles) {
    RunDir dir;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<Dimensions> dims;
        std::vector<pid_t> pids;
        for (int i = 0; i < 16; ++i) {
            Dimensions d{i % 4 == 3 ? 300000 : 10 + i, 40 - i, 25 + (i * 7 + round) % 13};
            dims.push_back(d);
            std::string query = "tipo=0&larg_s=" + std::to_string(d.x) +
                                "&comp_s=" + std::to_string(d.y) + "&altu_s=" + std::to_string(d.z);
            pids.push_back(dir.start(BOLMAR_BIN, getRequest(query), "", std::to_string(i)));
        }
        for (int i = 0; i < 16; ++i) {
            Result r = dir.finish(pids[i], std::to_string(i));
            EXPECT_TRUE(hasRedirect(r)) << r.out << r.err;
        }
        Record rec = readRecord(dir.recordPath("paralelepipedo"));
        ASSERT_TRUE(rec.wellFormed) << rec.text;
        Solid s = readSolid(dir.satPath("paralelepipedo"));
        std::vector<SceneShape> scene = readScene(readFile(dir.wrlPath("paralelepipedo")));
        EXPECT_EQ(dir.outputFiles().size(), 2u); // no temporary file left behind
        ASSERT_EQ(s.bodies, rec.built ? 1 : 0);
        ASSERT_EQ(scene.size(), rec.built ? 1u : 0u);
        if (!rec.built)
            continue;
        MeshCheck m = checkMesh(scene[0]);
        ASSERT_TRUE(m.closed);
        double sat[3], wrl[3];
        for (int i = 0; i < 3; ++i) {
            sat[i] = s.bounds.high().coordinate(i) - s.bounds.low().coordinate(i);
            wrl[i] = m.high[i] - m.low[i];
        }
        double scale = 100.0 / std::max({int(sat[0]), int(sat[1]), int(sat[2])});
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(wrl[i], sat[i] * scale, 1e-3) << "axis " << i;
    }
}

// The files of a request waiting for the shape's lock: the temporary ones beside the targets.
std::vector<std::string> pendingFiles(const RunDir &dir) {
    std::vector<std::string> pending;
    for (const std::string &name : dir.outputFiles())
        if (name != "cilindro.sat" && name != "cilindro.wrl")
            pending.push_back(name);
    return pending;
}

// Requests of one shape build at the same time: each writes its SAT file, scene and record under
// temporary names without the shape's lock, and waits for the lock only to move them into place.
// The first to get it clears what killed requests left, but not the files of the other, which is
// still at work.
TEST(Requests, RequestsBuildWhileTheShapeIsLocked) {
    RunDir dir;
    int lock = open((dir.root() + "/htdocs/acis1/sats/cilindro.lock").c_str(),
                    O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    pid_t a = dir.start(BOLMAR_BIN, getRequest("tipo=1&diam_s=10&altu_s=20"), "", "a");
    pid_t b = dir.start(BOLMAR_BIN, getRequest("tipo=1&diam_s=20&altu_s=10"), "", "b");
    // Each request's record is written last; both are done building when both records are there.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(50);
    auto records = [&] {
        int n = 0;
        for (const std::string &name : pendingFiles(dir))
            n += name.compare(0, 14, "cilindro.json.") == 0;
        return n;
    };
    while (records() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pendingFiles(dir).size(), 6u);
    EXPECT_FALSE(readRecord(dir.recordPath("cilindro")).present); // nothing published yet
    flock(lock, LOCK_UN);
    close(lock);
    for (pid_t pid : {a, b}) {
        Result r = dir.finish(pid, pid == a ? "a" : "b");
        EXPECT_TRUE(hasRedirect(r)) << r.out << r.err;
    }
    std::vector<std::string> files = dir.outputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"cilindro.sat", "cilindro.wrl"}));
    Record rec = readRecord(dir.recordPath("cilindro"));
    EXPECT_TRUE(rec.wellFormed && rec.built) << rec.text;
}

// A request killed while it works leaves no lock held and, at worst, temporary files that the
// next request of the shape removes.
TEST(Requests, KilledRequestsLeaveNothingBehind) {
    RunDir dir;
    // What a request killed between creating and renaming its files leaves.
    for (const std::string &stale :
         {dir.satPath("cone") + ".Ab12Cd", dir.wrlPath("cone") + ".x9Y8z7"})
        std::ofstream(stale) << "half";
    std::ofstream(dir.wrlPath("cone") + ".keep") << "not ours"; // another name: left alone
    // A temporary file its writer still holds (locked) belongs to a request at work: it stays.
    const std::string live = dir.satPath("cone") + ".Live01";
    std::ofstream(live) << "being written";
    int held = open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const std::string query = "tipo=2&dmai_s=16&dmen_s=6&altu_s=12";
    for (int delayMs : {0, 5, 20, 40, 80}) {
        pid_t pid = dir.start(BOLMAR_BIN, getRequest(query), "", "killed");
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(pid, SIGKILL);
        dir.finish(pid, "killed");
    }
    Result r = dir.run(BOLMAR_BIN, getRequest(query));
    EXPECT_TRUE(hasRedirect(r)) << r.out << r.err;
    std::vector<std::string> files = dir.outputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"cone.sat", "cone.sat.Live01", "cone.wrl",
                                               "cone.wrl.keep"}));
    EXPECT_EQ(readSolid(dir.satPath("cone")).bodies, 1);
    // Once its writer is gone, the next request clears it.
    close(held);
    r = dir.run(BOLMAR_BIN, getRequest(query));
    EXPECT_TRUE(hasRedirect(r)) << r.out << r.err;
    files = dir.outputFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"cone.sat", "cone.wrl", "cone.wrl.keep"}));
}

} // namespace
