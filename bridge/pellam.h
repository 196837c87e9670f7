/* The sensor bridge's command handlers and its input loop (see pellam.cpp). Each handler prints
 * one token group on standard output and flushes it; it returns 0, or -1 without printing when
 * robot 1's connection is gone. */
#ifndef ROVAK_PELLAM_H
#define ROVAK_PELLAM_H

#include <stddef.h>
#include <stdio.h>

#define PELLAM_ROBOT 1
#define PELLAM_SCHEDULER_DEFAULT "localhost"
#define PELLAM_SCHEDULER_PORT_DEFAULT 7073
#define PELLAM_LOCK_DEFAULT "/home/ostrel/pellam.lock"
#define PELLAM_WORD_SIZE 74      /* an input word: 73 characters and the terminator */
#define PELLAM_PARAM_SIZE 10     /* the word after "get": 9 characters and the terminator */
#define PELLAM_DRAIN_USEC 500000 /* at most this long to write what is queued before exit */

/* At-exit handler: removes the lock file. */
void goodbye(void);
/* Disconnects robot 1 and prints the outcome on standard output; returns the code. */
int disconnect(void);
int get_battery(void);  /* " B" four voltages / 100 " B " */
int get_IR(void);       /* " I" 24 sectors / 10 " I " */
int get_sonar(void);    /* " S" 24 sectors / 100 " S " */
int get_odometry(void); /* " O x y steering rotation O " */
int get_speed(void);    /* " V v0 v1 v2 V " */

/* Reads the next white-space-delimited word, keeping at most size - 1 characters of it; 0 at
 * the end of input. */
int PELLAM_ReadWord(FILE *in, char *command, size_t size);
/* The command loop: 0 after "goodbye" or the end of input, -1 when the connection was lost
 * ("Connection lost!" has then been printed on standard error). */
int PELLAM_Serve(FILE *in);

#endif
