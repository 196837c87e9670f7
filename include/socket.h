/* Socket layer: every TCP and Unix-domain stream socket of the process.
 *
 * One record per socket lives in a process-wide list in creation order. Output is queued without
 * copying the caller's bytes; input is collected until the read callback consumes it. The layer
 * never waits itself: its user fills fd sets with SOCK_AddToFdSets, waits with select and hands
 * the ready sets to SOCK_ProcessFdSets for one processing cycle.
 *
 * Errors: operations that create sockets return the descriptor or -1 (nothing is left behind);
 * SOCK_Write returns 0 or -1. Closes are reported through the status callback. An unknown
 * descriptor given to SOCK_Close or SOCK_Write, and out of memory for the layer's own records,
 * are fatal assertions ("sp", "obp", "nsp", "sp->in.buffer"). Descriptors that select cannot
 * wait on (FD_SETSIZE and above) are refused: the socket is closed and the request fails.
 *
 * Re-entrancy: callbacks may call back into the layer, including a nested processing cycle.
 * A closed record is released only when the outermost cycle ends, so no pass ever walks a
 * released record; while a socket's read callback runs, nested cycles do not read that socket. */
#ifndef ROVAK_SOCKET_H
#define ROVAK_SOCKET_H

#include <stdint.h>
#include <sys/select.h>

/* Most bytes one socket may hold queued for writing (SOCK_SetOutputLimit changes it). A write
 * that would pass it means the peer has stopped reading: the queue is dropped, the write refused
 * and the socket closed (reported with ENOBUFS), so no peer can make the process grow. */
#define SOCK_MAX_OUTPUT (4UL * 1024UL * 1024UL)
/* How long a socket whose close was requested may keep trying to write its queued output before
 * it is closed anyway, in milliseconds (a peer that never reads would otherwise keep it open). */
#define SOCK_CLOSE_LINGER_MS 10000L
/* How long listening sockets rest after accept failed for lack of descriptors, in milliseconds:
 * the pending connection keeps the listener ready, so retrying at once would spin. */
#define SOCK_ACCEPT_PAUSE_MS 100L

