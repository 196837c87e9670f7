/* Connection manager: the requests each connection awaits, the "Done" and "Error" handlers that
 * match acknowledgements to them, completions, losses and the wait time-out. */
#include "connect_internal.h"

#include "argcv.h"
#include "socket.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* One request sent and not yet acknowledged. */
struct conn_request {
    struct conn_request *next;
    unsigned long seq;
    int errored; /* its "Error" came; only its "Done" is still due */
    char word[1];
};

/* Reports of unmatched acknowledgements per connection before they are only counted. */
#define UNMATCHED_REPORTS 10

static CONN_completion completion_fn = NULL;
static long timeout_ms = CONN_DEFAULT_TIMEOUT_MS;

void CONN_SetCompletionCallback(CONN_completion fn) { completion_fn = fn; }

long CONN_SetTimeout(long ms) {
    long old = timeout_ms;
    timeout_ms = ms < 0 ? 0 : ms;
    return old;
}

long CONN_GetTimeout(void) { return timeout_ms; }

void conn_timeout_from_environment(void) {
    const char *text = getenv("ROVAK_TIMEOUT_MS");
    if (text == NULL || *text == '\0')
        return;
    char *end;
    errno = 0;
    long ms = strtol(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || errno == ERANGE || ms > INT_MAX) {
        fprintf(stderr,
                "conn: ROVAK_TIMEOUT_MS=\"%.40s\" is not a number of milliseconds "
                "(0 to 2147483647); waiting %ld ms\n",
                text, timeout_ms);
        return;
    }
    timeout_ms = ms;
}

long long conn_now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/* The command name a peer's dispatcher will name in its acknowledgements: the first word of the
 * request, after its last colon. Plain words are read in place; quoted or escaped ones are split
 * as the peer splits them. Returns a heap request record, or null when memory is short. */
static conn_request *new_request(const char *data, unsigned int len) {
    unsigned int start = 0;
    while (start < len && (data[start] == ' ' || data[start] == '\t'))
        start++;
    unsigned int end = start;
    int plain = 1;
    while (end < len && data[end] != ' ' && data[end] != '\t' && data[end] != '\n' &&
           data[end] != '\r') {
        if (data[end] == '"' || data[end] == '\\' || data[end] == '\0')
            plain = 0;
        end++;
    }
    const char *word = data + start;
    size_t wlen = end - start;
    char *copy = NULL;
    int argc = 0;
    char **argv = NULL;
    if (!plain) {
        copy = (char *)malloc((size_t)len + 1);
        if (!copy)
            return NULL;
        memcpy(copy, data, len);
        copy[len] = '\0';
        ARGCV_Create(copy, &argc, &argv);
        word = argc > 0 ? argv[0] : "";
        wlen = strlen(word);
    }
    const char *colon = (const char *)memrchr(word, ':', wlen);
    if (colon) {
        wlen -= (size_t)(colon + 1 - word);
        word = colon + 1;
    }
    conn_request *r = (conn_request *)malloc(sizeof(conn_request) + wlen);
    if (r) {
        r->next = NULL;
        r->errored = 0;
        memcpy(r->word, word, wlen);
        r->word[wlen] = '\0';
    }
    if (argc > 0)
        ARGCV_Free(argc, argv);
    free(copy);
    return r;
}

int conn_track(CONN_ConnInfo *ci, const char *data, unsigned int len, unsigned long *seq) {
    if (ci->request_count >= CONN_MAX_OUTSTANDING)
        return CONN_ERR_LOST;
    conn_request *r = new_request(data, len);
    if (!r)
        return CONN_ERR_NO_MEMORY;
    r->seq = ++ci->next_seq;
    if (ci->last_request)
        ci->last_request->next = r;
    else
        ci->first_request = r;
    ci->last_request = r;
    ci->request_count++;
    *seq = r->seq;
    return 0;
}

static void unlink_request(CONN_ConnInfo *ci, conn_request *r) {
    conn_request **pp = &ci->first_request;
    conn_request *prev = NULL;
    while (*pp != r) {
        prev = *pp;
        pp = &(*pp)->next;
    }
    *pp = r->next;
    if (ci->last_request == r)
        ci->last_request = prev;
    ci->request_count--;
}

const char *conn_request_word(CONN_ConnInfo *ci, unsigned long seq) {
    for (conn_request *r = ci->first_request; r; r = r->next)
        if (r->seq == seq)
            return r->word;
    return "";
}

void conn_untrack(CONN_ConnInfo *ci, unsigned long seq) {
    for (conn_request *r = ci->first_request; r; r = r->next) {
        if (r->seq == seq) {
            unlink_request(ci, r);
            free(r);
            return;
        }
    }
}

void conn_free_requests(CONN_ConnInfo *ci) {
    conn_request *r = ci->first_request;
    ci->first_request = ci->last_request = NULL;
    ci->request_count = 0;
    while (r) {
        conn_request *next = r->next;
        free(r);
        r = next;
    }
}

