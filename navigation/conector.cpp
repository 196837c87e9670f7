/* The native methods of trelvo.ConectorJNI: one navigator for the whole library.
 *
 * Every method other than startRovak needs a navigator: called before the first startRovak it
 * prints a message and returns false, null or -1 instead of touching the robot. Beside the map,
 * battery and position getters, getRoute hands Java the route the last move planned, so that
 * the front end can draw it over the map.
 *
 * The navigator is created once, by the first startRovak, and never destroyed, so a pointer
 * read from it stays valid on every Java thread; the navigator serialises its own operations.
 * No C++ exception leaves a native method: each becomes the method's failure result and a
 * message, as the virtual machine cannot take one. */
#include "makemap.h"
#include "navigator.h"

#include <jni.h>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <stdio.h>
#include <vector>

namespace {

std::atomic<Navigator *> navigator{nullptr};
std::mutex creating; /* two first startRovak calls at once create a single navigator */

Navigator *current() { return navigator.load(std::memory_order_acquire); }

/* The navigator, or null after a message naming the method that needed it. */
Navigator *needNavigator(const char *method) {
    Navigator *nav = current();
    if (nav == nullptr) {
        printf("Rovak nao iniciado: chame startRovak antes de %s\n", method);
        fflush(stdout);
    }
    return nav;
}

Navigator *createdNavigator() {
    std::lock_guard<std::mutex> hold(creating);
    Navigator *nav = current();
    if (nav == nullptr) {
        nav = new Navigator;
        navigator.store(nav, std::memory_order_release);
    }
    return nav;
}

/* Runs body and gives its result; an exception becomes failure and a message instead. */
template <class R, class F> R guarded(const char *method, R failure, F body) {
    try {
        return body();
    } catch (const std::exception &e) {
        printf("Erro interno em %s: %s\n", method, e.what());
    } catch (...) {
        printf("Erro interno em %s\n", method);
    }
    fflush(stdout);
    return failure;
}

/* A Java array could not be made (the virtual machine is out of memory): the pending Java
 * error is cleared and reported like the library's own failures. */
void arrayFailed(JNIEnv *env) {
    if (env->ExceptionCheck())
        env->ExceptionClear();
    printf("Nao ha memoria suficiente \n");
    fflush(stdout);
}

jintArray intArray(JNIEnv *env, const jint *values, jsize count) {
    jintArray array = env->NewIntArray(count);
    if (array == nullptr) {
        arrayFailed(env);
        return nullptr;
    }
    if (count > 0)
        env->SetIntArrayRegion(array, 0, count, values);
    return array;
}

jfloatArray floatArray(JNIEnv *env, const float *values, jsize count) {
    jfloatArray array = env->NewFloatArray(count);
    if (array == nullptr) {
        arrayFailed(env);
        return nullptr;
    }
    env->SetFloatArrayRegion(array, 0, count, values);
    return array;
}

/* The modified UTF-8 characters of a Java string, released on every way out of a scope. */
class JavaText {
  public:
    JavaText(JNIEnv *env, jstring text)
        : env(env), text(text),
          chars(text == nullptr ? nullptr : env->GetStringUTFChars(text, nullptr)) {}
    ~JavaText() {
        if (chars != nullptr)
            env->ReleaseStringUTFChars(text, chars);
    }
    JavaText(const JavaText &) = delete;
    JavaText &operator=(const JavaText &) = delete;
    /* The characters, or null when there is no string or it could not be read. */
    const char *get() const { return chars; }

  private:
    JNIEnv *env;
    jstring text;
    const char *chars;
};

/* A missing string leaves a pending Java error (out of memory) behind: cleared, then the
 * library's own message. */
void textFailed(JNIEnv *env, const char *message) {
    if (env->ExceptionCheck())
        env->ExceptionClear();
    printf("%s", message);
    fflush(stdout);
}

const char kNoFileName[] = "Erro ao pegar nome do arquivo ou arquivo em Branco";

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *, void *) {
    /* Line-buffered, so operator messages interleave with the Java side's output in order. */
    setvbuf(stdout, nullptr, _IOLBF, 0);
    return JNI_VERSION_1_6;
}

JNIEXPORT jintArray JNICALL Java_trelvo_ConectorJNI_getMap(JNIEnv *env, jobject) {
    return guarded<jintArray>("getMap", nullptr, [&]() -> jintArray {
        Navigator *nav = needNavigator("getMap");
        if (nav == nullptr)
            return nullptr;
        std::unique_ptr<int32_t[]> pixels(nav->getMakeMap()->makeImage());
        if (pixels == nullptr) { /* a start failed before its map was made */
            printf("Rovak sem mapa: chame startRovak antes de getMap\n");
            fflush(stdout);
            return nullptr;
        }
        return intArray(env, reinterpret_cast<const jint *>(pixels.get()), MAP_CELLS);
    });
}

