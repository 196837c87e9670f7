/* Command table and message dispatch.
 *
 * One table per process maps command names to handlers. Dispatching a text splits it into
 * commands (runs of non-empty words), runs the handlers of each command's name and then the
 * wildcard ("*") handlers, and builds the reply: every handler's text plus a line feed,
 * "Error <name> -4" when nobody registered the name, and "Done <name>" after every command but
 * "Done". A name holding a control byte is written in those two lines between double quotes,
 * with a control byte as a backslash and its octal value and a quote or backslash escaped by a
 * backslash, so each acknowledgement stays one line of the protocol. Building a reply takes time
 * linear in its length. Out of memory and misuse (registering a name while it is being
 * dispatched) are fatal assertions. */
#ifndef ROVAK_COMMAND_H
#define ROVAK_COMMAND_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A message handler: sender is the connection's socket descriptor, id the number prefix of the
 * command word (0 when none), argv[0] the bare command name. The words are valid during the call
 * only. The returned text (or null) stays the handler's; the dispatcher copies it. */
typedef char *(*CMD_callback)(int sender, long id, int argc, char **argv);

/* One registered name is one block of pointer-sized slots, in this order: the handler count
 * (an unsigned 32-bit number held in slot 0), the entry's private copy of the name (slot 1) and
 * the count handlers in registration order (slots 2 on). The block grows by one slot per
 * registration. */
typedef void *CMD_Entry;

/* Creates the table once; later calls do nothing. */
void CMD_Initialize(void);
/* Adds func at the end of command_name's handlers; "*" registers a wildcard handler. */
void CMD_Register(const char *command_name, CMD_callback func);
/* Dispatches command and returns the reply text (heap, caller releases) or null. */
char *CMD_ExecuteRaw(int sender_id, const char *command);
/* Runs CMD_ExecuteRaw and splits its reply into words (argc 0 and null with no reply); the
 * caller releases them with ARGCV_Free. */
void CMD_Execute(int sender_id, const char *command, int *argc_ret, char ***argv_ret);

/* Test seam: replaces the function that allocates and grows reply texts (null restores realloc).
 * Replies it returns are released with free. */
void CMD_SetReplyReallocator(void *(*realloc_fn)(void *, size_t));

#ifdef __cplusplus
}
#endif

#endif
