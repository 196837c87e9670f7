/* The sensor classes: sonar, infrared and bumpers laid out as one ring of 24 directions. Each
 * kind has six sets of eight; the two sets of a pair look the same way, so a direction reads the
 * nearer of the pair's two ranges (millimetres from the body's rim), or a bumper pressed in
 * either ring. */
#include "vx9200.h"

namespace {

/* Direction i (i * 15 degrees from the heading) is sensor s of the set pair (P, P + 1):
 * the same ring as the sensor bridge's 24 sectors. */
const int kRing[VX_DIRECTIONS][2] = {
    {4, 6}, {4, 7}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {2, 0}, {2, 1},
    {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5},
};

int smaller(int a, int b) { return a < b ? a : b; }

} // namespace

void VX_DirectionSensor(int i, int *set, int *sensor) {
    *set = kRing[i][0];
    *sensor = kRing[i][1];
}

int SenSonar::Start(Q_RobotState *state, int set, const int *order, int flags) {
    if (state == nullptr || set < 0 || set >= Q_MAX_SONAR_SETS || order == nullptr || flags != 0)
        return -1;
    if (Q_GetSonarConfiguration(VX_ROBOT_ID) != 0) /* the other sets' settings are sent too */
        return -1;
    Q_SonarSet *ss = &state->SonarController.SonarSet[set];
    for (int k = 0; k < 8; k++)
        ss->FiringOrder[k] = static_cast<u32>(order[k]);
    ss->FiringOrder[8] = Q_FIRING_END;
    ss->DataActive = 1;
    state->SonarController.SonarPaused = 0;
    return Q_SetSonarConfiguration(VX_ROBOT_ID);
}

int SenSonar::Read(Q_RobotState *state, int i) {
    if (state == nullptr || i < 0 || i >= VX_DIRECTIONS)
        return -1;
    int set, s;
    VX_DirectionSensor(i, &set, &s);
    const Q_SonarController &sc = state->SonarController;
    return smaller(sc.SonarSet[set].Sonar[s].Reading, sc.SonarSet[set + 1].Sonar[s].Reading);
}

int SenSonar::StopAll(Q_RobotState *state) {
    if (state == nullptr || Q_GetSonarConfiguration(VX_ROBOT_ID) != 0)
        return -1;
    state->SonarController.SonarPaused = 1;
    return Q_SetSonarConfiguration(VX_ROBOT_ID);
}

int SenIr::Start(Q_RobotState *state) {
    if (state == nullptr)
        return -1;
    for (int set = 0; set < Q_MAX_INFRARED_SETS; set++)
        state->InfraredController.InfraredSet[set].DataActive = 1;
    return Q_GetInfrared(VX_ROBOT_ID);
}

/* A reading at the set's range (as described by the robot) means nothing was seen. */
static int irRange(const Q_InfraredSet &set, const Q_XInfraredSet *desc, int s) {
    int r = set.Infrared[s].Reading;
    if (desc != nullptr && desc->Range > 0 && r >= desc->Range)
        return VX_NO_ECHO;
    return r;
}

int SenIr::Read(Q_RobotState *state, int i) {
    if (state == nullptr || i < 0 || i >= VX_DIRECTIONS)
        return -1;
    int set, s;
    VX_DirectionSensor(i, &set, &s);
    const Q_InfraredController &ic = state->InfraredController;
    const Q_RobotStateExt *ext = Q_GetRobotStateExt(VX_ROBOT_ID);
    const Q_XInfraredSet *d0 = ext != nullptr ? &ext->InfraredController.InfraredSet[set] : nullptr;
    const Q_XInfraredSet *d1 =
        ext != nullptr ? &ext->InfraredController.InfraredSet[set + 1] : nullptr;
    return smaller(irRange(ic.InfraredSet[set], d0, s), irRange(ic.InfraredSet[set + 1], d1, s));
}

BumperRecord SenBumper::Read(Q_RobotState *state) {
    BumperRecord record = {-1, -1, -1};
    if (state == nullptr)
        return record;
    for (int i = 0; i < VX_DIRECTIONS; i++) {
        int set, s;
        VX_DirectionSensor(i, &set, &s);
        for (int k = set; k <= set + 1; k++)
            if (state->BumperController.BumperSet[k].Bumper[s].Reading > 0) {
                record = {i, k, s};
                return record;
            }
    }
    return record;
}
