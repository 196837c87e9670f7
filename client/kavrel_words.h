/* Reading the words of a server message in order, as the state handlers do.
 *
 * Each reader takes the next word; it returns false (and takes nothing) when the line has no
 * word left, which the handlers treat as a protocol violation. Numbers are read under the C
 * locale: a decimal point is always '.', whatever locale the program has set. */
#ifndef ROVAK_KAVREL_WORDS_H
#define ROVAK_KAVREL_WORDS_H

#include "robot_state.h"

struct HCLNT_Words {
    int argc;
    char **argv;
    int at; /* index of the next word */
};

/* A cursor on the words after the command word. */
HCLNT_Words HCLNT_WordsAfterCommand(int argc, char **argv);
/* Flag: 1 when the word begins with '1'. */
bool HCLNT_ReadFlag(HCLNT_Words *w, Q_bool *out);
/* The word's first character (0 for an empty word). */
bool HCLNT_ReadChar(HCLNT_Words *w, char *out);
/* Decimal integer from the start of the word (0 without digits), as 32 bits keeping the low
 * bits; callers narrow it further by assignment. */
bool HCLNT_ReadInt(HCLNT_Words *w, s32 *out);
/* Decimal number truncated toward zero, clamped to 32 bits (0 for NaN). */
bool HCLNT_ReadTruncated(HCLNT_Words *w, s32 *out);
/* Decimal floating-point number. */
bool HCLNT_ReadDouble(HCLNT_Words *w, double *out);
/* The word itself. */
bool HCLNT_ReadWord(HCLNT_Words *w, const char **out);
/* True when at least n words are left. */
bool HCLNT_WordsLeft(const HCLNT_Words *w, int n);

/* count, but never more than array holds: a loop over a record's count stays inside its array
 * even when a caller has overwritten the count. */
template <typename T, unsigned long N> inline u32 HCLNT_Bounded(u32 count, const T (&)[N]) {
    return count < N ? count : (u32)N;
}

#endif
