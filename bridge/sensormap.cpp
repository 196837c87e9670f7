/* Sector maps: reading, merging and laying out the sensor sets (see sensormap.h). */
#include "sensormap.h"

#include "kavrel.h"

#include <math.h>

/* The robot's state record after a fresh request, or null when its connection is gone. The
 * pointer is taken after the request: a request that loses the connection releases the record. */
static Q_RobotState *refreshed(int (*request)(s32)) {
    if (Q_GetRobotState(1) == NULL)
        return NULL;
    request(1);
    return Q_GetRobotState(1);
}

/* A set number outside the records reads as an empty set. */
static bool valid_set(int n, int capacity) { return n >= 0 && n < capacity; }

int ReadSonarSet(int ss_number, MySonar *sonarset) {
    Q_RobotState *rs = refreshed(Q_GetSonar);
    if (rs == NULL)
        return -1;
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        sonarset->sonar[i].Reading = valid_set(ss_number, Q_MAX_SONAR_SETS)
                                         ? rs->SonarController.SonarSet[ss_number].Sonar[i].Reading
                                         : 0;
    return 0;
}

int ReadIRSet(int ss_number, MyIR *IRset) {
    Q_RobotState *rs = refreshed(Q_GetInfrared);
    if (rs == NULL)
        return -1;
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        IRset->IR[i].Reading =
            valid_set(ss_number, Q_MAX_INFRARED_SETS)
                ? rs->InfraredController.InfraredSet[ss_number].Infrared[i].Reading
                : 0;
    return 0;
}

int ReadBumperSet(int bs_number, MyBumper *bumperset) {
    Q_RobotState *rs = refreshed(Q_GetBumper);
    if (rs == NULL)
        return -1;
    for (int i = 0; i < MAP_SET_SENSORS; i++)
        bumperset->bumper[i].Reading =
            valid_set(bs_number, Q_MAX_BUMPER_SETS)
                ? rs->BumperController.BumperSet[bs_number].Bumper[i].Reading
                : 0;
    return 0;
}

void MinSonarSet(const MySonar *sonar1, const MySonar *sonar2, MySonar *minsonar) {
    for (int i = 0; i < MAP_SET_SENSORS; i++) {
        s32 a = sonar1->sonar[i].Reading, b = sonar2->sonar[i].Reading;
        minsonar->sonar[i].Reading = b < a ? b : a;
    }
}

void MaxIRSet(const MyIR *IR1, const MyIR *IR2, MyIR *minIR) {
    for (int i = 0; i < MAP_SET_SENSORS; i++) {
        s32 a = IR1->IR[i].Reading, b = IR2->IR[i].Reading;
        minIR->IR[i].Reading = b > a ? b : a;
    }
}

void MaxBumperSet(const MyBumper *bumper1, const MyBumper *bumper2, MyBumper *minbumper) {
    for (int i = 0; i < MAP_SET_SENSORS; i++) {
        signed char a = (signed char)bumper1->bumper[i].Reading;
        signed char b = (signed char)bumper2->bumper[i].Reading;
        minbumper->bumper[i].Reading = (char)(b > a ? b : a);
    }
}

/* The sensor circle: sector k holds sensor s of the set pair whose first set is set. */
const SensorCirclePosition sensor_circle[MAP_SECTORS] = {
    {4, 6}, {4, 7}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {2, 0}, {2, 1},
    {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5},
};

/* The merged group (0 to 2, one per set pair) and element that fill sector k. */
static int group_of(int k) { return sensor_circle[k].set / 2; }
static int element_of(int k) { return sensor_circle[k].sensor; }

void MapSonarSet(const MySonar *sonar0, const MySonar *sonar1, const MySonar *sonar2, Map *map) {
    const MySonar *g[3] = {sonar0, sonar1, sonar2};
    for (int k = 0; k < MAP_SECTORS; k++)
        map->Reading[k] = g[group_of(k)]->sonar[element_of(k)].Reading;
}

void MapIRSet(const MyIR *IR0, const MyIR *IR1, const MyIR *IR2, Map *map) {
    const MyIR *g[3] = {IR0, IR1, IR2};
    for (int k = 0; k < MAP_SECTORS; k++)
        map->Reading[k] = g[group_of(k)]->IR[element_of(k)].Reading;
}

void MapBumperSet(const MyBumper *bumper0, const MyBumper *bumper1, const MyBumper *bumper2,
                  Map *map) {
    const MyBumper *g[3] = {bumper0, bumper1, bumper2};
    for (int k = 0; k < MAP_SECTORS; k++) /* widened with the sign */
        map->Reading[k] = (signed char)g[group_of(k)]->bumper[element_of(k)].Reading;
}

int MakeSonarMap(Map *map) {
    MySonar set[6], merged[3];
    for (int i = 0; i < 6; i++)
        if (ReadSonarSet(i, &set[i]) != 0)
            return -1;
    for (int p = 0; p < 3; p++)
        MinSonarSet(&set[2 * p], &set[2 * p + 1], &merged[p]);
    MapSonarSet(&merged[0], &merged[1], &merged[2], map);
    return 0;
}

int MakeIRMap(Map *map) {
    MyIR set[6], merged[3];
    for (int i = 0; i < 6; i++)
        if (ReadIRSet(i, &set[i]) != 0)
            return -1;
    for (int p = 0; p < 3; p++)
        MaxIRSet(&set[2 * p], &set[2 * p + 1], &merged[p]);
    MapIRSet(&merged[0], &merged[1], &merged[2], map);
    return 0;
}

int MakeBumperMap(Map *map) {
    MyBumper set[6], merged[3];
    for (int i = 0; i < 6; i++)
        if (ReadBumperSet(i, &set[i]) != 0)
            return -1;
    for (int p = 0; p < 3; p++)
        MaxBumperSet(&set[2 * p], &set[2 * p + 1], &merged[p]);
    MapBumperSet(&merged[0], &merged[1], &merged[2], map);
    return 0;
}

int MapAngle(int angle) {
    int sector = (int)ceil(angle * 0.06969 - 1.04545);
    return sector < 0 ? sector + 24 : sector;
}

/* Index into the ring, for any integer. */
static int wrap(int k) { return ((k % MAP_SECTORS) + MAP_SECTORS) % MAP_SECTORS; }

/* Half-widths beyond 12 already cover the whole ring. */
static int half_width(int window) { return window / 2 > 12 ? 12 : window / 2; }

int GetSMapReading(const Map *map, int angle, int window) {
    int n = half_width(window), c = MapAngle(angle), best = 10000;
    for (int k = c - n; k <= c + n; k++)
        if (map->Reading[wrap(k)] < best)
            best = map->Reading[wrap(k)];
    return best;
}

static int window_max(const Map *map, int angle, int window) {
    int n = half_width(window), c = MapAngle(angle), best = 0;
    for (int k = c - n; k <= c + n; k++)
        if (map->Reading[wrap(k)] > best)
            best = map->Reading[wrap(k)];
    return best;
}

int GetIMapReading(const Map *map, int angle, int window) { return window_max(map, angle, window); }

int GetBMapReading(const Map *map, int angle, int window) { return window_max(map, angle, window); }
