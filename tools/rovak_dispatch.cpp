// rovak-dispatch: runs protocol lines from standard input through the message dispatcher and
// prints each reply, the way a peer would see it. Handy for trying the line protocol by hand.
//
// Registered commands: "Echo" answers its words back (quoted where needed, so the reply splits
// into the same words), "Speak" prints its text on standard error,
// "Done" and "Error" are accepted silently; anything else draws "Error <name> -4".
#include "argcv.h"
#include "buffer.h"
#include "command.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* True when word holds a blank, a quote, a backslash or a control byte. */
static int needs_quotes(const char *word) {
    for (const unsigned char *c = (const unsigned char *)word; *c; c++)
        if (*c <= ' ' || *c == '"' || *c == '\\')
            return 1;
    return 0;
}

/* Appends word so that the peer's splitter gives it back whole: a word that needs it goes between
 * double quotes, with quotes and backslashes escaped; control bytes other than the tab are
 * written as a backslash and their octal value, as robot programs write them in "Speak", so no
 * line feed of a word can end the reply line. */
static void add_word(const char *word) {
    if (!needs_quotes(word)) {
        BUF_AddString(word);
        return;
    }
    BUF_AddChar('"');
    for (const unsigned char *c = (const unsigned char *)word; *c; c++) {
        if (*c == '"' || *c == '\\') {
            BUF_AddChar('\\');
            BUF_AddChar((char)*c);
        } else if (*c < 32 && *c != ' ' && *c != '\t') {
            char octal[8];
            snprintf(octal, sizeof octal, "\\%o", (unsigned)*c);
            BUF_AddString(octal);
        } else {
            BUF_AddChar((char)*c);
        }
    }
    BUF_AddChar('"');
}

static char *echo_cbk(int, long id, int argc, char **argv) {
    BUF_Reset(NULL);
    BUF_AddString("Echoed");
    BUF_AddSpace();
    BUF_AddLong(id);
    for (int i = 1; i < argc; i++) {
        BUF_AddSpace();
        add_word(argv[i]);
    }
    return BUF_Buffer();
}

static char *speak_cbk(int, long id, int argc, char **argv) {
    fprintf(stderr, "robot %ld says: %s\n", id, argc > 1 ? argv[1] : "");
    return NULL;
}

static char *ack_cbk(int, long, int, char **) { return NULL; }

int main(int argc, char **argv) {
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("usage: rovak-dispatch < lines\n"
               "Dispatches each protocol line read from standard input and prints the reply.\n");
        return 0;
    }
    CMD_Initialize();
    CMD_Register("Echo", echo_cbk);
    CMD_Register("Speak", speak_cbk);
    CMD_Register("Done", ack_cbk);
    CMD_Register("Error", ack_cbk);

    char line[65536];
    while (fgets(line, sizeof line, stdin) != NULL) {
        printf("> %s", line);
        if (strchr(line, '\n') == NULL)
            printf("\n");
        char *reply = CMD_ExecuteRaw(0, line);
        if (reply != NULL) {
            fputs(reply, stdout);
            free(reply);
        } else {
            printf("(no reply)\n");
        }
        fflush(stdout);
    }
    return 0;
}
