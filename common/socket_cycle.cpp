/* Socket layer: the processing cycle (write, connect/accept, read and close passes) and closing. */
#include "socket_internal.h"

#include "fatal.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#define READ_CHUNK 1024
/* Buffers gathered into one write call. */
#define WRITE_GATHER 64

/* Records being closed or already closed take no further part in a cycle. */
static int gone(const struct socket *sp) { return sp->status & (SOCK_DYING | SOCK_DEAD); }

static int would_block(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

void close_sp(struct socket *sp, int error) {
    int fd = sp->fd;
    sp->status |= SOCK_CLOSING | SOCK_DYING;
    sock_drop_output(sp);
    if (!sp->reading) { /* else the read callback still holds it; the read loop drops it */
        free(sp->in.buffer);
        sp->in.buffer = NULL;
        sp->in.count = 0;
    }
    /* The descriptor stays open while the status callback runs, so a socket the callback opens
     * cannot get the same number while this record can still be found by it. */
    if (sp->status_func)
        sp->status_func(fd, error);
    close(fd);
    sp->fd = -1;
    sp->status |= SOCK_DEAD;
}

void sock_sweep(void) {
    struct socket *sp = first_sock;
    while (sp) {
        struct socket *next = sp->next;
        if (sp->status & SOCK_DEAD) {
            if (sp->prev)
                sp->prev->next = sp->next;
            else
                first_sock = sp->next;
            if (sp->next)
                sp->next->prev = sp->prev;
            else
                last_sock = sp->prev;
            free(sp);
        }
        sp = next;
    }
}

/* The socket's pending error: 0, or the error to close with (the query's own errno if it fails). */
static int pending_error(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
        return errno;
    return err;
}

/* Takes the head buffer off the queue and hands it back with what was written of it. */
static void complete_head(struct socket *sp) {
    out_buffer *obp = sp->first_out;
    sp->first_out = obp->next;
    if (!sp->first_out)
        sp->last_out = NULL;
    sp->out_bytes -= obp->count;
    if (sp->write_func)
        sp->write_func(sp->fd, obp->buffer, obp->count_done);
    free(obp);
}

/* One write call for the queue: the rest of the head buffer and the buffers behind it, gathered
 * without copying, so a prefix and its line leave together. Returns 0 or the errno of a failure. */
static int write_queue(struct socket *sp) {
    struct iovec iov[WRITE_GATHER];
    int n = 0;
    for (out_buffer *obp = sp->first_out; obp && n < WRITE_GATHER; obp = obp->next, n++) {
        iov[n].iov_base = obp->buffer + obp->count_done;
        iov[n].iov_len = obp->count - obp->count_done;
    }
    struct msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_iov = iov;
    msg.msg_iovlen = (size_t)n;
    /* No signal for a peer that went away, and no waiting on a full outgoing socket. */
    ssize_t done = sendmsg(sp->fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    int err = 0;
    if (done < 0) {
        err = would_block(errno) ? 0 : errno;
        done = 0;
    }
    size_t left = (size_t)done;
    while (sp->first_out && !gone(sp)) {
        out_buffer *obp = sp->first_out;
        size_t rest = obp->count - obp->count_done;
        size_t take = left < rest ? left : rest;
        obp->count_done += (unsigned int)take;
        left -= take;
        if (obp->count_done < obp->count && !err)
            break;
        complete_head(sp);
        if (err)
            break;
    }
    return err;
}

static void write_pass(fd_set *fdwrite) {
    for (struct socket *sp = first_sock, *next; sp; sp = next) {
        next = sp->next;
        if (gone(sp) || !FD_ISSET(sp->fd, fdwrite) || sp->status & SOCK_CONNECTING ||
            !sp->first_out)
            continue;
        /* A pending socket error comes back from the write call itself, so it is not queried
         * separately (one system call less per request). */
        int err = write_queue(sp);
        if (err && !gone(sp))
            close_sp(sp, err);
    }
}

static void confirm_connect(struct socket *sp) {
    int err = pending_error(sp->fd);
    if (err) {
        close_sp(sp, err);
        return;
    }
    /* A close requested meanwhile wins: the socket is closed in the close pass, unreported. */
    if (sp->status & SOCK_CLOSING) {
        sp->status = SOCK_CONNECTED | SOCK_CLOSING | (sp->status & SOCK_ABORTED);
        return;
    }
    sp->status = SOCK_CONNECTED;
    if (sp->status_func)
        sp->status_func(sp->fd, 0);
}

static int transient_accept_error(int err) {
    return would_block(err) || err == ECONNABORTED || err == EPROTO || err == ENOBUFS ||
           err == ENOMEM;
}

static int out_of_descriptors(int err) { return err == EMFILE || err == ENFILE; }

static void accept_one(struct socket *sp) {
    struct socket *nsp = sock_new(sp->read_func, sp->write_func, sp->status_func);
    FATAL_ASSERT(nsp);
    nsp->conn_count = 1;
    nsp->status = SOCK_CONNECTED;
    int fd = sp->accept_fn(sp);
    if (fd < 0) {
        int err = errno;
        free(nsp);
        /* A peer that gave up before the accept, or a passing shortage, leaves the listener up.
         * Without descriptors the pending connection keeps the listener ready: rest a little
         * instead of spinning; connections already open go on being served meanwhile. */
        if (out_of_descriptors(err))
            sock_pause_accepting(err);
        else if (!transient_accept_error(err))
            close_sp(sp, err);
        return;
    }
    sock_accepted();
    if (sock_fd_out_of_range(fd)) {
        free(nsp);
        return;
    }
    set_sock_opts(fd);
    nsp->fd = fd;
    sock_link(nsp);
    if (nsp->status_func)
        nsp->status_func(fd, 0);
}

static void connect_accept_pass(fd_set *fdread, fd_set *fdwrite) {
    for (struct socket *sp = first_sock, *next; sp; sp = next) {
        next = sp->next;
        if (gone(sp))
            continue;
        if (sp->status & SOCK_CONNECTING && FD_ISSET(sp->fd, fdwrite))
            confirm_connect(sp);
        if (!gone(sp) && sp->status & SOCK_LISTENING && FD_ISSET(sp->fd, fdread))
            accept_one(sp);
    }
}

/* Hands pending input to the read callback until it consumes nothing or all is consumed. */
static void consume_input(struct socket *sp) {
    unsigned int used = 1;
    sp->reading = 1;
    while (used > 0 && sp->in.count > 0) {
        used = sp->read_func(sp->fd, sp->in.buffer, sp->in.count);
        /* A close requested by the callback drops the rest of the input, as SOCK_Close does. */
        if (sp->status & SOCK_CLOSING)
            used = sp->in.count;
        if (used == sp->in.count || used > sp->in.count) {
            if (used > sp->in.count)
                fprintf(stderr, "Error: Read callback value too large.\n");
            free(sp->in.buffer);
            sp->in.buffer = NULL;
            sp->in.count = 0;
            break;
        }
        if (used > 0) {
            memmove(sp->in.buffer, sp->in.buffer + used, sp->in.count - used);
            sp->in.count -= used;
        }
    }
    sp->reading = 0;
}

static void read_one(struct socket *sp) {
    char *grown = (char *)realloc(sp->in.buffer, (size_t)sp->in.count + READ_CHUNK);
    FATAL_ASSERT(grown);
    sp->in.buffer = grown;
    ssize_t n = recv(sp->fd, sp->in.buffer + sp->in.count, READ_CHUNK, MSG_DONTWAIT);
    int err = errno;
    if (n < 0 && would_block(err)) {
        if (sp->in.count == 0) {
            free(sp->in.buffer);
            sp->in.buffer = NULL;
        }
        return;
    }
    if (n <= 0) {
        close_sp(sp, n == 0 ? -1 : err);
        return;
    }
    if (sp->status & SOCK_CLOSING) {
        free(sp->in.buffer);
        sp->in.buffer = NULL;
        sp->in.count = 0;
        return;
    }
    sp->in.count += (unsigned int)n;
    consume_input(sp);
}

static void read_pass(fd_set *fdread) {
    for (struct socket *sp = first_sock, *next; sp; sp = next) {
        next = sp->next;
        /* A socket whose read callback is running (a nested cycle) is read when it returns. */
        if (gone(sp) || sp->reading || !(sp->status & SOCK_CONNECTED) || !FD_ISSET(sp->fd, fdread))
            continue;
        read_one(sp);
    }
}

static void close_pass(void) {
    long long now = -1;
    for (struct socket *sp = first_sock, *next; sp; sp = next) {
        next = sp->next;
        if (gone(sp) || !(sp->status & SOCK_CLOSING))
            continue;
        if (sp->status & SOCK_ABORTED) {
            close_sp(sp, sp->abort_error);
            continue;
        }
        if (sp->status & (SOCK_LISTENING | SOCK_CONNECTING) || !sp->first_out) {
            close_sp(sp, -1);
            continue;
        }
        if (now < 0)
            now = sock_now_ms();
        if (now >= sp->close_deadline) {
            fprintf(stderr,
                    "sock: descriptor %d closed with %lu bytes unwritten (the peer does "
                    "not read)\n",
                    sp->fd, sp->out_bytes);
            close_sp(sp, ETIMEDOUT);
        }
    }
}

void SOCK_ProcessFdSets(fd_set *fdread, fd_set *fdwrite) {
    sock_cycle_depth++;
    write_pass(fdwrite);
    connect_accept_pass(fdread, fdwrite);
    read_pass(fdread);
    close_pass();
    if (--sock_cycle_depth == 0)
        sock_sweep();
}
