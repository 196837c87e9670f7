/* Socket layer: records, listening, writing and closing requests. */
#include "socket_internal.h"

#include "fatal.h"

#include <errno.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

struct socket *first_sock = NULL;
struct socket *last_sock = NULL;
int sock_cycle_depth = 0;
static int SOCK_Initialized = 0;
static unsigned long output_limit = SOCK_MAX_OUTPUT;
static long long accept_resume_ms = 0;
static int short_of_descriptors = 0; /* reported once until an accept succeeds again */

void SOCK_Initialize(void) {
    if (SOCK_Initialized)
        return;
    first_sock = last_sock = NULL;
    SOCK_Initialized = 1;
}

struct socket *sock_find(int fd) {
    if (fd < 0)
        return NULL;
    for (struct socket *sp = first_sock; sp; sp = sp->next)
        if (sp->fd == fd && !(sp->status & SOCK_DEAD))
            return sp;
    return NULL;
}

const struct socket *SOCK_Find(int fd) { return sock_find(fd); }

struct socket *sock_new(SOCK_read_callback read_func, SOCK_write_callback write_func,
                        SOCK_status_callback status_func) {
    if (!read_func)
        return NULL;
    struct socket *sp = (struct socket *)calloc(1, sizeof(struct socket));
    if (!sp)
        return NULL;
    sp->fd = -1;
    sp->read_func = read_func;
    sp->write_func = write_func;
    sp->status_func = status_func;
    return sp;
}

void sock_link(struct socket *sp) {
    sp->prev = last_sock;
    sp->next = NULL;
    if (last_sock)
        last_sock->next = sp;
    else
        first_sock = sp;
    last_sock = sp;
}

void set_sock_opts(int fd) {
    int on = 1;
    (void)fcntl(fd, F_SETFL, O_NONBLOCK);
    (void)setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    (void)setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
}

int sock_fd_out_of_range(int fd) {
    if (fd < FD_SETSIZE)
        return 0;
    fprintf(stderr, "sock: descriptor %d is beyond the select limit %d; socket refused\n", fd,
            FD_SETSIZE);
    close(fd);
    return 1;
}

static int inet_accept(struct socket *sp) {
    struct sockaddr_in addr;
    socklen_t len = sizeof addr;
    return accept(sp->fd, (struct sockaddr *)&addr, &len);
}

static int unix_accept(struct socket *sp) {
    struct sockaddr_un addr;
    socklen_t len = sizeof addr;
    return accept(sp->fd, (struct sockaddr *)&addr, &len);
}

/* Opens, binds and listens; on success the record is linked and its descriptor returned. */
static int listen_on(struct socket *sp, int family, const struct sockaddr *addr, socklen_t len) {
    int fd = socket(family, SOCK_STREAM, 0);
    if (fd < 0 || sock_fd_out_of_range(fd)) {
        free(sp);
        return -1;
    }
    set_sock_opts(fd);
    if (bind(fd, addr, len) < 0 || listen(fd, 5) < 0) {
        close(fd);
        free(sp);
        return -1;
    }
    sp->fd = fd;
    sock_link(sp);
    return fd;
}

int SOCK_Listen(int num_conn, unsigned short local_port, SOCK_read_callback read_func,
                SOCK_write_callback write_func, SOCK_status_callback status_func) {
    return SOCK_ListenAddress(num_conn, NULL, local_port, read_func, write_func, status_func);
}

/* The IPv4 address of a numeric text or a host name, in network byte order; 0 and -1 when it
 * does not resolve. */
static int resolve_ipv4(const char *name, struct in_addr *out) {
    if (inet_pton(AF_INET, name, out) == 1)
        return 0;
    struct addrinfo hints, *found = NULL;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(name, NULL, &hints, &found) != 0 || !found)
        return -1;
    *out = ((struct sockaddr_in *)found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 0;
}

int SOCK_ListenAddress(int num_conn, const char *address, unsigned short local_port,
                       SOCK_read_callback read_func, SOCK_write_callback write_func,
                       SOCK_status_callback status_func) {
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(local_port);
    if (address && resolve_ipv4(address, &addr.sin_addr) != 0) {
        fprintf(stderr, "sock: cannot listen on %s: no such address\n", address);
        return -1;
    }
    if (num_conn < 1)
        return -1;
    struct socket *sp = sock_new(read_func, write_func, status_func);
    if (!sp)
        return -1;
    sp->conn_count = num_conn;
    sp->status = SOCK_LISTENING;
    sp->accept_fn = inet_accept;
    return listen_on(sp, AF_INET, (struct sockaddr *)&addr, sizeof addr);
}

/* Removes a socket file left behind by an earlier listener. Other files are kept: removing a
 * regular file because its name was given as a socket path would lose data. */
static void remove_stale_socket(const char *path) {
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path);
}

