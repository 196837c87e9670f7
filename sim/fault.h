/* Fault injection, as chosen by the command-line options. On robot connections: dropping a
 * connection after some requests, error answers for chosen words, held answers, malformed and
 * over-long state lines before answers, unsolicited state lines, and a flood of state lines to
 * a connection that is no longer read. On robot and scheduler connections alike: acknowledgement
 * lines written apart from the rest of their answer, and connections that fall silent. The
 * scheduler endpoint is affected by nothing else. */
#ifndef ROVAK_SIM_FAULT_H
#define ROVAK_SIM_FAULT_H

#include "robot.h"

#include <string>

/* Bytes of state lines queued at a time on a flooded connection (about). */
#define FAULT_FLOOD_CHUNK 16384U

/* True when a connection that has now received `requests` requests is to be dropped. */
bool FAULT_Drop(long requests);
/* True when word is to be answered with an error; *code gets the code. */
bool FAULT_Fail(const char *word, int *code);
/* True when a connection that has now received `requests` requests is no longer answered. */
bool FAULT_Silent(long requests);
/* Wall milliseconds between the acknowledgement lines of answers (0: not split). */
long FAULT_SplitAcksMs(void);
/* True when a robot connection is to be flooded once word (its request) has been answered. */
bool FAULT_FloodAfter(const char *word);
/* Queues more state lines on every flooded connection whose socket has nothing queued, so the
 * simulator never holds more than one chunk of FAULT_FLOOD_CHUNK bytes per connection. */
void FAULT_Flood(void);
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
