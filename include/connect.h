/* Connection manager: connections of the robot protocol over the socket layer.
 *
 * One record per connection, found by robot id and by socket descriptor. Outgoing requests are
 * framed as "<id>:" plus the request line (no prefix for negative ids); every complete incoming
 * line is dispatched with CMD_ExecuteRaw and the reply is sent back on the same connection.
 *
 * Acknowledgements are matched to requests. A peer ends every request with one "Done <word>",
 * preceded by "Error <word> [code]" when it failed. Each connection keeps the command words of
 * the requests it sent and not yet acknowledged, oldest first: an "Error" completes the oldest
 * such request of its word that has no result yet, a "Done" the oldest request of its word (for
 * a request that already had its "Error", the "Done" only closes it). Each request completes
 * exactly once: with 0, with the peer's code, or with -6 when the connection is lost. An
 * acknowledgement that names no awaited request is dropped with a line on standard error. A
 * blocking send waits for its own request only.
 *
 * Every blocking wait (connect, request) ends after the time-out (CONN_SetTimeout; default
 * CONN_DEFAULT_TIMEOUT_MS, ROVAK_TIMEOUT_MS in the environment at initialisation; 0 waits
 * forever) with -6; the connection is then closed as lost, since a late answer could no longer
 * be told from the answer to a later request.
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

/* Default time-out of blocking waits, in milliseconds. */
#define CONN_DEFAULT_TIMEOUT_MS 10000L

/* Most requests one connection may await at once; the send that would pass it closes the
 * connection as lost (a peer that acknowledges nothing must not make the process grow). */
#define CONN_MAX_OUTSTANDING 65536UL

#ifdef __cplusplus
extern "C" {
#endif

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
    struct conn_request *first_request; /* requests awaiting acknowledgement, oldest first */
    struct conn_request *last_request;
    unsigned long request_count;
    unsigned long next_seq;  /* numbers the requests of this connection */
    unsigned long wait_seq;  /* the request a blocking send waits for (0: none) */
    unsigned long unmatched; /* acknowledgements dropped because nothing awaited them */
} CONN_ConnInfo;

typedef void (*CONN_callback)(int fd);

/* Told once per request when it completes: result 0 ("Done"), the peer's code ("Error"), or -6
 * (the connection was lost or given up before the answer). id is the connection's id, except for
 * an "Error" answer, where it is the number prefix of the "Error" line (0 when it has none). The
 * record stays allocated during the call; the callback may send, poll or disconnect. */
typedef void (*CONN_completion)(CONN_ConnInfo *conn_info, const char *word, long id, int result);

/* Creates the tables, initialises the socket layer and the command table and registers the
 * "Done" and "Error" handlers, once; returns 0. */
int CONN_Initialize(void);

/* Sets the one completion callback (null: none). */
void CONN_SetCompletionCallback(CONN_completion fn);
/* Sets the time-out of blocking waits in milliseconds (0: wait forever; negative counts as 0) and
 * returns the old one. */
long CONN_SetTimeout(long ms);
long CONN_GetTimeout(void);

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
 * sent without waiting is cleared first. With block, polls until this request's "Error" (its
 * code; the connection stays usable) or "Done" (0), or until loss or time-out (-6, the record is
 * released). A missing, zero, non-numeric or out-of-range code counts as -1. */
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

#ifdef __cplusplus
}
#endif

#endif
