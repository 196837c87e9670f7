/* Pellam: the sensor bridge. A parent process writes command words on standard input; each
 * sensor command is answered with one framed token group on standard output, written at once.
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
#include "fatal.h"
#include "kavrel.h"
#include "lockfile.h"
#include "sensormap.h"
#include "settings.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static LOCKFILE_Lock lock_file = {-1, 0, ""};

void goodbye(void) { LOCKFILE_Release(&lock_file); }

/* Writes the token group " L v1 ... vn L " for frame letter L to standard output: 0,
 * PELLAM_SIGNALLED or PELLAM_OUTPUT_FAILED. */
static int emit_group(char letter, const int *values, int count) {
    char text[2 + MAP_SECTORS * 12 + 3 + 1]; /* up to 24 values of at most 11 characters */
    FATAL_ASSERT(count >= 0 && count <= MAP_SECTORS);
    size_t len = (size_t)snprintf(text, sizeof text, " %c", letter);
    for (int i = 0; i < count; i++)
        len += (size_t)snprintf(text + len, sizeof text - len, " %d", values[i]);
    len += (size_t)snprintf(text + len, sizeof text - len, " %c ", letter);
    switch (IO_Write(STDOUT_FILENO, text, len)) {
    case IO_WRITTEN:
        return 0;
    case IO_SIGNALLED:
        return PELLAM_SIGNALLED;
    default:
        return PELLAM_OUTPUT_FAILED;
    }
}

/* Whether standard output can take the closing line now (waits at most PELLAM_DRAIN_USEC): a
 * parent that stopped reading must not keep the bridge from ending. Enough room for a short
 * line means its write does not block. */
static bool output_ready(void) {
    struct pollfd out = {STDOUT_FILENO, POLLOUT, 0};
    return poll(&out, 1, PELLAM_DRAIN_USEC / 1000) == 1 && (out.revents & POLLOUT) &&
           !(out.revents & (POLLERR | POLLHUP | POLLNVAL));
}

/* The outcome of the disconnect on standard output, when it can take it. */
static void print_disconnect(int result) {
    const char *text = result == 0                        ? "Success!\n"
                       : result == CONN_ERR_LOST          ? "Connection lost!\n"
                       : result == CONN_ERR_NO_CONNECTION ? "Robot not found!\n"
                                                          : NULL;
    if (text != NULL && output_ready() && write(STDOUT_FILENO, text, strlen(text)) < 0) {
        /* the parent has gone: nobody is left to tell */
    }
}

int disconnect(void) {
    int result = Q_DisconnectRobot(PELLAM_ROBOT);
    print_disconnect(result);
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
        return PELLAM_LOST;
    int v[4];
    for (int i = 0; i < 4; i++) {
        Q_RobotState *rs = after(Q_GetBattery);
        if (rs == NULL)
            return PELLAM_LOST;
        v[i] = rs->BatterySet.Battery[i].Voltage / 100;
    }
    return emit_group('B', v, 4);
}

static int print_map(char letter, int (*make)(Map *), int divisor) {
    Map map;
    if (make(&map) != 0)
        return PELLAM_LOST;
    int values[MAP_SECTORS];
    for (int k = 0; k < MAP_SECTORS; k++)
        values[k] = map.Reading[k] / divisor;
    return emit_group(letter, values, MAP_SECTORS);
}

int get_IR(void) { return print_map('I', MakeIRMap, 10); }

int get_sonar(void) { return print_map('S', MakeSonarMap, 100); }

int get_odometry(void) {
    Q_RobotState *rs = after(Q_GetIntegratedConfiguration);
    if (rs == NULL)
        return PELLAM_LOST;
    const Q_Integrator *in = &rs->Integrator;
    const int values[4] = {in->x, in->y, in->Steering, in->Rotation};
    return emit_group('O', values, 4);
}

int get_speed(void) {
    int v[3];
    for (int i = 0; i < 3; i++) {
        Q_RobotState *rs = after(Q_GetAxes);
        if (rs == NULL)
            return PELLAM_LOST;
        v[i] = rs->AxisSet.Axis[i].ActualVelocity;
    }
    return emit_group('V', v, 3);
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
        if (IO_Signal() != 0) /* arrived during the last answer */
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

int PELLAM_Serve(IO_Reader *input) {
    char command[PELLAM_WORD_SIZE];
    for (;;) {
        switch (IO_ReadWord(input, command, sizeof command)) {
        case IO_END:
            return PELLAM_GOODBYE;
        case IO_SIGNALLED:
            return PELLAM_SIGNALLED;
        case IO_OUTPUT_GONE:
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
    if (ended == PELLAM_GOODBYE || ended == PELLAM_SIGNALLED) {
        disconnect();
        return;
    }
    Q_DisconnectRobot(PELLAM_ROBOT);
    /* The lost robot's record is gone, so the disconnect would answer "Robot not found!"; the
     * parent is told what happened instead. A failed output is not written to again. */
    if (ended == PELLAM_LOST)
        print_disconnect(CONN_ERR_LOST);
    CONN_Drain(PELLAM_DRAIN_USEC);
}

int main(void) {
    SETTINGS_Bridge settings;
    if (SETTINGS_Read(&settings) != 0)
        return 0;
    if (IO_Start() != 0) {
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
    IO_Reader input;
    IO_Init(&input, STDIN_FILENO, STDOUT_FILENO);
    close_session(PELLAM_Serve(&input));
    return 0;
}
