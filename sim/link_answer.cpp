/* The answer path: a received line to its answer, with the faults that shape answers, and the
 * answer pieces held until they are due (see link.h). */
#include "link_internal.h"

#include "argcv.h"
#include "command.h"
#include "fault.h"
#include "protocol.h"
#include "sim.h"

#include <algorithm>
#include <cstdlib>

namespace {

/* A part of an answer that is handed over as one text. */
struct piece {
    std::string text;
    bool ack; /* an "Error" or "Done" line */
};

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

/* Calls f with every line of text, line feed included. */
template <typename F> void each_line(const std::string &text, F f) {
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string::npos ? text.size() : lf + 1;
        f(text.substr(start, end - start));
        start = end;
    }
}

/* Removes the acknowledgements of empty commands: the dispatcher ends a command at an empty
 * word, so a quoted empty text (as in 'Speak ""') leaves an empty command behind, and its
 * "Error  -4" would fail the peer's request. */
std::string drop_empty_commands(const std::string &reply) {
    std::string out;
    each_line(reply, [&out](const std::string &line) {
        if (line != "Error  -4\n" && line != "Done \n")
            out += line;
    });
    return out;
}

/* An answer cut for split acknowledgements: each run of data lines is one piece, and each
 * "Error" and "Done" line is a piece of its own. */
std::vector<piece> split_acks(const std::string &reply) {
    std::vector<piece> out;
    each_line(reply, [&out](const std::string &line) {
        bool ack = line.compare(0, 6, "Error ") == 0 || line.compare(0, 5, "Done ") == 0;
        if (!ack && !out.empty() && !out.back().ack)
            out.back().text += line;
        else
            out.push_back(piece{line, ack});
    });
    return out;
}

/* Sends an answer now, or holds it (or its pieces) until due. No piece is due before the one
 * handed over before it, so the answers of a session keep their order; with split
 * acknowledgements each acknowledgement is due a gap after the piece before it. */
void hand_over(LINK_Session *s, std::string text, double wall_ms) {
    double t0 = wall_ms + (double)(s->robot ? FAULT_DelayMs() : 0);
    double gap = (double)FAULT_SplitAcksMs();
    if (gap <= 0) {
        double due = std::max(t0, s->last_due_ms);
        s->last_due_ms = due;
        if (due <= wall_ms && s->held.empty())
            LINK_Send(s, text);
        else
            s->held.push_back(LINK_Held{due, std::move(text), false});
        return;
    }
    /* Every piece goes through the held queue, where LINK_Flush gives each acknowledgement a
     * write of its own. */
    for (piece &p : split_acks(text)) {
        double due = std::max(t0, s->last_due_ms + (p.ack ? gap : 0));
        s->last_due_ms = due;
        s->held.push_back(LINK_Held{due, std::move(p.text), p.ack});
    }
}

/* The answer to a request line: the injected error, or what the command table answers. */
std::string compose(const LINK_Session *s, const std::string &word, const std::string &line) {
    int code;
    if (s->robot && FAULT_Fail(word.c_str(), &code))
        return "Error " + word + " " + std::to_string(code) + "\nDone " + word + "\n";
    std::string reply;
    char *text = CMD_ExecuteRaw(s->fd, line.c_str());
    if (text)
        reply = drop_empty_commands(text);
    free(text);
    return reply;
}

void fall_silent(LINK_Session *s) {
    if (s->silent)
        return;
    s->silent = true;
    SIM_Log("fault: connection %d falls silent after %ld requests", s->fd, s->requests - 1);
}

} // namespace

void link_answer(LINK_Session *s, const std::string &line, double wall_ms) {
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
    bool silent = FAULT_Silent(s->requests);
    ROBOT_Robot *r = SIM_Robot(s->robot);
    if (r && !silent) /* a silent server takes no notice of requests */
        ROBOT_Touch(r, SIM_Get()->now_ms);
    if (s->robot && FAULT_Drop(s->requests)) {
        SIM_Log("fault: dropping connection %d at request %ld (%s)", s->fd, s->requests,
                word.c_str());
        LINK_Close(s);
        return;
    }
    if (silent) {
        fall_silent(s);
        return;
    }
    std::string reply = compose(s, word, line);
    if (reply.empty())
        return;
    if (r)
        reply = FAULT_Extra(r, ++s->answers) + reply;
    hand_over(s, std::move(reply), wall_ms);
    if (r && FAULT_FloodAfter(word.c_str()) && !s->closing) {
        s->flooding = true;
        SIM_Log("fault: connection %d is no longer read; flooding it with state lines", s->fd);
    }
}

void LINK_Flush(double wall_ms) {
    /* A snapshot: a send may close a connection, which changes the session set. */
    for (LINK_Session *s : LINK_Sessions()) {
        bool sent = false;
        while (!s->closing && !s->held.empty() && s->held.front().due_ms <= wall_ms) {
            bool own = s->held.front().own_write;
            /* A piece that needs its own write waits for the next pass, after the socket
             * cycle has written what went before it. */
            if (own && sent)
                break;
            std::string text = std::move(s->held.front().text);
            s->held.pop_front();
            LINK_Send(s, text);
            sent = true;
            if (own)
                break;
        }
    }
}

double LINK_NextDue(void) {
    double next = -1;
    for (LINK_Session *s : LINK_Sessions())
        if (!s->held.empty() && (next < 0 || s->held.front().due_ms < next))
            next = s->held.front().due_ms;
    return next;
}
