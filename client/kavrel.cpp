/* State lookup, the state block's life, and connecting to a robot. */
#include "kavrel.h"
#include "kavrel_words.h"

#include "buffer.h"
#include "client.h"
#include "command.h"
#include "connect.h"
#include "matrix.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void free_sensor(Q_XSensor *s) {
    free(s->ID);
    free(s->Reference);
    if (s->Configuration != NULL)
        GEO_FreeMatrix(s->Configuration);
    s->ID = s->Reference = NULL;
    s->Configuration = NULL;
}

void HCLNT_FreeUserData(void *user_data) {
    HCLNT_UserData *ud = (HCLNT_UserData *)user_data;
    if (ud == NULL)
        return;
    Q_RobotStateExt *x = &ud->rs_ext;
    /* Every place, not only those in use: a later description may have lowered a count. */
    for (int i = 0; i < Q_MAX_SONAR_SETS; i++)
        for (int j = 0; j < Q_MAX_SONARS; j++)
            free_sensor(&x->SonarController.SonarSet[i].Sonar[j]);
    for (int i = 0; i < Q_MAX_INFRARED_SETS; i++)
        for (int j = 0; j < Q_MAX_INFRAREDS; j++)
            free_sensor(&x->InfraredController.InfraredSet[i].Infrared[j]);
    for (int i = 0; i < Q_MAX_BUMPER_SETS; i++)
        for (int j = 0; j < Q_MAX_BUMPERS; j++)
            free_sensor(&x->BumperController.BumperSet[i].Bumper[j]);
    for (int i = 0; i < Q_MAX_K770; i++)
        free_sensor(&x->K770Set.K770[i]);
    free(ud);
}

HCLNT_UserData *HCLNT_AllocUserData(void) {
    return (HCLNT_UserData *)calloc(1, sizeof(HCLNT_UserData));
}

int HCLNT_IDtoConnInfoRS(s32 id, CONN_ConnInfo **conn_info, Q_RobotState **rs) {
    *conn_info = NULL;
    *rs = NULL;
    if (id < 1)
        return CONN_ERR_NO_CONNECTION;
    int err = CONN_IDtoConnInfo(id, conn_info);
    if (err != 0)
        return err;
    if ((*conn_info)->user_data == NULL)
        return CONN_ERR_NO_CONNECTION;
    *rs = &((HCLNT_UserData *)(*conn_info)->user_data)->rs;
    return 0;
}

int HCLNT_FDtoConnInfoRS(int fd, CONN_ConnInfo **conn_info, Q_RobotState **rs) {
    *rs = NULL;
    CONN_FDtoConnInfo(fd, conn_info);
    if (*conn_info == NULL || (*conn_info)->user_data == NULL)
        return CONN_ERR_NO_CONNECTION;
    *rs = &((HCLNT_UserData *)(*conn_info)->user_data)->rs;
    return 0;
}

int HCLNT_FDtoConnInfoRSExt(int fd, CONN_ConnInfo **conn_info, Q_RobotStateExt **rs_ext) {
    Q_RobotState *rs;
    int err = HCLNT_FDtoConnInfoRS(fd, conn_info, &rs);
    *rs_ext = err == 0 ? &((HCLNT_UserData *)rs)->rs_ext : NULL;
    return err;
}

Q_RobotState *Q_GetRobotState(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    return HCLNT_IDtoConnInfoRS(id, &ci, &rs) == 0 ? rs : NULL;
}

Q_RobotStateExt *Q_GetRobotStateExt(s32 id) {
    Q_RobotState *rs = Q_GetRobotState(id);
    return rs != NULL ? &((HCLNT_UserData *)rs)->rs_ext : NULL;
}

int HCLNT_Initialize(void) {
    static const struct {
        const char *word;
        CMD_callback handler;
    } handlers[] = {
        {"SetRobotType", HCLNT_SetRobotTypeCbk},
        {"SetAxesDescription", HCLNT_SetAxesDescriptionCbk},
        {"SetLiftDescription", HCLNT_SetLiftDescriptionCbk},
        {"SetSonarDescription", HCLNT_SetSonarDescriptionCbk},
        {"SetInfraredDescription", HCLNT_SetInfraredDescriptionCbk},
        {"SetBumperDescription", HCLNT_SetBumperDescriptionCbk},
        {"SetLaserDescription", HCLNT_SetLaserDescriptionCbk},
        {"SetK770Description", HCLNT_SetK770DescriptionCbk},
        {"SetBatteryDescription", HCLNT_SetBatteryDescriptionCbk},
        {"SetAxes", HCLNT_SetAxesCbk},
        {"SetLift", HCLNT_SetLiftCbk},
        {"SetIntegratedConfiguration", HCLNT_SetIntegratedConfigurationCbk},
        {"SetSonar", HCLNT_SetSonarCbk},
        {"SetSonarConfiguration", HCLNT_SetSonarConfigurationCbk},
        {"SetInfrared", HCLNT_SetInfraredCbk},
        {"SetBumper", HCLNT_SetBumperCbk},
        {"SetCompass", HCLNT_SetCompassCbk},
        {"SetLaser", HCLNT_SetLaserCbk},
        {"SetLaserConfiguration", HCLNT_SetLaserConfigurationCbk},
        {"SetK770", HCLNT_SetK770Cbk},
        {"SetTimer", HCLNT_SetTimerCbk},
        {"SetBattery", HCLNT_SetBatteryCbk},
    };
    for (const auto &h : handlers)
        CMD_Register(h.word, h.handler);
    return 0;
}

