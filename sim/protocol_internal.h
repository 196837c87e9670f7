/* Shared pieces of the protocol handlers: word readers, the reply under construction (in the
 * message buffer) and the state-message builders that Get requests and GetState share. */
#ifndef ROVAK_SIM_PROTOCOL_INTERNAL_H
#define ROVAK_SIM_PROTOCOL_INTERNAL_H

#include "robot.h"

/* The words of a request after its command word, read in order. */
struct PROTO_Words {
    int argc;
    char **argv;
    int pos;
};

PROTO_Words proto_words(int argc, char **argv, int first);
bool proto_more(const PROTO_Words *w);
/* A flag ("1..." true); def when the words have run out. */
bool proto_flag(PROTO_Words *w, bool def);
/* A whole decimal integer within lo..hi; false when missing or malformed. */
bool proto_long(PROTO_Words *w, long lo, long hi, long *out);
/* A finite decimal number within lo..hi. */
bool proto_double(PROTO_Words *w, double lo, double hi, double *out);

/* The robot behind the connection fd, or null (scheduler endpoint or unknown descriptor). */
ROBOT_Robot *proto_robot(int fd);
/* True when fd is a scheduler connection. */
bool proto_is_scheduler(int fd);

/* Starts a reply in the message buffer. */
void proto_begin(void);
/* Starts a new line of the reply (a line feed unless it is the first). */
void proto_line(const char *word);
void proto_add_long(long v);
void proto_add_flag(bool v);
void proto_add_double(double v);
void proto_add_word(const char *w);
/* The reply for the dispatcher (the message buffer), or null when it is empty. */
char *proto_reply(void);
/* "Error <word> <code>" as the whole reply. */
char *proto_error(const char *word, int code);
/* The answer to a request that reached an endpoint that does not serve it. */
char *proto_wrong_endpoint(const char *word);

/* State-message builders: append one message as a new reply line, reading the request's
 * per-element flags from w (missing flags read as data 1, time stamp 0). */
void proto_axes(ROBOT_Robot *r, PROTO_Words *w);
void proto_lift(ROBOT_Robot *r, PROTO_Words *w);
void proto_sonar(ROBOT_Robot *r, PROTO_Words *w);
void proto_infrared(ROBOT_Robot *r, PROTO_Words *w);
void proto_bumper(ROBOT_Robot *r, PROTO_Words *w);
void proto_laser(ROBOT_Robot *r, PROTO_Words *w);
void proto_k770(ROBOT_Robot *r, PROTO_Words *w);
void proto_compass(ROBOT_Robot *r, bool stamp);
void proto_battery(const ROBOT_Robot *r);
void proto_odometry(const ROBOT_Robot *r, bool stamp);
void proto_timer(const ROBOT_Robot *r);
void proto_sonar_configuration(const ROBOT_Robot *r);
void proto_laser_configuration(const ROBOT_Robot *r);

/* Registers a handler in the command table and notes its word as a request word. */
void proto_register(const char *word, char *(*handler)(int, long, int, char **));

/* Registration of each group of handlers. */
void proto_register_describe(void);
void proto_register_motion(void);
void proto_register_sensors(void);
void proto_register_state(void);
void proto_register_scheduler(void);

#endif
