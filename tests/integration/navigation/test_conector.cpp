// The native methods called straight from C++ threads against the real simulator, through a
// small stand-in for the virtual machine's JNI function table. Unlike the Java front end's
// tests, this one also runs under the thread sanitizer.
#include "sim_run.h"

#include <gtest/gtest.h>
#include <jni.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

extern "C" {
JNIEXPORT jintArray JNICALL Java_trelvo_ConectorJNI_getMap(JNIEnv *, jobject);
JNIEXPORT jintArray JNICALL Java_trelvo_ConectorJNI_getRoute(JNIEnv *, jobject);
JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getBatteryStatus(JNIEnv *, jobject);
JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getPosition(JNIEnv *, jobject);
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_startRovak(JNIEnv *, jobject, jint, jint,
                                                              jstring);
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_finishRovak(JNIEnv *, jobject);
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_moveRovak(JNIEnv *, jobject, jint, jint);
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_stopRovak(JNIEnv *, jobject);
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_saveMap(JNIEnv *, jobject, jstring);
JNIEXPORT jint JNICALL Java_trelvo_ConectorJNI_textToSpeech(JNIEnv *, jobject, jstring);
}

namespace {

// Java arrays and strings as plain C++ objects; every one made is freed with its environment.
struct FakeArray {
    std::vector<jint> ints;
    std::vector<jfloat> floats;
};

struct FakeString {
    std::string text;
};

// One environment per thread, as the virtual machine gives; it owns what it hands out.
class FakeEnv {
  public:
    FakeEnv() {
        memset(&table, 0, sizeof table);
        table.NewIntArray = [](JNIEnv *env, jsize n) -> jintArray {
            FakeArray *a = self(env)->keep(new FakeArray);
            a->ints.resize(static_cast<size_t>(n));
            return reinterpret_cast<jintArray>(a);
        };
        table.SetIntArrayRegion = [](JNIEnv *, jintArray array, jsize start, jsize n,
                                     const jint *values) {
            auto *a = reinterpret_cast<FakeArray *>(array);
            std::copy(values, values + n, a->ints.begin() + start);
        };
        table.NewFloatArray = [](JNIEnv *env, jsize n) -> jfloatArray {
            FakeArray *a = self(env)->keep(new FakeArray);
            a->floats.resize(static_cast<size_t>(n));
            return reinterpret_cast<jfloatArray>(a);
        };
        table.SetFloatArrayRegion = [](JNIEnv *, jfloatArray array, jsize start, jsize n,
                                       const jfloat *values) {
            auto *a = reinterpret_cast<FakeArray *>(array);
            std::copy(values, values + n, a->floats.begin() + start);
        };
        table.GetStringUTFChars = [](JNIEnv *, jstring s, jboolean *copy) -> const char * {
            if (copy != nullptr)
                *copy = JNI_TRUE;
            return strdup(reinterpret_cast<FakeString *>(s)->text.c_str());
        };
        table.ReleaseStringUTFChars = [](JNIEnv *, jstring, const char *chars) {
            free(const_cast<char *>(chars));
        };
        table.ExceptionCheck = [](JNIEnv *) -> jboolean { return JNI_FALSE; };
        table.ExceptionClear = [](JNIEnv *) {};
        slot.env.functions = &table;
        slot.owner = this;
    }
    ~FakeEnv() {
        for (FakeArray *a : arrays)
            delete a;
        for (FakeString *s : strings)
            delete s;
    }
    JNIEnv *get() { return &slot.env; }
    jstring text(const std::string &t) {
        strings.push_back(new FakeString{t});
        return reinterpret_cast<jstring>(strings.back());
    }
    static const std::vector<jint> &ints(jintArray a) {
        return reinterpret_cast<FakeArray *>(a)->ints;
    }
    static const std::vector<jfloat> &floats(jfloatArray a) {
        return reinterpret_cast<FakeArray *>(a)->floats;
    }

  private:
    static FakeEnv *self(JNIEnv *env) { return reinterpret_cast<Slot *>(env)->owner; }
    FakeArray *keep(FakeArray *a) {
        arrays.push_back(a);
        return a;
    }

    struct Slot { // the environment first, so that self() finds its owner from it
        JNIEnv env;
        FakeEnv *owner;
    } slot;
    JNINativeInterface_ table;
    std::vector<FakeArray *> arrays;
    std::vector<FakeString *> strings;
};

// Lets n threads go on together.
class Meeting {
  public:
    explicit Meeting(int n) : n(n) {}
    void await() {
        std::unique_lock<std::mutex> hold(lock);
        int round = rounds;
        if (++arrived == n) {
            arrived = 0;
            rounds++;
            all.notify_all();
            return;
        }
        all.wait(hold, [&] { return rounds != round; });
    }

