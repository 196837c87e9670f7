/* The bridge's settings (see settings.h). */
#include "settings.h"

#include "lockfile.h"
#include "pellam.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int SETTINGS_ParsePort(const char *text, int *port) {
    long value = 0;
    size_t n = 0;
    for (; text[n] != '\0'; n++) {
        if (text[n] < '0' || text[n] > '9' || n == 5)
            return -1;
        value = value * 10 + (text[n] - '0');
    }
    if (n == 0 || value < 1 || value > 65535)
        return -1;
    *port = (int)value;
    return 0;
}

static bool visible_text(const char *text) {
    for (; *text != '\0'; text++)
        if ((unsigned char)*text <= ' ' || (unsigned char)*text >= 127)
            return false;
    return true;
}

/* The refusal line: the variable, what it must be, and its value (cut, non-printing characters
 * shown as '?', so the line stays one line). */
static int refuse(const char *name, const char *value, const char *rule) {
    char shown[41];
    size_t n = 0;
    for (; value[n] != '\0' && n + 1 < sizeof shown; n++)
        shown[n] = (unsigned char)value[n] < ' ' || (unsigned char)value[n] >= 127 ? '?' : value[n];
    shown[n] = '\0';
    fprintf(stderr, "%s must be %s: \"%s%s\". Program aborted.\n", name, rule, shown,
            value[n] != '\0' ? "..." : "");
    return -1;
}

/* The variable's value, or null when it is unset or empty. */
static const char *variable(const char *name) {
    const char *value = getenv(name);
    return value != NULL && value[0] != '\0' ? value : NULL;
}

int SETTINGS_Read(SETTINGS_Bridge *settings) {
    const char *host = variable("PELLAM_SCHEDULER_HOST");
    const char *port = variable("PELLAM_SCHEDULER_PORT");
    const char *lock = variable("PELLAM_LOCK");
    settings->host = host != NULL ? host : PELLAM_SCHEDULER_DEFAULT;
    settings->port = PELLAM_SCHEDULER_PORT_DEFAULT;
    settings->lock = lock != NULL ? lock : PELLAM_LOCK_DEFAULT;
    if (host != NULL && (strlen(host) > SETTINGS_HOST_MAX || !visible_text(host)))
        return refuse("PELLAM_SCHEDULER_HOST", host, "a host name of up to 255 visible characters");
    if (port != NULL && SETTINGS_ParsePort(port, &settings->port) != 0)
        return refuse("PELLAM_SCHEDULER_PORT", port, "a port number from 1 to 65535");
    if (lock != NULL && strlen(lock) > LOCKFILE_PATH_MAX)
        return refuse("PELLAM_LOCK", lock, "a path of up to 4000 bytes");
    return 0;
}
