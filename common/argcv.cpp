/* Word splitting of received protocol text (see argcv.h). */
#include "argcv.h"

#include "fatal.h"

#include <stdlib.h>
#include <string.h>

static bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/* The word array grows geometrically; the count is what callers see. */
struct word_list {
    char **argv;
    int argc;
    int cap;
};

static void add_word(word_list *w, char *start) {
    if (w->argc == w->cap) {
        w->cap = w->cap ? w->cap * 2 : 8;
        char **argv = (char **)realloc(w->argv, (size_t)w->cap * sizeof(char *));
        FATAL_ASSERT(argv);
        w->argv = argv;
    }
    w->argv[w->argc++] = start;
}

void ARGCV_Create(const char *string, int *argc_ret, char ***argv_ret) {
    while (*string && is_space(*string))
        string++;
    *argc_ret = 0;
    *argv_ret = NULL;
    if (*string == '\0')
        return;

    size_t len = strlen(string);
    char *vstring = (char *)malloc(len + 1);
    FATAL_ASSERT(vstring);
    word_list w = {NULL, 0, 0};
    bool in_quotes = false, escaped = false, between_words = true;
    char *out = vstring;

    for (const char *p = string; *p; p++) {
        char c = *p;
        if (c == '"' && !in_quotes && !escaped) {
            in_quotes = true;
            if (between_words) {
                add_word(&w, out);
                between_words = false;
            }
        } else if (c == '"' && in_quotes && !escaped) {
            in_quotes = false;
        } else if (c == '\\' && !escaped) {
            escaped = true;
            if (between_words) {
                add_word(&w, out);
                between_words = false;
            }
        } else if (c == '\n' && !in_quotes && !escaped) {
            /* The empty word that ends a command. After a word it shares that word's
             * terminator, so no input character ever needs more than one output byte. */
            if (!between_words) {
                *out++ = '\0';
                add_word(&w, out - 1);
            } else {
                add_word(&w, out);
                *out++ = '\0';
            }
            between_words = true;
        } else if (is_space(c) && !in_quotes && !escaped) {
            if (!between_words) {
                *out++ = '\0';
                between_words = true;
            }
        } else {
            if (between_words) {
                add_word(&w, out);
                between_words = false;
            }
            *out++ = c;
            escaped = false;
        }
    }
    *out = '\0';
    *argc_ret = w.argc;
    *argv_ret = w.argv;
}

void ARGCV_Free(int argc, char **argv) {
    (void)argc;
    free(argv[0]);
    free(argv);
}
