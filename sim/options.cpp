/* Command-line parsing and the usage text (see options.h). */
#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool to_long(const std::string &s, long lo, long hi, long *out) {
    char *end = nullptr;
    errno = 0;
    long v = strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool to_double(const std::string &s, double lo, double hi, double *out) {
    char *end = nullptr;
    double v = strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

/* Comma-separated numbers; exactly n of them. */
bool to_doubles(const std::string &s, int n, double lo, double hi, double *out) {
    size_t start = 0;
    for (int i = 0; i < n; i++) {
        size_t comma = s.find(',', start);
        bool last = i == n - 1;
        if (last != (comma == std::string::npos))
            return false;
        std::string part = s.substr(start, last ? std::string::npos : comma - start);
        if (!to_double(part, lo, hi, &out[i]))
            return false;
        start = comma + 1;
    }
    return true;
}

bool parse_fail(const std::string &s, OPT_Options *o) {
    size_t colon = s.find(':');
    std::string word = s.substr(0, colon);
    long code = -1;
    if (word.empty() || word.find_first_of(" \t\"\\") != std::string::npos)
        return false;
    if (colon != std::string::npos && !to_long(s.substr(colon + 1), -1000000, 1000000, &code))
        return false;
    o->faults.fail.push_back(OPT_FailWord{word, (int)code});
    return true;
}

bool parse_battery(const std::string &s, OPT_Options *o) {
    double v[4];
    if (to_doubles(s, 1, 0, 100000, v)) {
        for (double &b : o->battery)
            b = v[0];
        return true;
    }
    if (!to_doubles(s, 4, 0, 100000, v))
        return false;
    for (int i = 0; i < 4; i++)
        o->battery[i] = v[i];
    return true;
}

/* Applies one option with its value; false when the value is not acceptable. */
bool apply(const std::string &name, const std::string &v, OPT_Options *o) {
    long l = 0;
    bool ok = true;
    if (name == "port" || name == "robot-port") {
        ok = to_long(v, name == "port" ? 1 : 0, 65535, &l);
        (name == "port" ? o->port : o->robot_port) = (int)l;
    } else if (name == "view") {
        ok = to_long(v, 0, 65535, &l);
        o->view_port = (int)l;
    } else if (name == "robots") {
        ok = to_long(v, 1, 16, &l);
        o->robots = (int)l;
    } else if (name == "speedup") {
        ok = to_double(v, 0.01, 10000, &o->speedup);
    } else if (name == "rate") {
        ok = to_double(v, 1, 1000, &o->rate);
    } else if (name == "seed") {
        ok = to_long(v, 0, 4294967295L, &l);
        o->seed = (unsigned)l;
    } else if (name == "pose") {
        ok = to_doubles(v, 3, -1e9, 1e9, o->pose);
        o->have_pose = true;
    } else if (name == "battery") {
        ok = parse_battery(v, o);
    } else if (name == "battery-drain") {
        ok = to_double(v, 0, 1e6, &o->drain_per_hour);
    } else if (name == "sonar-noise" || name == "ir-noise" || name == "compass-noise") {
        double *d = name == "sonar-noise" ? &o->sonar_noise
                    : name == "ir-noise"  ? &o->ir_noise
                                          : &o->compass_noise;
        ok = to_double(v, 0, 10000, d);
    } else if (name == "odometry-drift") {
        ok = to_double(v, 0, 1, &o->odo_drift);
    } else if (name == "socket-dir" || name == "announce-host" || name == "world" ||
               name == "log" || name == "bind" || name == "snapshot") {
        std::string &s = name == "socket-dir"      ? o->socket_dir
                         : name == "announce-host" ? o->announce_host
                         : name == "world"         ? o->world_file
                         : name == "bind"          ? o->bind_address
                         : name == "snapshot"      ? o->snapshot_file
                                                   : o->log_file;
        s = v;
        ok = !v.empty() && v.find_first_of(" \t\n\"\\") == std::string::npos;
    } else if (name == "fail") {
        ok = parse_fail(v, o);
    } else if (name == "silent-after") {
        ok = to_long(v, 0, 10000000, &o->faults.silent_after); /* 0: never answer */
    } else if (name == "drop-after" || name == "delay" || name == "malformed-every" ||
               name == "long-line" || name == "unsolicited" || name == "split-acks") {
        long *f = name == "drop-after"        ? &o->faults.drop_after
                  : name == "delay"           ? &o->faults.delay_ms
                  : name == "malformed-every" ? &o->faults.malformed_every
                  : name == "long-line"       ? &o->faults.long_line
                  : name == "split-acks"      ? &o->faults.split_acks_ms
                                              : &o->faults.unsolicited_ms;
        ok = to_long(v, name == "long-line" ? 64 : 1, 10000000, f);
    } else {
        return false;
    }
    return ok;
}

const char *const valued[] = {"port",           "robot-port",  "robots",
                              "speedup",        "rate",        "seed",
                              "pose",           "battery",     "battery-drain",
                              "sonar-noise",    "ir-noise",    "compass-noise",
                              "odometry-drift", "socket-dir",  "announce-host",
                              "world",          "log",         "fail",
                              "drop-after",     "delay",       "malformed-every",
                              "long-line",      "unsolicited", "split-acks",
                              "silent-after",   "bind",        "view",
                              "snapshot",       nullptr};

bool takes_value(const std::string &name) {
    for (const char *const *n = valued; *n; n++)
        if (name == *n)
            return true;
    return false;
}

} // namespace

