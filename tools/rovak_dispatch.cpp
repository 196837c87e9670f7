// rovak-dispatch: runs protocol lines from standard input through the message dispatcher and
// prints each reply, the way a peer would see it. Handy for trying the line protocol by hand.
//
// Registered commands: "Echo" answers its words back, "Speak" prints its text on standard error,
// "Done" and "Error" are accepted silently; anything else draws "Error <name> -4".
#include "argcv.h"
#include "buffer.h"
#include "command.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char *echo_cbk(int, long id, int argc, char **argv) {
    BUF_Reset(NULL);
    BUF_AddString("Echoed");
    BUF_AddSpace();
    BUF_AddLong(id);
    for (int i = 1; i < argc; i++) {
        BUF_AddSpace();
        BUF_AddString(argv[i]);
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
