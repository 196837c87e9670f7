/* Form fields, output files, the shape's lock, the redirect and the error answers of the two
 * modelers. */
#include "modeler_site.h"

#include <cassert>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// The current request's identity and first kernel failure, for its status record.
struct RequestStamp {
    std::string time;        // ISO 8601, UTC, milliseconds
    std::string id;          // unique per request
    std::string failure;     // the first kernel failure noted, or ""
    unsigned long count = 0; // requests begun in this process
};
RequestStamp g_stamp;

// The host name with anything but letters, digits, '.' and '-' left out (it goes into the
// record's text and must not need escaping).
std::string hostName() {
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) != 0)
        return "host";
    std::string clean;
    for (const char *c = host; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '-')
            clean += *c;
    return clean.empty() ? "host" : clean;
}

// text as the inside of a JSON string: quotes, backslashes and control characters escaped, and
// any byte outside ASCII replaced by '?' so the record is always valid UTF-8.
std::string jsonText(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c < 0x80 ? static_cast<char>(c) : '?';
        }
    }
    return out;
}

// The reason of a record whose request built nothing.
std::string nothingBuilt(const char *refusal) {
    if (refusal)
        return refusal;
    if (g_stamp.failure.empty())
        return "The values given do not make a solid.";
    // The kernel's messages start with the name of the operation, which tells a user nothing.
    std::string message = g_stamp.failure;
    std::size_t colon = message.find(": ");
    if (message.compare(0, 4, "api_") == 0 && colon != std::string::npos)
        message.erase(0, colon + 2);
    while (!message.empty() && (message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return "The values given do not make a solid: " + message + ".";
}

// Takes the shape's lock for publishing, or ends the request: "503" when another request kept
// it for the whole wait, "Unable to open file!" when the lock file cannot be made.
void lockForPublishing(ModelerLock &lock) {
    if (lock.state() == ModelerLock::BUSY)
        modelerFail(503, "Service Unavailable", "The shape is being built by another request.");
    if (lock.state() != ModelerLock::HELD)
        satUnableToOpen(); // the folder of the shape's files is not writable
}

} // namespace

const char MODELER_REASON_PROPORTIONS[] =
    "The largest size may be at most 10000 times the smallest.";
const char MODELER_REASON_NO_SECTIONS[] = "The shaft has no sections.";
const char MODELER_REASON_NO_MEMORY[] = "The server ran out of memory building the solid.";

void modelerBeginRequest() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm utc;
    gmtime_r(&now.tv_sec, &utc);
    long ms = now.tv_nsec / 1000000;
    char time[96];
    std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, ms);
    static const std::string host = hostName();
    long long epochMs = static_cast<long long>(now.tv_sec) * 1000 + ms;
    g_stamp.time = time;
    g_stamp.id = host + "-" + std::to_string(getpid()) + "-" + std::to_string(++g_stamp.count) +
                 "-" + std::to_string(epochMs);
    g_stamp.failure.clear();
}

void modelerNote(const outcome &result) {
    if (!result.ok() && g_stamp.failure.empty())
        g_stamp.failure = result.message();
}

std::string modelerRecordPath(const char *name) {
    return std::string("../htdocs/acis1/sats/") + name + ".json";
}

std::string modelerRecordText(const char *name, bool built, const std::string &reason) {
    if (g_stamp.time.empty())
        modelerBeginRequest(); // a caller that never began a request still gets a whole record
    return std::string("{\"shape\":\"") + jsonText(name) +
           "\",\"built\":" + (built ? "true" : "false") + ",\"reason\":\"" +
           jsonText(built ? "" : reason) + "\",\"time\":\"" + g_stamp.time + "\",\"request\":\"" +
           jsonText(g_stamp.id) + "\"}\n";
}

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
    modelerBeginRequest();
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
    satDiscardPending(); // the request's unpublished files
    _exit(1);            // nothing half-done is flushed after the answer
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

void modelerPublish(const char *name, BODY *body, const char *refusal) {
#ifndef NDEBUG
    // Every body the modelers build must mesh into a closed surface; the proportion limits keep
    // the others from being built at all. A mesher that fails (memory run out) is no open mesh;
    // it is checked before the memory test because meshing itself may run out.
    bool closed = body == nullptr || kernel_mesh_check(body) != KERN_MESH_OPEN;
#endif
    if (kernel_ran_out_of_memory()) {
        {
            ModelerLock lock(modelerLockPath(name), MODELER_LOCK_WAIT_MS);
            if (lock.state() == ModelerLock::HELD)
                satReplaceFile(modelerRecordPath(name).c_str(),
                               modelerRecordText(name, false, MODELER_REASON_NO_MEMORY));
        }
        modelerFail(500, "Internal Server Error", MODELER_REASON_NO_MEMORY);
    }
    assert(closed);
    bool built = body != nullptr && is_BODY(body);
    std::string sat = modelerSatPath(name), wrl = modelerWrlPath(name);
    std::string record = modelerRecordPath(name);
    // The slow part, writing and converting, runs outside the lock: requests of one shape only
    // take turns at moving their finished files into place.
    SatOutput output(sat.c_str(), wrl.c_str());
    output.write(body);
    output.addNote(record.c_str(),
                   modelerRecordText(name, built, built ? "" : nothingBuilt(refusal)));
    {
        ModelerLock lock(modelerLockPath(name), MODELER_LOCK_WAIT_MS);
        lockForPublishing(lock);
        satRemoveStaleTemps(sat.c_str());
        satRemoveStaleTemps(wrl.c_str());
        satRemoveStaleTemps(record.c_str());
        if (!output.publish())
            satUnableToOpen();
    }
    modelerRedirect(name);
}

void modelerPublishNothing(const char *name, const char *reason) {
    std::string record = modelerRecordPath(name);
    {
        ModelerLock lock(modelerLockPath(name), MODELER_LOCK_WAIT_MS);
        lockForPublishing(lock);
        satRemoveStaleTemps(record.c_str());
        if (!satReplaceFile(record.c_str(), modelerRecordText(name, false, reason)))
            satUnableToOpen();
    }
    modelerRedirect(name);
}

void modelerRedirect(const char *name) {
    std::FILE *out = g_request ? g_request->out : stdout;
    std::fprintf(out, "Location: http://%s/acis1/shtml/desenha%s.shtml\n\n", modelerHost().c_str(),
                 name);
    std::fflush(out);
}
