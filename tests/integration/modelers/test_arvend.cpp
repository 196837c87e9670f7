// Arvend run as CGI: the shaft's sections, list decoding and section count, edge treatments,
// holes and cut-aways, checked by the box, volume and vertices of the SAT file it writes.
#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "modeler_run.h"
#include "sat_solid.h"

using namespace modelertest;

namespace {

const double kPi = 3.141592653589793;
const char kRedirect[] = "Location: http://localhost/acis1/shtml/desenhaeixo.shtml\n\n";

typedef std::map<std::string, std::string> Form;

// Radius 4 from z 0 to 10, then a cone from radius 6 at z 10 to radius 3 at z 30.
const Form kTwoSections = {
    {"comp", "10-20-"}, {"diam_e", "8-12-"}, {"diam_d", "8-6-"}, {"numsol", "2"}};
const double kTwoSectionsVolume = kPi * 16 * 10 + kPi * 20 / 3 * (36 + 18 + 9);

// A cylinder of radius 5 from z 0 to 20.
const Form kCylinder = {{"comp", "20-"}, {"diam_e", "10-"}, {"diam_d", "10-"}, {"numsol", "1"}};
const double kCylinderVolume = kPi * 25 * 20;

Form with(Form form, const Form &more) {
    for (const auto &kv : more)
        form[kv.first] = kv.second;
    return form;
}

std::string query(const Form &form) {
    std::string q;
    for (const auto &kv : form)
        q += (q.empty() ? "" : "&") + kv.first + "=" + kv.second;
    return q;
}

struct Shaft {
    Result result;
    Solid solid;
    bool written = false;
};

Shaft arvend(const Form &form, const std::vector<position> &probes = {}) {
    RunDir dir;
    Shaft s;
    s.result = dir.run(ARVEND_BIN, getRequest(query(form)));
    s.written = !dir.outputFiles().empty();
    if (s.written)
        s.solid = readSolid(dir.satPath("eixo"), probes);
    return s;
}

void expectBox(const Solid &s, const position &lo, const position &hi) {
    ASSERT_EQ(s.bodies, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.bounds.low().coordinate(i), lo.coordinate(i), 1e-6) << "low " << i;
        EXPECT_NEAR(s.bounds.high().coordinate(i), hi.coordinate(i), 1e-6) << "high " << i;
    }
}

TEST(Arvend, SectionsFollowEachOtherAlongZ) {
    Shaft s = arvend(kTwoSections, {{4, 0, 0}, {4, 0, 10}, {6, 0, 10}, {3, 0, 30}});
    EXPECT_EQ(s.result.status, 0) << s.result.err;
    EXPECT_EQ(s.result.out, kRedirect);
    expectBox(s.solid, {-6, -6, 0}, {6, 6, 30});
    EXPECT_NEAR(s.solid.volume, kTwoSectionsVolume, 1e-6);
    EXPECT_EQ(s.solid.vertexAt, (std::vector<bool>{true, true, true, true}));
}

