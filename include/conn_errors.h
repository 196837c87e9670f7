/* Result codes of the connection manager, of blocking requests and of the robot client library
 * that passes them on. 0 is success; every failure is negative. A peer's own code (the third word
 * of its "Error" answer) is passed on unchanged and may be any other value. */
#ifndef ROVAK_CONN_ERRORS_H
#define ROVAK_CONN_ERRORS_H

#define CONN_OK 0
#define CONN_ERR_ANSWER (-1)             /* the peer answered "Error <command>" without a code */
#define CONN_ERR_UNKNOWN_COMMAND (-4)    /* the peer has no handler for the command */
#define CONN_ERR_NO_CONNECTION (-5)      /* no connection with this id, or a negative id */
#define CONN_ERR_LOST (-6)               /* connect failed, peer closed, or data refused */
#define CONN_ERR_NO_MEMORY (-11)         /* out of memory */
#define CONN_ERR_NOT_INITIALIZED (-15)   /* the connection tables do not exist yet */
#define CONN_ERR_ALREADY_CONNECTED (-16) /* a live connection with this id exists */

#endif
