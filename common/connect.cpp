/* Connection manager: tables, records, callback lists, listening and disconnecting. */
#include "connect_internal.h"

#include "command.h"
#include "fatal.h"
#include "socket.h"

#include <stdint.h>
#include <stdlib.h>

cache_ptr conn_conn_id_table = NULL;
cache_ptr conn_conn_fd_table = NULL;
DBL *connect_cbk_list = NULL;
DBL *disconnect_cbk_list = NULL;
static int initialized = 0;
static unsigned long next_serial = 1;

#define LONG_KEY(v) ((const void *)(intptr_t)(v))

int CONN_Initialize(void) {
    if (initialized)
        return 0;
    conn_conn_id_table = hash_new(64, hash_long, compare_longs);
    conn_conn_fd_table = hash_new(64, hash_int, compare_ints);
    SOCK_Initialize();
    CMD_Initialize();
    CMD_Register("Done", CONN_DoneCbk);
    CMD_Register("Error", CONN_ErrorCbk);
    conn_timeout_from_environment();
    initialized = 1;
    return 0;
}

static int EqualFunc(void *searched, void *stored) { return searched == stored; }

static void *fn_element(CONN_callback fn) { return reinterpret_cast<void *>(fn); }

void CONN_AddConnectCallback(CONN_callback fn) {
    connect_cbk_list = DBL_AddBefore(connect_cbk_list, fn_element(fn));
}

void CONN_AddDisconnectCallback(CONN_callback fn) {
    disconnect_cbk_list = DBL_AddBefore(disconnect_cbk_list, fn_element(fn));
}

void CONN_RemoveConnectCallback(CONN_callback fn) {
    connect_cbk_list = DBL_Destroy(connect_cbk_list, fn_element(fn), EqualFunc, NULL);
}

void CONN_RemoveDisconnectCallback(CONN_callback fn) {
    disconnect_cbk_list = DBL_Destroy(disconnect_cbk_list, fn_element(fn), EqualFunc, NULL);
}

void conn_run_callbacks(DBL *list, int fd) {
    /* A callback may add or remove callbacks: call a snapshot of the list. */
    int n = 0;
    for (DBL *l = list; l; l = l->next)
        n++;
    if (n == 0)
        return;
    CONN_callback *fns = (CONN_callback *)malloc((size_t)n * sizeof(CONN_callback));
    if (!fns)
        return;
    int i = 0;
    for (DBL *l = list; l; l = l->next)
        fns[i++] = reinterpret_cast<CONN_callback>(l->element);
    for (i = 0; i < n; i++)
        fns[i](fd);
    free(fns);
}

CONN_ConnInfo *CONN_AllocConnInfo(long robot_id, int fd) {
    CONN_ConnInfo *ci = (CONN_ConnInfo *)calloc(1, sizeof(CONN_ConnInfo));
    if (!ci)
        return NULL;
    ci->fd = fd;
    ci->id = robot_id;
    ci->serial = next_serial++;
    hash_add(&conn_conn_fd_table, LONG_KEY(fd), ci);
    ci->in_fd_table = 1;
    if (robot_id >= 0)
        hash_add(&conn_conn_id_table, LONG_KEY(robot_id), ci);
    return ci;
}

CONN_ConnInfo *conn_by_fd(int fd) {
    if (!conn_conn_fd_table)
        return NULL;
    return (CONN_ConnInfo *)hash_value_for_key(conn_conn_fd_table, LONG_KEY(fd));
}

/* Removes the entry key -> ci, leaving other records under the same key in their order (the
 * table itself only removes the newest entry of a key). */
static void table_remove(cache_ptr *tablep, long key, CONN_ConnInfo *ci) {
    CONN_ConnInfo *shadowing[8];
    int n = 0;
    void *v;
    while ((v = hash_value_for_key(*tablep, LONG_KEY(key))) != NULL) {
        hash_remove(*tablep, LONG_KEY(key));
        if (v == ci)
            break;
        if (n == 8) { /* not found among the newest entries: leave the table as it was */
            hash_add(tablep, LONG_KEY(key), v);
            break;
        }
        shadowing[n++] = (CONN_ConnInfo *)v;
    }
    while (n > 0)
        hash_add(tablep, LONG_KEY(key), shadowing[--n]);
}

