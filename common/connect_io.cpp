/* Connection manager: polling, receiving and dispatching lines, socket reports, acknowledgements,
 * connecting and sending. */
#include "connect_internal.h"

#include "command.h"
#include "fatal.h"
#include "socket.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/time.h>

/* One received line waiting for dispatch. Lines are queued by the read callback and dispatched
 * after the socket cycle, so a handler that polls (a nested blocking call) never runs inside the
 * socket layer's read loop and every line is dispatched exactly once, in arrival order. */
typedef struct conn_line {
    struct conn_line *next;
    int fd;
    unsigned long serial; /* the record the line arrived for */
    char text[1];
} conn_line;

static conn_line *first_line = NULL;
static conn_line *last_line = NULL;

static void queue_line(int fd, unsigned long serial, const char *buf, unsigned int len) {
    conn_line *ln = (conn_line *)malloc(sizeof(conn_line) + len);
    if (!ln) {
        fprintf(stderr, "conn: out of memory; dropped a line on descriptor %d\n", fd);
        return;
    }
    ln->next = NULL;
    ln->fd = fd;
    ln->serial = serial;
    memcpy(ln->text, buf, len);
    ln->text[len] = '\0';
    if (last_line)
        last_line->next = ln;
    else
        first_line = ln;
    last_line = ln;
}

/* The record of fd if it is still the one with serial. */
static CONN_ConnInfo *same_record(int fd, unsigned long serial) {
    CONN_ConnInfo *ci = conn_by_fd(fd);
    return ci && ci->serial == serial ? ci : NULL;
}

static void dispatch_lines(void) {
    while (first_line) {
        conn_line *ln = first_line;
        first_line = ln->next;
        if (!first_line)
            last_line = NULL;
        /* A line of a connection released or replaced since it arrived is dropped. */
        if (same_record(ln->fd, ln->serial)) {
            char *reply = CMD_ExecuteRaw(ln->fd, ln->text);
            if (reply && !(same_record(ln->fd, ln->serial) &&
                           SOCK_Write(ln->fd, reply, (unsigned int)strlen(reply)) == 0))
                free(reply);
        }
        free(ln);
    }
}

int CONN_Poll(void) { return CONN_PollTimeout(1); }

int CONN_PollTimeout(long usec) {
    fd_set fdread, fdwrite;
    FD_ZERO(&fdread);
    FD_ZERO(&fdwrite);
    int n = SOCK_AddToFdSets(&fdread, &fdwrite);
    if (usec < 0)
        usec = 0;
    struct timeval tv = {usec / 1000000, usec % 1000000};
    int ready = select(n < FD_SETSIZE ? n : FD_SETSIZE, &fdread, &fdwrite, NULL, &tv);
    if (ready < 0 && errno != EINTR) {
        fprintf(stderr, "conn: socket error: ");
        perror(NULL);
    } else if (ready >= 0) {
        /* Also with nothing ready (empty sets): only the close pass then acts, which closes a
         * listening socket whose close was requested; it never turns ready by itself. */
        SOCK_ProcessFdSets(&fdread, &fdwrite);
    }
    dispatch_lines();
    return 0;
}

int CONN_Drain(long max_usec) {
    struct timeval start, now;
    gettimeofday(&start, NULL);
    for (;;) {
        fd_set fdread, fdwrite;
        FD_ZERO(&fdread);
        FD_ZERO(&fdwrite);
        int n = SOCK_AddToFdSets(&fdread, &fdwrite);
        bool pending = false;
        for (int fd = 0; fd < n && fd < FD_SETSIZE && !pending; fd++)
            pending = FD_ISSET(fd, &fdwrite);
        if (!pending)
            return 0;
        gettimeofday(&now, NULL);
        long spent = (now.tv_sec - start.tv_sec) * 1000000L + (now.tv_usec - start.tv_usec);
        if (spent >= max_usec)
            return -1;
        CONN_PollTimeout(1000);
    }
}

