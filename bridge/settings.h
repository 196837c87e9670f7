/* The bridge's settings from its environment, checked before anything else happens.
 *
 *   PELLAM_SCHEDULER_HOST  the scheduler's host: up to 255 visible characters (default localhost)
 *   PELLAM_SCHEDULER_PORT  the scheduler's TCP port: digits only, 1 to 65535 (default 7073)
 *   PELLAM_LOCK            the lock file's path, up to LOCKFILE_PATH_MAX bytes
 *
 * A variable that is unset or empty takes its default. */
#ifndef ROVAK_SETTINGS_H
#define ROVAK_SETTINGS_H

#define SETTINGS_HOST_MAX 255

typedef struct SETTINGS_Bridge {
    const char *host; /* the environment's strings, or the defaults */
    int port;
    const char *lock;
} SETTINGS_Bridge;

/* Reads and checks the three variables: 0, or -1 after one line on standard error that names
 * the refused variable (nothing else has been done then). */
int SETTINGS_Read(SETTINGS_Bridge *settings);
/* A port number written as 1 to 5 decimal digits with a value from 1 to 65535: 0 and *port,
 * or -1 (*port untouched) for anything else, signs and blanks included. */
int SETTINGS_ParsePort(const char *text, int *port);

#endif
