/* The sensor bridge's command handlers and its command loop (see pellam.cpp). */
#ifndef ROVAK_PELLAM_H
#define ROVAK_PELLAM_H

#include "bridge_io.h"

#define PELLAM_ROBOT 1
#define PELLAM_SCHEDULER_DEFAULT "localhost"
#define PELLAM_SCHEDULER_PORT_DEFAULT 7073
#define PELLAM_LOCK_DEFAULT "/home/ostrel/pellam.lock"
#define PELLAM_WORD_SIZE 74      /* an input word: 73 characters and the terminator */
#define PELLAM_PARAM_SIZE 10     /* the word after "get": 9 characters and the terminator */
#define PELLAM_DRAIN_USEC 500000 /* at most this long to write what is queued before exit */

/* Results of the handlers (0: answered) and why the command loop ended. */
#define PELLAM_GOODBYE 0          /* the loop: "goodbye" or the end of input */
#define PELLAM_LOST (-1)          /* robot 1's connection is gone; nothing was printed */
#define PELLAM_OUTPUT_FAILED (-2) /* standard output refused the answer or has no reader */
#define PELLAM_SIGNALLED (-3)     /* SIGINT, SIGTERM or SIGHUP (an answer may be cut short) */

/* At-exit handler: removes the lock file if this process holds it. */
void goodbye(void);
/* Disconnects robot 1 and prints the outcome on standard output; returns the code. */
int disconnect(void);
/* Each handler writes one token group on standard output in one go (never past a signal) and
 * returns 0 or one of the codes above. */
int get_battery(void);  /* " B" four voltages / 100 " B " */
int get_IR(void);       /* " I" 24 sectors / 10 " I " */
int get_sonar(void);    /* " S" 24 sectors / 100 " S " */
int get_odometry(void); /* " O x y steering rotation O " */
int get_speed(void);    /* " V v0 v1 v2 V " */

/* The command loop over the words of input: returns why it ended (PELLAM_GOODBYE, PELLAM_LOST,
 * PELLAM_OUTPUT_FAILED or PELLAM_SIGNALLED). It prints nothing itself. */
int PELLAM_Serve(IO_Reader *input);

#endif
