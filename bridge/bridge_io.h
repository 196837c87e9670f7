/* The bridge's standard input and output, and the signals that end a session.
 *
 * IO_Start installs handlers for SIGINT, SIGTERM and SIGHUP that only record the signal and wake
 * whatever wait is running (through a pipe to ourselves), and ignores SIGPIPE, so that an output
 * nobody reads any more shows up as a failed write instead of killing the program.
 * IO_ReadWord and IO_Write wait with poll on their descriptor and that pipe, so neither can
 * block past a signal: a wait for the next word ends at a word, the end of input, a signal, or
 * the output's reader going away; a write ends written, failed, or at a signal. */
#ifndef ROVAK_BRIDGE_IO_H
#define ROVAK_BRIDGE_IO_H

#include <stddef.h>

/* Results of IO_ReadWord and IO_Write. */
#define IO_WORD 1           /* IO_ReadWord: a word was read */
#define IO_END 0            /* IO_ReadWord: end of input, or the input cannot be read */
#define IO_WRITTEN 0        /* IO_Write: every byte written */
#define IO_SIGNALLED (-1)   /* SIGINT, SIGTERM or SIGHUP arrived (now or earlier) */
#define IO_OUTPUT_GONE (-2) /* the output failed, has no reader any more, or hung up */

#define IO_BUFFER 4096

typedef struct IO_Reader {
    int in;  /* descriptor the words are read from */
    int out; /* descriptor watched for a vanished reader, or -1 */
    char buf[IO_BUFFER];
    size_t pos, len;
    bool eof;
} IO_Reader;

/* Installs the signal handlers once per process, after opening /dev/null on any of descriptors
 * 0 to 2 that is closed: 0, or -1 (errno set) when that fails. */
int IO_Start(void);
/* The last of SIGINT, SIGTERM, SIGHUP received since IO_Start, or 0. */
int IO_Signal(void);

void IO_Init(IO_Reader *reader, int in, int out);
/* Waits for the next white-space-delimited word and copies at most size - 1 of its characters
 * (the rest is dropped) and a terminator into word. IO_WORD, or why there is none: a word cut
 * short by the end of input still counts; one cut short by a signal or by the output going away
 * is dropped. */
int IO_ReadWord(IO_Reader *reader, char *word, size_t size);
/* Writes all len bytes of text to fd, waiting for room as long as no signal arrives: IO_WRITTEN
 * when written, IO_SIGNALLED (perhaps part written), or IO_OUTPUT_GONE. */
int IO_Write(int fd, const char *text, size_t len);

#endif
