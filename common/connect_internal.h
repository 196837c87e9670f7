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

#endif
