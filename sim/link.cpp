/* Listening endpoints, sessions, framing, the poll and the send path (see link.h). */
#include "link_internal.h"

#include "sim.h"
#include "socket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

struct endpoint {
    int family;
    int port;         /* AF_INET */
    std::string path; /* AF_UNIX */
    int robot;
};

struct queued_line {
    int fd;
    unsigned long serial;
    std::string text;
};

std::vector<endpoint> endpoints;
std::map<int, LINK_Session *> sessions;
std::vector<LINK_Session *> retired; /* closed, released by LINK_Reap */
std::deque<queued_line> lines;
unsigned long next_serial = 1;

/* Takes a session out of the live set; its record lives on until LINK_Reap. */
void retire(LINK_Session *s) {
    s->closing = true;
    s->held.clear();
    retired.push_back(s);
}

/* The endpoint that accepted fd, found from the socket's own address. */
const endpoint *endpoint_of_accepted(int fd) {
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    memset(&ss, 0, sizeof ss);
    if (getsockname(fd, (sockaddr *)&ss, &len) != 0)
        return nullptr;
    for (const endpoint &e : endpoints) {
        if (e.family != ss.ss_family)
            continue;
        if (e.family == AF_INET && ntohs(((sockaddr_in *)&ss)->sin_port) == e.port)
            return &e;
        if (e.family == AF_UNIX && e.path == ((sockaddr_un *)&ss)->sun_path)
            return &e;
    }
    return nullptr;
}

void on_status(int fd, int error) {
    if (error == 0) {
        const endpoint *e = endpoint_of_accepted(fd);
        if (!e) {
            SOCK_Close(fd);
            return;
        }
        int robot = e->robot;
        auto old = sessions.find(fd);
        if (old != sessions.end()) /* a record whose close was never reported */
            retire(old->second);
        LINK_Session *s = new LINK_Session;
        s->fd = fd;
        s->serial = next_serial++;
        s->robot = robot;
        sessions[fd] = s;
        std::string who = robot ? "robot " + std::to_string(robot) : "the scheduler";
        SIM_Log("connection %d opened (%s) to %s", fd, e->family == AF_UNIX ? "unix" : "tcp",
                who.c_str());
        return;
    }
    auto it = sessions.find(fd);
    if (it == sessions.end())
        return;
    SIM_Log("connection %d closed", fd);
    retire(it->second);
    sessions.erase(it);
}

unsigned int on_read(int fd, char *buf, unsigned int len) {
    auto it = sessions.find(fd);
    const char *lf = (const char *)memchr(buf, '\n', len);
    unsigned int n = lf ? (unsigned int)(lf - buf) + 1 : 0;
    if ((!lf && len >= LINK_MAX_LINE) || n > LINK_MAX_LINE) {
        SIM_Log("connection %d sent a line longer than %u bytes; closing it", fd, LINK_MAX_LINE);
        if (it != sessions.end())
            LINK_Close(it->second);
        else
            SOCK_Close(fd);
        return len;
    }
    if (!lf)
        return 0;
    if (it == sessions.end() || it->second->closing)
        return n;
    if (memchr(buf, '\0', n)) {
        SIM_Log("connection %d sent a line holding a zero byte; dropped", fd);
        return n;
    }
    lines.push_back(queued_line{fd, it->second->serial, std::string(buf, n)});
    return n;
}

void on_written(int fd, char *buf, unsigned int count) {
    (void)fd;
    (void)count;
    free(buf);
}

int add_listener(int fd, int family, int port, const char *path, int robot) {
    if (fd < 0)
        return -1;
    endpoints.push_back(endpoint{family, port, path ? path : "", robot});
    return 0;
}

} // namespace

int LINK_ListenTcp(int port, int robot, int *bound) {
    int fd = SOCK_ListenAddress(16, SIM_Get()->opt.bind_address.c_str(), (unsigned short)port,
                                on_read, on_written, on_status);
    if (fd < 0)
        return -1;
    sockaddr_in a;
    socklen_t len = sizeof a;
    if (getsockname(fd, (sockaddr *)&a, &len) != 0)
        return -1;
    *bound = ntohs(a.sin_port);
    return add_listener(fd, AF_INET, *bound, nullptr, robot);
}

