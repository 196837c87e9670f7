/* Robot requests: each turns the robot's request flags and command fields into one line, built
 * in the message buffer, and sends a heap copy on the robot's connection, waiting for the answer
 * when the client is in synchronous mode. */
#include "kavrel.h"
#include "kavrel_words.h"

#include "buffer.h"
#include "client.h"
#include "connect.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Ends the line in the buffer and sends a copy of it. */
static int send_line(CONN_ConnInfo *ci) {
    BUF_AddChar('\n');
    unsigned long len = BUF_Index();
    char *copy = (char *)malloc(len + 1);
    if (copy == NULL)
        return CONN_ERR_NO_MEMORY;
    memcpy(copy, BUF_Buffer(), len + 1);
    return CONN_SendToConnection(ci, copy, (unsigned int)len, Q_GetSynchronous());
}

/* Finds the robot and starts its line with word; id_prefix also writes "<id>:" in front. */
static int begin(s32 id, const char *word, bool id_prefix, CONN_ConnInfo **ci, Q_RobotState **rs) {
    int err = HCLNT_IDtoConnInfoRS(id, ci, rs);
    if (err != 0)
        return err;
    BUF_Reset(NULL);
    if (id_prefix) {
        BUF_AddLong(id);
        BUF_AddChar(':');
    }
    BUF_AddString(word);
    return 0;
}

static void add_flags(Q_bool data, Q_bool stamp) {
    BUF_AddSpace();
    BUF_AddBoolean(data);
    BUF_AddSpace();
    BUF_AddBoolean(stamp);
}

static void add_long(long v) {
    BUF_AddSpace();
    BUF_AddLong(v);
}

static void add_double(double v) {
    BUF_AddSpace();
    BUF_AddDouble(v);
}

void HCLNT_AxesRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0; i < HCLNT_Bounded(rs->AxisSet.AxisCount, rs->AxisSet.Axis); i++)
        add_flags(rs->AxisSet.Axis[i].DataActive, rs->AxisSet.Axis[i].TimeStampActive);
}

void HCLNT_LiftRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0; i < HCLNT_Bounded(rs->LiftController.AxisCount, rs->LiftController.Axis); i++)
        add_flags(rs->LiftController.Axis[i].DataActive,
                  rs->LiftController.Axis[i].TimeStampActive);
}

void HCLNT_SonarRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0;
         i < HCLNT_Bounded(rs->SonarController.SonarSetCount, rs->SonarController.SonarSet); i++)
        add_flags(rs->SonarController.SonarSet[i].DataActive,
                  rs->SonarController.SonarSet[i].TimeStampActive);
}

void HCLNT_InfraredRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0; i < HCLNT_Bounded(rs->InfraredController.InfraredSetCount,
                                      rs->InfraredController.InfraredSet);
         i++)
        add_flags(rs->InfraredController.InfraredSet[i].DataActive,
                  rs->InfraredController.InfraredSet[i].TimeStampActive);
}

void HCLNT_BumperRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0;
         i < HCLNT_Bounded(rs->BumperController.BumperSetCount, rs->BumperController.BumperSet);
         i++)
        add_flags(rs->BumperController.BumperSet[i].DataActive,
                  rs->BumperController.BumperSet[i].TimeStampActive);
}

void HCLNT_LaserRequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0; i < HCLNT_Bounded(rs->LaserSet.LaserCount, rs->LaserSet.Laser); i++)
        add_flags(rs->LaserSet.Laser[i].DataActive, rs->LaserSet.Laser[i].TimeStampActive);
}

void HCLNT_K770RequestBuffer(const char *word, Q_RobotState *rs) {
    BUF_AddString(word);
    for (u32 i = 0; i < HCLNT_Bounded(rs->K770Set.K770Count, rs->K770Set.K770); i++) {
        add_flags(rs->K770Set.K770[i].DataActive, rs->K770Set.K770[i].TimeStampActive);
        add_long(rs->K770Set.K770[i].RequestedPoints);
    }
}

/* Get requests made of one list builder. */
static int list_request(s32 id, const char *word, void (*build)(const char *, Q_RobotState *)) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "", false, &ci, &rs);
    if (err != 0)
        return err;
    build(word, rs);
    return send_line(ci);
}

