/* A robot program written in C11 against the headers of include/, linked from Kavrel.o, the rest
 * of the client library and the common library. Given a scheduler's host and port, it lists
 * the robots, connects to robot 1, reads its sonars and batteries, drives it 100 mm forward and
 * disconnects. It also calls one operation of each container header, so that a header whose
 * functions lacked C linkage would fail the link. Prints one line per step and "c_client: ok"
 * at the end; exit status 0 on success, 1 on the first failed step. */
#define _POSIX_C_SOURCE 200809L

#include "argcv.h"
#include "buffer.h"
#include "client.h"
#include "command.h"
#include "conn_errors.h"
#include "connect.h"
#include "double_list.h"
#include "fatal.h"
#include "geometry.h"
#include "hash.h"
#include "kavrel.h"
#include "matrix.h"
#include "mempool.h"
#include "robot_state.h"
#include "socket.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int fail(const char *step, int code) {
    printf("c_client: %s failed (%d)\n", step, code);
    return 1;
}

/* The containers and text tools from C: words, buffer, dispatcher, table, list, matrix. */
static int check_common(void) {
    int argc;
    char **argv;
    ARGCV_Create("GetSonar 1 0\n", &argc, &argv);
    int words_ok = argc == 4 && strcmp(argv[0], "GetSonar") == 0;
    if (argc > 0)
        ARGCV_Free(argc, argv);

    BUF_Reset(NULL);
    BUF_AddString("x");
    BUF_AddSpace();
    BUF_AddDouble(2.5);
    int buffer_ok = strcmp(BUF_Buffer(), "x 2.5") == 0;

    char *reply = CMD_ExecuteRaw(0, "NoSuchCommand\n");
    int dispatch_ok =
        reply != NULL && strcmp(reply, "Error NoSuchCommand -4\nDone NoSuchCommand\n") == 0;
    free(reply);

    cache_ptr table = hash_new(4, hash_string, compare_strings);
    static int value = 7;
    hash_add(&table, "key", &value);
    int hash_ok = hash_value_for_key(table, "key") == &value;
    hash_delete(table);

    DBL *list = DBL_AddBefore(NULL, &value);
    int list_ok = list != NULL && list->element == &value;
    DBL_Free(list, NULL);

    double m[4] = {2, 0, 0, 3};
    int matrix_ok = mx_det(m, 2) == 6.0;

    VECTOR *v = GEO_CreateVector(1, 2, 1);
    int geometry_ok = v != NULL && (*v)[1] == 2.0;
    if (v != NULL)
        GEO_FreeVector(v);

    return words_ok && buffer_ok && dispatch_ok && hash_ok && list_ok && matrix_ok && geometry_ok;
}

static void sleep_ms(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

/* Polls the axes until none is in progress; 0, a request's error code, or -6 after 3000 polls. */
static int wait_until_still(s32 id) {
    for (int i = 0; i < 3000; i++) {
        int rc = Q_GetAxes(id);
        if (rc != 0)
            return rc;
        const Q_AxisSet *as = &Q_GetRobotState(id)->AxisSet;
        int moving = 0;
        for (u32 a = 0; a < as->AxisCount && a < Q_MAX_AXES; a++)
            moving = moving || as->Axis[a].InProgress;
        if (!moving)
            return 0;
        sleep_ms(10);
    }
    return CONN_ERR_LOST;
}

static int drive_forward(s32 id, s32 mm) {
    int rc = Q_GetAxes(id);
    if (rc != 0)
        return fail("GetAxes", rc);
    Q_RobotState *rs = Q_GetRobotState(id);
    s32 start = rs->AxisSet.Axis[0].ActualPosition;
    Q_Axis *forward = &rs->AxisSet.Axis[0];
    forward->Update = 1;
    forward->Mode = 2; /* relative position */
    forward->DesiredPosition = mm;
    forward->DesiredSpeed = 400;
    forward->Acceleration = 800;
    if ((rc = Q_SetAxes(id)) != 0)
        return fail("SetAxes", rc);
    if ((rc = wait_until_still(id)) != 0)
        return fail("waiting for the move", rc);
    s32 moved = rs->AxisSet.Axis[0].ActualPosition - start;
    printf("c_client: moved %d mm\n", (int)moved);
    return moved >= mm - 5 && moved <= mm + 5 ? 0 : fail("distance moved", (int)moved);
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: c_client SCHEDULER-HOST PORT\n");
        return 2;
    }
    alarm(120); /* a hung step ends the program rather than the test run */
    int rc = Q_InitializeClient(argv[1], atoi(argv[2]));
    if (rc != 0)
        return fail("InitializeClient", rc);
    if (!check_common())
        return fail("common library calls", 0);

    if ((rc = Q_UpdateRobotList()) != 0)
        return fail("UpdateRobotList", rc);
    const Q_RobotListEntry *list = Q_GetRobotList();
    if (list == NULL)
        return fail("GetRobotList", 0);
    int listed = 0;
    for (const Q_RobotListEntry *e = list; e->id != 0; e++) {
        printf("c_client: robot %d at %s:%u %s\n", (int)e->id, e->hostname ? e->hostname : "-",
               (unsigned)e->port, e->unixpath ? e->unixpath : "-");
        listed = listed || e->id == 1;
    }
    if (!listed)
        return fail("robot 1 listed", 0);

    if ((rc = Q_ConnectRobot(1)) != 0)
        return fail("ConnectRobot", rc);
    Q_RobotState *rs = Q_GetRobotState(1);
    if (rs == NULL || Q_GetRobotStateExt(1) == NULL)
        return fail("GetRobotState", 0);

    if ((rc = Q_GetSonar(1)) != 0)
        return fail("GetSonar", rc);
    const Q_SonarSet *sonars = &rs->SonarController.SonarSet[0];
    if (rs->SonarController.SonarSetCount == 0 || sonars->SonarCount == 0)
        return fail("sonar description", 0);
    printf("c_client: sonar readings");
    for (u32 k = 0; k < sonars->SonarCount && k < Q_MAX_SONARS; k++)
        printf(" %d", (int)sonars->Sonar[k].Reading);
    printf("\n");

    if ((rc = Q_GetBattery(1)) != 0)
        return fail("GetBattery", rc);
    if (rs->BatterySet.BatteryCount == 0 || rs->BatterySet.Battery[0].Voltage <= 0)
        return fail("battery voltage", rs->BatterySet.Battery[0].Voltage);
    printf("c_client: battery %d\n", (int)rs->BatterySet.Battery[0].Voltage);

    if (drive_forward(1, 100) != 0)
        return 1;

    if ((rc = Q_DisconnectRobot(1)) != 0)
        return fail("DisconnectRobot", rc);
    if (Q_GetRobotState(1) != NULL)
        return fail("state released", 0);
    printf("c_client: ok\n");
    return 0;
}
