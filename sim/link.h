/* Server side of the line protocol: listening endpoints, one session per accepted connection,
 * line framing, dispatch through the command table, and the answer path with its faults
 * (dropped connections, error answers, held answers, extra lines).
 *
 * Sessions are found by socket descriptor; the endpoint that accepted a connection decides
 * whether it talks to the scheduler (robot 0) or to a robot. Lines are queued by the socket
 * layer's read callback and dispatched after the poll, so a handler never runs inside the
 * socket cycle. "Done" and "Error" lines from peers acknowledge our own lines and are never
 * answered (answering them would start an endless exchange).
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
};

struct LINK_Session {
    int fd;
    unsigned long serial;
    int robot;     /* 0: scheduler endpoint; otherwise the robot id */
    long requests; /* request lines received */
    long answers;  /* answers sent or held */
    bool closing;  /* close requested: nothing more is sent */
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
/* Dispatches the queued lines; wall_ms is the wall clock for held answers. */
void LINK_Dispatch(double wall_ms);
/* Sends the held answers that are due. */
void LINK_Flush(double wall_ms);
/* Wall time of the earliest held answer, or a negative value when none is held. */
double LINK_NextDue(void);
/* Queues text (complete lines) on the session unless it is closing. */
void LINK_Send(LINK_Session *s, const std::string &text);
/* Requests the close of the session's connection (queued output is still written). */
void LINK_Close(LINK_Session *s);

/* Releases every session record at exit (the sockets close with the process). */
void LINK_Shutdown(void);

#endif
