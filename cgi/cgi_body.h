// POST body parsers, one per content type, made by a factory.
//
// A body parser appends the fields it finds in a body to a store and never reads outside
// [text, text + length). It stops when the store refuses a field (too many), and refuses the
// store itself for a body it cannot take (see CgiRefusal). Parsers can be made and driven
// directly (the request handler, tests and the fuzz target all do). Only allocation failure can
// throw (std::bad_alloc).
#ifndef ROVAK_CGI_BODY_H
#define ROVAK_CGI_BODY_H

#include <cstddef>
#include <memory>

#include "cgi_field.h"

class CgiBodyParser {
  public:
    virtual ~CgiBodyParser() = default;
    // Appends the fields found in the length bytes at text to the store.
    virtual void parse(CgiFieldStore &store, const char *text, std::size_t length) = 0;
};

// application/x-www-form-urlencoded: pairs separated by '&' or newline, as a query string.
class CgiUrlencodedParser : public CgiBodyParser {
  public:
    void parse(CgiFieldStore &store, const char *text, std::size_t length) override;
};

// Any content type without a parser of its own: adds no field.
class CgiUnknownParser : public CgiBodyParser {
  public:
    void parse(CgiFieldStore &, const char *, std::size_t) override {}
};

class CgiBodyParserFactory {
  public:
    // The parser for a CONTENT_TYPE value (null when unset):
    //   exactly "application/x-www-form-urlencoded"    urlencoded parser
    //   holding "multipart/form-data" and "boundary="   multipart parser, boundary = the
    //                                                   parameter's value (cgiBoundaryParameter)
    //   exactly "text/xml"                             XML parser
    //   anything else                                  unknown-type parser
    static std::unique_ptr<CgiBodyParser> make(const char *contentType);
};

#endif
