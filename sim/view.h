/* The live view (--view PORT): an HTTP server on 127.0.0.1 that serves the page drawing the
 * world and the robots, the world and the latest frame as JSON, the trails, and a stream of
 * frames as server-sent events. It runs on threads of its own and reads only the scene's copies
 * (scene.h), so a slow or hostile client can hold at most its own worker thread.
 *
 * Bounds: VIEW_THREADS worker threads serve the connections; at most VIEW_QUEUE accepted
 * connections wait for a worker (then accepting pauses and the kernel's backlog holds the
 * rest); at most VIEW_MAX_STREAMS event streams run at once (more are answered 503, and the page
 * falls back to polling); a connection is dropped after VIEW_IO_TIMEOUT_S seconds without
 * progress in a read or write and is served at most VIEW_KEEP_ALIVE_REQUESTS requests; request
 * bodies are refused beyond VIEW_MAX_BODY bytes. Requests are answered only for GET and HEAD and
 * only when their Host names 127.0.0.1 or localhost (a page of another site that had its name
 * point at this machine gets 403).
 *
 * Error convention: VIEW_Start returns 0, or -1 with a message in *error. */
#ifndef ROVAK_SIM_VIEW_H
#define ROVAK_SIM_VIEW_H

#include <string>

#define VIEW_THREADS 6
#define VIEW_QUEUE 16
#define VIEW_MAX_STREAMS 3
#define VIEW_STREAM_MS 40 /* at most one event per stream this often (25 a second) */
#define VIEW_IO_TIMEOUT_S 2
#define VIEW_KEEP_ALIVE_S 1
#define VIEW_KEEP_ALIVE_REQUESTS 100
#define VIEW_MAX_BODY 1024

/* Listens on 127.0.0.1:port (0: a free port, put in *bound) and starts serving. The scene must
 * be initialised. */
int VIEW_Start(int port, int *bound, std::string *error);
/* Ends every stream, stops the server and joins its threads (nothing when not started). */
void VIEW_Stop(void);

#endif