/* Local socket when the robot server runs on this machine and offers one, TCP otherwise. */
static int open_robot(const Q_RobotListEntry *entry, CONN_ConnInfo **ci) {
    char local[80];
    if (entry->unixpath != NULL && entry->unixpath[0] != '\0' &&
        gethostname(local, sizeof local) == 0) {
        local[sizeof local - 1] = '\0';
        if (strcmp(local, entry->hostname) == 0)
            return CONN_UnixConnect(entry->id, entry->unixpath, 1, ci);
    }
    return CONN_Connect(entry->id, entry->hostname, entry->port, 1, ci);
}

/* The request flags a freshly described robot starts with. */
static void set_default_flags(Q_RobotState *rs, s32 id) {
    rs->RobotID = id;
    for (u32 i = 0; i < HCLNT_Bounded(rs->AxisSet.AxisCount, rs->AxisSet.Axis); i++)
        rs->AxisSet.Axis[i].DataActive = 1, rs->AxisSet.Axis[i].TimeStampActive = 0;
    for (u32 i = 0; i < HCLNT_Bounded(rs->LiftController.AxisCount, rs->LiftController.Axis); i++)
        rs->LiftController.Axis[i].DataActive = 1, rs->LiftController.Axis[i].TimeStampActive = 0;
    for (u32 i = 0;
         i < HCLNT_Bounded(rs->SonarController.SonarSetCount, rs->SonarController.SonarSet); i++)
        rs->SonarController.SonarSet[i].DataActive = 1,
        rs->SonarController.SonarSet[i].TimeStampActive = 0;
    for (u32 i = 0; i < HCLNT_Bounded(rs->InfraredController.InfraredSetCount,
                                      rs->InfraredController.InfraredSet);
         i++)
        rs->InfraredController.InfraredSet[i].DataActive = 1,
        rs->InfraredController.InfraredSet[i].TimeStampActive = 0;
    for (u32 i = 0;
         i < HCLNT_Bounded(rs->BumperController.BumperSetCount, rs->BumperController.BumperSet);
         i++)
        rs->BumperController.BumperSet[i].DataActive = 1,
        rs->BumperController.BumperSet[i].TimeStampActive = 0;
    for (u32 i = 0; i < HCLNT_Bounded(rs->K770Set.K770Count, rs->K770Set.K770); i++)
        rs->K770Set.K770[i].DataActive = 1, rs->K770Set.K770[i].TimeStampActive = 0;
    for (u32 i = 0; i < HCLNT_Bounded(rs->LaserSet.LaserCount, rs->LaserSet.Laser); i++)
        rs->LaserSet.Laser[i].DataActive = 1, rs->LaserSet.Laser[i].TimeStampActive = 0;
    rs->Integrator.DataActive = 1, rs->Integrator.TimeStampActive = 0;
    rs->Compass.DataActive = 1, rs->Compass.TimeStampActive = 0;
    rs->BatterySet.DataActive = 1;
}

int Q_ConnectRobot(s32 id) {
    const Q_RobotListEntry *entry = HCLNT_FindRobotEntry(id);
    if (entry == NULL) {
        int err = Q_UpdateRobotList();
        if (err != 0)
            return err;
        entry = HCLNT_FindRobotEntry(id);
        if (entry == NULL)
            return CONN_ERR_NO_CONNECTION;
    }
    HCLNT_UserData *ud = HCLNT_AllocUserData();
    if (ud == NULL)
        return CONN_ERR_NO_MEMORY;
    CONN_ConnInfo *ci;
    int err = open_robot(entry, &ci);
    if (err != 0) {
        HCLNT_FreeUserData(ud);
        return err;
    }
    ci->user_data = ud;
    ci->user_free = HCLNT_FreeUserData;

    BUF_Reset(NULL);
    BUF_AddString("GetConstMembers");
    BUF_AddChar('\n');
    char *line = strdup(BUF_Buffer());
    if (line == NULL) {
        CONN_Disconnect(ci);
        return CONN_ERR_NO_MEMORY;
    }
    err = CONN_SendToConnection(ci, line, (unsigned int)BUF_Index(), 1);
    if (err != 0) {
        /* A lost connection is already released; after an error answer it is still open. Either
         * way nothing of this attempt stays, so the result and the state agree and a retry can
         * connect. */
        CONN_ConnInfo *left;
        if (CONN_IDtoConnInfo(id, &left) == 0)
            CONN_Disconnect(left);
        /* The server's own -5 must not read as "robot not listed". */
        return err == CONN_ERR_NO_CONNECTION ? CONN_ERR_ANSWER : err;
    }
    set_default_flags(&ud->rs, id);
    return 0;
}

int Q_DisconnectRobot(s32 id) {
    CONN_ConnInfo *ci;
    int err = CONN_IDtoConnInfo(id, &ci);
    if (err != 0)
        return err;
    return CONN_Disconnect(ci);
}
