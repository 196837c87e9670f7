/* The bridge's standard input, and the signals that end a session.
 *
 * INPUT_Start installs handlers for SIGINT, SIGTERM and SIGHUP that only record the signal and
 * wake the input wait (through a pipe to ourselves), and ignores SIGPIPE, so that a standard
 * output nobody reads any more shows up as a failed write instead of killing the program.
 * INPUT_ReadWord waits on the input, that pipe and the output together, so a wait for the next
 * word always ends at a word, the end of input, a signal, or the output's reader going away. */
#ifndef ROVAK_BRIDGE_INPUT_H
#define ROVAK_BRIDGE_INPUT_H

#include <stddef.h>

/* Results of INPUT_ReadWord. */
#define INPUT_WORD 1
#define INPUT_END 0            /* end of input, or the input cannot be read */
#define INPUT_SIGNALLED (-1)   /* SIGINT, SIGTERM or SIGHUP arrived */
#define INPUT_OUTPUT_GONE (-2) /* the watched output has no reader any more (or hung up) */

#define INPUT_BUFFER 4096

typedef struct INPUT_Reader {
    int in;  /* descriptor the words are read from */
    int out; /* descriptor watched for a vanished reader, or -1 */
    char buf[INPUT_BUFFER];
    size_t pos, len;
    bool eof;
} INPUT_Reader;

/* Installs the signal handlers once per process: 0, or -1 (errno set) when that fails. */
int INPUT_Start(void);
/* The last of SIGINT, SIGTERM, SIGHUP received since INPUT_Start, or 0. */
int INPUT_Signal(void);

void INPUT_Init(INPUT_Reader *reader, int in, int out);
/* Waits for the next white-space-delimited word and copies at most size - 1 of its characters
 * (the rest is dropped) and a terminator into word. INPUT_WORD, or why there is none: a word cut
 * short by the end of input still counts; one cut short by a signal or by the output going away
 * is dropped. A signal that arrived earlier ends the wait at once. */
int INPUT_ReadWord(INPUT_Reader *reader, char *word, size_t size);

#endif