TEST(Arvend, ListsAndSectionCount) {
    struct Case {
        const char *what;
        Form form;
        double length; // 0: nothing built
    } cases[] = {
        // Text after the last '-' is ignored, so comp holds one value and one section is built.
        {"no final dash",
         {{"comp", "10-20"}, {"diam_e", "8-8-"}, {"diam_d", "8-8-"}, {"numsol", "2"}},
         10},
        {"more sections asked than given", with(kTwoSections, {{"numsol", "3"}}), 30},
        {"fewer sections asked than given", with(kTwoSections, {{"numsol", "1"}}), 10},
        {"empty items are 0",
         {{"comp", "--10-"}, {"diam_e", "8-8-8-"}, {"diam_d", "8-8-8-"}, {"numsol", "3"}},
         10},
        {"numsol 0", with(kTwoSections, {{"numsol", "0"}}), 0},
        {"negative numsol", with(kTwoSections, {{"numsol", "-2"}}), 0},
        {"absent numsol", {{"comp", "10-"}, {"diam_e", "8-"}, {"diam_d", "8-"}}, 0},
        {"no lists", {{"numsol", "2"}}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Shaft s = arvend(c.form);
        EXPECT_EQ(s.result.status, 0);
        EXPECT_EQ(s.result.out, kRedirect);
        EXPECT_EQ(s.written, c.length > 0);
        if (c.length > 0) {
            EXPECT_NEAR(s.solid.bounds.low().z(), 0, 1e-6);
            EXPECT_NEAR(s.solid.bounds.high().z(), c.length, 1e-6);
        }
    }
}

// Room for 20 sections: the rest of a longer list is dropped.
TEST(Arvend, AtMostTwentySections) {
    std::string ones, diameters;
    for (int i = 0; i < 25; ++i)
        ones += "1-", diameters += i % 2 ? "4-" : "6-";
    Shaft s =
        arvend({{"comp", ones}, {"diam_e", diameters}, {"diam_d", diameters}, {"numsol", "25"}});
    EXPECT_EQ(s.result.out, kRedirect);
    expectBox(s.solid, {-3, -3, 0}, {3, 3, 20});
}

// A section the kernel refuses (zero length) keeps the sections built before it.
TEST(Arvend, RefusedSectionKeepsTheShaft) {
    Shaft s = arvend(
        {{"comp", "10-0-20-"}, {"diam_e", "8-8-12-"}, {"diam_d", "8-8-6-"}, {"numsol", "3"}});
    EXPECT_EQ(s.result.out, kRedirect);
    expectBox(s.solid, {-6, -6, 0}, {6, 6, 30});
    EXPECT_NEAR(s.solid.volume, kTwoSectionsVolume, 1e-6);
}

TEST(Arvend, EdgeTreatments) {
    // Chamfer 1 on the radius-4 edge at z 0: a triangle of area 1/2 turned about the axis at
    // radius 4 - 1/3.
    const double chamfer = 2 * kPi * (4 - 1.0 / 3) * 0.5;
    // Fillet 1 there: area 1 - pi/4 with its centroid (10 - 3 pi) / (12 - 3 pi) in from the edge.
    const double fillet = 2 * kPi * (4 - (10 - 3 * kPi) / (12 - 3 * kPi)) * (1 - kPi / 4);
    struct Case {
        const char *what;
        Form blends;
        double removed; // < 0: some material removed, amount not checked
    } cases[] = {
        {"1.5 is no treatment", {{"blend_e", "1.5-0-"}, {"vblend_e", "1-0-"}}, 0},
        {"chamfer", {{"blend_e", "1-0-"}, {"vblend_e", "1-0-"}}, chamfer},
        {"fillet", {{"blend_e", "2-"}, {"vblend_e", "1-"}}, fillet},
        {"3 is no treatment", {{"blend_d", "3-3-"}, {"vblend_d", "1-1-"}}, 0},
        {"every end",
         {{"blend_e", "1-2-"},
          {"vblend_e", "0.5-0.5-"},
          {"blend_d", "2-1-"},
          {"vblend_d", "0.5-0.5-"}},
         -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Shaft s = arvend(with(kTwoSections, c.blends));
        EXPECT_EQ(s.result.out, kRedirect);
        ASSERT_EQ(s.solid.bodies, 1);
        if (c.removed >= 0) {
            EXPECT_NEAR(s.solid.volume, kTwoSectionsVolume - c.removed, 1e-3);
        } else {
            EXPECT_LT(s.solid.volume, kTwoSectionsVolume - 0.1);
        }
    }
}

TEST(Arvend, Holes) {
    struct Case {
        const char *code;
        double removed;
        position bottom; // a vertex of the hole's inner end
        bool hasBottom;
    } cases[] = {
        {"3", kPi * 4 * 5, {2, 0, 5}, true},  // radius 2 from z 0 to 5
        {"2", kPi * 4 * 5, {2, 0, 25}, true}, // radius 2 from z 25 to 30
        {"4", kPi * 4 * 30, {2, 0, 0}, true}, // right through
        {"1", 0, {2, 0, 5}, false},           // no hole
        {"5", 0, {2, 0, 25}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        Shaft s =
            arvend(with(kTwoSections, {{"codfuros", c.code}, {"dfuro", "4"}, {"profuro", "5"}}),
                   {c.bottom});
        EXPECT_EQ(s.result.out, kRedirect);
        expectBox(s.solid, {-6, -6, 0}, {6, 6, 30});
        EXPECT_NEAR(s.solid.volume, kTwoSectionsVolume - c.removed, 1e-6);
        EXPECT_EQ(s.solid.vertexAt[0], c.hasBottom);
    }
}

TEST(Arvend, CutAways) {
    struct Case {
        const char *seccao;
        double share;
        int cutAxes; // how many of x and y end at the plane through the axis
    } cases[] = {{"1", 1, 0}, {"0", 1, 0}, {"2", 0.5, 1}, {"4", 0.5, 1}, {"3", 0.25, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.seccao);
        Shaft s = arvend(with(kCylinder, {{"seccao", c.seccao}}));
        EXPECT_EQ(s.result.out, kRedirect);
        ASSERT_EQ(s.solid.bodies, 1);
        EXPECT_NEAR(s.solid.volume, kCylinderVolume * c.share, 1e-6);
        int cut = 0;
        for (int axis = 0; axis < 2; ++axis)
            cut += std::fabs(s.solid.bounds.low().coordinate(axis)) < 1e-6 ||
                   std::fabs(s.solid.bounds.high().coordinate(axis)) < 1e-6;
        EXPECT_EQ(cut, c.cutAxes);
        EXPECT_NEAR(s.solid.bounds.high().z() - s.solid.bounds.low().z(), 20, 1e-6);
    }
}

// A hollow shaft of which one quarter is kept: the hole and both cuts together.
TEST(Arvend, QuarterOfAHollowShaft) {
    Shaft s = arvend(with(kCylinder, {{"codfuros", "4"}, {"dfuro", "4"}, {"seccao", "3"}}));
    EXPECT_EQ(s.result.out, kRedirect);
    EXPECT_NEAR(s.solid.volume, kPi * (25 - 4) * 20 / 4, 1e-6);
}

// The shaft's record after each request, run one after another in one site: a shaft of no
// section only replaces the record, and leaves the files of the shaft before it as they were.
TEST(Arvend, StatusRecordOfEachRequest) {
    struct Step {
        const char *what;
        Form form;
        bool built;
        const char *reason; // the whole reason, or its start when it ends in ": "
        bool filesKept;     // the SAT file and scene are the previous step's
    } steps[] = {
        {"built", kTwoSections, true, "", false},
        {"numsol 0", with(kTwoSections, {{"numsol", "0"}}), false, "The shaft has no sections.",
         true},
        {"lists empty", {{"numsol", "3"}}, false, "The shaft has no sections.", true},
        {"proportions", with(kCylinder, {{"comp", "1000000-"}, {"diam_e", "1-"}, {"diam_d", "1-"}}),
         false, "The largest size may be at most 10000 times the smallest.", false},
        {"the only section refused", with(kCylinder, {{"comp", "0-"}}), false,
         "The values given do not make a solid: ", false},
        {"built again", kCylinder, true, "", false},
    };
    RunDir dir;
    std::string sat, wrl;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        Result r = dir.run(ARVEND_BIN, getRequest(query(step.form)));
        EXPECT_EQ(r.out, kRedirect);
        Record rec = readRecord(dir.recordPath("eixo"));
        ASSERT_TRUE(rec.wellFormed) << rec.text;
        EXPECT_EQ(rec.shape, "eixo");
        EXPECT_EQ(rec.built, step.built);
        std::string reason = step.reason;
        if (reason.size() > 2 && reason.compare(reason.size() - 2, 2, ": ") == 0)
            EXPECT_EQ(rec.reason.rfind(reason, 0), 0u) << rec.reason;
        else
            EXPECT_EQ(rec.reason, reason);
        if (step.filesKept) {
            EXPECT_EQ(readFile(dir.satPath("eixo")), sat);
            EXPECT_EQ(readFile(dir.wrlPath("eixo")), wrl);
        } else {
            EXPECT_EQ(readSolid(dir.satPath("eixo")).bodies, step.built ? 1 : 0);
        }
        sat = readFile(dir.satPath("eixo"));
        wrl = readFile(dir.wrlPath("eixo"));
    }
}

} // namespace
