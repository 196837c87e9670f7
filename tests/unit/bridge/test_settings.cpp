// The bridge's settings: port numbers, and what the environment may hold.
#include "settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Settings, PortNumbers) {
    const struct {
        const char *text;
        int port; // -1: refused
    } cases[] = {{"1", 1},      {"7073", 7073},    {"65535", 65535}, {"07073", 7073}, {"0", -1},
                 {"65536", -1}, {"91536", -1},     {"99999", -1},    {"000001", -1},  {"", -1},
                 {"abc", -1},   {"-1", -1},        {"+80", -1},      {" 80", -1},     {"80 ", -1},
                 {"80x", -1},   {"4294974369", -1}};
    for (const auto &c : cases) {
        int port = 12345;
        EXPECT_EQ(SETTINGS_ParsePort(c.text, &port), c.port < 0 ? -1 : 0) << '"' << c.text << '"';
        EXPECT_EQ(port, c.port < 0 ? 12345 : c.port) << '"' << c.text << '"';
    }
}

class SettingsEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char *name : names)
            unsetenv(name);
    }
    void TearDown() override { SetUp(); }
    static constexpr const char *names[] = {"PELLAM_SCHEDULER_HOST", "PELLAM_SCHEDULER_PORT",
                                            "PELLAM_LOCK"};
};

TEST_F(SettingsEnv, DefaultsForUnsetAndEmpty) {
    setenv("PELLAM_SCHEDULER_HOST", "", 1);
    SETTINGS_Bridge s;
    ASSERT_EQ(SETTINGS_Read(&s), 0);
    EXPECT_STREQ(s.host, "localhost");
    EXPECT_EQ(s.port, 7073);
    EXPECT_STREQ(s.lock, "/home/ostrel/pellam.lock");

    setenv("PELLAM_SCHEDULER_HOST", "sched.example", 1);
    setenv("PELLAM_SCHEDULER_PORT", "65535", 1);
    setenv("PELLAM_LOCK", "/tmp/p.lock", 1);
    ASSERT_EQ(SETTINGS_Read(&s), 0);
    EXPECT_STREQ(s.host, "sched.example");
    EXPECT_EQ(s.port, 65535);
    EXPECT_STREQ(s.lock, "/tmp/p.lock");
}

TEST_F(SettingsEnv, RefusalsNameTheVariableOnOneLine) {
    setenv("PELLAM_SCHEDULER_PORT", "7\n0\t73", 1);
    SETTINGS_Bridge s;
    testing::internal::CaptureStderr();
    EXPECT_EQ(SETTINGS_Read(&s), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PELLAM_SCHEDULER_PORT must be a port number from 1 to 65535: \"7?0?73\". Program "
              "aborted.\n");

    unsetenv("PELLAM_SCHEDULER_PORT");
    setenv("PELLAM_SCHEDULER_HOST", std::string(300, 'h').c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SETTINGS_Read(&s), -1);
    std::string line = testing::internal::GetCapturedStderr();
    EXPECT_EQ(line.rfind("PELLAM_SCHEDULER_HOST must be ", 0), 0u) << line;
    EXPECT_NE(line.find(std::string(40, 'h') + "...\""), std::string::npos) << line;
}

} // namespace
