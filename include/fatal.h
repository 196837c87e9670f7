/* Fatal assertions of the robot-side modules.
 *
 * FATAL_ASSERT(cond) stops the program when cond is false. The message on standard error keeps
 * the condition's source text, so a failure names exactly what went wrong:
 *     Assertion failed: <condition text>, file <file>, line <line>
 * It is always on (not tied to NDEBUG): these checks guard programming errors and out-of-memory
 * in the containers and the dispatcher, where there is no recovery path. */
#ifndef ROVAK_FATAL_H
#define ROVAK_FATAL_H

#ifdef __cplusplus
extern "C" {
#endif

#define FATAL_ASSERT(cond) ((cond) ? (void)0 : fatal_assert_fail(#cond, __FILE__, __LINE__))

#ifdef __cplusplus
#define FATAL_NORETURN [[noreturn]]
#else
#define FATAL_NORETURN _Noreturn
#endif

/* Prints the assertion message for text and aborts. Never returns. */
FATAL_NORETURN void fatal_assert_fail(const char *text, const char *file, int line);

#ifdef __cplusplus
}
#endif

#endif