unsigned int CONN_ReadSocket(int fd, char *buf, unsigned int len) {
    const char *lf = (const char *)memchr(buf, '\n', len);
    unsigned int n = lf ? (unsigned int)(lf - buf) + 1 : 0;
    if ((!lf && len >= CONN_MAX_LINE) || n > CONN_MAX_LINE) {
        fprintf(stderr,
                "conn: line longer than %u bytes on descriptor %d; closing the connection\n",
                CONN_MAX_LINE, fd);
        SOCK_Close(fd);
        return len;
    }
    if (!lf)
        return 0;
    if (memchr(buf, '\0', n)) {
        fprintf(stderr, "conn: dropped a line holding a zero byte on descriptor %d\n", fd);
        return n;
    }
    CONN_ConnInfo *ci = conn_by_fd(fd);
    if (ci)
        queue_line(fd, ci->serial, buf, n);
    return n;
}

void CONN_WriteSocketComplete(int fd, char *buf, unsigned int count) {
    (void)fd;
    (void)count;
    free(buf);
}

static void socket_closed(CONN_ConnInfo *ci) {
    int waited_on = ci->status == CONN_BLOCKING || ci->busy > 0;
    if (conn_lose(ci))
        return; /* a callback disconnected it */
    /* Accepted records go at once unless a blocking call waits on them; that call releases it. */
    if (ci->accepted && !waited_on && !ci->busy)
        CONN_FreeConnInfo(ci);
}

void CONN_StatusSocket(int fd, int error) {
    CONN_ConnInfo *ci = conn_by_fd(fd);
    if (error != 0) {
        if (ci)
            socket_closed(ci);
        return;
    }
    if (ci) {
        ci->status = CONN_DONE;
        ci->busy++;
        conn_run_callbacks(connect_cbk_list, fd);
        conn_unpin(ci);
        return;
    }
    ci = CONN_AllocConnInfo(-1, fd);
    if (!ci) {
        SOCK_Close(fd);
        return;
    }
    ci->accepted = 1;
    ci->status = CONN_DONE;
}

/* Polls until the state of ci leaves CONN_BLOCKING, or gives the connection up when the time-out
 * passes first (what names the wait in the message). ci stays allocated meanwhile. Returns 1 when
 * ci was released during the wait (it is then freed). The readiness wait returns as soon as any
 * socket is ready, so waiting on it longer than CONN_Poll's microsecond loses no time and spares
 * the processor a busy loop (and the timer slack of many tiny sleeps). */
static int wait_for_change(CONN_ConnInfo *ci, const char *what) {
    ci->status = CONN_BLOCKING;
    ci->busy++;
    long limit = CONN_GetTimeout();
    long long deadline = limit > 0 ? conn_now_ms() + limit : 0;
    while (ci->status == CONN_BLOCKING) {
        long usec = CONN_WAIT_USEC;
        if (deadline) {
            long long left = deadline - conn_now_ms();
            if (left <= 0) {
                char why[160];
                snprintf(why, sizeof why, "%.80s: no answer within %ld ms", what, limit);
                conn_give_up(ci, why);
                break;
            }
            if (left * 1000 < usec)
                usec = (long)left * 1000;
        }
        CONN_PollTimeout(usec);
    }
    return conn_unpin(ci);
}

typedef int (*open_socket_fn)(const char *where, int port);

static int open_tcp(const char *host, int port) {
    return SOCK_Connect(host, (unsigned short)port, CONN_ReadSocket, CONN_WriteSocketComplete,
                        CONN_StatusSocket);
}

static int open_unix(const char *path, int port) {
    (void)port;
    return SOCK_UnixConnect(path, CONN_ReadSocket, CONN_WriteSocketComplete, CONN_StatusSocket);
}

static int connect_with(long id, const char *where, int port, int block, CONN_ConnInfo **conn_info,
                        open_socket_fn open_socket) {
    *conn_info = NULL;
    if (!conn_conn_id_table)
        return CONN_ERR_NOT_INITIALIZED;
    CONN_ConnInfo *ci;
    if (id >= 0 && CONN_IDtoConnInfo(id, &ci) == 0) {
        *conn_info = ci;
        return CONN_ERR_ALREADY_CONNECTED;
    }
    int fd = open_socket(where, port);
    if (fd < 0)
        return CONN_ERR_LOST;
    ci = CONN_AllocConnInfo(id, fd);
    if (!ci) {
        SOCK_Close(fd);
        return CONN_ERR_NO_MEMORY;
    }
    if (!block) {
        ci->status = CONN_CONNECTING;
        *conn_info = ci;
        return 0;
    }
    if (wait_for_change(ci, "connect"))
        return CONN_ERR_LOST;
    if (ci->status == CONN_ERROR) {
        int error = ci->error;
        CONN_Disconnect(ci); /* closes the socket unless it is already gone */
        return error;
    }
    *conn_info = ci;
    return 0;
}

