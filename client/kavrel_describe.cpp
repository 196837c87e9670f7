/* Description messages: the robot's constant members, sent once per connection in answer to
 * "GetConstMembers". They set every count of the state record and fill the description record.
 * A count above its array's capacity, or a missing word, stops the handler at that point. */
#include "kavrel.h"
#include "kavrel_words.h"

#include "matrix.h"

#include <stdlib.h>
#include <string.h>

/* Reads a count and checks it against its array's capacity. */
static bool read_count(HCLNT_Words *w, u32 capacity, u32 *out) {
    s32 v;
    if (!HCLNT_ReadInt(w, &v) || v < 0 || (u32)v > capacity)
        return false;
    *out = (u32)v;
    return true;
}

/* Sensor pose group: ID, Reference, then sine, cosine, x, y read as integers. */
static bool read_pose(HCLNT_Words *w, Q_XSensor *sensor) {
    if (!HCLNT_WordsLeft(w, 6))
        return false;
    const char *id, *ref;
    s32 sine, cosine, x, y;
    HCLNT_ReadWord(w, &id);
    HCLNT_ReadWord(w, &ref);
    HCLNT_ReadInt(w, &sine);
    HCLNT_ReadInt(w, &cosine);
    HCLNT_ReadInt(w, &x);
    HCLNT_ReadInt(w, &y);
    free(sensor->ID);
    sensor->ID = strdup(id);
    free(sensor->Reference);
    sensor->Reference = strdup(ref);
    if (sensor->Configuration == NULL)
        sensor->Configuration = GEO_AllocMatrix();
    if (sensor->Configuration != NULL) {
        double *m = *sensor->Configuration;
        const double s = sine, c = cosine;
        m[0] = c, m[1] = -s, m[2] = x;
        m[3] = s, m[4] = c, m[5] = y;
        m[6] = 0, m[7] = 0, m[8] = 1;
    }
    return true;
}

char *HCLNT_SetRobotTypeCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs;
    CONN_ConnInfo *ci;
    if (HCLNT_FDtoConnInfoRS(fd, &ci, &rs) != 0)
        return NULL;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    HCLNT_ReadChar(&w, &rs->RobotType);
    return NULL;
}

/* The four messages that carry nothing but one unit's count. */
static void set_count(int fd, int argc, char **argv, size_t offset, u32 capacity) {
    Q_RobotState *rs;
    CONN_ConnInfo *ci;
    if (HCLNT_FDtoConnInfoRS(fd, &ci, &rs) != 0)
        return;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    read_count(&w, capacity, (u32 *)((char *)rs + offset));
}

char *HCLNT_SetAxesDescriptionCbk(int fd, long, int argc, char **argv) {
    set_count(fd, argc, argv, offsetof(Q_RobotState, AxisSet.AxisCount), Q_MAX_AXES);
    return NULL;
}

char *HCLNT_SetLiftDescriptionCbk(int fd, long, int argc, char **argv) {
    set_count(fd, argc, argv, offsetof(Q_RobotState, LiftController.AxisCount), Q_MAX_LIFT_AXES);
    return NULL;
}

char *HCLNT_SetLaserDescriptionCbk(int fd, long, int argc, char **argv) {
    set_count(fd, argc, argv, offsetof(Q_RobotState, LaserSet.LaserCount), Q_MAX_LASERS);
    return NULL;
}

char *HCLNT_SetBatteryDescriptionCbk(int fd, long, int argc, char **argv) {
    set_count(fd, argc, argv, offsetof(Q_RobotState, BatterySet.BatteryCount), Q_MAX_BATTERIES);
    return NULL;
}

static HCLNT_UserData *block_of(int fd) {
    Q_RobotState *rs;
    CONN_ConnInfo *ci;
    if (HCLNT_FDtoConnInfoRS(fd, &ci, &rs) != 0)
        return NULL;
    return (HCLNT_UserData *)rs; /* rs is the block's first member */
}

