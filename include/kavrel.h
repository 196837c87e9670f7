/* Robot requests and state: the request-and-state module of the robot client library.
 *
 * Every request takes the robot id first and returns 0 or a negative code of the connection
 * manager's table (connect.h): -5 no such robot (or an id below 1), -6 connection lost, -11 out
 * of memory, -15 not initialised, -4 or the peer's own code for an "Error" answer (synchronous
 * mode only). In synchronous mode a request returns when the server has answered, and the
 * answer's data lines are in the state record by then.
 *
 * Server messages that break their layout (a count above its array's capacity, a sonar index
 * not below the set's count, a missing word) are protocol violations: the handler stops at the
 * fault, keeping what it stored before it, and never reads past the line or writes past an array.
 * No handler replies; the dispatcher acknowledges each line. */
#ifndef ROVAK_KAVREL_H
#define ROVAK_KAVREL_H

#include "robot_state.h"

#ifdef __cplusplus
extern "C" {
#endif

struct CONN_ConnInfo;

/* The robot's state record / description record, or null when id names no live connection with
 * a state block. Valid until the robot is disconnected or its connection is lost. */
Q_RobotState *Q_GetRobotState(s32 id);
Q_RobotStateExt *Q_GetRobotStateExt(s32 id);

/* Connects to robot id (listing the robots first when it is not yet known), reads its
 * descriptions and sets its request flags to their defaults. Waits whatever the synchronous flag.
 * -5 not listed, -16 already connected, -6 unreachable or lost, -1 when the server answers
 * "GetConstMembers" with an error carrying -5 (so it is not taken for "not listed"), or the
 * server's own code. On every failure after the connection opened, it is closed again and the
 * state released, so a later call can connect. */
int Q_ConnectRobot(s32 id);
/* Closes robot id's connection and releases its state block. -5, -6 or -15 from the lookup. */
int Q_DisconnectRobot(s32 id);

/* Registers the 22 server message handlers in the dispatcher; returns 0. */
int HCLNT_Initialize(void);

/* Connection and state block of robot id: 0, -5 (id below 1 or no connection), -6 or -15. */
int HCLNT_IDtoConnInfoRS(s32 id, struct CONN_ConnInfo **conn_info, Q_RobotState **rs);
/* Connection and state or description record of a descriptor: 0, or -5 when there is no
 * connection or it has no state block. */
int HCLNT_FDtoConnInfoRS(int fd, struct CONN_ConnInfo **conn_info, Q_RobotState **rs);
int HCLNT_FDtoConnInfoRSExt(int fd, struct CONN_ConnInfo **conn_info, Q_RobotStateExt **rs_ext);
/* A zero-filled state block with the release function the connection record calls. */
HCLNT_UserData *HCLNT_AllocUserData(void);
/* Releases a state block with the strings and pose matrices it owns. */
void HCLNT_FreeUserData(void *user_data);

/* Server message handlers (dispatcher callbacks). */
char *HCLNT_SetRobotTypeCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetAxesDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetLiftDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetSonarDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetInfraredDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetBumperDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetLaserDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetK770DescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetBatteryDescriptionCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetAxesCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetLiftCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetIntegratedConfigurationCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetSonarCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetSonarConfigurationCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetInfraredCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetBumperCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetCompassCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetLaserCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetLaserConfigurationCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetK770Cbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetTimerCbk(int fd, long id, int argc, char **argv);
char *HCLNT_SetBatteryCbk(int fd, long id, int argc, char **argv);

/* Requests: each writes one line from the robot's state record (see docs/client.md). */
int Q_GetAxes(s32 id);
int Q_SetAxes(s32 id);
int Q_GetLift(s32 id);
int Q_SetLift(s32 id);
int Q_ZeroLift(s32 id, int force);
int Q_DeployLift(s32 id);
int Q_RetractLift(s32 id);
int Q_SetJoystick(s32 id);
int Q_SetTimer(s32 id);
int Q_GetTimer(s32 id);
int Q_SetSonarConfiguration(s32 id);
int Q_GetSonarConfiguration(s32 id);
int Q_GetSonar(s32 id);
int Q_GetInfrared(s32 id);
int Q_GetBumper(s32 id);
int Q_SetLaserConfiguration(s32 id);
int Q_GetLaserConfiguration(s32 id);
int Q_GetLaser(s32 id);
int Q_GetK770(s32 id);
int Q_GetBattery(s32 id);
int Q_GetCompass(s32 id);
int Q_GetIntegratedConfiguration(s32 id);
int Q_SetIntegratedConfiguration(s32 id);
int Q_GetState(s32 id);
/* Says text: bytes 1 to 31 go as backslash and octal, quote and backslash are escaped, other
 * bytes (128 to 255 included) are copied; a zero byte ends the text. */
int Q_Speak(s32 id, const char *text);

/* Per-unit list builders: append word and the unit's per-element request fields. */
void HCLNT_AxesRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_LiftRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_SonarRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_InfraredRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_BumperRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_LaserRequestBuffer(const char *word, Q_RobotState *rs);
void HCLNT_K770RequestBuffer(const char *word, Q_RobotState *rs);

#ifdef __cplusplus
}
#endif

#endif