int LINK_ListenUnix(const char *path, int robot) {
    if (strlen(path) >= sizeof(sockaddr_un{}.sun_path))
        return -1;
    int fd = SOCK_UnixListen(16, path, on_read, on_written, on_status);
    return add_listener(fd, AF_UNIX, 0, path, robot);
}

LINK_Session *LINK_Find(int fd) {
    auto it = sessions.find(fd);
    return it == sessions.end() ? nullptr : it->second;
}

std::vector<LINK_Session *> LINK_Sessions(void) {
    std::vector<LINK_Session *> v;
    for (auto &kv : sessions)
        v.push_back(kv.second);
    return v;
}

void LINK_Poll(long usec) {
    fd_set fdread, fdwrite;
    FD_ZERO(&fdread);
    FD_ZERO(&fdwrite);
    int n = SOCK_AddToFdSets(&fdread, &fdwrite);
    for (auto &kv : sessions)
        if (kv.second->flooding)
            FD_CLR(kv.first, &fdread);
    if (usec < 0)
        usec = 0;
    struct timeval tv = {usec / 1000000, usec % 1000000};
    int ready = select(n < FD_SETSIZE ? n : FD_SETSIZE, &fdread, &fdwrite, nullptr, &tv);
    if (ready < 0 && errno != EINTR)
        SIM_Log("poll failed: %s", strerror(errno));
    else if (ready >= 0) /* also with nothing ready: the close pass still runs */
        SOCK_ProcessFdSets(&fdread, &fdwrite);
}

void LINK_WriteNow(void) {
    fd_set none, out;
    FD_ZERO(&none);
    FD_ZERO(&out);
    bool any = false;
    for (auto &kv : sessions) {
        const struct socket *sp = SOCK_Find(kv.first);
        if (sp && sp->first_out && kv.first < FD_SETSIZE) {
            FD_SET(kv.first, &out);
            any = true;
        }
    }
    /* The socket layer writes without waiting, so a socket marked writable that is not yet
     * keeps its queue for the next poll. */
    if (any)
        SOCK_ProcessFdSets(&none, &out);
}

void LINK_Dispatch(double wall_ms) {
    while (!lines.empty()) {
        queued_line ln = std::move(lines.front());
        lines.pop_front();
        LINK_Session *s = LINK_Find(ln.fd);
        /* A line of a session closed or replaced since it arrived is dropped, and so is one that
         * came with the request that started a flood: that connection is no longer read. */
        if (s && s->serial == ln.serial && !s->closing && !s->flooding)
            link_answer(s, ln.text, wall_ms);
    }
}

void LINK_Send(LINK_Session *s, const std::string &text) {
    if (s->closing || text.empty())
        return;
    char *copy = (char *)malloc(text.size());
    bool stored = copy != nullptr;
    if (stored) {
        memcpy(copy, text.data(), text.size());
        if (SOCK_Write(s->fd, copy, (unsigned int)text.size()) == 0)
            return;
        free(copy);
    }
    /* Text that cannot be queued would leave a gap in the stream, so the connection is given up
     * instead. A refused write (the socket layer's queue limit, or a socket it is closing) may
     * already have closed and reported it, which retires s; otherwise its close is asked here. */
    if (s->closing)
        return;
    SIM_Log("connection %d: %zu bytes of output %s; dropping it", s->fd, text.size(),
            stored ? "refused" : "lost (out of memory)");
    if (LINK_Find(s->fd) == s && SOCK_Find(s->fd))
        SOCK_Close(s->fd);
    s->closing = true;
    s->held.clear();
}

void LINK_Close(LINK_Session *s) {
    if (s->closing)
        return;
    s->closing = true;
    s->held.clear();
    SOCK_Close(s->fd);
}

void LINK_Reap(void) {
    for (LINK_Session *s : retired)
        delete s;
    retired.clear();
}

void LINK_Shutdown(void) {
    for (auto &kv : sessions)
        delete kv.second;
    sessions.clear();
    LINK_Reap();
    lines.clear();
}
