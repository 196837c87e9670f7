/* The hand-over of the scene between the simulation thread and the view (see scene.h). */
#include "scene.h"

#include "scene_internal.h"
#include "sim.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

std::mutex lock;
std::condition_variable published;
SCENE_Frame latest;              /* guarded by lock */
std::vector<TRAIL_Trail> trails; /* guarded by lock */
bool woken = false;              /* guarded by lock */
SCENE_Frame spare;               /* simulation thread only: the next frame is built here */
double last_publish = 0;         /* simulation thread only: wall ms */
bool any_published = false;      /* simulation thread only */
std::string world_json;          /* written once by SCENE_Init */

void capture(const SIM_Sim *sim, SCENE_Frame *f) {
    f->time_ms = sim->now_ms;
    f->speedup = sim->opt.speedup;
    f->robots.resize(sim->robots.size());
    for (size_t i = 0; i < sim->robots.size(); i++) {
        const ROBOT_Robot &r = sim->robots[i];
        SCENE_Robot &out = f->robots[i];
        ROBOT_Ranges ranges;
        out.id = r.id;
        out.x = r.x, out.y = r.y, out.th = r.th;
        for (int k = 0; k < ROBOT_SECTORS; k++) {
            out.sonar[k] = ROBOT_SonarRange(&r, &sim->world, k, &ranges);
            out.infrared[k] = ROBOT_InfraredRange(&r, &sim->world, k, &ranges);
            out.bumper[k] = (unsigned char)ROBOT_BumperState(&r, &sim->world, k, &ranges);
        }
    }
}

} // namespace

void SCENE_Init(const SIM_Sim *sim) {
    world_json = scene_world_json(sim);
    std::lock_guard<std::mutex> g(lock);
    trails.assign(sim->robots.size(), TRAIL_Trail());
    for (size_t i = 0; i < sim->robots.size(); i++)
        TRAIL_Add(&trails[i], sim->robots[i].x, sim->robots[i].y);
}

void SCENE_Track(const SIM_Sim *sim) {
    std::lock_guard<std::mutex> g(lock);
    for (size_t i = 0; i < sim->robots.size() && i < trails.size(); i++)
        TRAIL_Add(&trails[i], sim->robots[i].x, sim->robots[i].y);
}

void SCENE_Publish(const SIM_Sim *sim, double wall_ms) {
    if (any_published && wall_ms - last_publish < SCENE_PUBLISH_MS)
        return;
    any_published = true;
    last_publish = wall_ms;
    /* The ray casts run outside the lock; only the swap is guarded. */
    capture(sim, &spare);
    {
        std::lock_guard<std::mutex> g(lock);
        spare.seq = latest.seq + 1;
        std::swap(latest, spare);
    }
    published.notify_all();
}

SCENE_Frame SCENE_Latest(void) {
    std::lock_guard<std::mutex> g(lock);
    return latest;
}

bool SCENE_WaitNewer(unsigned long seq, long timeout_ms) {
    std::unique_lock<std::mutex> g(lock);
    published.wait_for(g, std::chrono::milliseconds(timeout_ms),
                       [seq] { return woken || latest.seq > seq; });
    return !woken && latest.seq > seq;
}

void SCENE_Wake(void) {
    {
        std::lock_guard<std::mutex> g(lock);
        woken = true;
    }
    published.notify_all();
}

std::vector<TRAIL_Trail> SCENE_Trails(void) {
    std::lock_guard<std::mutex> g(lock);
    return trails;
}

const std::string &SCENE_WorldJson(void) { return world_json; }
