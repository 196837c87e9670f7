/* State messages: readings and settings the robot server sends in answer to requests. They walk
 * the sets and sensors by the counts of the description messages. A data flag that is false ends
 * its set's group, and the set keeps its old values. A missing word, a sonar index not below the
 * set's count, or an item count that would overrun an array stops the handler there. Every loop
 * is bounded by its array's capacity as well as by the record's count, so a count that a caller
 * has overwritten never leads a handler past an array. */
#include "kavrel.h"
#include "kavrel_words.h"

typedef HCLNT_Words W;

static Q_RobotState *state_of(int fd) {
    Q_RobotState *rs;
    CONN_ConnInfo *ci;
    return HCLNT_FDtoConnInfoRS(fd, &ci, &rs) == 0 ? rs : NULL;
}

/* The data flag and time-stamp flag that open a set's group. */
enum group { GROUP_BAD = -1, GROUP_SKIPPED = 0, GROUP_DATA = 1 };

static group open_group(W *w, Q_bool *ts) {
    Q_bool data;
    if (!HCLNT_ReadFlag(w, &data) || (data && !HCLNT_ReadFlag(w, ts)))
        return GROUP_BAD;
    return data ? GROUP_DATA : GROUP_SKIPPED;
}

/* Walks the per-set groups of a state message: for each of count sets its two flags, then
 * read_set(set, time-stamp flag) when the set carries data. Stops at the first fault. */
template <typename ReadSet> static void walk_groups(W *w, u32 count, ReadSet read_set) {
    for (u32 i = 0; i < count; i++) {
        Q_bool ts = 0;
        group g = open_group(w, &ts);
        if (g == GROUP_BAD || (g == GROUP_DATA && !read_set(i, ts)))
            return;
    }
}

static bool read_stamp(W *w, Q_bool flagged, u32 *stamp) {
    s32 v;
    if (!flagged)
        return true;
    if (!HCLNT_ReadInt(w, &v))
        return false;
    *stamp = (u32)v;
    return true;
}

static bool read_ints(W *w, s32 *const *targets, int n) {
    if (!HCLNT_WordsLeft(w, n))
        return false;
    for (int i = 0; i < n; i++)
        HCLNT_ReadInt(w, targets[i]);
    return true;
}

char *HCLNT_SetAxesCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_AxisSet *as = &rs->AxisSet;
    s32 status;
    if (!HCLNT_ReadFlag(&w, &as->Global) || !HCLNT_ReadInt(&w, &status))
        return NULL;
    as->Status = (u8)status;
    walk_groups(&w, HCLNT_Bounded(as->AxisCount, as->Axis), [&](u32 i, Q_bool ts) {
        Q_Axis *a = &as->Axis[i];
        s32 *const fields[] = {&a->DesiredPosition,    &a->DesiredSpeed,       &a->Acceleration,
                               &a->TrajectoryPosition, &a->TrajectoryVelocity, &a->ActualPosition,
                               &a->ActualVelocity};
        if (!read_stamp(&w, ts, &a->TimeStamp) || !read_ints(&w, fields, 7) ||
            !HCLNT_ReadFlag(&w, &a->InProgress))
            return false;
        return true;
    });
    return NULL;
}

char *HCLNT_SetLiftCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_LiftController *lc = &rs->LiftController;
    if (!HCLNT_ReadFlag(&w, &lc->Deployed) || !HCLNT_ReadFlag(&w, &lc->InProgress))
        return NULL;
    walk_groups(&w, HCLNT_Bounded(lc->AxisCount, lc->Axis), [&](u32 i, Q_bool ts) {
        Q_LiftAxis *a = &lc->Axis[i];
        s32 mode;
        /* On the line the acceleration comes before the motor limit. */
        s32 *const fields[] = {
            &mode,        &a->Status,   &a->DesiredPosition, &a->DesiredVelocity, &a->Acceleration,
            &a->MaxMotor, &a->Position, &a->Velocity};
        if (!read_stamp(&w, ts, &a->TimeStamp) || !read_ints(&w, fields, 8))
            return false;
        a->Mode = (char)mode;
        return true;
    });
    return NULL;
}

char *HCLNT_SetIntegratedConfigurationCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_Integrator *in = &rs->Integrator;
    Q_bool ts;
    if (!HCLNT_ReadFlag(&w, &ts) || !read_stamp(&w, ts, &in->TimeStamp) || !HCLNT_WordsLeft(&w, 4))
        return NULL;
    HCLNT_ReadTruncated(&w, &in->x);
    HCLNT_ReadTruncated(&w, &in->y);
    HCLNT_ReadTruncated(&w, &in->Steering);
    HCLNT_ReadTruncated(&w, &in->Rotation);
    return NULL;
}

char *HCLNT_SetCompassCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_bool ts;
    if (HCLNT_ReadFlag(&w, &ts) && read_stamp(&w, ts, &rs->Compass.TimeStamp))
        HCLNT_ReadTruncated(&w, &rs->Compass.Reading);
    return NULL;
}

char *HCLNT_SetTimerCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    s32 time;
    if (HCLNT_ReadInt(&w, &rs->Timer.Timeout) && HCLNT_ReadInt(&w, &time))
        rs->Timer.Time = (u32)time;
    return NULL;
}

char *HCLNT_SetBatteryCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_BatterySet *bs = &rs->BatterySet;
    for (u32 i = 0; i < HCLNT_Bounded(bs->BatteryCount, bs->Battery); i++)
        if (!HCLNT_ReadInt(&w, &bs->Battery[i].Voltage))
            break;
    return NULL;
}

char *HCLNT_SetSonarConfigurationCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_SonarController *sc = &rs->SonarController;
    if (!HCLNT_ReadFlag(&w, &sc->SonarPaused))
        return NULL;
    for (u32 i = 0; i < HCLNT_Bounded(sc->SonarSetCount, sc->SonarSet); i++) {
        Q_SonarSet *set = &sc->SonarSet[i];
        if (!HCLNT_ReadTruncated(&w, &set->FiringDelay) ||
            !HCLNT_ReadTruncated(&w, &set->BlankingInterval))
            return NULL;
        /* At most SonarCount indices and the end mark: never more than the 17 places. */
        u32 places =
            HCLNT_Bounded(HCLNT_Bounded(set->SonarCount, set->Sonar) + 1, set->FiringOrder);
        for (u32 j = 0; j < places; j++) {
            s32 v;
            if (!HCLNT_ReadInt(&w, &v))
                return NULL;
            set->FiringOrder[j] = (u32)v;
            if (set->FiringOrder[j] == Q_FIRING_END)
                break;
        }
    }
    return NULL;
}

char *HCLNT_SetSonarCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_SonarController *sc = &rs->SonarController;
    walk_groups(&w, HCLNT_Bounded(sc->SonarSetCount, sc->SonarSet), [&](u32 i, Q_bool ts) {
        Q_SonarSet *set = &sc->SonarSet[i];
        u32 sonars = HCLNT_Bounded(set->SonarCount, set->Sonar);
        for (u32 n = 0; n < sonars; n++) {
            s32 k;
            if (!HCLNT_ReadInt(&w, &k))
                return false;
            if (k == Q_FIRING_END)
                break;
            if (k < 0 || (u32)k >= sonars)
                return false;
            if (!HCLNT_ReadInt(&w, &set->Sonar[k].Reading) ||
                !read_stamp(&w, ts, &set->Sonar[k].TimeStamp))
                return false;
        }
        return true;
    });
    return NULL;
}

char *HCLNT_SetInfraredCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_InfraredController *ic = &rs->InfraredController;
    walk_groups(&w, HCLNT_Bounded(ic->InfraredSetCount, ic->InfraredSet), [&](u32 i, Q_bool ts) {
        Q_InfraredSet *set = &ic->InfraredSet[i];
        for (u32 j = 0; j < HCLNT_Bounded(set->InfraredCount, set->Infrared); j++)
            if (!HCLNT_ReadInt(&w, &set->Infrared[j].Reading) ||
                !read_stamp(&w, ts, &set->Infrared[j].TimeStamp))
                return false;
        return true;
    });
    return NULL;
}

char *HCLNT_SetBumperCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_BumperController *bc = &rs->BumperController;
    walk_groups(&w, HCLNT_Bounded(bc->BumperSetCount, bc->BumperSet), [&](u32 i, Q_bool ts) {
        Q_BumperSet *set = &bc->BumperSet[i];
        for (u32 j = 0; j < HCLNT_Bounded(set->BumperCount, set->Bumper); j++) {
            s32 v;
            if (!HCLNT_ReadInt(&w, &v) || !read_stamp(&w, ts, &set->Bumper[j].TimeStamp))
                return false;
            set->Bumper[j].Reading = (char)v;
        }
        return true;
    });
    return NULL;
}

