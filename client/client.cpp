/* Client start-up, synchronous mode and completion callbacks (see client.h). */
#include "client.h"

#include "client_internal.h"
#include "command.h"
#include "connect.h"
#include "double_list.h"
#include "hash.h"
#include "kavrel.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static cache_ptr callback_table = NULL;
static u8 synchronous = 0;
static bool initialised_once = false;
static char *scheduler_host = NULL;
static u16 scheduler_port = 0;

/* A word's callbacks; the holder stays in the table when its list empties. */
struct callback_list {
    DBL *list;
};

const char *CLNT_SchedulerHost(void) { return scheduler_host; }
u16 CLNT_SchedulerPort(void) { return scheduler_port; }

static int setup_once(void) {
    if (CLNT_ResetRobotArray() != 0)
        return CONN_ERR_NO_MEMORY;
    int err = CONN_Initialize();
    if (err != 0)
        return err;
    callback_table = hash_new(64, hash_string, compare_strings);
    CMD_Register("AddRegistered", CLNT_AddRegisteredCbk);
    CONN_SetCompletionCallback(CLNT_RequestCompleted);
    Q_RegisterCallback("GetRegisteredList", CLNT_RebuildRobotArray);
    err = HCLNT_Initialize();
    if (err != 0)
        return err;
    synchronous = 1;
    initialised_once = true;
    return 0;
}

int Q_InitializeClient(const char *host, int port) {
    if (!initialised_once) {
        int err = setup_once();
        if (err != 0)
            return err;
    }
    char local[100];
    if (host == NULL) {
        if (gethostname(local, sizeof local) != 0)
            local[0] = '\0';
        local[sizeof local - 1] = '\0';
        host = local;
    }
    char *copy = strdup(host);
    if (copy == NULL) {
        CLNT_DropRobotArray();
        return CONN_ERR_NO_MEMORY;
    }
    free(scheduler_host);
    scheduler_host = copy;
    scheduler_port = (u16)port;
    CONN_ConnInfo *ci;
    if (CONN_IDtoConnInfo(0, &ci) == 0)
        CONN_Disconnect(ci);
    return 0;
}

int Q_PollClient(void) {
    if (scheduler_host == NULL)
        return CONN_ERR_NOT_INITIALIZED;
    CONN_Poll();
    return 0;
}

u8 Q_GetSynchronous(void) { return synchronous; }

void Q_SetSynchronous(int value) { synchronous = (u8)value; }

static void *as_element(Q_LanguageCallback cb) { return reinterpret_cast<void *>(cb); }

static int same_callback(void *searched, void *stored) { return searched == stored; }

int Q_RegisterCallback(const char *word, Q_LanguageCallback callback) {
    if (callback_table == NULL)
        return 0; /* callbacks can be registered only once the library is set up */
    callback_list *cl = (callback_list *)hash_value_for_key(callback_table, word);
    if (cl == NULL) {
        cl = (callback_list *)calloc(1, sizeof *cl);
        if (cl == NULL)
            return 0;
        hash_add(&callback_table, word, cl);
    }
    cl->list = DBL_AddBefore(cl->list, as_element(callback));
    return 0;
}

int Q_UnregisterCallback(const char *word, Q_LanguageCallback callback) {
    if (callback_table == NULL)
        return 0;
    callback_list *cl = (callback_list *)hash_value_for_key(callback_table, word);
    if (cl == NULL)
        return 0;
    while (DBL_Member(cl->list, as_element(callback), same_callback) != NULL)
        cl->list = DBL_Destroy(cl->list, as_element(callback), same_callback, NULL);
    return 0;
}

/* Calls word's callbacks, newest first. They are copied out first: a callback may register or
 * unregister callbacks (its own included) while the others wait their turn. */
static void run_callbacks(const char *word, s32 id, int error) {
    if (callback_table == NULL)
        return;
    callback_list *cl = (callback_list *)hash_value_for_key(callback_table, word);
    if (cl == NULL || cl->list == NULL)
        return;
    int n = 0;
    for (DBL *d = cl->list; d != NULL; d = d->next)
        n++;
    Q_LanguageCallback *calls = (Q_LanguageCallback *)malloc((size_t)n * sizeof *calls);
    if (calls == NULL)
        return;
    int i = 0;
    for (DBL *d = cl->list; d != NULL; d = d->next)
        calls[i++] = reinterpret_cast<Q_LanguageCallback>(d->element);
    for (i = 0; i < n; i++)
        calls[i](id, error);
    free(calls);
}

void CLNT_RequestCompleted(CONN_ConnInfo *, const char *word, long id, int result) {
    run_callbacks(word, (s32)id, result);
}

long Q_SetTimeout(long ms) { return CONN_SetTimeout(ms); }

long Q_GetTimeout(void) { return CONN_GetTimeout(); }
