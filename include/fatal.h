/* Fatal assertions of the robot-side modules.
 *
 * FATAL_ASSERT(cond) stops the program when cond is false. The message on standard error keeps
 * the condition's source text, so a failure names exactly what went wrong:
 *     Assertion failed: <condition text>, file <file>, line <line>
 * It is always on (not tied to NDEBUG): these checks guard programming errors and out-of-memory
 * in the containers and the dispatcher, where there is no recovery path. */
#ifndef ROVAK_FATAL_H
#define ROVAK_FATAL_H

#define FATAL_ASSERT(cond) ((cond) ? (void)0 : fatal_assert_fail(#cond, __FILE__, __LINE__))

/* Prints the assertion message for text and aborts. Never returns. */
[[noreturn]] void fatal_assert_fail(const char *text, const char *file, int line);

#endif