void conn_mark_lost(CONN_ConnInfo *ci) {
    if (ci->in_fd_table) {
        table_remove(&conn_conn_fd_table, ci->fd, ci);
        ci->in_fd_table = 0;
    }
    ci->status = CONN_ERROR;
    ci->error = CONN_ERR_LOST;
    ci->lost = 1;
}

int conn_unpin(CONN_ConnInfo *ci) {
    ci->busy--;
    if (!ci->released)
        return 0;
    if (ci->busy == 0) {
        conn_free_requests(ci);
        free(ci);
    }
    return 1;
}

void CONN_FreeConnInfo(CONN_ConnInfo *conn_info) {
    CONN_ConnInfo *ci = conn_info;
    if (!ci || ci->released)
        return;
    if (ci->in_fd_table)
        table_remove(&conn_conn_fd_table, ci->fd, ci);
    ci->in_fd_table = 0;
    if (ci->id >= 0)
        table_remove(&conn_conn_id_table, ci->id, ci);
    if (ci->user_free != NULL)
        ci->user_free(ci->user_data);
    else
        free(ci->user_data);
    ci->user_data = NULL;
    if (ci->busy == 0) {
        conn_free_requests(ci);
        free(ci);
        return;
    }
    /* Someone further up the stack still holds it: end their wait, free it when they let go. */
    ci->released = 1;
    ci->lost = 1;
    ci->status = CONN_ERROR;
    ci->error = CONN_ERR_LOST;
}

int CONN_IDtoConnInfo(long id, CONN_ConnInfo **info_pp) {
    *info_pp = NULL;
    if (!conn_conn_id_table)
        return CONN_ERR_NOT_INITIALIZED;
    if (id < 0)
        return CONN_ERR_NO_CONNECTION;
    CONN_ConnInfo *ci = (CONN_ConnInfo *)hash_value_for_key(conn_conn_id_table, LONG_KEY(id));
    if (!ci)
        return CONN_ERR_NO_CONNECTION;
    if (ci->lost) {
        CONN_FreeConnInfo(ci);
        return CONN_ERR_LOST;
    }
    *info_pp = ci;
    return 0;
}

int CONN_FDtoConnInfo(int fd, CONN_ConnInfo **info_pp) {
    *info_pp = conn_by_fd(fd);
    /* Lost records leave the descriptor table, so this only guards that invariant. Lost records
     * always carry CONN_ERROR and -6; the check is limited to them because a live connection may
     * hold the same pair after a peer's "Error ... -6" answer. */
    if (*info_pp && (*info_pp)->lost)
        FATAL_ASSERT((*info_pp)->status != CONN_ERROR || (*info_pp)->error != -6);
    return 0;
}

int CONN_Listen(int port) {
    if (!initialized)
        return CONN_ERR_NOT_INITIALIZED;
    int fd = SOCK_Listen(1, (unsigned short)port, CONN_ReadSocket, CONN_WriteSocketComplete,
                         CONN_StatusSocket);
    return fd < 0 ? CONN_ERR_LOST : 0;
}

int CONN_UnixListen(const char *pathname) {
    if (!initialized)
        return CONN_ERR_NOT_INITIALIZED;
    int fd =
        SOCK_UnixListen(1, pathname, CONN_ReadSocket, CONN_WriteSocketComplete, CONN_StatusSocket);
    return fd < 0 ? CONN_ERR_LOST : 0;
}

int CONN_Disconnect(CONN_ConnInfo *conn_info) {
    if (!conn_info || conn_info->released)
        return 0;
    if (!conn_info->lost)
        SOCK_Close(conn_info->fd);
    CONN_FreeConnInfo(conn_info);
    return 0;
}
