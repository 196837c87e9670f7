/* Occupancy grid: painting the robot's readings (refresh thread and move loop). */
#include "makemap.h"

#include "sema.h"
#include "vx9200.h"

#include <stdint.h>
#include <stdio.h>

namespace {

const int kFiringOrder[8] = {0, 1, 2, 3, 4, 5, 6, 7};
const int kSonarSets = 6;

int smaller(int a, int b) { return a < b ? a : b; }

/* The odometry pose moved into the map frame. The sums saturate: the robot may report any
 * position, and one far off the map only paints the clamped border cells. */
Coord toMapFrame(Coord pose, int offsetX, int offsetY) {
    auto shift = [](int32_t v, int offset) {
        long long sum = static_cast<long long>(v) + offset;
        return static_cast<int32_t>(sum < INT32_MIN   ? INT32_MIN
                                    : sum > INT32_MAX ? INT32_MAX
                                                      : sum);
    };
    pose.x = shift(pose.x, offsetX);
    pose.y = shift(pose.y, offsetY);
    return pose;
}

} // namespace

void MakeMap::startSensors(Q_RobotState *rs) {
    for (int set = 0; set < kSonarSets; set++)
        if (sonarReader->Start(rs, set, kFiringOrder, 0) != 0)
            printf("Error in Sonar start. Sonar - %d\n", set);
    if (irReader->Start(rs) != 0)
        printf("Error in InfraRed start\n");
    sensorsStarted = true; /* failures are reported, the refresh goes on */
}

/* Paints the 24 directions; each pair of reads is taken under the semaphore when asked. A
 * direction that cannot be read (negative range) is not painted. */
void MakeMap::paintReadings(Q_RobotState *rs, Coord pose, bool underSemaphore) {
    for (int i = 0; i < VX_DIRECTIONS; i++) {
        int id = underSemaphore ? sem_open_set() : -1;
        if (underSemaphore)
            p_sem(id);
        int ir = irReader->Read(rs, i);
        int sonar = sonarReader->Read(rs, i);
        if (underSemaphore)
            v_sem(id);
        int range = smaller(sonar, ir);
        if (range >= 0)
            paintSensorData(i, range, pose);
    }
}

void MakeMap::refreshMap(int offsetX, int offsetY) {
    int id = sem_open_set();
    p_sem(id);
    state = Q_GetRobotState(VX_ROBOT_ID);
    if (state == nullptr) { /* no robot connection: nothing to paint */
        v_sem(id);
        return;
    }
    if (!sensorsStarted)
        startSensors(state);
    Coord pose = cinematic->GetOdometry(state);
    Q_GetSonar(VX_ROBOT_ID);
    Q_GetInfrared(VX_ROBOT_ID);
    state = Q_GetRobotState(VX_ROBOT_ID);
    Q_RobotState *rs = state;
    v_sem(id);
    if (rs == nullptr)
        return;
    paintReadings(rs, toMapFrame(pose, offsetX, offsetY), true);
}

void MakeMap::refreshMap2(int offsetX, int offsetY) {
    state = Q_GetRobotState(VX_ROBOT_ID);
    if (state == nullptr)
        return;
    Coord pose = toMapFrame(cinematic->GetOdometry(state), offsetX, offsetY);
    Q_GetSonar(VX_ROBOT_ID);
    Q_GetInfrared(VX_ROBOT_ID);
    state = Q_GetRobotState(VX_ROBOT_ID);
    if (state == nullptr)
        return;
    paintReadings(state, pose, false);
}

void MakeMap::finishThread() {
    int id = sem_open_set();
    p_sem(id);
    state = Q_GetRobotState(VX_ROBOT_ID);
    if (state != nullptr)
        sonarReader->StopAll(state);
    sensorsStarted = false;
    v_sem(id);
}
