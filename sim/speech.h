/* Speech of the simulated robots: every text is written to the event log and, when asked for
 * and installed, spoken through espeak-ng in a child process that is not waited for. */
#ifndef ROVAK_SIM_SPEECH_H
#define ROVAK_SIM_SPEECH_H

/* Logs (and perhaps speaks) text said by robot id. */
void SPEECH_Say(int id, const char *text);

#endif
