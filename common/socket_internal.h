/* Shared state of the socket layer's source files (not part of the public interface). */
#ifndef ROVAK_SOCKET_INTERNAL_H
#define ROVAK_SOCKET_INTERNAL_H

#include "socket.h"

/* Private status bits: close_sp has begun (passes and fd sets skip the record, lookups still find
 * it while its status callback runs), and the descriptor is closed (the record waits for release
 * at the end of the outermost cycle). */
#define SOCK_DYING 16
#define SOCK_DEAD 32
/* Closed without writing its queue (SOCK_Abort, or the output limit): the close pass closes it at
 * once, reported with the errno kept in abort_error. */
#define SOCK_ABORTED 64

extern struct socket *first_sock;
extern struct socket *last_sock;
extern int sock_cycle_depth;

/* The live record of fd (not dead), or null. */
struct socket *sock_find(int fd);
/* A zeroed record with the three callbacks, or null when memory is short. */
struct socket *sock_new(SOCK_read_callback read_func, SOCK_write_callback write_func,
                        SOCK_status_callback status_func);
/* Appends sp to the process-wide list. */
void sock_link(struct socket *sp);
/* Non-blocking, address reuse and inline out-of-band data; results ignored. */
void set_sock_opts(int fd);
/* True (after closing fd and printing why) when fd is too high for select. */
int sock_fd_out_of_range(int fd);
/* Closes sp with error: queued buffers back with count 0, input released, status callback,
 * descriptor closed; the record is released by sock_sweep. */
void close_sp(struct socket *sp, int error);
/* Hands every queued buffer back with count 0 (nothing written). */
void sock_drop_output(struct socket *sp);
/* Requests an abortive close of sp, reported with error (a positive errno). */
void sock_abort(struct socket *sp, int error);
/* Milliseconds of the monotonic clock. */
long long sock_now_ms(void);
/* True while listening sockets rest after a shortage of descriptors. */
int sock_accept_paused(void);
/* Starts such a rest (and says so on standard error, once per shortage). */
void sock_pause_accepting(int err);
/* An accept succeeded: the next shortage is reported again. */
void sock_accepted(void);
/* Unlinks and releases every dead record; only outside processing cycles. */
void sock_sweep(void);

#endif
