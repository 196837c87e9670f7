// multipart/form-data body parser, its part headers and file-name sanitising.
//
// Every part of the body between two delimiters ("--" + boundary) becomes one multipart field.
// A boundary that is empty or longer than CgiSettings::kMaxBoundaryLength (RFC 2046) refuses the
// body (CgiRefusal::BadBody) before it is scanned. Otherwise malformed input never fails: a part
// without a header end is dropped, a body without a delimiter yields nothing, and no access
// leaves the body. The scan is linear in the body whatever the boundary. Only allocation failure
// can throw.
#ifndef ROVAK_CGI_MULTIPART_H
#define ROVAK_CGI_MULTIPART_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cgi_body.h"

// Finds every occurrence of one pattern in a text in time linear in the text (Knuth, Morris
// and Pratt): no byte of the text is looked at more than twice, whatever the pattern.
class CgiDelimiterSearch {
  public:
    explicit CgiDelimiterSearch(std::string_view pattern);
    // The first occurrence of the pattern in [from, end), or end.
    const char *find(const char *from, const char *end) const;

  private:
    std::string pattern_;
    std::vector<std::size_t> fallback_; // longest proper border of each pattern prefix
};

class CgiMultipartParser : public CgiBodyParser {
  public:
    // boundary is the boundary parameter of the content type.
    explicit CgiMultipartParser(std::string boundary) : boundary_(std::move(boundary)) {}
    const std::string &boundary() const { return boundary_; }
    // The text before the first delimiter is skipped. After each delimiter, "--" or fewer than
    // two bytes end the body; otherwise the CR and LF bytes after it are skipped and a part
    // starts there, ending at the next delimiter. A part left open when the body ends is dropped.
    void parse(CgiFieldStore &store, const char *text, std::size_t length) override;

  private:
    std::string boundary_;
};

// The boundary parameter of a multipart content type: the text after "boundary=", up to the
// closing quote when quoted, else up to ';', a blank or the end.
std::string cgiBoundaryParameter(std::string_view contentType);

// What the header lines of one part say.
struct CgiPartHeaders {
    std::string name;
    std::string filename; // sanitised
    std::string contentType;
};

// Reads the header lines at the start of a part up to the first empty line. Lines end at CR, LF
// or FF; two different line-end bytes in a row are one line end. Header names are matched
// without regard to case (RFC 7578): "Content-Type" gives the content type (up to ';', blanks
// trimmed); the parameters of "Content-Disposition", split at the ';' outside quoted strings and
// also named without regard to case, give the field name ("name") and the file name
// ("filename"). A parameter value is a quoted string (a backslash escapes only a quote, so
// Windows paths keep their backslashes) or the text up to ';', blanks trimmed. Other headers
// are ignored. Returns the offset of the part's body, or npos when the headers never end.
std::size_t cgiParsePartHeaders(std::string_view part, CgiPartHeaders &headers);

// Appends one part (the bytes between the delimiter's line end and the next delimiter) to the
// store. The body is everything after the headers, less the one line end that belongs to the
// next delimiter, so file contents keep their own leading and trailing CR/LF bytes. False when
// the store refused the field.
bool cgiParsePart(CgiFieldStore &store, std::string_view part);

// Makes a file name safe to store: the text after the last '/', else after the last backslash,
// else all of it; its last maxLength characters; letters, digits and '.' kept, blanks turned
// into '_', every other byte dropped. A result made only of dots ("." or "..") becomes empty.
std::string cgiSanitizeFileName(std::string_view raw, std::size_t maxLength);

#endif
