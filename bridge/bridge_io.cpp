/* The bridge's standard input and output and its signals (see bridge_io.h). */
#include "bridge_io.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

static volatile sig_atomic_t received = 0;
static int wake[2] = {-1, -1}; /* the handlers write a byte here to end a poll */

static void on_signal(int sig) {
    int saved = errno;
    received = sig;
    if (wake[1] >= 0 && write(wake[1], "", 1) < 0) {
        /* the pipe is full: a wake-up is already pending */
    }
    errno = saved;
}

/* Opens /dev/null on any of descriptors 0 to 2 that is closed, so that no file the program opens
 * later (the wake-up pipe, the lock file, a socket) becomes its input or output by accident. */
static void keep_standard_descriptors(void) {
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            int null = open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                dup2(null, fd);
                close(null);
            }
        }
}

int IO_Start(void) {
    if (wake[0] >= 0)
        return 0;
    keep_standard_descriptors();
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        wake[0] = wake[1] = -1;
        return -1;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; /* no SA_RESTART: a blocked write or wait returns to notice the signal */
    static const int ending[] = {SIGINT, SIGTERM, SIGHUP};
    for (int sig : ending)
        if (sigaction(sig, &sa, NULL) != 0)
            return -1;
    sa.sa_handler = SIG_IGN;
    return sigaction(SIGPIPE, &sa, NULL);
}

int IO_Signal(void) { return received; }

void IO_Init(IO_Reader *reader, int in, int out) {
    reader->in = in;
    reader->out = out;
    reader->pos = reader->len = 0;
    reader->eof = false;
}

static void drain_wake(void) {
    char junk[64];
    while (wake[0] >= 0 && read(wake[0], junk, sizeof junk) > 0) {
    }
}

/* Empties the wake-up pipe after a poll saw it readable; the signal itself is in received. */
static void woken(short revents) {
    if (revents)
        drain_wake();
}

/* Reads more input into the empty buffer: IO_WORD when there is some, or why not. */
static int fill(IO_Reader *r) {
    for (;;) {
        if (received)
            return IO_SIGNALLED;
        struct pollfd fds[3] = {{r->in, POLLIN, 0}, {wake[0], POLLIN, 0}, {r->out, 0, 0}};
        if (poll(fds, r->out >= 0 ? 3 : 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return IO_END;
        }
        woken(fds[1].revents);
        if (r->out >= 0 && (fds[2].revents & POLLNVAL))
            r->out = -1; /* not open: a write will tell */
        else if (r->out >= 0 && (fds[2].revents & (POLLERR | POLLHUP)))
            return IO_OUTPUT_GONE;
        if (fds[0].revents == 0)
            continue;
        ssize_t n = read(r->in, r->buf, sizeof r->buf);
        if (n > 0) {
            r->pos = 0, r->len = (size_t)n;
            return IO_WORD;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        r->eof = true;
        return IO_END;
    }
}

/* The next input character in *c: IO_WORD, or why there is none. */
static int next_char(IO_Reader *r, int *c) {
    if (r->pos == r->len) {
        if (r->eof)
            return IO_END;
        int got = fill(r);
        if (got != IO_WORD)
            return got;
    }
    *c = (unsigned char)r->buf[r->pos++];
    return IO_WORD;
}

static bool blank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int IO_ReadWord(IO_Reader *reader, char *word, size_t size) {
    if (received)
        return IO_SIGNALLED;
    int c = 0, got;
    do
        if ((got = next_char(reader, &c)) != IO_WORD)
            return got;
    while (blank(c));
    size_t n = 0;
    for (;;) {
        if (n + 1 < size)
            word[n++] = (char)c;
        got = next_char(reader, &c);
        if (got == IO_END || (got == IO_WORD && blank(c)))
            break;
        if (got != IO_WORD)
            return got;
    }
    word[n] = '\0';
    return IO_WORD;
}

int IO_Write(int fd, const char *text, size_t len) {
    while (len > 0) {
        if (received)
            return IO_SIGNALLED;
        struct pollfd fds[2] = {{fd, POLLOUT, 0}, {wake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return IO_OUTPUT_GONE;
        }
        woken(fds[1].revents);
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return IO_OUTPUT_GONE;
        if (!(fds[0].revents & POLLOUT))
            continue;
        /* poll promised room: a pipe or terminal takes a short text without blocking */
        ssize_t n = write(fd, text, len);
        if (n > 0) {
            text += n, len -= (size_t)n;
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return IO_OUTPUT_GONE;
        }
    }
    return IO_WRITTEN;
}
