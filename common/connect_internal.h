/* Shared state of the connection manager's source files (not part of the public interface). */
#ifndef ROVAK_CONNECT_INTERNAL_H
#define ROVAK_CONNECT_INTERNAL_H

#include "connect.h"
#include "double_list.h"
#include "hash.h"

extern cache_ptr conn_conn_id_table;
extern cache_ptr conn_conn_fd_table;
extern DBL *connect_cbk_list;
extern DBL *disconnect_cbk_list;

/* The record of fd in the descriptor table, or null (no checks). */
CONN_ConnInfo *conn_by_fd(int fd);
/* Takes a lost record out of the descriptor table and marks it lost. */
void conn_mark_lost(CONN_ConnInfo *ci);
/* Ends one use of a record taken with busy++; frees it when it was released meanwhile.
 * Returns 1 when the record is gone. */
int conn_unpin(CONN_ConnInfo *ci);
/* Calls every function of list with fd, newest first; the list may change meanwhile. */
void conn_run_callbacks(DBL *list, int fd);

/* Reads ROVAK_TIMEOUT_MS (a bad value is reported and ignored). */
void conn_timeout_from_environment(void);
/* Milliseconds of the monotonic clock. */
long long conn_now_ms(void);
/* Records a request (data, len) as awaiting acknowledgement: 0 and its number in *seq, -11, or -6
 * when the connection already awaits CONN_MAX_OUTSTANDING requests. */
int conn_track(CONN_ConnInfo *ci, const char *data, unsigned int len, unsigned long *seq);
/* The command word of awaited request seq ("" when it has none or is no longer awaited). */
const char *conn_request_word(CONN_ConnInfo *ci, unsigned long seq);
/* Forgets request seq without a result (it was never sent). */
void conn_untrack(CONN_ConnInfo *ci, unsigned long seq);
/* Releases every awaited request without a result. */
void conn_free_requests(CONN_ConnInfo *ci);
/* The code of an "Error" line's words: the third word when it is a non-zero int, else -1. */
int conn_error_code(int argc, char **argv);
/* Completes every awaited request with -6. Returns 1 when ci was released meanwhile. */
int conn_fail_all(CONN_ConnInfo *ci);
/* The connection is lost: disconnect callbacks, the lost mark, every awaited request completed
 * with -6. Returns 1 when ci was released meanwhile. */
int conn_lose(CONN_ConnInfo *ci);
/* Closes a live connection without writing its queue (after a message naming why) and loses
 * it as above. Returns 1 when ci was released meanwhile. */
int conn_give_up(CONN_ConnInfo *ci, const char *why);

#endif
