// The site under lighttpd on loopback, started with scripts/serve in a temporary run directory:
// forms submitted with curl (GET, urlencoded POST, multipart POST), the redirect followed, the
// pages, scenes and SAT files fetched.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "modeler_run.h"
#include "sat_solid.h"

using namespace modelertest;

namespace {

std::string shellQuote(const std::string &s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Standard output of a shell command.
std::string capture(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

class Site : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (std::system("command -v lighttpd >/dev/null && command -v curl >/dev/null") != 0)
            return;
        run_ = new RunDir;
        origin_ = "http://127.0.0.1:" + std::to_string(freePort());
        std::string start = shellQuote(SERVE_SCRIPT) + " start --port " +
                            origin_.substr(origin_.rfind(':') + 1) + " --prefix " +
                            shellQuote(run_->root()) + " --build " + shellQuote(BUILD_DIR);
        started_ = std::system((start + " >/dev/null").c_str()) == 0;
    }
    static void TearDownTestSuite() {
        if (!run_)
            return;
        std::string stop = shellQuote(SERVE_SCRIPT) + " stop --prefix " + shellQuote(run_->root());
        std::system((stop + " >/dev/null").c_str());
        delete run_;
        run_ = nullptr;
    }
    void SetUp() override {
        if (!run_)
            GTEST_SKIP() << "lighttpd or curl is not installed";
        ASSERT_TRUE(started_) << "scripts/serve start failed";
    }

    // "CODE LOCATION" of a request made with the curl arguments, the redirect not followed.
    static std::string answer(const std::string &args) {
        return capture("curl -s -o /dev/null -w '%{http_code} %{redirect_url}' " + args);
    }
    static std::string fetch(const std::string &path) {
        return capture("curl -sf " + shellQuote(origin_ + path));
    }
    static std::string viewer(const std::string &name) {
        return "302 " + origin_ + "/acis1/shtml/desenha" + name + ".shtml";
    }
    static std::string url(const std::string &path) { return shellQuote(origin_ + path); }

    static RunDir *run_;
    static std::string origin_;
    static bool started_;
};

RunDir *Site::run_ = nullptr;
std::string Site::origin_;
bool Site::started_ = false;

TEST_F(Site, GetFormRedirectsToTheViewerAndItsScene) {
    EXPECT_EQ(answer(url("/cgi-bin/Bolmar?tipo=1&diam_s=10&altu_s=20")), viewer("cilindro"));
    std::string page = capture("curl -sfL " + url("/cgi-bin/Bolmar?tipo=1&diam_s=10&altu_s=20"));
    EXPECT_NE(page.find("data-model=\"cilindro\""), std::string::npos);
    EXPECT_EQ(fetch("/acis1/wrls/cilindro.wrl").rfind("#VRML V2.0 utf8\n", 0), 0u);
    EXPECT_EQ(fetch("/acis1/sats/cilindro.sat"), readFile(run_->satPath("cilindro")));
    Solid s = readSolid(run_->satPath("cilindro"));
    EXPECT_NEAR(s.bounds.high().x(), 5, 1e-6);
    std::string headers = capture("curl -sfI " + url("/acis1/wrls/cilindro.wrl"));
    EXPECT_NE(headers.find("Content-Type: model/vrml"), std::string::npos);
    EXPECT_NE(headers.find("Cache-Control: no-store"), std::string::npos);
}

TEST_F(Site, UrlencodedPost) {
    EXPECT_EQ(
        answer("--data 'tipo=5&altu_s=10&rmai_s=6&rmen_s=4&nlados_s=6' " + url("/cgi-bin/Bolmar")),
        viewer("prisma"));
    EXPECT_EQ(readSolid(run_->satPath("prisma")).bodies, 1);
}

TEST_F(Site, MultipartPost) {
    EXPECT_EQ(answer("-F tipo=8 -F larg_s=30 -F comp_s=20 -F altu_s=15 " + url("/cgi-bin/Bolmar")),
              viewer("cunha"));
    EXPECT_NEAR(readSolid(run_->satPath("cunha")).volume, 30 * 20 * 15 / 2.0, 1e-6);
}

// The shaft form's own defaults: six sections with treatments, a hole, one quarter kept.
TEST_F(Site, ShaftForm) {
    std::string form = fetch("/acis1/index.html");
    ASSERT_NE(form.find("action=\"/cgi-bin/Arvend\""), std::string::npos);
    std::string args = "--data 'numsol=6&comp=10-15-20-10-25-10-&diam_e=20-30-40-36-30-20-"
                       "&diam_d=20-30-40-30-30-20-&blend_e=1-2-2-0-0-0-&vblend_e=1-1-1.5-0-0-0-"
                       "&blend_d=0-0-1-0-2-1-&vblend_d=0-0-1-0-1-1-&codfuros=3&dfuro=8"
                       "&profuro=20&seccao=3' ";
    EXPECT_EQ(answer(args + url("/cgi-bin/Arvend")), viewer("eixo"));
    Solid s = readSolid(run_->satPath("eixo"));
    ASSERT_EQ(s.bodies, 1);
    EXPECT_NEAR(s.bounds.high().z() - s.bounds.low().z(), 90, 1e-6);
    EXPECT_NE(fetch("/acis1/wrls/eixo.wrl").find("coordIndex"), std::string::npos);
}

// An unknown code answers nothing, which the server reports as its own error; nothing is written.
TEST_F(Site, UnknownPrimitive) {
    std::vector<std::string> before = run_->outputFiles();
    EXPECT_EQ(answer(url("/cgi-bin/Bolmar?tipo=9")), "500 ");
    EXPECT_EQ(run_->outputFiles(), before);
}

TEST_F(Site, PagesAndViewerAreServed) {
    for (const char *name : {"paralelepipedo", "cilindro", "cone", "esfera", "torus", "prisma",
                             "piramide", "cruz", "cunha", "eixo"}) {
        std::string page = fetch(std::string("/acis1/shtml/desenha") + name + ".shtml");
        EXPECT_NE(page.find(std::string("data-model=\"") + name + "\""), std::string::npos) << name;
        EXPECT_NE(page.find("/x_ite/x_ite.min.js"), std::string::npos) << name;
    }
    EXPECT_EQ(answer(url("/x_ite/x_ite.min.js")), "200 ");
    EXPECT_EQ(answer(url("/acis1/viewer.js")), "200 ");
    EXPECT_EQ(answer(url("/")), "200 ");
}

} // namespace
