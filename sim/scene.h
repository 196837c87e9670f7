/* The scene the live view shows: a copy of the robots' poses, noise-free sensor ranges and
 * bumper contacts (a frame), their trails, and the world as it was loaded, handed from the
 * simulation thread to the view's threads.
 *
 * The simulation thread is the only writer: after its steps it records the trails and, at most
 * every SCENE_PUBLISH_MS of wall time, builds a new frame from its own state and swaps it in
 * under a mutex. Readers copy the latest frame or the trails under the same mutex and do
 * everything else (JSON, network) on their copy, so the simulation never waits on a reader for
 * longer than a copy and never shares its live state with another thread. The world's JSON text
 * is built once before any reader starts and never changes.
 *
 * Error convention: none of these operations fails. */
#ifndef ROVAK_SIM_SCENE_H
#define ROVAK_SIM_SCENE_H

#include "robot.h"
#include "trail.h"

#include <string>
#include <vector>

#define SCENE_PUBLISH_MS 20.0 /* wall time between published frames, at least */

struct SIM_Sim;

struct SCENE_Robot {
    int id;
    double x, y, th;                     /* world pose: mm, mm, radians */
    double sonar[ROBOT_SECTORS];         /* noise-free range by sector, mm */
    double infrared[ROBOT_SECTORS];      /* the same for infrared */
    unsigned char bumper[ROBOT_SECTORS]; /* 1: the bumper of that sector touches something */
};

struct SCENE_Frame {
    unsigned long seq = 0; /* 1 for the first frame published, then counting; 0: none yet */
    double time_ms = 0;    /* simulated time */
    double speedup = 1;
    std::vector<SCENE_Robot> robots;
};

/* Prepares the scene of sim (its world and robots as they start); call before any reader. */
void SCENE_Init(const SIM_Sim *sim);
/* Simulation thread, after each step: adds every robot's place to its trail. */
void SCENE_Track(const SIM_Sim *sim);
/* Simulation thread: publishes a new frame when SCENE_PUBLISH_MS of wall time have passed
 * since the last one (or none was published yet). */
void SCENE_Publish(const SIM_Sim *sim, double wall_ms);

/* A copy of the latest frame (seq 0 when none was published). */
SCENE_Frame SCENE_Latest(void);
/* Waits up to timeout_ms for a frame newer than seq, or until SCENE_Wake; true when one is
 * there. */
bool SCENE_WaitNewer(unsigned long seq, long timeout_ms);
/* Ends every wait at once and makes later waits return at once (at shutdown). */
void SCENE_Wake(void);
/* A copy of every robot's trail, robot k at index k - 1. */
std::vector<TRAIL_Trail> SCENE_Trails(void);

/* JSON texts: the world as loaded with the robots' and sensors' dimensions; one frame; the
 * trails. */
const std::string &SCENE_WorldJson(void);
std::string SCENE_StateJson(const SCENE_Frame &frame);
std::string SCENE_TrailsJson(const std::vector<TRAIL_Trail> &trails);

#endif