int SOCK_UnixListen(int num_conn, const char *pathname, SOCK_read_callback read_func,
                    SOCK_write_callback write_func, SOCK_status_callback status_func) {
    if (num_conn < 1 || !pathname)
        return -1;
    struct socket *sp = sock_new(read_func, write_func, status_func);
    if (!sp)
        return -1;
    sp->conn_count = num_conn;
    sp->status = SOCK_LISTENING;
    sp->accept_fn = unix_accept;
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, pathname, sizeof addr.sun_path - 1);
    remove_stale_socket(addr.sun_path);
    socklen_t len = (socklen_t)(strlen(addr.sun_path) + 2);
    return listen_on(sp, AF_UNIX, (struct sockaddr *)&addr, len);
}

void SOCK_Close(int fd) {
    struct socket *sp = sock_find(fd);
    FATAL_ASSERT(sp);
    if (!(sp->status & SOCK_CLOSING))
        sp->close_deadline = sock_now_ms() + SOCK_CLOSE_LINGER_MS;
    sp->status |= SOCK_CLOSING;
    /* A read callback closing its own socket still holds the input: the read loop drops it. */
    if (sp->reading)
        return;
    free(sp->in.buffer);
    sp->in.buffer = NULL;
    sp->in.count = 0;
}

int SOCK_Write(int fd, char *data, unsigned int count) {
    struct socket *sp = sock_find(fd);
    FATAL_ASSERT(sp);
    if (sp->status & (SOCK_LISTENING | SOCK_CLOSING))
        return -1;
    if (count > output_limit || sp->out_bytes > output_limit - count) {
        fprintf(stderr,
                "sock: more than %lu bytes of output wait on descriptor %d (the peer does not "
                "read); closing the connection\n",
                output_limit, fd);
        sock_abort(sp, ENOBUFS);
        return -1;
    }
    out_buffer *obp = (out_buffer *)malloc(sizeof(out_buffer));
    FATAL_ASSERT(obp);
    obp->buffer = data;
    obp->count = count;
    obp->count_done = 0;
    obp->next = NULL;
    if (sp->last_out)
        sp->last_out->next = obp;
    else
        sp->first_out = obp;
    sp->last_out = obp;
    sp->out_bytes += count;
    return 0;
}

unsigned long SOCK_SetOutputLimit(unsigned long bytes) {
    unsigned long old = output_limit;
    output_limit = bytes ? bytes : SOCK_MAX_OUTPUT;
    return old;
}

void sock_drop_output(struct socket *sp) {
    while (sp->first_out) {
        out_buffer *obp = sp->first_out;
        sp->first_out = obp->next;
        if (!sp->first_out)
            sp->last_out = NULL;
        sp->out_bytes -= obp->count;
        if (sp->write_func)
            sp->write_func(sp->fd, obp->buffer, 0);
        free(obp);
    }
}

void sock_abort(struct socket *sp, int error) {
    if (sp->status & SOCK_CLOSING && sp->status & SOCK_ABORTED)
        return;
    sp->status |= SOCK_CLOSING | SOCK_ABORTED;
    sp->abort_error = error;
    sock_drop_output(sp);
    if (!sp->reading) {
        free(sp->in.buffer);
        sp->in.buffer = NULL;
        sp->in.count = 0;
    }
}

void SOCK_Abort(int fd) {
    struct socket *sp = sock_find(fd);
    if (sp && !(sp->status & (SOCK_DYING | SOCK_DEAD)))
        sock_abort(sp, ECONNABORTED);
}

long long sock_now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

int sock_accept_paused(void) {
    if (accept_resume_ms == 0)
        return 0;
    if (sock_now_ms() < accept_resume_ms)
        return 1;
    accept_resume_ms = 0;
    return 0;
}

void sock_accepted(void) { short_of_descriptors = 0; }

void sock_pause_accepting(int err) {
    if (!short_of_descriptors)
        fprintf(stderr, "sock: cannot accept a connection (%s); pausing accepts for %ld ms\n",
                strerror(err), SOCK_ACCEPT_PAUSE_MS);
    short_of_descriptors = 1;
    accept_resume_ms = sock_now_ms() + SOCK_ACCEPT_PAUSE_MS;
}

int SOCK_AddToFdSets(fd_set *fdread, fd_set *fdwrite) {
    int max_fd = 0;
    int paused = sock_accept_paused();
    for (struct socket *sp = first_sock; sp; sp = sp->next) {
        if (sp->status & (SOCK_DYING | SOCK_DEAD) || sp->fd >= FD_SETSIZE)
            continue;
        if (!(sp->status & SOCK_CONNECTING) && !(paused && sp->status & SOCK_LISTENING))
            FD_SET(sp->fd, fdread);
        if (sp->first_out || sp->status & (SOCK_CLOSING | SOCK_CONNECTING))
            FD_SET(sp->fd, fdwrite);
        if (sp->fd > max_fd)
            max_fd = sp->fd;
    }
    return max_fd + 1;
}
