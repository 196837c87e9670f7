/* robot.c: a robot program in C on the installed robot client library.
 *
 *   robot [SCHEDULER-HOST [PORT]]        (default localhost 7073, e.g. a rovak-sim)
 *
 * Lists the robots the scheduler knows, connects to robot 1, reads its sonars, drives it 200 mm
 * forward and waits, for at most 20 s, until it stands still. Every request waits at most 5 s
 * for its answer: a robot server that does not answer in time makes the request return -6 and
 * closes the connection. Exit status 0 when every step worked, 1 otherwise. */
#define _POSIX_C_SOURCE 200809L

#include "client.h"
#include "conn_errors.h"
#include "kavrel.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define ROBOT 1

static int failed(const char *step, int code) {
    if (code == CONN_ERR_LOST)
        fprintf(stderr, "robot: %s: connection lost or no answer in time\n", step);
    else
        fprintf(stderr, "robot: %s failed (%d)\n", step, code);
    return 1;
}

static double seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* 1 while some axis of the robot reports a motion in progress (after a fresh axes request);
 * a negative code when the request failed. */
static int moving(void) {
    int rc = Q_GetAxes(ROBOT);
    if (rc != 0)
        return rc;
    const Q_AxisSet *axes = &Q_GetRobotState(ROBOT)->AxisSet;
    for (u32 a = 0; a < axes->AxisCount && a < Q_MAX_AXES; a++)
        if (axes->Axis[a].InProgress)
            return 1;
    return 0;
}

static int list_robots(void) {
    int rc = Q_UpdateRobotList();
    if (rc != 0)
        return failed("robot list", rc);
    for (const Q_RobotListEntry *e = Q_GetRobotList(); e != NULL && e->id != 0; e++)
        printf("robot %d on %s port %u\n", (int)e->id, e->hostname, (unsigned)e->port);
    return 0;
}

static int read_sonars(const Q_RobotState *rs) {
    int rc = Q_GetSonar(ROBOT);
    if (rc != 0)
        return failed("sonar", rc);
    const Q_SonarSet *set = &rs->SonarController.SonarSet[0];
    printf("sonar set 0:");
    for (u32 k = 0; k < set->SonarCount && k < Q_MAX_SONARS; k++)
        printf(" %d", (int)set->Sonar[k].Reading);
    printf(" mm\n");
    return 0;
}

static int drive(Q_RobotState *rs, s32 mm) {
    Q_Axis *forward = &rs->AxisSet.Axis[0];
    forward->Update = 1; /* Q_SetAxes sends this axis's command and clears the flag */
    forward->Mode = 2;   /* relative position */
    forward->DesiredPosition = mm;
    forward->DesiredSpeed = 400;
    forward->Acceleration = 800;
    int rc = Q_SetAxes(ROBOT);
    if (rc != 0)
        return failed("drive", rc);
    double deadline = seconds() + 20;
    int still;
    while ((still = moving()) == 1 && seconds() < deadline) {
        struct timespec pause = {0, 50 * 1000000L};
        nanosleep(&pause, NULL);
    }
    if (still < 0)
        return failed("axes", still);
    if (still == 1)
        return failed("drive (still moving after 20 s)", 1);
    int rc2 = Q_GetIntegratedConfiguration(ROBOT);
    if (rc2 != 0)
        return failed("odometry", rc2);
    printf("odometry: x %d mm, y %d mm, heading %d mrad\n", (int)rs->Integrator.x,
           (int)rs->Integrator.y, (int)rs->Integrator.Rotation);
    return 0;
}

int main(int argc, char **argv) {
    const char *host = argc > 1 ? argv[1] : "localhost";
    int port = argc > 2 ? atoi(argv[2]) : 7073;
    int rc = Q_InitializeClient(host, port);
    if (rc != 0)
        return failed("start-up", rc);
    Q_SetTimeout(5000); /* after Q_InitializeClient, which reads ROVAK_TIMEOUT_MS */

    if (list_robots() != 0)
        return 1;
    if ((rc = Q_ConnectRobot(ROBOT)) != 0)
        return failed("connect", rc);
    Q_RobotState *rs = Q_GetRobotState(ROBOT);
    int result = read_sonars(rs) || drive(rs, 200);
    /* After a lost connection the state is gone already and the disconnect reports it. */
    rc = Q_DisconnectRobot(ROBOT);
    if (rc != 0 && result == 0)
        return failed("disconnect", rc);
    if (result == 0)
        printf("robot: done\n");
    return result;
}