  private:
    int n, arrived = 0, rounds = 0;
    std::mutex lock;
    std::condition_variable all;
};

// Both threads start at once (one start wins), one drives to a cell while the other reads the
// map, battery and position, saves the map and speaks, and both finish at once. The map
// refresh, battery and position threads run throughout.
TEST(NativeMethods, TwoThreadsShareOneNavigator) {
    netpeer::TempDir dir;
    simtest::Sim sim(dir);
    ASSERT_TRUE(sim.start(
        5, {"--world", simtest::writeWorld(dir, {"room 6000 4000", "start 1000 2000 0"})}));
    Meeting meeting(2);
    std::atomic<int> started{0}, reads{0};
    std::atomic<bool> moving{true}, arrived{false}, offMapRefused{false};
    std::atomic<bool> finishedA{false}, finishedB{false}, readsGood{true};
    std::string saved = dir.file("saved.map");

    std::thread mover([&] {
        FakeEnv env;
        meeting.await();
        started += Java_trelvo_ConectorJNI_startRovak(env.get(), nullptr, 15000, 15000,
                                                      env.text("")) == JNI_TRUE;
        meeting.await();
        arrived = Java_trelvo_ConectorJNI_moveRovak(env.get(), nullptr, 165, 150) == JNI_TRUE;
        offMapRefused =
            Java_trelvo_ConectorJNI_moveRovak(env.get(), nullptr, 300, 150) == JNI_FALSE;
        moving = false;
        meeting.await();
        finishedA = Java_trelvo_ConectorJNI_finishRovak(env.get(), nullptr) == JNI_TRUE;
    });
    std::thread reader([&] {
        FakeEnv env;
        meeting.await();
        started += Java_trelvo_ConectorJNI_startRovak(env.get(), nullptr, 15000, 15000,
                                                      env.text("")) == JNI_TRUE;
        meeting.await();
        do {
            jintArray image = Java_trelvo_ConectorJNI_getMap(env.get(), nullptr);
            jfloatArray position = Java_trelvo_ConectorJNI_getPosition(env.get(), nullptr);
            jfloatArray battery = Java_trelvo_ConectorJNI_getBatteryStatus(env.get(), nullptr);
            jintArray route = Java_trelvo_ConectorJNI_getRoute(env.get(), nullptr);
            bool good = image != nullptr && FakeEnv::ints(image).size() == 90000 &&
                        route != nullptr && FakeEnv::ints(route).size() % 2 == 0 &&
                        position != nullptr && FakeEnv::floats(position).size() == 3 &&
                        battery != nullptr && FakeEnv::floats(battery).size() == 4;
            good = good && Java_trelvo_ConectorJNI_saveMap(env.get(), nullptr, env.text(saved)) ==
                               JNI_FALSE;
            good = good &&
                   Java_trelvo_ConectorJNI_textToSpeech(env.get(), nullptr, env.text("ola")) == 0;
            if (!good)
                readsGood = false;
            reads++;
        } while (moving);
        Java_trelvo_ConectorJNI_stopRovak(env.get(), nullptr);
        meeting.await();
        finishedB = Java_trelvo_ConectorJNI_finishRovak(env.get(), nullptr) == JNI_TRUE;
    });
    mover.join();
    reader.join();
    EXPECT_EQ(started.load(), 1);
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(offMapRefused);
    EXPECT_TRUE(readsGood);
    EXPECT_GT(reads.load(), 0);
    EXPECT_TRUE(finishedA);
    EXPECT_TRUE(finishedB);
    EXPECT_FALSE(simtest::semaphoreExists());
    double x, y, h;
    ASSERT_TRUE(simtest::truePose(sim.port(), 1, &x, &y, &h));
    EXPECT_LT(std::abs(x - 2500), 300) << x;
    /* The navigator stays after finish: its map can still be read. */
    FakeEnv env;
    EXPECT_NE(Java_trelvo_ConectorJNI_getMap(env.get(), nullptr), nullptr);
}

// The route of the last move as pairs of cells: none after a start, the start cell to the goal
// after a move (every point between them a corner of a 300 mm planning cell), none after a
// move that planned none, and the start cell alone for a goal in the robot's own planning
// cell, which needs no motion.
TEST(NativeMethods, RouteOfTheLastMove) {
    netpeer::TempDir dir;
    simtest::Sim sim(dir);
    ASSERT_TRUE(sim.start(
        5, {"--world", simtest::writeWorld(dir, {"room 6000 4000", "start 1000 2000 0"})}));
    FakeEnv env;
    auto route = [&]() -> std::vector<jint> {
        jintArray cells = Java_trelvo_ConectorJNI_getRoute(env.get(), nullptr);
        return cells == nullptr ? std::vector<jint>{-1} : FakeEnv::ints(cells);
    };
    ASSERT_EQ(Java_trelvo_ConectorJNI_startRovak(env.get(), nullptr, 15000, 15000, env.text("")),
              JNI_TRUE);
    EXPECT_TRUE(route().empty());

    ASSERT_EQ(Java_trelvo_ConectorJNI_moveRovak(env.get(), nullptr, 170, 153), JNI_TRUE);
    std::vector<jint> cells = route();
    ASSERT_GE(cells.size(), 4u);
    EXPECT_EQ(cells[0], 150);
    EXPECT_EQ(cells[1], 150);
    EXPECT_EQ(cells[cells.size() - 2], 170);
    EXPECT_EQ(cells[cells.size() - 1], 153);
    for (size_t i = 2; i + 2 < cells.size(); i++)
        EXPECT_EQ(cells[i] % 3, 0) << "point " << i / 2;

    EXPECT_EQ(Java_trelvo_ConectorJNI_moveRovak(env.get(), nullptr, 170, 300), JNI_FALSE);
    EXPECT_TRUE(route().empty());

    jfloatArray at = Java_trelvo_ConectorJNI_getPosition(env.get(), nullptr);
    ASSERT_NE(at, nullptr);
    int sx = static_cast<int>(FakeEnv::floats(at)[0]) / 100;
    int sy = static_cast<int>(FakeEnv::floats(at)[1]) / 100;
    int gx = sx / 3 * 3 + (sx % 3 + 1) % 3, gy = sy / 3 * 3 + (sy % 3 + 1) % 3;
    EXPECT_EQ(Java_trelvo_ConectorJNI_moveRovak(env.get(), nullptr, gx, gy), JNI_TRUE);
    EXPECT_EQ(route(), (std::vector<jint>{sx, sy}));

    EXPECT_EQ(Java_trelvo_ConectorJNI_finishRovak(env.get(), nullptr), JNI_TRUE);
    EXPECT_FALSE(simtest::semaphoreExists());
}

} // namespace
