/* Argument vectors: splits a received protocol text into words.
 *
 * Double quotes group (and can join) text, a backslash makes the next character literal, and
 * every unquoted, unescaped line feed yields one empty word, which the dispatcher uses as the end
 * of a command. Out of memory is a fatal assertion ("vstring", "argv"). */
#ifndef ROVAK_ARGCV_H
#define ROVAK_ARGCV_H

#ifdef __cplusplus
extern "C" {
#endif

/* Splits string into *argc_ret words stored in *argv_ret. All words lie in one block that
 * (*argv_ret)[0] points at. Empty or white-space-only text gives 0 and a null array. */
void ARGCV_Create(const char *string, int *argc_ret, char ***argv_ret);

/* Releases the words of ARGCV_Create; argv[0] must point at the start of the block again.
 * Not to be called with argc 0. */
void ARGCV_Free(int argc, char **argv);

#ifdef __cplusplus
}
#endif

#endif