char *HCLNT_SetSonarDescriptionCbk(int fd, long, int argc, char **argv) {
    HCLNT_UserData *ud = block_of(fd);
    if (ud == NULL)
        return NULL;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    Q_SonarController *sc = &ud->rs.SonarController;
    if (!read_count(&w, Q_MAX_SONAR_SETS, &sc->SonarSetCount))
        return NULL;
    for (u32 i = 0; i < sc->SonarSetCount; i++) {
        Q_XSonarSet *x = &ud->rs_ext.SonarController.SonarSet[i];
        if (!read_count(&w, Q_MAX_SONARS, &sc->SonarSet[i].SonarCount) ||
            !HCLNT_ReadDouble(&w, &x->MainLobe) || !HCLNT_ReadDouble(&w, &x->BlindLobe) ||
            !HCLNT_ReadDouble(&w, &x->SideLobe) ||
            !HCLNT_ReadDouble(&w, &x->BlindLobeAttenuation) ||
            !HCLNT_ReadDouble(&w, &x->SideLobeAttenuation) || !HCLNT_ReadDouble(&w, &x->Range))
            return NULL;
        for (u32 j = 0; j < sc->SonarSet[i].SonarCount; j++)
            if (!read_pose(&w, &x->Sonar[j]))
                return NULL;
    }
    return NULL;
}

char *HCLNT_SetInfraredDescriptionCbk(int fd, long, int argc, char **argv) {
    HCLNT_UserData *ud = block_of(fd);
    if (ud == NULL)
        return NULL;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    Q_InfraredController *ic = &ud->rs.InfraredController;
    if (!read_count(&w, Q_MAX_INFRARED_SETS, &ic->InfraredSetCount))
        return NULL;
    for (u32 i = 0; i < ic->InfraredSetCount; i++) {
        Q_XInfraredSet *x = &ud->rs_ext.InfraredController.InfraredSet[i];
        if (!read_count(&w, Q_MAX_INFRAREDS, &ic->InfraredSet[i].InfraredCount) ||
            !HCLNT_ReadDouble(&w, &x->MainLobe) || !HCLNT_ReadDouble(&w, &x->Range))
            return NULL;
        for (u32 j = 0; j < ic->InfraredSet[i].InfraredCount; j++)
            if (!read_pose(&w, &x->Infrared[j]))
                return NULL;
    }
    return NULL;
}

char *HCLNT_SetBumperDescriptionCbk(int fd, long, int argc, char **argv) {
    HCLNT_UserData *ud = block_of(fd);
    if (ud == NULL)
        return NULL;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    Q_BumperController *bc = &ud->rs.BumperController;
    if (!read_count(&w, Q_MAX_BUMPER_SETS, &bc->BumperSetCount))
        return NULL;
    for (u32 i = 0; i < bc->BumperSetCount; i++) {
        if (!read_count(&w, Q_MAX_BUMPERS, &bc->BumperSet[i].BumperCount))
            return NULL;
        for (u32 j = 0; j < bc->BumperSet[i].BumperCount; j++)
            if (!read_pose(&w, &ud->rs_ext.BumperController.BumperSet[i].Bumper[j]))
                return NULL;
    }
    return NULL;
}

char *HCLNT_SetK770DescriptionCbk(int fd, long, int argc, char **argv) {
    HCLNT_UserData *ud = block_of(fd);
    if (ud == NULL)
        return NULL;
    HCLNT_Words w = HCLNT_WordsAfterCommand(argc, argv);
    Q_K770Set *ks = &ud->rs.K770Set;
    if (!read_count(&w, Q_MAX_K770, &ks->K770Count))
        return NULL;
    for (u32 i = 0; i < ks->K770Count; i++) {
        s32 points;
        if (!HCLNT_ReadInt(&w, &points))
            return NULL;
        ks->K770[i].TotalPoints = (u32)points;
        ks->K770[i].RequestedPoints = (u32)points;
        if (!read_pose(&w, &ud->rs_ext.K770Set.K770[i]))
            return NULL;
    }
    return NULL;
}
