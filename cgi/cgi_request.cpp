#include "cgi_request.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "cgi_console.h"
#include "cgi_decode.h"
#include "cgi_settings.h"

namespace {

std::unique_ptr<CgiSource> storeSource(std::unique_ptr<CgiFieldStore> store) {
    return std::make_unique<CgiStoreSource>(std::move(store));
}

} // namespace

bool cgiSetBinaryMode(std::FILE *stream) {
#ifdef _WIN32
    return _setmode(_fileno(stream), _O_BINARY) != -1;
#else
    (void)stream;
    return true;
#endif
}

CgiRequestContext cgiProcessContext() {
    CgiRequestContext context;
    context.getenv = [](const char *name) -> const char * { return std::getenv(name); };
    context.in = stdin;
    context.out = stdout;
    context.setBinary = cgiSetBinaryMode;
    return context;
}

void cgiParseEnvironment(CgiFieldStore &store, const CgiRequestContext &context) {
    if (const char *query = context.getenv("QUERY_STRING"))
        cgiParsePairs(store, query, "&\n", '=', CgiTextKind::Form);
    const char *path = context.getenv("PATH_INFO");
    if (path != nullptr && CgiSettings::parsePathData())
        cgiParsePairs(store, path, "/", CgiSettings::pathSeparator(), CgiTextKind::Path);
    const char *cookie = context.getenv("HTTP_COOKIE");
    if (cookie != nullptr && CgiSettings::parseCookies())
        cgiParsePairs(store, cookie, "; \t\f\r\n,", '=', CgiTextKind::Cookie);
}

long cgiContentLength(const char *text) {
    if (text == nullptr)
        return 0;
    long long n = std::strtoll(text, nullptr, 10); // saturates at LLONG_MIN/MAX
    if (n > LONG_MAX)
        return LONG_MAX;
    return n < 0 ? 0 : static_cast<long>(n);
}

std::string cgiReadBody(std::FILE *in, long length) {
    std::string body;
    if (in == nullptr || length <= 0)
        return body;
    const std::size_t total = static_cast<std::size_t>(length);
    // The callers bound length by the maximum POST length: room for all of it at once, rather
    // than growing (and for a while holding) twice the body.
    body.reserve(total);
    char chunk[64 * 1024];
    while (body.size() < total) {
        std::size_t want = std::min(sizeof chunk, total - body.size());
        std::size_t got = std::fread(chunk, 1, want, in);
        body.append(chunk, got);
        if (got < want)
            break; // end of input before CONTENT_LENGTH bytes: parse what came
    }
    return body;
}

void cgiParsePostBody(CgiFieldStore &store, const CgiRequestContext &context) {
    long length = cgiContentLength(context.getenv("CONTENT_LENGTH"));
    if (length > CgiSettings::maxPostLength()) {
        store.refuse(CgiRefusal::BodyTooLarge); // not read at all: nothing to allocate for it
        return;
    }
    if (!CgiSettings::acceptsPostLength(length))
        return;
    std::unique_ptr<CgiBodyParser> parser =
        CgiBodyParserFactory::make(context.getenv("CONTENT_TYPE"));
    if (context.setBinary && !context.setBinary(context.in)) {
        // A body read in text mode would have its line ends translated; parse a marker instead.
        static const char kBinaryError[] = "searchfor=binaryerror";
        parser->parse(store, kBinaryError, sizeof kBinaryError - 1);
        return;
    }
    std::string body = cgiReadBody(context.in, length);
    parser->parse(store, body.c_str(), body.size());
    if (body.size() < static_cast<std::size_t>(length))
        store.refuse(CgiRefusal::BadBody); // what came is parsed, but the request is not whole
}

std::unique_ptr<CgiSource> CgiTestModeHandler::handle(const CgiRequestContext &context) {
    std::unique_ptr<CgiSource> source = cgiRunTestMode(context.in, context.out);
    return source ? std::move(source) : storeSource(std::make_unique<CgiFieldStore>());
}

std::unique_ptr<CgiSource> CgiEnvironmentHandler::handle(const CgiRequestContext &context) {
    auto store = std::make_unique<CgiFieldStore>();
    cgiParseEnvironment(*store, context);
    return storeSource(std::move(store));
}

std::unique_ptr<CgiSource> CgiPostHandler::handle(const CgiRequestContext &context) {
    auto store = std::make_unique<CgiFieldStore>();
    cgiParseEnvironment(*store, context);
    cgiParsePostBody(*store, context);
    return storeSource(std::move(store));
}

std::unique_ptr<CgiRequestHandler> CgiRequestHandlerFactory::make(const char *method) const {
    if (method == nullptr || *method == '\0')
        return std::make_unique<CgiTestModeHandler>();
    if (std::strcmp(method, "POST") == 0)
        return std::make_unique<CgiPostHandler>();
    return std::make_unique<CgiEnvironmentHandler>();
}

std::unique_ptr<CgiSource> cgiParseRequest(const CgiRequestContext &context) {
    auto factory = std::make_unique<CgiRequestHandlerFactory>();
    std::unique_ptr<CgiRequestHandler> handler = factory->make(context.getenv("REQUEST_METHOD"));
    factory.reset(); // the factory and the handler live only for the parse
    return handler->handle(context);
}
