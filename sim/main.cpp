/* rovak-sim: the scheduler and the robot servers of simulated robots in a 2-D world.
 *
 * One simulation thread: the loop steps the simulation at its fixed rate (scaled by the
 * speedup) and, in between, sleeps in the link layer's poll until the next step, the next held
 * answer or the next unsolicited push is due, so an idle simulator costs next to nothing. A
 * flooded connection is topped up before each poll and wakes it whenever its socket takes more.
 * Answers are written as soon as their requests are dispatched, without waiting for the next
 * poll. With --view the loop also hands the scene to the view's own threads (scene.h). */
#include "connect.h"
#include "fault.h"
#include "link.h"
#include "protocol.h"
#include "scene.h"
#include "sim.h"
#include "snapshot.h"
#include "view.h"

#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <unistd.h>

static volatile sig_atomic_t stop_requested = 0;

static void on_signal(int) { stop_requested = 1; }

static double wall_ms(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

static int fail(const std::string &message) {
    fprintf(stderr, "rovak-sim: %s\n", message.c_str());
    return 2;
}

static int load_world(SIM_Sim *sim, std::string *error) {
    if (sim->opt.world_file.empty())
        return WORLD_Parse(&sim->world, WORLD_DefaultText(), "built-in world", error);
    return WORLD_Load(&sim->world, sim->opt.world_file.c_str(), error);
}

/* Start pose of robot k: --pose for robot 1, else the world's start lines, else beside the
 * last one. */
static void start_pose(const SIM_Sim *sim, int k, double *x, double *y, double *deg) {
    const OPT_Options &o = sim->opt;
    const std::vector<WORLD_Start> &st = sim->world.starts;
    if (k == 1 && o.have_pose) {
        *x = o.pose[0], *y = o.pose[1], *deg = o.pose[2];
    } else if ((size_t)k <= st.size()) {
        *x = st[(size_t)k - 1].x, *y = st[(size_t)k - 1].y, *deg = st[(size_t)k - 1].deg;
    } else {
        WORLD_Start last = st.empty() ? WORLD_Start{1000, 1000, 0} : st.back();
        *x = last.x + 800.0 * (double)(k - (int)st.size()), *y = last.y, *deg = last.deg;
    }
}

static int make_robots(SIM_Sim *sim, std::string *error) {
    const OPT_Options &o = sim->opt;
    sim->params = ROBOT_Params{o.sonar_noise, o.ir_noise,       o.compass_noise,
                               o.odo_drift,   o.drain_per_hour, {0, 0, 0, 0}};
    for (int i = 0; i < 4; i++)
        sim->params.battery[i] = o.battery[i];
    sim->robots.resize((size_t)o.robots);
    for (int k = 1; k <= o.robots; k++) {
        double x, y, deg;
        start_pose(sim, k, &x, &y, &deg);
        if (WORLD_DiscCollides(&sim->world, x, y, ROBOT_RADIUS, -1)) {
            *error = "robot " + std::to_string(k) +
                     " would start inside a wall, an obstacle or another robot";
            return -1;
        }
        ROBOT_Robot *r = &sim->robots[(size_t)k - 1];
        ROBOT_Init(r, k, x, y, deg * M_PI / 180.0, &sim->params, o.seed + (unsigned)k);
        r->body = WORLD_AddBody(&sim->world, r->x, r->y, ROBOT_RADIUS);
    }
    return 0;
}

static int open_endpoints(SIM_Sim *sim, std::string *error) {
    const OPT_Options &o = sim->opt;
    int bound;
    if (LINK_ListenTcp(o.port, 0, &bound) != 0) {
        *error = "cannot listen on TCP port " + std::to_string(o.port);
        return -1;
    }
    for (int k = 1; k <= o.robots; k++) {
        int port = o.robot_port ? o.robot_port + k - 1 : 0;
        std::string path = o.socket_dir + "/rovak-sim-" + std::to_string(o.port) + "-" +
                           std::to_string(k) + ".sock";
        if (port > 65535 || LINK_ListenTcp(port, k, &bound) != 0) {
            *error = "cannot listen on TCP port " + std::to_string(port);
            return -1;
        }
        if (LINK_ListenUnix(path.c_str(), k) != 0) {
            *error = "cannot listen on " + path;
            return -1;
        }
        sim->tcp_ports.push_back(bound);
        sim->unix_paths.push_back(path);
        SIM_Log("robot %d at %s port %d and %s", k, sim->host.c_str(), bound, path.c_str());
    }
    return 0;
}

static void set_host(SIM_Sim *sim) {
    if (!sim->opt.announce_host.empty()) {
        sim->host = sim->opt.announce_host;
        return;
    }
    char name[256] = "localhost";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        strcpy(name, "localhost");
    name[sizeof name - 1] = '\0';
    sim->host = name;
}

static void install_signals(void) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGCHLD, SIG_IGN); /* speech children reap themselves */
}

