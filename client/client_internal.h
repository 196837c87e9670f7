/* Shared between the client library's start-up and its robot list. */
#ifndef ROVAK_CLIENT_INTERNAL_H
#define ROVAK_CLIENT_INTERNAL_H

#include "robot_state.h"

/* The scheduler named by the last Q_InitializeClient (null before it). */
const char *CLNT_SchedulerHost(void);
u16 CLNT_SchedulerPort(void);

/* Empties the robot list and makes the robot array hold only its terminator: 0 or -11. */
int CLNT_ResetRobotArray(void);
/* Releases the robot array (the list stays). */
void CLNT_DropRobotArray(void);
/* Completion callback of "GetRegisteredList": rebuilds the array from the list for error 0. */
void CLNT_RebuildRobotArray(s32 id, int error);

#endif
