/* Pellam: the sensor bridge. A parent process writes command words on standard input; each
 * sensor command is answered with one framed token group on standard output, flushed at once.
 * Connection messages and diagnostics go to standard error. One robot (id 1), one copy per
 * lock file.
 *
 * Words are split into tokens at '=', ',' and ' '. "get" takes the next token of the same word
 * as the reading to answer ("battery", "IR", "sonar", "odometry", "speed"); "goodbye" ends the
 * loop. Everything else is ignored. The session also closes, as "goodbye" closes it, at the end
 * of input, on SIGINT, SIGTERM or SIGHUP, and when standard output fails or loses its reader;
 * when the robot's connection is lost (the client library's time-out included) it closes with
 * "Connection lost!". Every one of these ends removes the lock file and exits with status 0.
 *
 * The environment is read by settings.h; the lock file is lockfile.h's. */
#include "pellam.h"

#include "client.h"
#include "conn_errors.h"
#include "connect.h"
#include "kavrel.h"
#include "lockfile.h"
#include "sensormap.h"
#include "settings.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static LOCKFILE_Lock lock_file = {-1, 0, ""};

void goodbye(void) { LOCKFILE_Release(&lock_file); }

static void print_disconnect(int result) {
    if (result == 0)
        printf("Success!\n");
    else if (result == CONN_ERR_LOST)
        printf("Connection lost!\n");
    else if (result == CONN_ERR_NO_CONNECTION)
        printf("Robot not found!\n");
    fflush(stdout);
}

int disconnect(void) {
    int result = Q_DisconnectRobot(PELLAM_ROBOT);
    print_disconnect(result);
    CONN_Drain(PELLAM_DRAIN_USEC);
    return result;
}

/* After a loss the robot's record is already gone, so the disconnect answers "not found" (or
 * "lost"); the parent is told what happened: the connection was lost. */
static void disconnect_after_loss(void) {
    Q_DisconnectRobot(PELLAM_ROBOT);
    print_disconnect(CONN_ERR_LOST);
    CONN_Drain(PELLAM_DRAIN_USEC);
}

/* Ends a token group: flushed, and whether standard output took it. */
static int flushed(void) {
    return fflush(stdout) == 0 && !ferror(stdout) ? 0 : PELLAM_OUTPUT_FAILED;
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
        return PELLAM_LOST;
    int v[4];
    for (int i = 0; i < 4; i++) {
        Q_RobotState *rs = after(Q_GetBattery);
        if (rs == NULL)
            return PELLAM_LOST;
        v[i] = rs->BatterySet.Battery[i].Voltage / 100;
    }
    fprintf(stdout, " B %d %d %d %d B ", v[0], v[1], v[2], v[3]);
    return flushed();
}

static int print_map(char letter, int (*make)(Map *), int divisor) {
    Map map;
    if (make(&map) != 0)
        return PELLAM_LOST;
    fprintf(stdout, " %c", letter);
    for (int k = 0; k < MAP_SECTORS; k++)
        fprintf(stdout, " %d", map.Reading[k] / divisor);
    fprintf(stdout, " %c ", letter);
    return flushed();
}

int get_IR(void) { return print_map('I', MakeIRMap, 10); }

int get_sonar(void) { return print_map('S', MakeSonarMap, 100); }

int get_odometry(void) {
    Q_RobotState *rs = after(Q_GetIntegratedConfiguration);
    if (rs == NULL)
        return PELLAM_LOST;
    const Q_Integrator *in = &rs->Integrator;
    fprintf(stdout, " O %d %d %d %d O ", in->x, in->y, in->Steering, in->Rotation);
    return flushed();
}

int get_speed(void) {
    int v[3];
    for (int i = 0; i < 3; i++) {
        Q_RobotState *rs = after(Q_GetAxes);
        if (rs == NULL)
            return PELLAM_LOST;
        v[i] = rs->AxisSet.Axis[i].ActualVelocity;
    }
    fprintf(stdout, " V %d %d %d V ", v[0], v[1], v[2]);
    return flushed();
}

/* Runs the handler a parameter names; 0 for a parameter that names none. */
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

/* The tokens of one word: 1 to go on with the next word, or why the loop ends. */
static int serve_word(char *command) {
    static const char delimiters[] = "=, ";
    char parameters[PELLAM_PARAM_SIZE];
    char *save = NULL;
    for (char *token = strtok_r(command, delimiters, &save); token != NULL;
         token = strtok_r(NULL, delimiters, &save)) {
        if (INPUT_Signal() != 0) /* arrived during the last answer */
            return PELLAM_SIGNALLED;
        if (strcmp(token, "get") == 0) {
            char *param = strtok_r(NULL, delimiters, &save);
            if (param == NULL)
                break; /* "get" with nothing after it in its word */
            snprintf(parameters, sizeof parameters, "%s", param);
            int result = answer(parameters);
            if (result != 0)
                return result;
        } else if (strcmp(token, "goodbye") == 0) {
            return PELLAM_GOODBYE;
        }
    }
    return 1;
}

int PELLAM_Serve(INPUT_Reader *input) {
    char command[PELLAM_WORD_SIZE];
    for (;;) {
        switch (INPUT_ReadWord(input, command, sizeof command)) {
        case INPUT_END:
            return PELLAM_GOODBYE;
        case INPUT_SIGNALLED:
            return PELLAM_SIGNALLED;
        case INPUT_OUTPUT_GONE:
            return PELLAM_OUTPUT_FAILED;
        }
        int ended = serve_word(command);
        if (ended != 1)
            return ended;
    }
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

/* Takes the lock file and arranges its removal at exit; false (after a line on standard error)
 * when this copy must not run. */
static bool take_lock(const char *path) {
    switch (LOCKFILE_Take(&lock_file, path)) {
    case LOCKFILE_TAKEN:
        break;
    case LOCKFILE_TAKEN_OVER:
        fprintf(stderr, "Lock file of process %ld, which no longer runs, taken over.\n",
                (long)lock_file.previous);
        break;
    case LOCKFILE_HELD:
        fputs("Lock file found. Program aborted.\n", stderr);
        return false;
    default:
        fprintf(stderr, "Cannot create the lock file %s: %s. Program aborted.\n", path,
                strerror(errno));
        return false;
    }
    atexit(goodbye);
    return true;
}

/* The closing messages of a session that ended for the given reason, and the disconnect. */
static void close_session(int ended) {
    if (ended == PELLAM_LOST)
        fputs("Connection lost!\n", stderr);
    else if (ended == PELLAM_OUTPUT_FAILED)
        fputs("Standard output failed!\n", stderr);
    fputs("Goodbye. Connection closed.\n", stderr);
    if (ended == PELLAM_LOST)
        disconnect_after_loss();
    else
        disconnect();
}

int main(void) {
    SETTINGS_Bridge settings;
    if (SETTINGS_Read(&settings) != 0)
        return 0;
    if (INPUT_Start() != 0) {
        fprintf(stderr, "Cannot set up the signal handlers: %s. Program aborted.\n",
                strerror(errno));
        return 0;
    }
    if (!take_lock(settings.lock))
        return 0;

    Q_InitializeClient(settings.host, settings.port);
    if (!report_connect(Q_ConnectRobot(PELLAM_ROBOT))) {
        CONN_Drain(PELLAM_DRAIN_USEC);
        exit(0);
    }
    INPUT_Reader input;
    INPUT_Init(&input, STDIN_FILENO, STDOUT_FILENO);
    close_session(PELLAM_Serve(&input));
    return 0;
}
