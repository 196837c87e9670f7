/* Speech logging and espeak-ng (see speech.h). */
#include "speech.h"

#include "sim.h"

#include <csignal>
#include <spawn.h>
#include <string>

extern char **environ;

/* Control characters are shown escaped so one text stays on one log line. */
static std::string printable(const char *text) {
    std::string out;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p < 32 || *p == 127) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\%o", *p);
            out += esc;
        } else {
            out += (char)*p;
        }
    }
    return out;
}

void SPEECH_Say(int id, const char *text) {
    SIM_Log("robot %d says: %s", id, printable(text).c_str());
    if (!SIM_Get()->opt.speak)
        return;
    /* Children are reaped by the system (SIGCHLD ignored in main). The text is one argument,
     * never passed through a shell. */
    pid_t pid;
    char *argv[] = {(char *)"espeak-ng", (char *)"--", (char *)text, nullptr};
    if (posix_spawnp(&pid, "espeak-ng", nullptr, nullptr, argv, environ) != 0)
        SIM_Log("espeak-ng is not available; the text was only logged");
}