/* The loop: steps that are due, then one poll that sleeps until the next event. */
static void run(SIM_Sim *sim, bool scene) {
    const double dt = 1000.0 / sim->opt.rate; /* simulated ms per step */
    const double speedup = sim->opt.speedup;
    double wall0 = wall_ms();
    while (!stop_requested) {
        LINK_Reap();
        double now = wall_ms();
        int steps = 0;
        while (sim->now_ms + dt <= (now - wall0) * speedup && steps < 1000) {
            for (ROBOT_Robot &r : sim->robots)
                ROBOT_Step(&r, &sim->world, &sim->params, dt, sim->now_ms);
            sim->now_ms += dt;
            steps++;
            if (scene)
                SCENE_Track(sim);
        }
        if (steps == 1000) /* too far behind: let simulated time slip rather than spin */
            wall0 = now - sim->now_ms / speedup;
        if (scene)
            SCENE_Publish(sim, now);
        FAULT_Push(now);
        LINK_Flush(now);
        FAULT_Flood();
        double next = wall0 + (sim->now_ms + dt) / speedup;
        double due = LINK_NextDue(), push = FAULT_NextPush(now);
        if (due >= 0 && due < next)
            next = due;
        if (push >= 0 && push < next)
            next = push;
        double wait_ms = next - wall_ms();
        LINK_Poll(wait_ms > 0 ? (long)std::ceil(wait_ms * 1000.0) : 0);
        LINK_Dispatch(wall_ms());
        LINK_WriteNow();
    }
}

/* The view and the snapshot: the scene they draw from, and the view's server. */
static int start_view(SIM_Sim *sim, std::string *error) {
    const OPT_Options &o = sim->opt;
    if (!o.snapshot_file.empty() && SNAP_CheckWritable(o.snapshot_file, error) != 0)
        return -1;
    if (o.view_port < 0 && o.snapshot_file.empty())
        return 0;
    SCENE_Init(sim);
    SCENE_Publish(sim, wall_ms());
    if (o.view_port < 0)
        return 0;
    int bound;
    if (VIEW_Start(o.view_port, &bound, error) != 0)
        return -1;
    SIM_Log("view at http://127.0.0.1:%d/", bound);
    return 0;
}

/* Stops the view and writes the snapshot; 0, or 1 when the snapshot could not be written. */
static int finish_view(SIM_Sim *sim) {
    VIEW_Stop();
    if (sim->opt.snapshot_file.empty())
        return 0;
    std::string error;
    if (SNAP_Write(sim->opt.snapshot_file, sim->world, sim->robots, SCENE_Trails(), sim->now_ms,
                   &error) != 0) {
        SIM_Log("%s", error.c_str());
        fprintf(stderr, "rovak-sim: %s\n", error.c_str());
        return 1;
    }
    SIM_Log("snapshot written to %s", sim->opt.snapshot_file.c_str());
    return 0;
}

int main(int argc, char **argv) {
    SIM_Sim *sim = SIM_Get();
    std::string error;
    int rc = OPT_Parse(argc, argv, &sim->opt, &error);
    if (rc == 1)
        return 0;
    if (rc < 0)
        return fail(error + " (see --help)");
    if (!sim->opt.log_file.empty() && !(sim->log = fopen(sim->opt.log_file.c_str(), "a")))
        return fail("cannot open the log file " + sim->opt.log_file);
    if (load_world(sim, &error) != 0 || make_robots(sim, &error) != 0)
        return fail(error);
    set_host(sim);
    install_signals();
    CONN_Initialize();
    PROTO_Register();
    if (open_endpoints(sim, &error) != 0 || start_view(sim, &error) != 0) {
        for (const std::string &p : sim->unix_paths)
            unlink(p.c_str());
        return fail(error);
    }
    printf("rovak-sim: ready\n");
    fflush(stdout);
    run(sim, sim->opt.view_port >= 0 || !sim->opt.snapshot_file.empty());
    for (const std::string &p : sim->unix_paths)
        unlink(p.c_str());
    int status = finish_view(sim);
    SIM_Log("stopped");
    LINK_Shutdown();
    WORLD_Clear(&sim->world);
    return status;
}
