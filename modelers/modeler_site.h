/* What both modelers share: checking and reading the form, publishing a shape's files under its
 * lock, the status record of each request, the redirect to the page that shows it, and the HTTP
 * error answers.
 *
 * The programs run as CGI with the CGI folder as working directory; the site's documents sit
 * beside it, so a shape named N is written to "../htdocs/acis1/sats/N.sat" and
 * "../htdocs/acis1/wrls/N.wrl", locked through "../htdocs/acis1/sats/N.lock" and shown at
 * "/acis1/shtml/desenhaN.shtml".
 *
 * Status record: every request whose shape is known and that gets as far as publishing its
 * files or printing its redirect replaces "../htdocs/acis1/sats/N.json" (temporary file and
 * rename, under the shape's lock, together with the SAT file and the scene when it has them).
 * It is one JSON object on one line, UTF-8:
 *   {"shape":"N","built":true,"reason":"","time":"2026-12-08T10:19:26.123Z","request":"ID"}
 * built: a body was built and saved; reason: "" when built, else one sentence for the user;
 * time: when the request began, UTC, to the millisecond; request: text unique to the request
 * (host, process id, request count in the process, milliseconds since 1970, joined by '-').
 *
 * Errors: a request the program cannot serve gets one HTTP error answer (modelerFail: a Status
 * header, a text/plain type and a one-line text) and the process ends with exit code 1; it never
 * gets a redirect. A file that cannot be written ends the process with "Unable to open file!" and
 * exit code 1 (see satvrml.h), before any redirect is printed. An absent field reads as the
 * empty text (so it converts to 0).
 *
 * Served as a FastCGI worker (modeler_fcgi.h), the request comes from the server instead of the
 * process: its environment and response are set with modelerSetRequest, and a failure throws a
 * ModelerAnswer to the request loop, which answers it and goes on serving. */
#ifndef ROVAK_MODELER_SITE_H
#define ROVAK_MODELER_SITE_H

#include <cstdio>
#include <string>

class BODY;
class outcome;

// The request being served when it is not the process's own CGI request.
struct ModelerRequest {
    // The request's environment variable, or null when unset.
    const char *(*getenv)(const char *name, void *data);
    void *data;
    std::FILE *out; // the response
};

// An error answer that ends a request served by a worker (see modelerFail).
struct ModelerAnswer {
    int status;
    const char *reason; // static text
    const char *text;   // static text
};

// Serves the requests that follow from request (null: the process's own CGI request again).
// request must outlive its use.
void modelerSetRequest(const ModelerRequest *request);

// The request's environment variable, or null when unset.
const char *modelerEnv(const char *name);

// The response of the request being served: standard output for CGI, the request's own stream
// in a worker. Programs that answer with a body of their own write it here.
std::FILE *modelerResponse();

// Writes the error answer of a (status line, type, empty line, text) to out, past any stdio
// buffer when out is standard output. Needs no memory.
void modelerWriteAnswer(std::FILE *out, const ModelerAnswer &a);

// How long a request waits for another request of the same shape to finish, in milliseconds.
enum { MODELER_LOCK_WAIT_MS = 60000 };

// Runs one request: fn does the work; an allocation failure anywhere in it ends the request with
// the "500" answer. Returns the process's exit code.
int modelerServe(void (*fn)());

// Ends the request with the answer "Status: <status> <reason>", "Content-Type: text/plain", an
// empty line and text on one line, and exit code 1. Needs no memory. Under modelerSetRequest it
// throws ModelerAnswer instead; reason and text must be static texts.
[[noreturn]] void modelerFail(int status, const char *reason, const char *text);

// Ends the request with the matching error answer when the form parser refused it (a body over
// the limit, too many fields, a body that cannot be read as sent, memory run out).
void modelerCheckRequest();

// The value of the form field name, or "" when the form has none.
const char *modelerField(const char *name);
// The field converted with atof / atoi (0 for an absent field).
double modelerNumber(const char *name);
int modelerInteger(const char *name);

// The SAT, VRML and lock paths of the shape name, relative to the CGI folder.
std::string modelerSatPath(const char *name);
std::string modelerWrlPath(const char *name);
std::string modelerLockPath(const char *name);

// The web host of the redirect: HTTP_HOST, else SERVER_NAME with SERVER_PORT (left out when it is
// 80), else "localhost". A value holding anything but the characters of a host name and port is
// passed over, so a request cannot add its own header lines to the response.
std::string modelerHost();

// Reasons of a status record for a request that built nothing.
extern const char MODELER_REASON_PROPORTIONS[]; // the sizes break the proportion rule
extern const char MODELER_REASON_NO_SECTIONS[]; // a shaft of no section
extern const char MODELER_REASON_NO_MEMORY[];   // memory ran out building the body

// Starts a request: takes its time and identity for the status record and forgets any kernel
// failure noted for the request before.
void modelerBeginRequest();

// Notes a kernel outcome of the build: the first failure gives the reason of the status record
// when no body comes of the request.
void modelerNote(const outcome &result);

// The path of the shape's status record, relative to the CGI folder.
std::string modelerRecordPath(const char *name);

// The status record's line (with its line feed) for the current request.
std::string modelerRecordText(const char *name, bool built, const std::string &reason);

// Publishes the shape: saves body (null: no body) as the SAT file and converts that file into
// the scene, both under temporary names, then under the shape's lock (waiting at most
// MODELER_LOCK_WAIT_MS, else the "503" answer) removes what killed requests left and moves the
// SAT file, the scene and the status record into place; then prints the redirect. refusal, when
// not null, is the record's reason for a body the modeler refused to build; without it, a null
// body's reason comes from the first kernel failure noted. When the kernel ran out of memory
// building body, only the record is written (reason MODELER_REASON_NO_MEMORY) and the "500"
// answer goes. The modeller must be started. In debug builds it asserts that body meshes closed
// and consistently wound.
void modelerPublish(const char *name, BODY *body, const char *refusal = nullptr);

// Writes only the status record (nothing built, for reason) under the shape's lock, leaving the
// SAT file and the scene as they are, then prints the redirect. A record that cannot be written
// ends the request as a file that cannot be written does.
void modelerPublishNothing(const char *name, const char *reason);

// Prints the one-line response "Location: http://HOST/acis1/shtml/desenhaNAME.shtml" and an
// empty line on the response (standard output for CGI), then flushes it.
void modelerRedirect(const char *name);

#endif
