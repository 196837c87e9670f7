/* Word readers, reply composition and the robot lookup of the handlers (see
 * protocol_internal.h). */
#include "protocol_internal.h"

#include "buffer.h"
#include "command.h"
#include "link.h"
#include "protocol.h"
#include "sim.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

static std::set<std::string> request_words;

void proto_register(const char *word, char *(*handler)(int, long, int, char **)) {
    CMD_Register(word, handler);
    request_words.insert(word);
}

bool PROTO_IsRequest(const char *word) { return request_words.count(word) > 0; }

PROTO_Words proto_words(int argc, char **argv, int first) { return PROTO_Words{argc, argv, first}; }

bool proto_more(const PROTO_Words *w) { return w->pos < w->argc; }

bool proto_flag(PROTO_Words *w, bool def) {
    if (!proto_more(w))
        return def;
    return w->argv[w->pos++][0] == '1';
}

bool proto_long(PROTO_Words *w, long lo, long hi, long *out) {
    if (!proto_more(w))
        return false;
    const char *s = w->argv[w->pos++];
    char *end = nullptr;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (end == s || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool proto_double(PROTO_Words *w, double lo, double hi, double *out) {
    if (!proto_more(w))
        return false;
    const char *s = w->argv[w->pos++];
    char *end = nullptr;
    double v = strtod(s, &end);
    if (end == s || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

ROBOT_Robot *proto_robot(int fd) {
    LINK_Session *s = LINK_Find(fd);
    return s ? SIM_Robot(s->robot) : nullptr;
}

bool proto_is_scheduler(int fd) {
    LINK_Session *s = LINK_Find(fd);
    return s && s->robot == 0;
}

void proto_begin(void) { BUF_Reset(NULL); }

void proto_line(const char *word) {
    if (BUF_Index() > 0)
        BUF_AddChar('\n');
    BUF_AddString(word);
}

void proto_add_long(long v) {
    /* The blank and the decimal digits (as "%ld" writes them) in one append: state lines are
     * mostly numbers, and formatting through printf was a good part of an answer's cost. */
    char text[24];
    char *p = text + sizeof text;
    *--p = '\0';
    unsigned long u = v < 0 ? 0UL - (unsigned long)v : (unsigned long)v;
    do {
        *--p = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0)
        *--p = '-';
    *--p = ' ';
    BUF_AddString(p);
}

void proto_add_flag(bool v) {
    BUF_AddSpace();
    BUF_AddBoolean(v);
}

void proto_add_double(double v) {
    BUF_AddSpace();
    BUF_AddDouble(v);
}

void proto_add_word(const char *w) {
    BUF_AddSpace();
    BUF_AddString(w);
}

char *proto_reply(void) { return BUF_Index() > 0 ? BUF_Buffer() : nullptr; }

char *proto_error(const char *word, int code) {
    proto_begin();
    proto_line("Error");
    proto_add_word(word);
    proto_add_long(code);
    return proto_reply();
}

char *proto_wrong_endpoint(const char *word) { return proto_error(word, -4); }

static std::string one_line(void) {
    std::string s(BUF_Buffer(), BUF_Index());
    return s + "\n";
}

std::string PROTO_BatteryLine(const ROBOT_Robot *r) {
    proto_begin();
    proto_battery(r);
    return one_line();
}

std::string PROTO_OdometryLine(const ROBOT_Robot *r, bool stamp) {
    proto_begin();
    proto_odometry(r, stamp);
    return one_line();
}

std::string PROTO_StateLines(ROBOT_Robot *r) {
    PROTO_Words none = proto_words(0, nullptr, 0); /* every set, with time stamps off */
    proto_begin();
    proto_battery(r);
    proto_odometry(r, true);
    proto_compass(r, true);
    proto_sonar(r, &none);
    proto_infrared(r, &none);
    proto_bumper(r, &none);
    return one_line();
}

void PROTO_Register(void) {
    proto_register_describe();
    proto_register_motion();
    proto_register_sensors();
    proto_register_state();
    proto_register_scheduler();
}
