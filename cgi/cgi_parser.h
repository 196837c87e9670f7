// CgiParser: the process-wide form parser of the CGI programs.
//
// The first instance() call parses the request (query string, path info, cookies and, for POST,
// the body; or the console test mode when REQUEST_METHOD is unset) and the result lives until
// the process ends; it is never re-read. Names are NUL-terminated; positions and per-name
// indexes count from 0.
//
// Errors: a lookup that finds nothing returns null (0 for lengths and counts, false for exists);
// an absent field's null value is meant to be read as an empty text. A request that could not be
// taken in whole (a body over the maximum, too many fields, a body that cannot be parsed, memory
// running out) is reported by refusal(): its fields may be incomplete, and a program must not
// act on them. No exception leaves these operations.
#ifndef ROVAK_CGI_PARSER_H
#define ROVAK_CGI_PARSER_H

#include <cstddef>
#include <memory>

#include "cgi_field.h"

class CgiSource;
struct CgiRequestContext;

class CgiParser {
  public:
    // The process-wide parser, parsing the request on the first call.
    static CgiParser &instance();
    // The version banner, a constant text.
    static const char *version();
    // Forgets the parsed request, so that the next instance() call parses the request again
    // (for a program that serves several requests in one process). References taken from the
    // old instance must not be used afterwards.
    static void reset();
    // Replaces the parsed request by the one read from context (its environment, body and
    // test-mode streams), for a program that serves requests given to it by a FastCGI server.
    // Nothing of the previous request is kept. References taken from the old instance must not
    // be used afterwards; context's streams are read before this returns.
    static CgiParser &parse(const CgiRequestContext &context);

    // Why the request was refused, or CgiRefusal::None when every field was taken.
    CgiRefusal refusal() const;

    // Number of fields.
    int count() const;
    // Name of the field at that position, or null.
    const char *fieldName(int position) const;
    // Whether any field has that name.
    bool exists(const char *name) const;
    // Number of fields with that name.
    int numValues(const char *name) const;

    // The value of the first (or index-th) field with that name, or of the field at that
    // position; null when there is none. A multipart value is NUL-terminated raw bytes.
    const char *value(const char *name) const;
    const char *value(const char *name, int index) const;
    const char *value(int position) const;
    // The value's length: the string length of a text field, the byte count of a multipart one.
    std::size_t length(const char *name) const;
    std::size_t length(const char *name, int index) const;
    std::size_t length(int position) const;
    // The sanitised file name of a multipart file part ("" for other parts, null for text fields).
    const char *filename(const char *name) const;
    const char *filename(const char *name, int index) const;
    const char *filename(int position) const;
    // "" for multipart fields, null for text fields.
    const char *filepath(const char *name) const;
    const char *filepath(const char *name, int index) const;
    const char *filepath(int position) const;
    // The part's content type, "application/x-pathdata", "application/x-cookiedata" or "".
    const char *contentType(const char *name) const;
    const char *contentType(const char *name, int index) const;
    const char *contentType(int position) const;
    // "form", "path" or "cookie".
    const char *dataSource(const char *name) const;
    const char *dataSource(const char *name, int index) const;
    const char *dataSource(int position) const;

    // Switches name matching between byte-for-byte (the default) and ignoring letter case; no
    // change when it is already in the asked state. In test mode the operator is told.
    void setCaseSensitive(bool on);

    CgiParser(const CgiParser &) = delete;
    CgiParser &operator=(const CgiParser &) = delete;

  private:
    explicit CgiParser(std::unique_ptr<CgiSource> impl);
    ~CgiParser();

    std::unique_ptr<CgiSource> impl_;
};

#endif
