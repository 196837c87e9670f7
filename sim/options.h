/* Command-line options of rovak-sim.
 *
 * Error convention: OPT_Parse returns 0 when the program should run, 1 when --help was printed,
 * and -1 with a message in *error for a bad option. */
#ifndef ROVAK_SIM_OPTIONS_H
#define ROVAK_SIM_OPTIONS_H

#include <cstdio>
#include <string>
#include <vector>

/* Answer a request word with "Error <word> <code>" and "Done <word>" instead of its answer. */
struct OPT_FailWord {
    std::string word;
    int code;
};

struct OPT_Faults {
    long drop_after = 0;            /* close a robot connection after this many requests */
    std::vector<OPT_FailWord> fail; /* words answered with an error */
    long delay_ms = 0;              /* hold every robot answer this long (wall time) */
    long malformed_every = 0;       /* a malformed state line before every Nth answer */
    long long_line = 0;             /* an over-long state line of this many bytes before answers */
    long unsolicited_ms = 0;        /* push state lines this often (wall time) */
    long split_acks_ms = 0;         /* each "Error"/"Done" line its own write, this far apart */
    long silent_after = -1;         /* answer nothing after this many requests; -1: off */
    bool flood = false;             /* push state lines without reading after the descriptions */
};

struct OPT_Options {
    int port = 7073;       /* scheduler TCP port */
    int robot_port = 7074; /* robot k listens on robot_port + k - 1; 0: any free port */
    std::string socket_dir = "/tmp";
    std::string announce_host; /* host name in "AddRegistered"; empty: this machine's name */
    std::string bind_address = "127.0.0.1"; /* address the TCP endpoints listen on */
    int robots = 1;
    double speedup = 1;
    double rate = 50; /* simulation steps per simulated second */
    std::string world_file;
    bool have_pose = false;
    double pose[3] = {0, 0, 0}; /* mm, mm, degrees */
    double battery[4] = {1300, 1300, 1300, 1300};
    double drain_per_hour = 20;
    unsigned seed = 1;
    double sonar_noise = 0, ir_noise = 0, compass_noise = 0, odo_drift = 0;
    std::string log_file;      /* event log; empty: standard error */
    bool speak = false;        /* also speak "Speak" texts through espeak-ng */
    int view_port = -1;        /* live view on 127.0.0.1 at this port; 0: a free port; -1: none */
    std::string snapshot_file; /* SVG picture written at the end; empty: none */
    OPT_Faults faults;
};

/* Reads argv into *o (which holds the defaults on entry). */
int OPT_Parse(int argc, char **argv, OPT_Options *o, std::string *error);
/* Writes the usage text. */
void OPT_PrintHelp(FILE *out);

#endif
