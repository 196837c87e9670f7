// multipart/form-data body parser, its part headers and file-name sanitising.
//
// Every part of the body between two delimiters ("--" + boundary) becomes one multipart field.
// Malformed input never fails: a part without a header end is dropped, a body without a
// delimiter yields nothing, and no access leaves the body. Only allocation failure can throw.
#ifndef ROVAK_CGI_MULTIPART_H
#define ROVAK_CGI_MULTIPART_H

#include <cstddef>
#include <string>
#include <string_view>

#include "cgi_body.h"

class CgiMultipartParser : public CgiBodyParser {
  public:
    // boundary is the text after "boundary=" in the content type, of any length.
    explicit CgiMultipartParser(std::string boundary) : boundary_(std::move(boundary)) {}
    const std::string &boundary() const { return boundary_; }
    // The text before the first delimiter is skipped. After each delimiter, "--" or fewer than
    // two bytes end the body; otherwise the CR and LF bytes after it are skipped and a part
    // starts there, ending at the next delimiter. A part left open when the body ends is dropped.
    void parse(CgiFieldStore &store, const char *text, std::size_t length) override;

  private:
    std::string boundary_;
};

// What the header lines of one part say.
struct CgiPartHeaders {
    std::string name;
    std::string filename; // sanitised
    std::string contentType;
};

// Reads the header lines at the start of a part up to the first empty line. Lines end at CR, LF
// or FF; two different line-end bytes in a row are one line end. A line starting with
// "Content-Type" gives the content type (up to ';'); in the other lines " name=" and
// " filename=" give the field and file names (quoted: up to the closing quote; unquoted: up to
// ';' or the line end). Returns the offset of the part's body, or npos when the headers never end.
std::size_t cgiParsePartHeaders(std::string_view part, CgiPartHeaders &headers);

// Appends one part (the bytes between the delimiter's line end and the next delimiter) to the
// store. The body is everything after the headers, less the one line end that belongs to the
// next delimiter, so file contents keep their own leading and trailing CR/LF bytes.
void cgiParsePart(CgiFieldStore &store, std::string_view part);

// Makes a file name safe to store: the text after the last '/', else after the last backslash,
// else all of it; its last maxLength characters; letters, digits and '.' kept, blanks turned
// into '_', every other byte dropped. A result made only of dots ("." or "..") becomes empty.
std::string cgiSanitizeFileName(std::string_view raw, std::size_t maxLength);

#endif
