/* Form fields, output files, the shape's lock, the redirect and the error answers of the two
 * modelers. */
#include "modeler_site.h"

#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

#include "cgi_parser.h"
#include "kernel.h"
#include "modeler_lock.h"
#include "satvrml.h"

namespace {

// True for a non-empty text made only of what a host name, an IP literal and a port may hold.
bool hostLike(const char *text) {
    if (!text || !*text)
        return false;
    for (const char *c = text; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (!std::isalnum(u) && u != '.' && u != '-' && u != '_' && u != ':' && u != '[' &&
            u != ']')
            return false;
    }
    return true;
}

bool digitsOnly(const char *text) {
    if (!text || !*text)
        return false;
    for (const char *c = text; *c; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return false;
    return true;
}

// Writes all of text to standard output, past the stdio buffer (which may need memory).
void writeOut(const char *text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = write(STDOUT_FILENO, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

const ModelerRequest *g_request = nullptr;

} // namespace

void modelerSetRequest(const ModelerRequest *request) { g_request = request; }

const char *modelerEnv(const char *name) {
    return g_request ? g_request->getenv(name, g_request->data) : std::getenv(name);
}

std::FILE *modelerResponse() { return g_request ? g_request->out : stdout; }

void modelerWriteAnswer(std::FILE *out, const ModelerAnswer &a) {
    char head[96];
    std::snprintf(head, sizeof head, "Status: %d %s\nContent-Type: text/plain\n\n", a.status,
                  a.reason);
    if (out == stdout) {
        writeOut(head);
        writeOut(a.text);
        writeOut("\n");
        return;
    }
    std::fputs(head, out);
    std::fputs(a.text, out);
    std::fputs("\n", out);
    std::fflush(out);
}

int modelerServe(void (*fn)()) {
    try {
        fn();
    } catch (const std::bad_alloc &) {
        modelerFail(500, "Internal Server Error", "The server ran out of memory.");
    }
    return 0;
}

void modelerFail(int status, const char *reason, const char *text) {
    ModelerAnswer answer{status, reason, text};
    if (g_request)
        throw answer; // the worker's request loop answers and goes on serving
    modelerWriteAnswer(stdout, answer);
    _exit(1); // nothing half-done is flushed after the answer
}

void modelerCheckRequest() {
    switch (CgiParser::instance().refusal()) {
    case CgiRefusal::None:
        return;
    case CgiRefusal::BodyTooLarge:
        modelerFail(413, "Request Entity Too Large", "The form is larger than this site accepts.");
    case CgiRefusal::TooManyFields:
        modelerFail(413, "Request Entity Too Large",
                    "The form has more fields than this site accepts.");
    case CgiRefusal::BadBody:
        modelerFail(400, "Bad Request", "The form's body cannot be read as it was sent.");
    case CgiRefusal::OutOfMemory:
        break;
    }
    modelerFail(500, "Internal Server Error", "The server ran out of memory reading the form.");
}

const char *modelerField(const char *name) {
    const char *value = CgiParser::instance().value(name);
    return value ? value : "";
}

double modelerNumber(const char *name) { return std::atof(modelerField(name)); }

int modelerInteger(const char *name) { return std::atoi(modelerField(name)); }

std::string modelerSatPath(const char *name) {
    return std::string("../htdocs/acis1/sats/") + name + ".sat";
}

std::string modelerWrlPath(const char *name) {
    return std::string("../htdocs/acis1/wrls/") + name + ".wrl";
}

std::string modelerLockPath(const char *name) {
    return std::string("../htdocs/acis1/sats/") + name + ".lock";
}

std::string modelerHost() {
    const char *host = modelerEnv("HTTP_HOST");
    if (hostLike(host))
        return host;
    const char *server = modelerEnv("SERVER_NAME");
    if (hostLike(server)) {
        const char *port = modelerEnv("SERVER_PORT");
        std::string result = server;
        if (digitsOnly(port) && std::string(port) != "80")
            result += std::string(":") + port;
        return result;
    }
    return "localhost";
}

void modelerPublish(const char *name, BODY *body) {
#ifndef NDEBUG
    // Every body the modelers build must mesh into a closed surface; the proportion limits keep
    // the others from being built at all. A mesher that fails (memory run out) is no open mesh;
    // it is checked before the memory test because meshing itself may run out.
    bool closed = body == nullptr || kernel_mesh_check(body) != KERN_MESH_OPEN;
#endif
    if (kernel_ran_out_of_memory())
        modelerFail(500, "Internal Server Error",
                    "The server ran out of memory building the solid.");
    assert(closed);
    std::string sat = modelerSatPath(name), wrl = modelerWrlPath(name);
    ModelerLock lock(modelerLockPath(name), MODELER_LOCK_WAIT_MS);
    if (lock.state() == ModelerLock::BUSY)
        modelerFail(503, "Service Unavailable", "The shape is being built by another request.");
    if (lock.state() != ModelerLock::HELD)
        satUnableToOpen(); // the folder of the shape's files is not writable
    satRemoveStaleTemps(sat.c_str());
    satRemoveStaleTemps(wrl.c_str());
    saveSatFile(sat.c_str(), body);
    satToVrml(sat.c_str(), wrl.c_str());
    modelerRedirect(name);
    lock.release();
}

void modelerRedirect(const char *name) {
    std::FILE *out = g_request ? g_request->out : stdout;
    std::fprintf(out, "Location: http://%s/acis1/shtml/desenha%s.shtml\n\n", modelerHost().c_str(),
                 name);
    std::fflush(out);
}