/* Records the result of request r on ci and tells the completion callback. The state that a
 * blocking send watches changes only for the request it waits for; other requests (sent without
 * waiting) leave their result in the state, as an unanswered connection always did. Returns 1
 * when ci was released meanwhile. */
static int complete(CONN_ConnInfo *ci, conn_request *r, long id, int result) {
    if (ci->status == CONN_BLOCKING && ci->wait_seq == r->seq) {
        ci->wait_seq = 0;
        ci->status = result == 0 ? CONN_DONE : CONN_ERROR;
        ci->error = result;
    } else if (ci->status != CONN_BLOCKING && !ci->lost) {
        if (result != 0) {
            ci->status = CONN_ERROR;
            ci->error = result;
        } else if (ci->status != CONN_ERROR) {
            ci->status = CONN_DONE;
        }
    }
    if (!completion_fn)
        return 0;
    ci->busy++;
    completion_fn(ci, r->word, id, result);
    return conn_unpin(ci);
}

/* An acknowledgement that names nothing this side awaits. On accepted connections this side only
 * answers, so such lines are the peer's acknowledgements of those answers and pass silently. */
static void unmatched(CONN_ConnInfo *ci, const char *kind, const char *word) {
    if (ci->accepted || strcmp(word, "Error") == 0)
        return; /* "Done Error" acknowledges an "Error" line this side sent */
    ci->unmatched++;
    if (ci->unmatched <= UNMATCHED_REPORTS)
        fprintf(stderr,
                "conn: dropped \"%s %.60s\" on connection %ld: no such request awaits "
                "an answer%s\n",
                kind, word, ci->id,
                ci->unmatched == UNMATCHED_REPORTS ? " (further ones not reported)" : "");
}

static conn_request *find_request(CONN_ConnInfo *ci, const char *word, int pending_only) {
    for (conn_request *r = ci->first_request; r; r = r->next)
        if (!(pending_only && r->errored) && strcmp(r->word, word) == 0)
            return r;
    return NULL;
}

char *CONN_DoneCbk(int sender, long id, int argc, char **argv) {
    (void)id;
    CONN_ConnInfo *ci;
    CONN_FDtoConnInfo(sender, &ci);
    if (!ci)
        return NULL;
    const char *word = argc >= 2 ? argv[1] : "";
    conn_request *r = find_request(ci, word, 0);
    if (!r) {
        unmatched(ci, "Done", word);
        return NULL;
    }
    unlink_request(ci, r);
    /* The "Done" after an "Error" only closes the request: its result is already out. */
    if (!r->errored)
        complete(ci, r, ci->id, 0);
    free(r);
    return NULL;
}

int conn_error_code(int argc, char **argv) {
    if (argc < 3)
        return CONN_ERR_ANSWER;
    const char *text = argv[2];
    char *end;
    errno = 0;
    long code = strtol(text, &end, 10);
    int numeric = end != text && *end == '\0' &&
                  (text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9'));
    if (!numeric || errno == ERANGE || code < INT_MIN || code > INT_MAX || code == 0)
        return CONN_ERR_ANSWER;
    return (int)code;
}

/* "Error Done ..." breaks the protocol (Done is never answered); it matches nothing and is
 * dropped like any acknowledgement of a request that does not await one. */
char *CONN_ErrorCbk(int sender, long id, int argc, char **argv) {
    CONN_ConnInfo *ci;
    CONN_FDtoConnInfo(sender, &ci);
    if (!ci)
        return NULL;
    const char *word = argc >= 2 ? argv[1] : "";
    conn_request *r = find_request(ci, word, 1);
    if (!r) {
        unmatched(ci, "Error", word);
        return NULL;
    }
    /* Marked before anyone hears of it, so a loss inside the callback does not report it
     * twice; the record stays queued until its "Done". */
    r->errored = 1;
    complete(ci, r, id, conn_error_code(argc, argv));
    return NULL;
}

int conn_fail_all(CONN_ConnInfo *ci) {
    conn_request *r = ci->first_request;
    ci->first_request = ci->last_request = NULL;
    ci->request_count = 0;
    /* The record stays allocated while pinned, so every request gets its result even when a
     * callback releases the record. */
    ci->busy++;
    while (r) {
        conn_request *next = r->next;
        if (!r->errored && completion_fn)
            completion_fn(ci, r->word, ci->id, CONN_ERR_LOST);
        free(r);
        r = next;
    }
    return conn_unpin(ci);
}

int conn_lose(CONN_ConnInfo *ci) {
    ci->busy++;
    conn_run_callbacks(disconnect_cbk_list, ci->fd);
    if (conn_unpin(ci))
        return 1; /* a callback disconnected it */
    conn_mark_lost(ci);
    return conn_fail_all(ci);
}

int conn_give_up(CONN_ConnInfo *ci, const char *why) {
    if (ci->lost)
        return 0;
    fprintf(stderr, "conn: %s on connection %ld; closing it\n", why, ci->id);
    SOCK_Abort(ci->fd);
    return conn_lose(ci);
}
