/* Pellam: the sensor bridge. A parent process writes command words on standard input; each
 * sensor command is answered with one framed token group on standard output, flushed at once.
 * Connection messages and diagnostics go to standard error. One robot (id 1), one copy per
 * machine (a lock file).
 *
 * Words are split into tokens at '=', ',' and ' '. "get" takes the next token of the same word
 * as the reading to answer ("battery", "IR", "sonar", "odometry", "speed"); "goodbye" ends the
 * loop. Everything else is ignored. End of input closes as "goodbye" does.
 *
 * Environment (all optional): PELLAM_SCHEDULER_HOST and PELLAM_SCHEDULER_PORT name the scheduler
 * (default localhost, 7073); PELLAM_LOCK names the lock file (default /home/ostrel/pellam.lock). */
#include "pellam.h"

#include "client.h"
#include "conn_errors.h"
#include "connect.h"
#include "kavrel.h"
#include "sensormap.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char *lock_path = PELLAM_LOCK_DEFAULT;

/* At-exit handler: removes the lock file (never through a shell). */
void goodbye(void) { unlink(lock_path); }

int disconnect(void) {
    int result = Q_DisconnectRobot(PELLAM_ROBOT);
    if (result == 0)
        printf("Success!\n");
    else if (result == CONN_ERR_LOST)
        printf("Connection lost!\n");
    else if (result == CONN_ERR_NO_CONNECTION)
        printf("Robot not found!\n");
    fflush(stdout);
    CONN_Drain(PELLAM_DRAIN_USEC);
    return result;
}

/* The state record after a request, or null when the robot's connection is gone. */
static Q_RobotState *after(int (*request)(s32)) {
    if (Q_GetRobotState(PELLAM_ROBOT) == NULL)
        return NULL;
    request(PELLAM_ROBOT);
    return Q_GetRobotState(PELLAM_ROBOT);
}

int get_battery(void) {
    if (Q_GetRobotState(PELLAM_ROBOT) == NULL)
        return -1;
    int v[4];
    for (int i = 0; i < 4; i++) {
        Q_RobotState *rs = after(Q_GetBattery);
        if (rs == NULL)
            return -1;
        v[i] = rs->BatterySet.Battery[i].Voltage / 100;
    }
    fprintf(stdout, " B %d %d %d %d B ", v[0], v[1], v[2], v[3]);
    fflush(stdout);
    return 0;
}

static int print_map(char letter, int (*make)(Map *), int divisor) {
    Map map;
    if (make(&map) != 0)
        return -1;
    fprintf(stdout, " %c", letter);
    for (int k = 0; k < MAP_SECTORS; k++)
        fprintf(stdout, " %d", map.Reading[k] / divisor);
    fprintf(stdout, " %c ", letter);
    fflush(stdout);
    return 0;
}

int get_IR(void) { return print_map('I', MakeIRMap, 10); }

int get_sonar(void) { return print_map('S', MakeSonarMap, 100); }

int get_odometry(void) {
    Q_RobotState *rs = after(Q_GetIntegratedConfiguration);
    if (rs == NULL)
        return -1;
    const Q_Integrator *in = &rs->Integrator;
    fprintf(stdout, " O %d %d %d %d O ", in->x, in->y, in->Steering, in->Rotation);
    fflush(stdout);
    return 0;
}

int get_speed(void) {
    int v[3];
    for (int i = 0; i < 3; i++) {
        Q_RobotState *rs = after(Q_GetAxes);
        if (rs == NULL)
            return -1;
        v[i] = rs->AxisSet.Axis[i].ActualVelocity;
    }
    fprintf(stdout, " V %d %d %d V ", v[0], v[1], v[2]);
    fflush(stdout);
    return 0;
}