#ifdef __cplusplus
extern "C" {
#endif

/* State bits of struct socket's status. */
#define SOCK_CLOSING 1    /* close requested: no more writes, incoming data dropped */
#define SOCK_CONNECTED 2  /* data can flow */
#define SOCK_CONNECTING 4 /* outgoing connect issued, not yet confirmed */
#define SOCK_LISTENING 8  /* listening socket */

/* Consumes complete messages from the start of buffer; returns the bytes consumed (0: no complete
 * message yet). Must not return more than count. */
typedef unsigned int (*SOCK_read_callback)(int fd, char *buffer, unsigned int count);
/* Hands back a buffer given to SOCK_Write; count is the bytes written (0 when dropped). */
typedef void (*SOCK_write_callback)(int fd, char *buffer, unsigned int count);
/* error 0: fd is connected (connect confirmed, or newly accepted). Otherwise fd was closed and its
 * record is gone: -1 without a system error, a positive value is the errno that caused it. */
typedef void (*SOCK_status_callback)(int fd, int error);

typedef struct in_buffer {
    char *buffer;       /* heap bytes, null when nothing is pending */
    unsigned int count; /* pending bytes */
} in_buffer;

typedef struct out_buffer {
    char *buffer;            /* the caller's bytes, not copied */
    unsigned int count;      /* bytes to write */
    unsigned int count_done; /* bytes written so far */
    struct out_buffer *next;
} out_buffer;

/* One socket. Referred to as "struct socket" (the plain name is the system call). */
struct socket {
    int fd;         /* the descriptor; -1 once it has been closed */
    int conn_count; /* connections the socket was opened for; stored only */
    in_buffer in;
    out_buffer *first_out;
    out_buffer *last_out;
    SOCK_read_callback read_func;
    SOCK_write_callback write_func;
    SOCK_status_callback status_func;
    int (*accept_fn)(struct socket *sp); /* listening sockets only */
    int status;                          /* SOCK_ bits, plus the layer's private bits */
    struct socket *prev;
    struct socket *next;
    int reading;              /* the read callback loop of this socket is running */
    unsigned long out_bytes;  /* bytes queued and not yet written */
    int abort_error;          /* errno reported by an abortive close */
    long long close_deadline; /* monotonic milliseconds after which a closing socket is closed
                                 even with output left (0 while no close is requested) */
};

/* Empties the socket list, once; later calls do nothing. */
void SOCK_Initialize(void);

/* TCP listening socket on all local addresses at local_port; num_conn must be at least 1 and
 * read_func must be given. Returns the descriptor or -1. */
int SOCK_Listen(int num_conn, unsigned short local_port, SOCK_read_callback read_func,
                SOCK_write_callback write_func, SOCK_status_callback status_func);
/* As SOCK_Listen, on one local IPv4 address only: a dotted quad or a host name (null: every
 * address). An address that does not resolve is reported on standard error and gives -1. */
int SOCK_ListenAddress(int num_conn, const char *address, unsigned short local_port,
                       SOCK_read_callback read_func, SOCK_write_callback write_func,
                       SOCK_status_callback status_func);
/* Unix-domain listening socket bound to pathname (cut to 107 characters). A stale socket file at
 * the path is removed first; any other kind of file is left alone and the bind fails. */
int SOCK_UnixListen(int num_conn, const char *pathname, SOCK_read_callback read_func,
                    SOCK_write_callback write_func, SOCK_status_callback status_func);
/* Outgoing TCP connection to machine_name (host name, dotted quad or "0x" hex) at remote_port.
 * Prints "Error finding host entry for %s (%d)" when the name does not resolve. The connect is
 * confirmed through the status callback in a later cycle. Returns the descriptor or -1. */
int SOCK_Connect(const char *machine_name, unsigned short remote_port, SOCK_read_callback read_func,
                 SOCK_write_callback write_func, SOCK_status_callback status_func);
/* Outgoing Unix-domain connection to pathname (at most 107 characters). */
int SOCK_UnixConnect(const char *pathname, SOCK_read_callback read_func,
                     SOCK_write_callback write_func, SOCK_status_callback status_func);

/* Requests the close of fd: pending input is dropped at once, queued output is still written,
 * and the socket is closed in a later cycle. A close requested before an outgoing connect is
 * confirmed wins over the confirmation: such a socket never reports itself connected. */
void SOCK_Close(int fd);
/* Closes fd without writing what is queued: the queue is handed back at once (count 0), and the
 * socket is closed, and reported with ECONNABORTED, in the next cycle. For peers that are given up
 * on (no answer in time); a no-op for an unknown or already closing descriptor. */
void SOCK_Abort(int fd);
/* Queues count bytes at data on fd without copying; 0, or -1 for a listening or closing socket
 * (data stays the caller's). Nothing is written before the next cycle. A write that would take
 * the socket's queue past the output limit is refused (-1) and the socket is closed as above
 * after a message on standard error. */
int SOCK_Write(int fd, char *data, unsigned int count);
/* Sets the output limit of every socket (0: back to SOCK_MAX_OUTPUT); returns the old limit. */
unsigned long SOCK_SetOutputLimit(unsigned long bytes);

/* Adds sockets to the sets (not cleared first): fdread gets every socket that is not connecting
 * (listening sockets not while accepting rests after a shortage of descriptors);
 * fdwrite every socket with queued output, closing or connecting. Returns the highest descriptor
 * plus one (1 with no socket). */
int SOCK_AddToFdSets(fd_set *fdread, fd_set *fdwrite);
/* One processing cycle over the ready sets: write, connect/accept, read and close passes. */
void SOCK_ProcessFdSets(fd_set *fdread, fd_set *fdwrite);

/* The live record of fd, or null; for inspection only. */
const struct socket *SOCK_Find(int fd);

/* Reads a numeric IPv4 address: "0x" and up to 8 hex digits, or a.b.c.d with each part 0..255.
 * Returns it in network byte order, or (uint32_t)-1 when the text is not such an address. */
uint32_t convertaddr(const char *text);

#ifdef __cplusplus
}
#endif

#endif
