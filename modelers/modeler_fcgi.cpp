/* The FastCGI request loop of the modelers (libfcgi's FCGX interface). */
#include "modeler_fcgi.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <unistd.h>

#include "cgi_parser.h"
#include "cgi_request.h"
#include "kernel.h"
#include "modeler_site.h"
#include "satvrml.h"

namespace {

// The mesher and the modeller allocate and free megabytes in small blocks on every request; by
// default the C library gives freed memory back to the system and takes it again at once, and
// the page faults and system calls of that cost more than the meshing's arithmetic. The heap is
// kept instead: freed memory is reused by the next request, so a worker's size stays that of its
// largest request (plus the pad) rather than growing.
void keepHeap() {
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

} // namespace

#ifdef ROVAK_HAVE_FCGI
#include <fcgiapp.h>

namespace {

const ModelerAnswer kNoMemory{500, "Internal Server Error", "The server ran out of memory."};
const ModelerAnswer kUnableToOpen{500, "Internal Server Error", "Unable to open file!"};

[[noreturn]] void throwUnableToOpen() { throw kUnableToOpen; }

ssize_t readStream(void *stream, char *buffer, size_t size) {
    int want = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    return FCGX_GetStr(buffer, want, static_cast<FCGX_Stream *>(stream));
}

ssize_t writeStream(void *stream, const char *buffer, size_t size) {
    int want = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    int put = FCGX_PutStr(buffer, want, static_cast<FCGX_Stream *>(stream));
    return put < 0 ? -1 : put;
}

// A stdio stream over a request's FastCGI stream, so the form parser and the redirect work as
// they do on standard input and output. Null when memory ran out.
std::FILE *streamFile(FCGX_Stream *stream, const char *mode) {
    cookie_io_functions_t io = {readStream, writeStream, nullptr, nullptr};
    return fopencookie(stream, mode, io);
}

const char *requestParam(const char *name, void *envp) {
    return FCGX_GetParam(name, static_cast<FCGX_ParamArray>(envp));
}

// Writes an answer straight to the request's stream, which has its buffer already.
void answerDirect(FCGX_Stream *out, const ModelerAnswer &a) {
    char head[96];
    std::snprintf(head, sizeof head, "Status: %d %s\nContent-Type: text/plain\n\n", a.status,
                  a.reason);
    FCGX_PutS(head, out);
    FCGX_PutS(a.text, out);
    FCGX_PutS("\n", out);
}

// Ends every start of the modeller a failed request left open: the outermost stop deletes its
// entities and clears the kernel's state (components, mesh manager, memory flag).
void stopModeller() {
    while (api_stop_modeller().ok()) {
    }
}

// Runs serve for one request and answers its failure, if any, on out. Returns normally.
void runRequest(FCGX_Request &request, std::FILE *in, std::FILE *out, void (*serve)()) {
    ModelerRequest current{requestParam, request.envp, out};
    modelerSetRequest(&current);
    modelerBeginRequest();
    try {
        CgiRequestContext context;
        context.getenv = [&request](const char *name) -> const char * {
            return FCGX_GetParam(name, request.envp);
        };
        context.in = in;
        context.out = out;
        context.setBinary = cgiSetBinaryMode;
        CgiParser::parse(context);
        serve();
    } catch (const ModelerAnswer &a) {
        std::fflush(out);
        answerDirect(request.out, a);
    } catch (...) {
        // std::bad_alloc where modelerServe did not catch it (the parse), or any other escape.
        std::fflush(out);
        answerDirect(request.out, kNoMemory);
    }
    modelerSetRequest(nullptr);
}

void serveRequest(FCGX_Request &request, void (*serve)()) {
    std::FILE *in = streamFile(request.in, "r");
    std::FILE *out = streamFile(request.out, "w");
    if (in && out)
        runRequest(request, in, out, serve);
    else
        answerDirect(request.out, kNoMemory);
    if (in)
        std::fclose(in);
    if (out)
        std::fclose(out); // flushes what is left into the request's stream
    CgiParser::reset();   // the form's memory goes now, not with the next request
    stopModeller();
}

int serveFastCgi(void (*serve)()) {
    // Nothing printed on standard output may reach a response or block on a pipe nobody reads.
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    std::signal(SIGPIPE, SIG_IGN); // a client gone away fails that write, not the worker
    satSetFailureHandler(throwUnableToOpen);
    if (FCGX_Init() != 0)
        return 1;
    FCGX_Request request;
    if (FCGX_InitRequest(&request, 0, 0) != 0)
        return 1;
    while (FCGX_Accept_r(&request) >= 0) {
        serveRequest(request, serve);
        FCGX_Finish_r(&request);
    }
    return 0; // the server closed the socket: the worker's work is done
}

} // namespace

bool modelerFastCgiBuilt() { return true; }

int modelerMain(void (*serve)()) {
    keepHeap();
    if (!FCGX_IsCGI())
        return serveFastCgi(serve);
    return modelerServe(serve);
}

#else

bool modelerFastCgiBuilt() { return false; }

int modelerMain(void (*serve)()) {
    keepHeap();
    return modelerServe(serve);
}

#endif
