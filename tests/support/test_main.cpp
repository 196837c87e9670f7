// The main of every GoogleTest program of the suite: GoogleTest's own, plus strict mode.
//
// In strict mode (ROVAK_NO_SKIP set to anything but "" or "0", or CI set to anything but "",
// "0" or "false") a skipped test is a failure: a test skips when something it needs is missing
// from the machine (a program, a locale, a resource limit), and CI must not stay green with a
// whole area untested. The skip's reason becomes the failure's message. Outside strict mode
// skips stay skips, and GoogleTest (and CTest) list them at the end of the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

bool set_and_not(const char *name, std::initializer_list<const char *> off) {
    const char *v = std::getenv(name);
    if (v == nullptr || *v == '\0')
        return false;
    for (const char *o : off)
        if (strcasecmp(v, o) == 0)
            return false;
    return true;
}

bool strict_mode() {
    return set_and_not("ROVAK_NO_SKIP", {"0"}) || set_and_not("CI", {"0", "false", "no"});
}

// Turns each skip into a failure carrying the skip's reason. It sees a test's end before
// GoogleTest's printer does (end events go to the listeners in reverse order), so the failure it
// adds there makes the test print, count and exit as failed; a failed test is never reported as
// skipped, so CTest's skip marker does not match either.
class SkipIsFailure : public testing::EmptyTestEventListener {
  public:
    void OnTestStart(const testing::TestInfo &) override { reason_.clear(); }
    void OnTestPartResult(const testing::TestPartResult &r) override {
        if (r.type() == testing::TestPartResult::kSkip)
            reason_ = r.message();
    }
    void OnTestEnd(const testing::TestInfo &info) override {
        if (info.result()->Skipped())
            ADD_FAILURE() << "skipped, and a skip is a failure in strict mode (ROVAK_NO_SKIP or CI "
                             "set): "
                          << (reason_.empty() ? "no reason given" : reason_);
    }

  private:
    std::string reason_;
};

} // namespace

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (strict_mode()) // after the printer; the list owns its listeners
        testing::UnitTest::GetInstance()->listeners().Append(new SkipIsFailure);
    return RUN_ALL_TESTS();
}
