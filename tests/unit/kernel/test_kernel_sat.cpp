/* SAT text save and restore. */
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "kernel_test_util.h"

namespace {

std::string saveToText(const ENTITY_LIST &list) {
    FILE *f = std::tmpfile();
    EXPECT_TRUE(api_save_entity_list(f, 1, list).ok());
    std::rewind(f);
    std::string text;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        text += char(c);
    std::fclose(f);
    return text;
}

outcome restoreFromText(const std::string &text, ENTITY_LIST &list) {
    FILE *f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    outcome r = api_restore_entity_list(f, 1, list);
    std::fclose(f);
    return r;
}

TEST_F(KernelTest, SatRoundTripRestoresTheSameBodies) {
    FileInfo info;
    info.set_product_id("QORM");
    info.set_units(10.0);
    ASSERT_TRUE(api_set_file_info(3, info).ok());

    BODY *shaft = twoSectionShaft();
    BODY *hole = zCylinder(2, 0, 5);
    ASSERT_TRUE(api_subtract(hole, shaft).ok());
    BODY *torus = nullptr;
    ASSERT_TRUE(api_make_torus(10, 2, torus).ok());
    ENTITY_LIST saved;
    saved.add(shaft);
    saved.add(torus);
    std::string text = saveToText(saved);
    EXPECT_EQ(text.rfind("ROVAK SAT 1\nproduct 4 QORM\nunits 10\nbodies 2\nbody ", 0), 0u)
        << text.substr(0, 80);

    ENTITY_LIST restored;
    ASSERT_TRUE(restoreFromText(text, restored).ok());
    ASSERT_EQ(restored.count(), 2);
    for (int i = 0; i < 2; ++i) {
        BODY *was = static_cast<BODY *>(saved[i]);
        BODY *now = static_cast<BODY *>(restored[i]);
        ASSERT_TRUE(is_BODY(now));
        EXPECT_NEAR(kernel_body_volume(now), kernel_body_volume(was),
                    1e-9 * kernel_body_volume(was));
        box a = get_body_box(was);
        expectBox(get_body_box(now), a.low(), a.high(), 1e-9);
    }
    // The restored copy is a full body: the modeller can go on working with it.
    VERTEX *v = nullptr;
    EXPECT_TRUE(api_find_vertex(static_cast<BODY *>(restored[0]), position(6, 0, 30), v).ok());
}

TEST_F(KernelTest, DamagedSatTextIsRefusedAndAddsNothing) {
    BODY *sphere = nullptr;
    ASSERT_TRUE(api_make_sphere(3, sphere).ok());
    ENTITY_LIST saved;
    saved.add(sphere);
    std::string good = saveToText(saved);
    const std::string damaged[] = {
        "",
        "not a sat file\n",
        good.substr(0, good.size() / 2),
        good.substr(0, good.size() - 4), // no end line
        std::string(good).replace(good.find("bodies 1"), 8, "bodies 9"),
        std::string(good).replace(good.find("body "), 5, "body 99999999"),
        std::string(good).replace(good.find("units "), 6, "units x"),
    };
    for (const std::string &text : damaged) {
        ENTITY_LIST list;
        outcome r = restoreFromText(text, list);
        EXPECT_FALSE(r.ok()) << text.substr(0, 40);
        EXPECT_EQ(list.count(), 0);
    }
    ENTITY_LIST list;
    EXPECT_EQ(api_save_entity_list(nullptr, 1, list).error_number(), KERN_FILE_ERROR);
    EXPECT_EQ(api_restore_entity_list(nullptr, 1, list).error_number(), KERN_FILE_ERROR);
}

// Runs fn with standard output sent to a file of its own; returns what was written there.
template <class F> std::string stdoutOf(F fn) {
    std::fflush(stdout);
    FILE *capture = std::tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    fn();
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::rewind(capture);
    std::string text;
    int c;
    while ((c = std::fgetc(capture)) != EOF)
        text += char(c);
    std::fclose(capture);
    return text;
}

// Bodies of the right length and the wrong content, as a damaged disk or a stray program would
// leave them: every one is refused, in bounded time, without a crash and without a word on
// standard output (a CGI program's response). They are read right after this process saved the
// sound text, so reading its own file unchecked must not extend to a changed one.
TEST_F(KernelTest, DamagedBodyPayloadsAreRefused) {
    BODY *shaft = twoSectionShaft();
    ENTITY_LIST saved;
    saved.add(shaft);
    const std::string good = saveToText(saved);
    const std::size_t start = good.find("\nCASCADE");
    const std::size_t stop = good.rfind("\nend\n");
    ASSERT_NE(start, std::string::npos);
    std::vector<std::string> damaged;
    auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = good;
        std::size_t at = text.find(from, start);
        if (at == std::string::npos || to.size() != from.size())
            return;
        damaged.push_back(text.replace(at, from.size(), to));
    };
    replaced("CASCADE", "CASKADE");
    replaced("Curve2ds 1", "Curve2ds 9"); // more curves announced than the body holds
    replaced("Locations", "Locationz");
    replaced("TShapes", "TShapez");
    std::string counts = good;
    for (const char *section : {"Curve2ds ", "Curves ", "Surfaces ", "TShapes "}) {
        std::size_t at = good.find(section, start);
        ASSERT_NE(at, std::string::npos) << section;
        std::size_t digits = at + std::string(section).size();
        std::size_t end = good.find('\n', digits);
        std::string huge = good;
        huge.replace(digits, end - digits, std::string(end - digits, '9'));
        damaged.push_back(huge);
    }
    // Bytes overwritten at spread-out places, the length kept.
    std::uint32_t seed = 99;
    for (int i = 0; i < 40; ++i) {
        std::string text = good;
        for (int k = 0; k < 1 + i % 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            std::size_t at = start + 1 + (seed >> 8) % (stop - start - 1);
            text[at] = "0123456789 -.\nabcdefXYZ"[(seed >> 3) % 24];
        }
        damaged.push_back(text);
    }
    int refused = 0;
    for (const std::string &text : damaged) {
        ENTITY_LIST list;
        outcome r;
        std::string out = stdoutOf([&] { r = restoreFromText(text, list); });
        EXPECT_EQ(out, "");
        if (r.ok()) {
            // A change the reader cannot tell (a digit of a coordinate, say) gives a sound body.
            ASSERT_EQ(list.count(), 1);
            EXPECT_GT(kernel_body_volume(static_cast<BODY *>(list[0])), 0);
            continue;
        }
        ++refused;
        EXPECT_EQ(r.error_number(), KERN_BAD_FORMAT);
        EXPECT_EQ(list.count(), 0);
    }
    EXPECT_GE(refused, 8);
}

TEST_F(KernelTest, SaveSkipsRefinementsAndRefusesOtherEntities) {
    BODY *sphere = nullptr;
    ASSERT_TRUE(api_make_sphere(3, sphere).ok());
    REFINEMENT *ref = nullptr;
    ASSERT_TRUE(api_get_default_refinement(&ref, 0).ok());
    ENTITY_LIST list;
    list.add(ref);
    list.add(sphere);
    EXPECT_NE(saveToText(list).find("bodies 1\n"), std::string::npos);
    ENTITY_LIST edges = edgesAt(zCylinder(1, 0, 1), position(1, 0, 0));
    FILE *f = std::tmpfile();
    EXPECT_EQ(api_save_entity_list(f, 1, edges).error_number(), KERN_WRONG_TYPE);
    std::fclose(f);
}

} // namespace