/* The route as x, y pairs of grid cells; an empty array before the first move and after a
 * move that planned none. */
JNIEXPORT jintArray JNICALL Java_trelvo_ConectorJNI_getRoute(JNIEnv *env, jobject) {
    return guarded<jintArray>("getRoute", nullptr, [&]() -> jintArray {
        Navigator *nav = needNavigator("getRoute");
        if (nav == nullptr)
            return nullptr;
        std::vector<Coord> route = nav->lastRoute();
        std::vector<jint> cells;
        cells.reserve(route.size() * 2);
        for (const Coord &c : route) {
            cells.push_back(c.x);
            cells.push_back(c.y);
        }
        return intArray(env, cells.data(), static_cast<jsize>(cells.size()));
    });
}

JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getBatteryStatus(JNIEnv *env, jobject) {
    return guarded<jfloatArray>("getBatteryStatus", nullptr, [&]() -> jfloatArray {
        Navigator *nav = needNavigator("getBatteryStatus");
        if (nav == nullptr)
            return nullptr;
        float values[4];
        nav->getBatteryStatus(values);
        return floatArray(env, values, 4);
    });
}

JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getPosition(JNIEnv *env, jobject) {
    return guarded<jfloatArray>("getPosition", nullptr, [&]() -> jfloatArray {
        Navigator *nav = needNavigator("getPosition");
        if (nav == nullptr)
            return nullptr;
        float values[3];
        nav->getPosition(values);
        return floatArray(env, values, 3);
    });
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_startRovak(JNIEnv *env, jobject, jint x0,
                                                              jint y0, jstring mapFile) {
    return guarded<jboolean>("startRovak", JNI_FALSE, [&]() -> jboolean {
        JavaText file(env, mapFile);
        if (file.get() == nullptr) {
            textFailed(env, kNoFileName);
            return JNI_FALSE;
        }
        int result = createdNavigator()->start(x0, y0, file.get());
        fflush(stdout);
        return result == 0 ? JNI_TRUE : JNI_FALSE;
    });
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_finishRovak(JNIEnv *, jobject) {
    return guarded<jboolean>("finishRovak", JNI_FALSE, [&]() -> jboolean {
        Navigator *nav = needNavigator("finishRovak");
        if (nav == nullptr)
            return JNI_FALSE;
        return nav->finish() == 0 ? JNI_TRUE : JNI_FALSE;
    });
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_moveRovak(JNIEnv *, jobject, jint goalX,
                                                             jint goalY) {
    return guarded<jboolean>("moveRovak", JNI_FALSE, [&]() -> jboolean {
        Navigator *nav = needNavigator("moveRovak");
        if (nav == nullptr)
            return JNI_FALSE;
        int result = nav->move(goalX, goalY);
        fflush(stdout);
        return result == 1 ? JNI_TRUE : JNI_FALSE;
    });
}

/* Always false: callers rely on the stop's result 0 read as a boolean. */
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_stopRovak(JNIEnv *, jobject) {
    return guarded<jboolean>("stopRovak", JNI_FALSE, [&]() -> jboolean {
        Navigator *nav = needNavigator("stopRovak");
        if (nav != nullptr)
            nav->stop();
        return JNI_FALSE;
    });
}

/* Always false, as for stopRovak; a failure to write is reported on standard output. */
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_saveMap(JNIEnv *env, jobject, jstring file) {
    return guarded<jboolean>("saveMap", JNI_FALSE, [&]() -> jboolean {
        Navigator *nav = needNavigator("saveMap");
        if (nav == nullptr)
            return JNI_FALSE;
        JavaText name(env, file);
        if (name.get() == nullptr) {
            textFailed(env, kNoFileName);
            return JNI_FALSE;
        }
        nav->getMakeMap()->saveMap(name.get());
        fflush(stdout);
        return JNI_FALSE;
    });
}

JNIEXPORT jint JNICALL Java_trelvo_ConectorJNI_textToSpeech(JNIEnv *env, jobject, jstring text) {
    return guarded<jint>("textToSpeech", -1, [&]() -> jint {
        Navigator *nav = needNavigator("textToSpeech");
        if (nav == nullptr)
            return -1;
        JavaText chars(env, text);
        if (chars.get() == nullptr) {
            textFailed(env, "Erro ao pegar o texto a falar\n");
            return -1;
        }
        int result = nav->Speak(chars.get());
        fflush(stdout);
        return result;
    });
}

} // extern "C"
