/* Robot client library entry: start-up, the scheduler's robot list, synchronous mode and
 * completion callbacks.
 *
 * Results are 0 or a negative code of the connection manager's table (conn_errors.h): -15 before
 * Q_InitializeClient, -11 out of memory, -6 the scheduler cannot be reached or was lost, or the
 * scheduler's own "Error" code. Everything runs on the caller's thread inside a waiting send or
 * Q_PollClient; nothing is locked. Nothing is printed here (the connection manager reports
 * time-outs and acknowledgements that match no request on standard error). */
#ifndef ROVAK_CLIENT_H
#define ROVAK_CLIENT_H

#include "connect.h"
#include "robot_state.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Names the scheduler (host null: this machine) and, the first time, sets the library up:
 * connection manager, callback table, handlers, synchronous mode on. A scheduler connection that
 * already exists is dropped, so the next list request goes to the scheduler now named. */
int Q_InitializeClient(const char *host, int port);
/* Processes whatever has arrived on any connection: 0, or -15 before initialisation. */
int Q_PollClient(void);
/* Asks the scheduler for its robots ("GetRegisteredList"). The connection to the scheduler is
 * always awaited before the request is sent; the answer is awaited in synchronous mode only. */
int Q_UpdateRobotList(void);
/* The robot array (ended by an all-zero entry), or null while no list is available. Valid until
 * the next list request. */
Q_RobotListEntry *Q_GetRobotList(void);
/* The synchronous flag: 1, requests wait for their answer; 0 before initialisation. */
u8 Q_GetSynchronous(void);
void Q_SetSynchronous(int value);
/* Puts callback in front of word's list (word is kept, not copied). Always 0. */
int Q_RegisterCallback(const char *word, Q_LanguageCallback callback);
/* Removes every occurrence of callback from word's list. Always 0. */
int Q_UnregisterCallback(const char *word, Q_LanguageCallback callback);

/* The first robot array entry with id, or null. */
const Q_RobotListEntry *HCLNT_FindRobotEntry(s32 id);

/* Sets how long every blocking call (connect, robot list, request) waits for its answer, in
 * milliseconds; 0 waits forever. When the time passes the call returns -6 and the connection is
 * closed. The default is 10000, or ROVAK_TIMEOUT_MS from the environment at the first
 * Q_InitializeClient. Returns the old value. */
long Q_SetTimeout(long ms);
long Q_GetTimeout(void);

/* Dispatcher handler of the scheduler's "AddRegistered" lines. */
char *CLNT_AddRegisteredCbk(int fd, long id, int argc, char **argv);
/* Completion of a request (see CONN_completion): runs the callbacks of its word, newest first,
 * exactly once per request: (connection id, 0) for "Done", (the "Error" line's id prefix, code)
 * for "Error", (connection id, -6) when the connection was lost first. */
void CLNT_RequestCompleted(CONN_ConnInfo *conn_info, const char *word, long id, int result);

#ifdef __cplusplus
}
#endif

#endif