char *HCLNT_SetLaserConfigurationCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_LaserSet *ls = &rs->LaserSet;
    for (u32 i = 0; i < HCLNT_Bounded(ls->LaserCount, ls->Laser); i++) {
        Q_Laser *l = &ls->Laser[i];
        if (!HCLNT_WordsLeft(&w, 11))
            return NULL;
        s32 width, sampling, median, minpoint;
        HCLNT_ReadFlag(&w, &l->Power);
        HCLNT_ReadFlag(&w, &l->DataType);
        HCLNT_ReadFlag(&w, &l->PointType);
        HCLNT_ReadFlag(&w, &l->IntegrityChecking);
        HCLNT_ReadDouble(&w, &l->Threshold);
        HCLNT_ReadInt(&w, &width);
        HCLNT_ReadInt(&w, &sampling);
        HCLNT_ReadInt(&w, &median);
        HCLNT_ReadDouble(&w, &l->Fitting);
        HCLNT_ReadInt(&w, &minpoint);
        HCLNT_ReadDouble(&w, &l->Gap);
        l->Width = (u16)width;
        l->SamplingCount = (u16)sampling;
        l->MedianWindow = (u16)median;
        l->MinPoint = (u16)minpoint;
    }
    return NULL;
}

/* Stores n laser items; false when the line ends early. Capacity is checked by the caller. */
static bool read_laser_items(W *w, Q_Laser *l, char data_type, char point_type, u32 n) {
    for (u32 k = 0; k < n; k++) {
        if (data_type == 'p' && point_type == 'c') {
            if (!HCLNT_ReadDouble(w, &l->Data[2 * k]) || !HCLNT_ReadDouble(w, &l->Data[2 * k + 1]))
                return false;
        } else if (data_type == 'p') {
            if (!HCLNT_ReadDouble(w, &l->Data[k]))
                return false;
        } else {
            /* Four values per item at a stride of two: item k+1 overwrites the last two. */
            for (u32 v = 0; v < 4; v++)
                if (!HCLNT_ReadDouble(w, &l->Data[2 * k + v]))
                    return false;
        }
    }
    return true;
}

/* The number of Data places n items of a kind occupy. */
static u32 laser_places(char data_type, char point_type, u32 n) {
    if (n == 0)
        return 0;
    if (data_type == 'p')
        return point_type == 'c' ? 2 * n : n;
    return 2 * n + 2;
}

char *HCLNT_SetLaserCbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_LaserSet *ls = &rs->LaserSet;
    walk_groups(&w, HCLNT_Bounded(ls->LaserCount, ls->Laser), [&](u32 i, Q_bool ts) {
        Q_Laser *l = &ls->Laser[i];
        char data_type, point_type;
        s32 count;
        if (!HCLNT_ReadChar(&w, &data_type) || !HCLNT_ReadChar(&w, &point_type) ||
            !HCLNT_ReadInt(&w, &count))
            return false;
        u32 n = (u16)count;
        if (laser_places(data_type, point_type, n) > Q_MAX_LASER_DATA)
            return false;
        if (!read_laser_items(&w, l, data_type, point_type, n))
            return false;
        l->DataCount = (s16)n;
        if (!read_stamp(&w, ts, &l->TimeStamp))
            return false;
        return true;
    });
    return NULL;
}

char *HCLNT_SetK770Cbk(int fd, long, int argc, char **argv) {
    Q_RobotState *rs = state_of(fd);
    if (rs == NULL)
        return NULL;
    W w = HCLNT_WordsAfterCommand(argc, argv);
    Q_K770Set *ks = &rs->K770Set;
    walk_groups(&w, HCLNT_Bounded(ks->K770Count, ks->K770), [&](u32 i, Q_bool ts) {
        Q_K770 *k = &ks->K770[i];
        s32 count;
        if (!read_stamp(&w, ts, &k->TimeStamp) || !HCLNT_ReadInt(&w, &count))
            return false;
        u32 p = (u16)count;
        if (p > Q_MAX_K770_POINTS)
            return false;
        for (u32 j = 0; j < p; j++) {
            s32 v;
            if (!HCLNT_ReadInt(&w, &v))
                return false;
            k->Readings[j] = (u32)v;
        }
        return true;
    });
    return NULL;
}