int CONN_Connect(long id, const char *hostname, int port, int block, CONN_ConnInfo **conn_info) {
    return connect_with(id, hostname, port, block, conn_info, open_tcp);
}

int CONN_UnixConnect(long id, const char *pathname, int block, CONN_ConnInfo **conn_info) {
    return connect_with(id, pathname, 0, block, conn_info, open_unix);
}

/* Queues the "<id>:" prefix for ids of 0 and more: 0, -11, or -6 when the socket refuses it. */
static int queue_prefix(CONN_ConnInfo *conn_info) {
    if (conn_info->id < 0)
        return 0;
    int len = snprintf(NULL, 0, "%ld:", conn_info->id);
    char *prefix = (char *)malloc((size_t)len + 1);
    if (!prefix)
        return CONN_ERR_NO_MEMORY;
    snprintf(prefix, (size_t)len + 1, "%ld:", conn_info->id);
    if (SOCK_Write(conn_info->fd, prefix, (unsigned int)len) < 0) {
        free(prefix);
        return CONN_ERR_LOST;
    }
    return 0;
}

/* Queues the prefix and the request; 0, -11 (nothing was queued) or -6 (the socket refused it,
 * the connection is being closed). data is queued or released. */
static int queue_request(CONN_ConnInfo *ci, char *data, unsigned int len) {
    int rc = queue_prefix(ci);
    if (rc == 0 && SOCK_Write(ci->fd, data, len) < 0)
        rc = CONN_ERR_LOST;
    else if (rc == 0)
        data = NULL; /* the socket layer hands it back through CONN_WriteSocketComplete */
    free(data);
    return rc;
}

/* Writes what is queued on ci now instead of first asking select whether the socket is writable
 * (the write does not block; a full socket is simply tried again). Returns 1 when ci was
 * released meanwhile. */
static int write_now(CONN_ConnInfo *ci) {
    fd_set fdread, fdwrite;
    FD_ZERO(&fdread);
    FD_ZERO(&fdwrite);
    if (ci->fd < FD_SETSIZE)
        FD_SET(ci->fd, &fdwrite);
    ci->busy++;
    SOCK_ProcessFdSets(&fdread, &fdwrite);
    return conn_unpin(ci);
}

/* Ends a send whose connection is gone: releases the record unless a callback already did. */
static int lost_send(CONN_ConnInfo *ci, int released) {
    if (!released)
        CONN_FreeConnInfo(ci);
    return CONN_ERR_LOST;
}

int CONN_SendToConnection(CONN_ConnInfo *conn_info, char *data, unsigned int len, int block) {
    CONN_ConnInfo *ci = conn_info;
    if (!ci || ci->lost) {
        free(data);
        return ci ? CONN_ERR_LOST : CONN_ERR_NO_CONNECTION;
    }
    /* An "Error" answer to an earlier request sent without waiting has been seen by the handlers;
     * the connection is usable again. */
    if (ci->status == CONN_ERROR) {
        ci->status = CONN_DONE;
        ci->error = 0;
    }
    FATAL_ASSERT(conn_info->status == CONN_DONE);
    unsigned long seq;
    int rc = conn_track(ci, data, len, &seq);
    if (rc != 0) {
        free(data);
        if (rc == CONN_ERR_LOST)
            return lost_send(ci, conn_give_up(ci, "too many requests await an answer"));
        return rc;
    }
    rc = queue_request(ci, data, len);
    if (rc != 0) {
        conn_untrack(ci, seq); /* never sent: the caller gets its result from this call */
        if (rc == CONN_ERR_LOST)
            return lost_send(ci, conn_lose(ci));
        return rc;
    }
    if (!block)
        return 0;
    if (write_now(ci))
        return CONN_ERR_LOST;
    if (!ci->lost) {
        ci->wait_seq = seq;
        char what[96];
        snprintf(what, sizeof what, "request \"%.60s\"", conn_request_word(ci, seq));
        if (wait_for_change(ci, what))
            return CONN_ERR_LOST;
    }
    if (ci->lost)
        return lost_send(ci, 0);
    if (ci->status == CONN_ERROR) {
        int code = ci->error;
        ci->error = 0;
        ci->status = CONN_DONE;
        return code;
    }
    return 0;
}
