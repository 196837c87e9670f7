/* The native methods of trelvo.ConectorJNI: one navigator for the whole library.
 *
 * Every method other than startRovak needs a navigator: called before the first startRovak it
 * prints a message and returns false, null or -1 instead of touching the robot. */
#include "makemap.h"
#include "navigator.h"

#include <jni.h>
#include <stdio.h>

namespace {

Navigator *navigator = nullptr; /* created by the first startRovak, never destroyed */

bool haveNavigator(const char *method) {
    if (navigator != nullptr)
        return true;
    printf("Rovak nao iniciado: chame startRovak antes de %s\n", method);
    fflush(stdout);
    return false;
}

jfloatArray floatArray(JNIEnv *env, const float *values, jsize count) {
    jfloatArray array = env->NewFloatArray(count);
    if (array != nullptr)
        env->SetFloatArrayRegion(array, 0, count, values);
    return array;
}

/* The modified UTF-8 characters of text, or null; release with releaseText. */
const char *takeText(JNIEnv *env, jstring text) {
    return text == nullptr ? nullptr : env->GetStringUTFChars(text, nullptr);
}

void releaseText(JNIEnv *env, jstring text, const char *chars) {
    if (chars != nullptr)
        env->ReleaseStringUTFChars(text, chars);
}

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *, void *) {
    /* Line-buffered, so operator messages interleave with the Java side's output in order. */
    setvbuf(stdout, nullptr, _IOLBF, 0);
    return JNI_VERSION_1_6;
}

JNIEXPORT jintArray JNICALL Java_trelvo_ConectorJNI_getMap(JNIEnv *env, jobject) {
    if (navigator == nullptr)
        return nullptr;
    int32_t *pixels = navigator->getMakeMap()->makeImage();
    if (pixels == nullptr)
        return nullptr;
    jintArray image = env->NewIntArray(MAP_CELLS);
    if (image != nullptr)
        env->SetIntArrayRegion(image, 0, MAP_CELLS, reinterpret_cast<const jint *>(pixels));
    delete[] pixels;
    return image;
}

JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getBatteryStatus(JNIEnv *env, jobject) {
    if (!haveNavigator("getBatteryStatus"))
        return nullptr;
    float values[4];
    navigator->getBatteryStatus(values);
    return floatArray(env, values, 4);
}

JNIEXPORT jfloatArray JNICALL Java_trelvo_ConectorJNI_getPosition(JNIEnv *env, jobject) {
    if (!haveNavigator("getPosition"))
        return nullptr;
    float values[3];
    navigator->getPosition(values);
    return floatArray(env, values, 3);
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_startRovak(JNIEnv *env, jobject, jint x0,
                                                              jint y0, jstring mapFile) {
    const char *file = takeText(env, mapFile);
    if (file == nullptr) {
        printf("Erro ao pegar nome do arquivo ou arquivo em Branco");
        fflush(stdout);
        return JNI_FALSE;
    }
    if (navigator == nullptr)
        navigator = new Navigator;
    int result = navigator->start(x0, y0, file);
    releaseText(env, mapFile, file);
    return result == 0 ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_finishRovak(JNIEnv *, jobject) {
    if (navigator == nullptr)
        return JNI_FALSE;
    return navigator->finish() == 0 ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_moveRovak(JNIEnv *, jobject, jint goalX,
                                                             jint goalY) {
    if (!haveNavigator("moveRovak"))
        return JNI_FALSE;
    return navigator->move(goalX, goalY) == 1 ? JNI_TRUE : JNI_FALSE;
}

/* Always false: callers rely on the stop's result 0 read as a boolean. */
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_stopRovak(JNIEnv *, jobject) {
    if (!haveNavigator("stopRovak"))
        return JNI_FALSE;
    navigator->stop();
    return JNI_FALSE;
}

/* Always false, as for stopRovak; a failure to write is reported on standard output. */
JNIEXPORT jboolean JNICALL Java_trelvo_ConectorJNI_saveMap(JNIEnv *env, jobject, jstring file) {
    if (!haveNavigator("saveMap"))
        return JNI_FALSE;
    const char *name = takeText(env, file);
    if (name == nullptr) {
        printf("Erro ao pegar nome do arquivo ou arquivo em Branco");
        fflush(stdout);
        return JNI_FALSE;
    }
    navigator->getMakeMap()->saveMap(name);
    releaseText(env, file, name);
    return JNI_FALSE;
}

JNIEXPORT jint JNICALL Java_trelvo_ConectorJNI_textToSpeech(JNIEnv *env, jobject, jstring text) {
    if (!haveNavigator("textToSpeech"))
        return -1;
    const char *chars = takeText(env, text);
    if (chars == nullptr) {
        printf("Erro ao pegar o texto a falar\n");
        return -1;
    }
    int result = navigator->Speak(chars);
    releaseText(env, text, chars);
    return result;
}

} // extern "C"
