/* The robot servers' and the scheduler's command handlers: the requests the robot client
 * library writes, answered with the description and state messages it reads, and the
 * scheduler's robot list and status queries.
 *
 * Error convention: a handler answers a request it cannot carry out with the text
 * "Error <word> <code>" (the dispatcher still adds its "Done <word>" line): -2 for a malformed
 * request (a word missing or out of range), -3 for a request the robot cannot carry out now,
 * -4 for a request sent to the wrong endpoint (a robot request on the scheduler port or the
 * reverse), -5 for an unknown robot id. Missing flags of Get requests read as data 1, time
 * stamp 0. */
#ifndef ROVAK_SIM_PROTOCOL_H
#define ROVAK_SIM_PROTOCOL_H

#include "robot.h"

#include <string>

/* Registers every handler in the command table (which must exist). */
void PROTO_Register(void);
/* True when word names a request of a robot server or the scheduler. */
bool PROTO_IsRequest(const char *word);
/* "SetBattery ..." and a line feed, for unsolicited pushes. */
std::string PROTO_BatteryLine(const ROBOT_Robot *r);
/* "SetIntegratedConfiguration ..." (with a time stamp when stamp) and a line feed. */
std::string PROTO_OdometryLine(const ROBOT_Robot *r, bool stamp);
/* The robot's current state as lines, each with its line feed: battery, odometry and compass
 * (both time-stamped), and every set of sonar, infrared and bumpers. */
std::string PROTO_StateLines(ROBOT_Robot *r);

#endif
