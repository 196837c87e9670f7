// Request handlers: turn the CGI environment and standard input into the lookups of CgiParser.
//
// A handler is chosen by REQUEST_METHOD through a factory, run once and deleted. The request
// context names where the environment, standard input and standard output come from, so the
// parse can also be driven without the process's own (tests, the fuzz target). Handlers never
// fail: what cannot be read adds no field, and a request that cannot be taken in whole leaves its
// store refused (CgiRefusal). Only allocation failure can throw (std::bad_alloc).
#ifndef ROVAK_CGI_REQUEST_H
#define ROVAK_CGI_REQUEST_H

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "cgi_body.h"
#include "cgi_source.h"

struct CgiRequestContext {
    // Environment lookup: the variable's value, or null when unset.
    std::function<const char *(const char *)> getenv;
    std::FILE *in = nullptr;  // the POST body, or the operator's answers in test mode
    std::FILE *out = nullptr; // test-mode prompts
    // Switches in to untranslated (binary) mode; false when that fails.
    std::function<bool(std::FILE *)> setBinary;
};

// The context of this process: its environment, stdin, stdout and cgiSetBinaryMode.
CgiRequestContext cgiProcessContext();

// Switches a stream to binary mode. Only the Windows runtime translates line ends on standard
// input; elsewhere streams are always binary and this returns true, so the "binaryerror" path of
// the POST handler cannot be reached on Linux.
bool cgiSetBinaryMode(std::FILE *stream);

// Parses QUERY_STRING, then PATH_INFO (if path data is on), then HTTP_COOKIE (if cookies are
// on) into the store, in that order.
void cgiParseEnvironment(CgiFieldStore &store, const CgiRequestContext &context);

// Reads at most length bytes from in; a shorter input gives what it holds and is never read past.
// Room for length bytes is taken up front: length must be bounded (by the maximum POST length).
std::string cgiReadBody(std::FILE *in, long length);

// The CONTENT_LENGTH value read as a decimal integer like atoi, clamped instead of overflowing;
// 0 when unset.
long cgiContentLength(const char *text);

// Parses the POST body: when CONTENT_LENGTH is accepted by the settings, a body parser is chosen
// by CONTENT_TYPE and given the body read from in, or the text "searchfor=binaryerror" when in
// cannot be switched to binary mode. A CONTENT_LENGTH above the maximum refuses the store
// (BodyTooLarge) without reading; an input shorter than CONTENT_LENGTH is parsed as far as it
// goes and refuses the store (BadBody).
void cgiParsePostBody(CgiFieldStore &store, const CgiRequestContext &context);

class CgiRequestHandler {
  public:
    virtual ~CgiRequestHandler() = default;
    // Parses the request; never null.
    virtual std::unique_ptr<CgiSource> handle(const CgiRequestContext &context) = 0;
};

// No REQUEST_METHOD: the console test mode.
class CgiTestModeHandler : public CgiRequestHandler {
  public:
    std::unique_ptr<CgiSource> handle(const CgiRequestContext &context) override;
};

// GET and every other method but POST: the environment only.
class CgiEnvironmentHandler : public CgiRequestHandler {
  public:
    std::unique_ptr<CgiSource> handle(const CgiRequestContext &context) override;
};

// POST: the environment, then the body.
class CgiPostHandler : public CgiRequestHandler {
  public:
    std::unique_ptr<CgiSource> handle(const CgiRequestContext &context) override;
};

class CgiRequestHandlerFactory {
  public:
    // The handler for a REQUEST_METHOD value: null or empty for test mode, exactly "POST" for
    // the POST handler, anything else for the environment handler.
    std::unique_ptr<CgiRequestHandler> make(const char *method) const;
};

// Chooses the handler by the context's REQUEST_METHOD and runs it; never null.
std::unique_ptr<CgiSource> cgiParseRequest(const CgiRequestContext &context);

#endif