/* Requests that are the command word alone. */
static int bare_request(s32 id, const char *word, bool id_prefix) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, word, id_prefix, &ci, &rs);
    return err != 0 ? err : send_line(ci);
}

int Q_GetAxes(s32 id) { return list_request(id, "GetAxes", HCLNT_AxesRequestBuffer); }
int Q_GetLift(s32 id) { return list_request(id, "GetLift", HCLNT_LiftRequestBuffer); }
int Q_GetSonar(s32 id) { return list_request(id, "GetSonar", HCLNT_SonarRequestBuffer); }
int Q_GetInfrared(s32 id) { return list_request(id, "GetInfrared", HCLNT_InfraredRequestBuffer); }
int Q_GetBumper(s32 id) { return list_request(id, "GetBumper", HCLNT_BumperRequestBuffer); }
int Q_GetLaser(s32 id) { return list_request(id, "GetLaser", HCLNT_LaserRequestBuffer); }
int Q_GetK770(s32 id) { return list_request(id, "GetK770", HCLNT_K770RequestBuffer); }

int Q_DeployLift(s32 id) { return bare_request(id, "DeployLift", false); }
int Q_RetractLift(s32 id) { return bare_request(id, "RetractLift", false); }
int Q_GetBattery(s32 id) { return bare_request(id, "GetBattery", false); }
int Q_GetTimer(s32 id) { return bare_request(id, "GetTimer", true); }
int Q_GetSonarConfiguration(s32 id) { return bare_request(id, "GetSonarConfiguration", true); }
int Q_GetLaserConfiguration(s32 id) { return bare_request(id, "GetLaserConfiguration", true); }

int Q_SetAxes(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetAxes", false, &ci, &rs);
    if (err != 0)
        return err;
    Q_AxisSet *as = &rs->AxisSet;
    BUF_AddSpace();
    BUF_AddBoolean(as->Global);
    for (u32 i = 0; i < HCLNT_Bounded(as->AxisCount, as->Axis); i++) {
        Q_Axis *a = &as->Axis[i];
        BUF_AddSpace();
        BUF_AddBoolean(a->Update);
        if (!a->Update)
            continue;
        a->Update = 0;
        add_long(a->Mode);
        add_long(a->DesiredPosition);
        add_long(a->DesiredSpeed);
        add_long(a->Acceleration);
    }
    return send_line(ci);
}

int Q_SetLift(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetLift", false, &ci, &rs);
    if (err != 0)
        return err;
    Q_LiftController *lc = &rs->LiftController;
    bool any = false;
    for (u32 i = 0; i < HCLNT_Bounded(lc->AxisCount, lc->Axis); i++) {
        Q_LiftAxis *a = &lc->Axis[i];
        BUF_AddSpace();
        BUF_AddBoolean(a->Update);
        if (!a->Update)
            continue;
        any = true;
        a->Update = 0;
        add_long(a->Mode);
        add_long(a->DesiredPosition);
        add_long(a->DesiredVelocity);
        add_long(a->Acceleration);
        add_long(a->MaxMotor);
    }
    return any ? send_line(ci) : 0;
}

int Q_ZeroLift(s32 id, int force) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "ZeroLift", false, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddSpace();
    BUF_AddBoolean((force & 0xff) != 0);
    return send_line(ci);
}

int Q_SetJoystick(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetJoystick", true, &ci, &rs);
    if (err != 0)
        return err;
    Q_Joystick *j = &rs->Joystick;
    add_double(j->X);
    add_double(j->Y);
    add_double(j->Theta);
    BUF_AddSpace();
    BUF_AddBoolean(j->ButtonA);
    BUF_AddSpace();
    BUF_AddBoolean(j->ButtonB);
    BUF_AddSpace();
    BUF_AddBoolean(j->ButtonC);
    return send_line(ci);
}

int Q_SetTimer(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetTimer", true, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddSpace();
    BUF_AddPrecisionDouble((double)rs->Timer.Timeout);
    return send_line(ci);
}