int OPT_Parse(int argc, char **argv, OPT_Options *o, std::string *error) {
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            OPT_PrintHelp(stdout);
            return 1;
        }
        if (arg == "--speak" || arg == "--flood") {
            (arg == "--speak" ? o->speak : o->faults.flood) = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) {
            *error = "unexpected argument '" + arg + "'";
            return -1;
        }
        std::string name = arg.substr(2), value;
        size_t eq = name.find('=');
        bool inline_value = eq != std::string::npos;
        if (inline_value) {
            value = name.substr(eq + 1);
            name.erase(eq);
        }
        if (!takes_value(name)) {
            *error = "unknown option '--" + name + "'";
            return -1;
        }
        if (!inline_value) {
            if (i + 1 >= argc) {
                *error = "option '--" + name + "' needs a value";
                return -1;
            }
            value = argv[++i];
        }
        if (!apply(name, value, o)) {
            *error = "bad value '" + value + "' for option '--" + name + "'";
            return -1;
        }
    }
    return 0;
}

void OPT_PrintHelp(FILE *out) {
    fputs(
        "Usage: rovak-sim [options]\n"
        "Plays the scheduler and the robot servers of Rovak robots in a simulated 2-D world.\n"
        "\n"
        "Endpoints:\n"
        "  --port N             scheduler TCP port (default 7073)\n"
        "  --robot-port N       TCP port of robot 1; robot k uses N+k-1; 0 picks free ports\n"
        "                       (default 7074)\n"
        "  --socket-dir DIR     Unix-domain sockets DIR/rovak-sim-<port>-<id>.sock (default /tmp)\n"
        "  --announce-host NAME host name announced to clients (default: this machine's name,\n"
        "                       so local clients take the Unix-domain socket)\n"
        "  --bind ADDR          address the TCP endpoints listen on; 0.0.0.0 for every address\n"
        "                       (default 127.0.0.1: this machine only)\n"
        "World and robots:\n"
        "  --world FILE         world file (default: the built-in 10 m x 8 m room)\n"
        "  --robots N           number of robots, ids 1..N (default 1, at most 16)\n"
        "  --pose X,Y,DEG       start pose of robot 1 in the world (mm, mm, degrees)\n"
        "  --battery V[,V,V,V]  initial battery voltages, hundredths of a volt (default 1300)\n"
        "  --battery-drain R    drain at rest, hundredths of a volt per simulated hour (20)\n"
        "  --speedup X          simulated time runs X times faster than wall time (default 1)\n"
        "  --rate HZ            simulation steps per simulated second (default 50)\n"
        "  --seed N             seed of every random source (default 1)\n"
        "  --sonar-noise MM     standard deviation of sonar readings (default 0)\n"
        "  --ir-noise MM        standard deviation of infrared readings (default 0)\n"
        "  --compass-noise MRAD standard deviation of the compass (default 0)\n"
        "  --odometry-drift F   relative standard deviation of each odometry step (default 0)\n"
        "Output:\n"
        "  --log FILE           event log (speech, connections, faults); default standard error\n"
        "  --view PORT          live view in the browser at http://127.0.0.1:PORT/ (0: a free\n"
        "                       port, named in the event log)\n"
        "  --snapshot FILE.svg  write the world with every robot's trail when the simulator ends\n"
        "  --speak              also speak \"Speak\" texts through espeak-ng when installed\n"
        "Fault injection (robot connections; * also the scheduler):\n"
        "  --drop-after N       close a connection instead of answering its request N+1\n"
        "  --fail WORD[:CODE]   answer WORD with \"Error WORD CODE\" and \"Done WORD\" (CODE\n"
        "                       default -1); repeatable\n"
        "  --delay MS           hold every answer MS milliseconds of wall time\n"
        "  --malformed-every N  send a malformed state line before every Nth answer\n"
        "  --long-line BYTES    send a state line of BYTES bytes before every answer\n"
        "  --unsolicited MS     push battery and odometry lines every MS ms of wall time\n"
        "  --split-acks MS    * write every Error and Done line on its own, MS ms after the\n"
        "                       line before it\n"
        "  --silent-after N   * read but never answer a connection after its N requests\n"
        "  --flood              after the descriptions, stop reading the connection and push\n"
        "                       state lines as fast as it takes them\n"
        "  --help               this text\n"
        "\n"
        "Prints \"rovak-sim: ready\" on standard output once every endpoint listens.\n"
        "See docs/simulator.md for the world file format and the protocol dialect.\n",
        out);
}
