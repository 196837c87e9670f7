/* Fault injection on robot connections, as chosen by the command-line options: dropping a
 * connection after some requests, error answers for chosen words, held answers, malformed and
 * over-long state lines before answers, and unsolicited state lines. The scheduler endpoint is
 * never affected. */
#ifndef ROVAK_SIM_FAULT_H
#define ROVAK_SIM_FAULT_H

#include "robot.h"

#include <string>

/* True when a connection that has now received `requests` requests is to be dropped. */
bool FAULT_Drop(long requests);
/* True when word is to be answered with an error; *code gets the code. */
bool FAULT_Fail(const char *word, int *code);
/* Lines to send before answer number `answer` (from 1) of robot r: malformed or over-long state
 * lines, or nothing. */
std::string FAULT_Extra(const ROBOT_Robot *r, long answer);
/* How long answers are held, in wall milliseconds (0: not at all). */
long FAULT_DelayMs(void);
/* Sends the unsolicited state lines to every robot connection when they are due. */
void FAULT_Push(double wall_ms);
/* Wall time of the next unsolicited push, or a negative value when there is none. */
double FAULT_NextPush(double wall_ms);
/* The malformed lines sent in turn (for tests and documentation), ended by null. */
extern const char *const FAULT_MalformedLines[];

#endif
