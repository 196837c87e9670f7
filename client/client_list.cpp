/* The scheduler's robot list: "GetRegisteredList" requests, "AddRegistered" lines, and the
 * terminated array handed to callers. */
#include "client.h"

#include "buffer.h"
#include "client_internal.h"
#include "connect.h"
#include "double_list.h"

#include <stdlib.h>
#include <string.h>

static DBL *robot_list = NULL; /* owned Q_RobotListEntry records */
static u32 robot_list_count = 0;
static Q_RobotListEntry *robot_array = NULL;

static void free_entry(void *element) {
    Q_RobotListEntry *e = (Q_RobotListEntry *)element;
    free(e->hostname);
    free(e->unixpath);
    free(e);
}

static void release_list(void) {
    DBL_Free(robot_list, free_entry);
    robot_list = NULL;
    robot_list_count = 0;
}

void CLNT_DropRobotArray(void) {
    free(robot_array);
    robot_array = NULL;
}

int CLNT_ResetRobotArray(void) {
    release_list();
    CLNT_DropRobotArray();
    robot_array = (Q_RobotListEntry *)calloc(1, sizeof(Q_RobotListEntry));
    return robot_array != NULL ? 0 : CONN_ERR_NO_MEMORY;
}

Q_RobotListEntry *Q_GetRobotList(void) { return robot_array; }

const Q_RobotListEntry *HCLNT_FindRobotEntry(s32 id) {
    if (robot_array == NULL)
        return NULL;
    for (const Q_RobotListEntry *e = robot_array; e->hostname != NULL; e++)
        if (e->id == id)
            return e;
    return NULL;
}

void CLNT_RebuildRobotArray(s32, int error) {
    if (error != 0)
        return;
    CLNT_DropRobotArray();
    robot_array = (Q_RobotListEntry *)calloc(robot_list_count + 1, sizeof(Q_RobotListEntry));
    if (robot_array == NULL)
        return;
    u32 i = 0;
    for (DBL *d = robot_list; d != NULL && i < robot_list_count; d = d->next)
        robot_array[i++] = *(Q_RobotListEntry *)d->element;
}

/* The first robot announced stays first; the rest stand in descending order of id, a new entry
 * going in front of an equal id. */
static void insert_entry(Q_RobotListEntry *entry) {
    if (robot_list == NULL) {
        robot_list = DBL_AddAfter(NULL, entry);
        return;
    }
    DBL *at = robot_list;
    while (at->next != NULL && entry->id < ((Q_RobotListEntry *)at->next->element)->id)
        at = at->next;
    DBL_AddAfter(at, entry);
}

char *CLNT_AddRegisteredCbk(int, long, int argc, char **argv) {
    if (argc < 5)
        return NULL;
    long id = strtol(argv[1], NULL, 10);
    u16 port = (u16)strtol(argv[3], NULL, 10);
    if (id < 1 || id > 0x7fffffff || port == 0)
        return NULL;
    Q_RobotListEntry *e = (Q_RobotListEntry *)calloc(1, sizeof *e);
    if (e == NULL)
        return NULL;
    e->id = (s32)id;
    e->port = port;
    e->hostname = strdup(argv[2]);
    e->unixpath = strdup(argv[4]);
    if (e->hostname == NULL || e->unixpath == NULL) {
        free_entry(e);
        return NULL;
    }
    insert_entry(e);
    robot_list_count++;
    return NULL;
}

int Q_UpdateRobotList(void) {
    const char *host = CLNT_SchedulerHost();
    if (host == NULL)
        return CONN_ERR_NOT_INITIALIZED;
    CONN_ConnInfo *ci;
    if (CONN_IDtoConnInfo(0, &ci) != 0) {
        /* Always awaited: the connection manager takes requests on confirmed connections only. */
        int err = CONN_Connect(0, host, CLNT_SchedulerPort(), 1, &ci);
        if (err != 0)
            return err;
    }
    BUF_Reset(NULL);
    BUF_AddString("GetRegisteredList");
    BUF_AddChar('\n');
    char *line = strdup(BUF_Buffer());
    if (line == NULL)
        return CONN_ERR_NO_MEMORY;
    release_list();
    CLNT_DropRobotArray();
    return CONN_SendToConnection(ci, line, (unsigned int)BUF_Index(), Q_GetSynchronous());
}
