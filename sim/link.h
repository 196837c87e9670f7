/* Server side of the line protocol: listening endpoints, one session per accepted connection,
 * line framing, the poll, dispatch through the command table, and the answer path with its
 * faults (dropped connections, error answers, held answers, split acknowledgements, silent and
 * flooded connections, extra lines).
 *
 * Sessions are found by socket descriptor; the endpoint that accepted a connection decides
 * whether it talks to the scheduler (robot 0) or to a robot. Lines are queued by the socket
 * layer's read callback and dispatched after the poll, so a handler never runs inside the
 * socket cycle. "Done" and "Error" lines from peers acknowledge our own lines and are never
 * answered (answering them would start an endless exchange).
 *
 * A session whose connection closes is marked closing and released only by LINK_Reap, so a
 * session pointer stays valid through any send (a refused write may close the socket at once).
 *
 * Error convention: the listen functions return 0, or -1 when the endpoint cannot be opened. */
#ifndef ROVAK_SIM_LINK_H
#define ROVAK_SIM_LINK_H

#include <deque>
#include <string>
#include <vector>

/* Longest accepted request line, line feed included; a longer one closes the connection. */
#define LINK_MAX_LINE 65536U

struct LINK_Held {
    double due_ms; /* wall clock */
    std::string text;
    bool own_write; /* never queued in the same pass as another piece */
};

struct LINK_Session {
    int fd = -1;
    unsigned long serial = 0;
    int robot = 0;               /* 0: scheduler endpoint; otherwise the robot id */
    long requests = 0;           /* request lines received */
    long answers = 0;            /* answers sent or held */
    bool closing = false;        /* close requested or connection gone: nothing more is sent */
    bool silent = false;         /* no longer answered (logged once) */
    bool flooding = false;       /* no longer read; state lines are pushed instead */
    double last_due_ms = -1e300; /* wall time the last answer piece was due */
    std::deque<LINK_Held> held;
};

/* Listens on TCP port (0: a free one) for robot (0: scheduler); *bound gets the port. */
int LINK_ListenTcp(int port, int robot, int *bound);
/* Listens on a Unix-domain path for robot. */
int LINK_ListenUnix(const char *path, int robot);
/* The live session of fd, or null. */
LINK_Session *LINK_Find(int fd);
/* Every live session, in no particular order. */
std::vector<LINK_Session *> LINK_Sessions(void);
/* Waits up to usec microseconds for socket events and runs one socket cycle. Flooded sessions
 * are left out of the read set, so what their peers send stays in the kernel's buffers. */
void LINK_Poll(long usec);
/* Writes what the sessions have queued now, as far as their sockets take it without waiting,
 * instead of in the next poll: an answer leaves as soon as its request has been dispatched. */
void LINK_WriteNow(void);
/* Dispatches the queued lines; wall_ms is the wall clock for held answers. */
void LINK_Dispatch(double wall_ms);
/* Sends the held answers that are due. */
void LINK_Flush(double wall_ms);
/* Wall time of the earliest held answer, or a negative value when none is held. */
double LINK_NextDue(void);
/* Queues text (complete lines) on the session unless it is closing. A write the socket layer
 * refuses drops the text and leaves the session closing (its connection is lost). */
void LINK_Send(LINK_Session *s, const std::string &text);
/* Requests the close of the session's connection (queued output is still written). */
void LINK_Close(LINK_Session *s);

/* Releases the records of sessions whose connection has closed; call it where no session
 * pointer is held. */
void LINK_Reap(void);
/* Releases every session record at exit (the sockets close with the process). */
void LINK_Shutdown(void);

#endif
