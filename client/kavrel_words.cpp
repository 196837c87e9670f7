/* Word readers of the server message handlers (see kavrel_words.h). */
#include "kavrel_words.h"

#include <locale.h>
#include <math.h>
#include <stdlib.h>

/* Numbers on the wire always use a decimal point, whatever locale the program has set: they
 * are read under the C locale. The locale object is made on first use and kept for the life of
 * the process; a thread that loses the race to publish it releases its own. */
static locale_t c_locale(void) {
    static locale_t made = (locale_t)0;
    locale_t loc = __atomic_load_n(&made, __ATOMIC_ACQUIRE);
    if (loc != (locale_t)0)
        return loc;
    loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    if (loc == (locale_t)0)
        return loc;
    locale_t expected = (locale_t)0;
    if (!__atomic_compare_exchange_n(&made, &expected, loc, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
        freelocale(loc);
        loc = expected;
    }
    return loc;
}

/* strtod and strtoll under the C locale. The C library hands out the "C" locale object without
 * allocating, so the plain functions are only a last resort. */
static double c_strtod(const char *word) {
    locale_t loc = c_locale();
    return loc != (locale_t)0 ? strtod_l(word, NULL, loc) : strtod(word, NULL);
}

static long long c_strtoll(const char *word) {
    locale_t loc = c_locale();
    return loc != (locale_t)0 ? strtoll_l(word, NULL, 10, loc) : strtoll(word, NULL, 10);
}

HCLNT_Words HCLNT_WordsAfterCommand(int argc, char **argv) { return HCLNT_Words{argc, argv, 1}; }

bool HCLNT_WordsLeft(const HCLNT_Words *w, int n) { return n >= 0 && w->argc - w->at >= n; }

bool HCLNT_ReadWord(HCLNT_Words *w, const char **out) {
    if (w->at >= w->argc)
        return false;
    *out = w->argv[w->at++];
    return true;
}

bool HCLNT_ReadFlag(HCLNT_Words *w, Q_bool *out) {
    const char *word;
    if (!HCLNT_ReadWord(w, &word))
        return false;
    *out = word[0] == '1';
    return true;
}

bool HCLNT_ReadChar(HCLNT_Words *w, char *out) {
    const char *word;
    if (!HCLNT_ReadWord(w, &word))
        return false;
    *out = word[0];
    return true;
}

bool HCLNT_ReadInt(HCLNT_Words *w, s32 *out) {
    const char *word;
    if (!HCLNT_ReadWord(w, &word))
        return false;
    long long v = c_strtoll(word);
    *out = (s32)(u32)(unsigned long long)v;
    return true;
}

bool HCLNT_ReadTruncated(HCLNT_Words *w, s32 *out) {
    double d;
    if (!HCLNT_ReadDouble(w, &d))
        return false;
    if (isnan(d))
        *out = 0;
    else if (d >= 2147483647.0)
        *out = 2147483647;
    else if (d <= -2147483648.0)
        *out = (s32)-2147483647 - 1;
    else
        *out = (s32)d; /* conversion truncates toward zero */
    return true;
}

bool HCLNT_ReadDouble(HCLNT_Words *w, double *out) {
    const char *word;
    if (!HCLNT_ReadWord(w, &word))
        return false;
    *out = c_strtod(word);
    return true;
}
