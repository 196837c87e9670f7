/* SAT text save and restore. */
#include <cstdio>
#include <string>

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