int PELLAM_ReadWord(FILE *in, char *command, size_t size) {
    int c;
    do
        c = getc(in);
    while (c != EOF && (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'));
    if (c == EOF)
        return 0;
    size_t n = 0;
    for (; c != EOF && !(c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r');
         c = getc(in))
        if (n + 1 < size) /* the rest of an over-long word is dropped */
            command[n++] = (char)c;
    command[n] = '\0';
    return 1;
}

/* Runs the handler a parameter names. -1 when the robot's connection is gone. */
static int answer(const char *parameters) {
    static const struct {
        const char *name;
        int (*handler)(void);
    } readings[] = {{"battery", get_battery},
                    {"IR", get_IR},
                    {"sonar", get_sonar},
                    {"odometry", get_odometry},
                    {"speed", get_speed}};
    for (const auto &r : readings)
        if (strcmp(parameters, r.name) == 0)
            return r.handler();
    return 0;
}

int PELLAM_Serve(FILE *in) {
    static const char delimiters[] = "=, ";
    char command[PELLAM_WORD_SIZE];
    char parameters[PELLAM_PARAM_SIZE];
    int loop = 1;
    while (loop && PELLAM_ReadWord(in, command, sizeof command)) {
        char *save = NULL;
        for (char *token = strtok_r(command, delimiters, &save); token != NULL && loop;
             token = strtok_r(NULL, delimiters, &save)) {
            if (strcmp(token, "get") == 0) {
                char *param = strtok_r(NULL, delimiters, &save);
                if (param == NULL)
                    break; /* "get" with nothing after it in its word */
                snprintf(parameters, sizeof parameters, "%s", param);
                if (answer(parameters) != 0) {
                    fprintf(stderr, "Connection lost!\n");
                    return -1;
                }
            } else if (strcmp(token, "goodbye") == 0) {
                loop = 0;
            }
        }
    }
    return 0;
}

static int report_connect(int result) {
    const char *text = NULL;
    switch (result) {
    case 0:
        text = "Success!\n";
        break;
    case CONN_ERR_NOT_INITIALIZED:
        text = "Not initialized!\n";
        break;
    case CONN_ERR_NO_MEMORY:
        text = "Out of memory!\n";
        break;
    case CONN_ERR_LOST:
        text = "Connection failed!\n";
        break;
    case CONN_ERR_NO_CONNECTION:
        text = "Robot not found!\n";
        break;
    }
    if (text != NULL)
        fputs(text, stderr);
    return result == 0 || text == NULL; /* 1: serve */
}

/* Creates the lock file; 0 when this copy may run. */
static int take_lock(void) {
    FILE *lock = fopen(lock_path, "r");
    if (lock != NULL) {
        fclose(lock);
        fputs("Lock file found. Program aborted.\n", stderr);
        return -1;
    }
    lock = fopen(lock_path, "w+");
    if (lock == NULL) {
        fprintf(stderr, "Cannot create the lock file %s: %s. Program aborted.\n", lock_path,
                strerror(errno));
        return -1;
    }
    fclose(lock);
    atexit(goodbye);
    return 0;
}

int main(void) {
    const char *env = getenv("PELLAM_LOCK");
    if (env != NULL && env[0] != '\0')
        lock_path = env;
    if (take_lock() != 0)
        return 0;

    const char *host = getenv("PELLAM_SCHEDULER_HOST");
    const char *port = getenv("PELLAM_SCHEDULER_PORT");
    Q_InitializeClient(host != NULL && host[0] != '\0' ? host : PELLAM_SCHEDULER_DEFAULT,
                       port != NULL && port[0] != '\0' ? atoi(port)
                                                       : PELLAM_SCHEDULER_PORT_DEFAULT);
    if (!report_connect(Q_ConnectRobot(PELLAM_ROBOT))) {
        CONN_Drain(PELLAM_DRAIN_USEC);
        exit(0);
    }

    PELLAM_Serve(stdin);
    fputs("Goodbye. Connection closed.\n", stderr);
    disconnect();
    return 0;
}