int Q_SetSonarConfiguration(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetSonarConfiguration", false, &ci, &rs);
    if (err != 0)
        return err;
    Q_SonarController *sc = &rs->SonarController;
    BUF_AddSpace();
    BUF_AddBoolean(sc->SonarPaused);
    for (u32 i = 0; i < HCLNT_Bounded(sc->SonarSetCount, sc->SonarSet); i++) {
        Q_SonarSet *set = &sc->SonarSet[i];
        add_long(set->FiringDelay);
        add_long(set->BlankingInterval);
        for (u32 j = 0; j < HCLNT_Bounded(set->SonarCount, set->FiringOrder) &&
                        set->FiringOrder[j] != Q_FIRING_END;
             j++)
            add_long(set->FiringOrder[j]);
        add_long(Q_FIRING_END);
    }
    return send_line(ci);
}

/* A laser setting held as 0 or 1, written as the digit. */
static void add_setting_char(u8 v) {
    BUF_AddSpace();
    BUF_AddChar(v ? '1' : '0');
}

int Q_SetLaserConfiguration(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetLaserConfiguration", false, &ci, &rs);
    if (err != 0)
        return err;
    for (u32 i = 0; i < HCLNT_Bounded(rs->LaserSet.LaserCount, rs->LaserSet.Laser); i++) {
        Q_Laser *l = &rs->LaserSet.Laser[i];
        add_setting_char(l->Power);
        add_setting_char(l->DataType);
        add_setting_char(l->PointType);
        BUF_AddSpace();
        BUF_AddBoolean(l->IntegrityChecking);
        add_double(l->Threshold);
        add_long(l->Width);
        add_long(l->SamplingCount);
        add_long(l->MedianWindow);
        add_double(l->Fitting);
        add_long(l->MinPoint);
        add_double(l->Gap);
    }
    return send_line(ci);
}

int Q_GetCompass(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "GetCompass", false, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddSpace();
    BUF_AddBoolean(rs->Compass.TimeStampActive);
    return send_line(ci);
}

int Q_GetIntegratedConfiguration(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "GetIntegratedConfiguration", false, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddSpace();
    BUF_AddBoolean(rs->Integrator.TimeStampActive);
    return send_line(ci);
}

int Q_SetIntegratedConfiguration(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "SetIntegratedConfiguration", true, &ci, &rs);
    if (err != 0)
        return err;
    add_long(rs->Integrator.x);
    add_long(rs->Integrator.y);
    add_long(rs->Integrator.Steering);
    add_long(rs->Integrator.Rotation);
    return send_line(ci);
}

int Q_GetState(s32 id) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "GetState", false, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddSpace();
    HCLNT_AxesRequestBuffer("axes", rs);
    BUF_AddSpace();
    HCLNT_SonarRequestBuffer("sonar", rs);
    BUF_AddSpace();
    HCLNT_InfraredRequestBuffer("infrared", rs);
    BUF_AddSpace();
    HCLNT_BumperRequestBuffer("bumper", rs);
    BUF_AddSpace();
    HCLNT_LaserRequestBuffer("laser", rs);
    BUF_AddSpace();
    HCLNT_K770RequestBuffer("k770", rs);
    BUF_AddSpace();
    BUF_AddSpace();
    BUF_AddString("compass");
    add_flags(rs->Compass.DataActive, rs->Compass.TimeStampActive);
    BUF_AddString(" battery ");
    BUF_AddBoolean(rs->BatterySet.DataActive);
    BUF_AddString(" configuration");
    add_flags(rs->Integrator.DataActive, rs->Integrator.TimeStampActive);
    return send_line(ci);
}

int Q_Speak(s32 id, const char *text) {
    CONN_ConnInfo *ci;
    Q_RobotState *rs;
    int err = begin(id, "Speak", true, &ci, &rs);
    if (err != 0)
        return err;
    BUF_AddString(" \"");
    for (const unsigned char *p = (const unsigned char *)(text ? text : ""); *p; p++) {
        if (*p < 32) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\%o", *p);
            BUF_AddString(escape);
        } else if (*p == '"' || *p == '\\') {
            BUF_AddChar('\\');
            BUF_AddChar((char)*p);
        } else {
            BUF_AddChar((char)*p);
        }
    }
    BUF_AddChar('"');
    return send_line(ci);
}
