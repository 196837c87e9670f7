/* Connection manager: connections of the robot protocol over the socket layer.
 *
 * One record per connection, found by robot id and by socket descriptor. Outgoing requests are
 * framed as "<id>:" plus the request line (no prefix for negative ids); every complete incoming
 * line is dispatched with CMD_ExecuteRaw and the reply is sent back on the same connection.
 * "Done" and "Error" lines set the connection's state; blocking operations poll all connections
 * until the state of theirs changes.
 *
 * Errors: operations return 0 or a code of conn_errors.h; a peer's own "Error" code is passed on
 * unchanged. A connection whose socket closed is "lost" (the lost flag, with status CONN_ERROR and
 * error -6); a peer's "Error ... -6" answer is not a loss and leaves the connection usable.
 * Sending while a connect is unconfirmed or a blocking request waits on the same connection is a
 * fatal assertion.
 *
 * Re-entrancy: everything runs on the polling thread, and handlers run nested inside blocking
 * calls. Lines are dispatched after the socket cycle that read them, so handlers may poll, send
 * or disconnect (including their own connection); a record is never released while a blocking
 * call or a callback still uses it. */
#ifndef ROVAK_CONNECT_H
#define ROVAK_CONNECT_H

#include "conn_errors.h"

/* Longest readiness wait of one cycle inside a blocking connect or request. */
#define CONN_WAIT_USEC 10000L

/* Longest accepted input line, line feed included; a longer one closes the connection. */
#define CONN_MAX_LINE 65536U

typedef enum CONN_ConnState {
    CONN_DONE = 0,       /* connected and idle: requests may be sent */
    CONN_CONNECTING = 1, /* outgoing connect issued without waiting, not yet confirmed */
    CONN_BLOCKING = 2,   /* a caller polls until this connection's state changes */
    CONN_ERROR = 3       /* an "Error" answer (error holds its code), or lost (error -6) */
} CONN_ConnState;

typedef struct CONN_ConnInfo {
    int fd;                             /* socket descriptor */
    long id;                            /* robot id; 0 the scheduler; -1 accepted from a peer */
    void *user_data;                    /* the user's heap block, released with the record */
    void (*user_free)(void *user_data); /* releases user_data; null: free() */
    CONN_ConnState status;
    int error; /* 0, or the error code while status is CONN_ERROR */
    int lost;  /* the socket has closed; set apart from any code a peer sent */
    /* Manager-private bookkeeping. */
    int busy;             /* blocking calls and callbacks currently using the record */
    int released;         /* released while busy: freed when the last user lets go */
    int accepted;         /* created for a connection accepted from a peer */
    int in_fd_table;      /* lost records leave the descriptor table (the number may be reused) */
    unsigned long serial; /* tells the record apart from a later one with the same descriptor */
} CONN_ConnInfo;

typedef void (*CONN_callback)(int fd);

/* Creates the tables, initialises the socket layer and the command table and registers the
 * "Done" and "Error" handlers, once; returns 0. */
int CONN_Initialize(void);

/* Connect and disconnect callbacks, called with the descriptor, newest first. */
void CONN_AddConnectCallback(CONN_callback fn);
void CONN_AddDisconnectCallback(CONN_callback fn);
void CONN_RemoveConnectCallback(CONN_callback fn);
void CONN_RemoveDisconnectCallback(CONN_callback fn);

/* A new record (null user data, error 0) entered in the tables, or null when memory is short.
 * Negative ids are not entered in the id table: they are never looked up by id. */
CONN_ConnInfo *CONN_AllocConnInfo(long robot_id, int fd);
/* Takes the record out of the tables and releases its user data and the record. The socket is
 * not touched. */
void CONN_FreeConnInfo(CONN_ConnInfo *conn_info);
/* 0 and the record of id; -15 before initialisation; -5 for a negative id or none; -6 when the
 * record is lost (it is released here and *info_pp is null). */
int CONN_IDtoConnInfo(long id, CONN_ConnInfo **info_pp);
/* 0; *info_pp is the live record of fd, or null. Lost records are never found. */
int CONN_FDtoConnInfo(int fd, CONN_ConnInfo **info_pp);

/* Listen for peers (TCP port or Unix-domain path): 0, -6, or -15 before initialisation. Accepted
 * connections get records with id -1. */
int CONN_Listen(int port);
int CONN_UnixListen(const char *pathname);

/* Open a connection for id. -16 (and the existing record) when id has a live connection; -6 when
 * the socket cannot be opened or the connect is refused while waiting; -11; -15. Without block the
 * record is CONN_CONNECTING until confirmed; with block the call polls until the connect is
 * confirmed or fails. *conn_info is null on failure. */
int CONN_Connect(long id, const char *hostname, int port, int block, CONN_ConnInfo **conn_info);
int CONN_UnixConnect(long id, const char *pathname, int block, CONN_ConnInfo **conn_info);
/* Requests the close of the socket (unless lost; queued output is written first) and releases
 * the record. Returns 0. */
int CONN_Disconnect(CONN_ConnInfo *conn_info);

/* Sends one request: data is a heap block of len bytes (line feed included) whose ownership
 * passes to the manager on every path. A state left by an "Error" answer to an earlier request
 * sent without waiting is cleared first. With block, polls until "Done" (0), "Error" (its code,
 * the connection stays usable) or loss (-6, the record is released). */
int CONN_SendToConnection(CONN_ConnInfo *conn_info, char *data, unsigned int len, int block);

/* One readiness wait (1 microsecond), one socket cycle, then the lines it read are dispatched. */
int CONN_Poll(void);
/* As CONN_Poll, waiting up to usec microseconds for readiness: for servers and event loops that
 * should sleep rather than spin while nothing happens. */
int CONN_PollTimeout(long usec);
/* Polls until no socket has output queued or a close pending, for at most max_usec
 * microseconds: 0 when everything was written, -1 on time-out. For programs about to exit. */
int CONN_Drain(long max_usec);

/* The callbacks given to every socket of the manager. */
unsigned int CONN_ReadSocket(int fd, char *buf, unsigned int len);
void CONN_WriteSocketComplete(int fd, char *buf, unsigned int count);
void CONN_StatusSocket(int fd, int error);

/* "Done <command>" and "Error <command> [code]" handlers; both reply nothing. */
char *CONN_DoneCbk(int sender, long id, int argc, char **argv);
char *CONN_ErrorCbk(int sender, long id, int argc, char **argv);

#endif
