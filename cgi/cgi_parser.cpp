#include "cgi_parser.h"

#include <new>
#include <utility>

#include "cgi_field.h"
#include "cgi_request.h"
#include "cgi_source.h"

namespace {

// Runs a lookup, turning an allocation failure (possible only in test mode, which builds its
// prompts) into the "nothing found" answer.
template <typename Result, typename Lookup> Result guarded(Result none, Lookup lookup) noexcept {
    try {
        return lookup();
    } catch (...) {
        return none;
    }
}

// The request of context; null when memory ran out (the parser then answers nothing and reports
// CgiRefusal::OutOfMemory).
std::unique_ptr<CgiSource> parseRequest(const CgiRequestContext &context) noexcept {
    try {
        return cgiParseRequest(context);
    } catch (...) {
        return nullptr; // whatever was parsed goes: a partial request must not be served
    }
}

std::unique_ptr<CgiSource> parseProcessRequest() noexcept {
    try {
        return parseRequest(cgiProcessContext());
    } catch (...) {
        return nullptr; // no memory for the process context itself
    }
}

// Static storage for the handle: making it needs no memory that could run out.
alignas(CgiParser) unsigned char g_storage[sizeof(CgiParser)];

// The process-wide parser. Never destroyed, so callers may look fields up until the very end of
// the process; reset() parses anew.
CgiParser *g_parser = nullptr;

} // namespace

CgiParser::CgiParser(std::unique_ptr<CgiSource> impl) : impl_(std::move(impl)) {}

CgiParser::~CgiParser() = default;

CgiParser &CgiParser::instance() {
    if (g_parser == nullptr)
        g_parser = new (g_storage) CgiParser(parseProcessRequest());
    return *g_parser;
}

CgiParser &CgiParser::parse(const CgiRequestContext &context) {
    reset(); // the old request's fields go before the new one takes memory
    g_parser = new (g_storage) CgiParser(parseRequest(context));
    return *g_parser;
}

void CgiParser::reset() {
    if (g_parser != nullptr)
        g_parser->impl_.reset(); // the handle's only resource; its storage is reused
    g_parser = nullptr;
}

CgiRefusal CgiParser::refusal() const {
    if (!impl_)
        return CgiRefusal::OutOfMemory;
    return guarded(CgiRefusal::OutOfMemory, [&] { return impl_->refusal(); });
}

const char *CgiParser::version() { return "Rovak CGI form parser - CGIParser Version 2.1"; }

int CgiParser::count() const {
    return impl_ ? guarded(0, [&] { return impl_->count(); }) : 0;
}

const char *CgiParser::fieldName(int position) const {
    if (!impl_)
        return nullptr;
    return guarded<const char *>(nullptr, [&] { return impl_->fieldName(position); });
}

bool CgiParser::exists(const char *name) const {
    return impl_ ? guarded(false, [&] { return impl_->exists(name); }) : false;
}

int CgiParser::numValues(const char *name) const {
    return impl_ ? guarded(0, [&] { return impl_->numValues(name); }) : 0;
}

#define CGI_TEXT_LOOKUPS(method, question)                                                         \
    const char *CgiParser::method(const char *name) const { return method(name, 0); }              \
    const char *CgiParser::method(const char *name, int index) const {                             \
        if (!impl_)                                                                                \
            return nullptr;                                                                        \
        return guarded<const char *>(nullptr, [&] { return impl_->ask(question, name, index); });  \
    }                                                                                              \
    const char *CgiParser::method(int position) const {                                            \
        if (!impl_)                                                                                \
            return nullptr;                                                                        \
        return guarded<const char *>(nullptr, [&] { return impl_->ask(question, position); });     \
    }

CGI_TEXT_LOOKUPS(value, CgiQuestion::Value)
CGI_TEXT_LOOKUPS(filename, CgiQuestion::Filename)
CGI_TEXT_LOOKUPS(filepath, CgiQuestion::Filepath)
CGI_TEXT_LOOKUPS(contentType, CgiQuestion::ContentType)
CGI_TEXT_LOOKUPS(dataSource, CgiQuestion::DataSource)

#undef CGI_TEXT_LOOKUPS

std::size_t CgiParser::length(const char *name) const { return length(name, 0); }

std::size_t CgiParser::length(const char *name, int index) const {
    if (!impl_)
        return 0;
    return guarded<std::size_t>(0, [&] { return impl_->length(name, index); });
}

std::size_t CgiParser::length(int position) const {
    if (!impl_)
        return 0;
    return guarded<std::size_t>(0, [&] { return impl_->length(position); });
}

void CgiParser::setCaseSensitive(bool on) {
    if (!impl_)
        return;
    guarded(0, [&] {
        impl_->setCaseSensitive(on);
        return 0;
    });
}
