/* Listening endpoints, sessions, framing and the answer path (see link.h). */
#include "link.h"

#include "argcv.h"
#include "command.h"
#include "fault.h"
#include "protocol.h"
#include "sim.h"
#include "socket.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <netinet/in.h>
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
std::deque<queued_line> lines;
unsigned long next_serial = 1;

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
            delete old->second;
        sessions[fd] = new LINK_Session{fd, next_serial++, robot, 0, 0, false, {}};
        std::string who = robot ? "robot " + std::to_string(robot) : "the scheduler";
        SIM_Log("connection %d opened (%s) to %s", fd, e->family == AF_UNIX ? "unix" : "tcp",
                who.c_str());
        return;
    }
    auto it = sessions.find(fd);
    if (it == sessions.end())
        return;
    SIM_Log("connection %d closed", fd);
    delete it->second;
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

/* The command word of a line, without its id prefix ("" for an empty line); *prefixed tells
 * whether it had one. */
std::string command_word(const std::string &line, bool *prefixed) {
    int argc;
    char **argv;
    ARGCV_Create(line.c_str(), &argc, &argv);
    *prefixed = false;
    if (argc == 0)
        return "";
    std::string word = argv[0];
    ARGCV_Free(argc, argv);
    size_t colon = word.rfind(':');
    *prefixed = colon != std::string::npos;
    return *prefixed ? word.substr(colon + 1) : word;
}

/* Removes the acknowledgements of empty commands: the dispatcher ends a command at an empty
 * word, so a quoted empty text (as in 'Speak ""') leaves an empty command behind, and its
 * "Error  -4" would fail the peer's request. */
std::string drop_empty_commands(const std::string &reply) {
    std::string out;
    size_t start = 0;
    while (start < reply.size()) {
        size_t lf = reply.find('\n', start);
        size_t end = lf == std::string::npos ? reply.size() : lf + 1;
        std::string line = reply.substr(start, end - start);
        if (line != "Error  -4\n" && line != "Done \n")
            out += line;
        start = end;
    }
    return out;
}

void hand_over(LINK_Session *s, std::string text, double wall_ms) {
    long delay = s->robot ? FAULT_DelayMs() : 0;
    if (delay == 0 && s->held.empty()) {
        LINK_Send(s, text);
        return;
    }
    double due = wall_ms + (double)delay;
    if (!s->held.empty() && s->held.back().due_ms > due)
        due = s->held.back().due_ms; /* answers keep their order */
    s->held.push_back(LINK_Held{due, std::move(text)});
}

void answer(LINK_Session *s, const std::string &line, double wall_ms) {
    bool prefixed;
    std::string word = command_word(line, &prefixed);
    if (word == "Done" || word == "Error")
        return;
    /* Clients prefix every request with their id; an unprefixed line that is no request is a
     * peer's answer to something we sent (such as its "Error" for a line it could not read),
     * and answering it could end that peer's wait for a real answer. */
    if (!prefixed && !PROTO_IsRequest(word.c_str())) {
        SIM_Log("connection %d: ignored an unprefixed line starting with '%.60s'", s->fd,
                word.c_str());
        return;
    }
    s->requests++;
    ROBOT_Robot *r = SIM_Robot(s->robot);
    if (r)
        ROBOT_Touch(r, SIM_Get()->now_ms);
    if (s->robot && FAULT_Drop(s->requests)) {
        SIM_Log("fault: dropping connection %d at request %ld (%s)", s->fd, s->requests,
                word.c_str());
        LINK_Close(s);
        return;
    }
    std::string reply;
    int code;
    if (s->robot && FAULT_Fail(word.c_str(), &code)) {
        reply = "Error " + word + " " + std::to_string(code) + "\n";
    } else {
        char *text = CMD_ExecuteRaw(s->fd, line.c_str());
        if (text)
            reply = drop_empty_commands(text);
        free(text);
    }
    if (reply.empty())
        return;
    if (r)
        reply = FAULT_Extra(r, ++s->answers) + reply;
    hand_over(s, std::move(reply), wall_ms);
}

int add_listener(int fd, int family, int port, const char *path, int robot) {
    if (fd < 0)
        return -1;
    endpoints.push_back(endpoint{family, port, path ? path : "", robot});
    return 0;
}

} // namespace

int LINK_ListenTcp(int port, int robot, int *bound) {
    int fd = SOCK_Listen(16, (unsigned short)port, on_read, on_written, on_status);
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

void LINK_Dispatch(double wall_ms) {
    while (!lines.empty()) {
        queued_line ln = std::move(lines.front());
        lines.pop_front();
        LINK_Session *s = LINK_Find(ln.fd);
        /* A line of a session closed or replaced since it arrived is dropped. */
        if (s && s->serial == ln.serial && !s->closing)
            answer(s, ln.text, wall_ms);
    }
}

void LINK_Flush(double wall_ms) {
    for (auto &kv : sessions) {
        LINK_Session *s = kv.second;
        while (!s->held.empty() && s->held.front().due_ms <= wall_ms) {
            LINK_Send(s, s->held.front().text);
            s->held.pop_front();
        }
    }
}

double LINK_NextDue(void) {
    double next = -1;
    for (auto &kv : sessions)
        if (!kv.second->held.empty() && (next < 0 || kv.second->held.front().due_ms < next))
            next = kv.second->held.front().due_ms;
    return next;
}

void LINK_Send(LINK_Session *s, const std::string &text) {
    if (s->closing || text.empty())
        return;
    char *copy = (char *)malloc(text.size());
    if (!copy) {
        SIM_Log("out of memory; an answer to connection %d is lost", s->fd);
        return;
    }
    memcpy(copy, text.data(), text.size());
    if (SOCK_Write(s->fd, copy, (unsigned int)text.size()) != 0)
        free(copy);
}

void LINK_Close(LINK_Session *s) {
    if (s->closing)
        return;
    s->closing = true;
    s->held.clear();
    SOCK_Close(s->fd);
}

void LINK_Shutdown(void) {
    for (auto &kv : sessions)
        delete kv.second;
    sessions.clear();
    lines.clear();
}
