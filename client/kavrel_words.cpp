/* Word readers of the server message handlers (see kavrel_words.h). */
#include "kavrel_words.h"

#include <math.h>
#include <stdlib.h>

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
    long long v = strtoll(word, NULL, 10);
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
    *out = strtod(word, NULL);
    return true;
}
