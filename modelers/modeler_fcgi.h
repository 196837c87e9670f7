/* The modelers' entry point: one request as a CGI program, or many as a FastCGI worker.
 *
 * Started by a FastCGI server (standard input a listening socket: lighttpd's mod_fastcgi with
 * bin-path, spawn-fcgi, or a socket-activating service manager) the program accepts requests in
 * a loop, one at a time. Each request is parsed afresh from its own parameters and body, runs
 * the program's whole sequence (the modeller started and stopped within it) and gets its
 * redirect or its error answer on its own response. Standard output is /dev/null in a worker, so
 * nothing the program or a library prints there reaches a response.
 *
 * Errors: a request that fails (a refused form, a file that cannot be written, memory run out)
 * gets its error answer, "Unable to open file!" under a 500 status for a file that cannot be
 * written, and the worker goes on serving: whatever the request held (the modeller's entities,
 * the shape's lock, temporary files, the parsed form) is released before the next one. A worker
 * that crashes is restarted by the server. Started any other way, the program is a CGI program
 * and behaves exactly as one (see modeler_site.h). */
#ifndef ROVAK_MODELER_FCGI_H
#define ROVAK_MODELER_FCGI_H

// Runs serve for the CGI request of the process, or for every request of the FastCGI server
// that started it. Returns the process's exit code.
int modelerMain(void (*serve)());

// Whether this build can serve as a FastCGI worker.
bool modelerFastCgiBuilt();

#endif
