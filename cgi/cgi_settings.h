// Process-wide settings of the form parser.
//
// The settings are read while the request is parsed, inside the first CgiParser::instance()
// call; a change made after that has no effect on the fields already gathered. The defaults are
// what both modelers run with; they are sized for forms, so that no request the parser accepts
// makes the process grow past a few megabytes.
#ifndef ROVAK_CGI_SETTINGS_H
#define ROVAK_CGI_SETTINGS_H

#include <cstddef>

class CgiSettings {
  public:
    // Default largest POST body, in bytes.
    static constexpr long kDefaultMaxPostLength = 1L << 20;
    // Default largest number of fields of one request, all sources together.
    static constexpr int kDefaultMaxFields = 10000;
    // Longest multipart boundary (RFC 2046); a longer one refuses the body.
    static constexpr std::size_t kMaxBoundaryLength = 70;

    // Whether HTTP_COOKIE is parsed (default on).
    static bool parseCookies() { return parseCookies_; }
    static void setParseCookies(bool on) { parseCookies_ = on; }

    // Whether PATH_INFO segments of the form name=value are parsed (default on).
    static bool parsePathData() { return parsePathData_; }
    static void setParsePathData(bool on) { parsePathData_ = on; }

    // Character splitting a path segment into name and value (default '=').
    static char pathSeparator() { return pathSeparator_; }
    static void setPathSeparator(char c) { pathSeparator_ = c; }

    // Largest POST body accepted, in bytes (default kDefaultMaxPostLength): a CONTENT_LENGTH
    // above it refuses the request without reading the body. A value of 0 or less restores the
    // default.
    static long maxPostLength() { return maxPostLength_; }
    static void setMaxPostLength(long length) {
        maxPostLength_ = length > 0 ? length : kDefaultMaxPostLength;
    }

    // Largest number of fields of one request (default kDefaultMaxFields): one more refuses the
    // request. A value of 0 or less restores the default.
    static int maxFields() { return maxFields_; }
    static void setMaxFields(int count) { maxFields_ = count > 0 ? count : kDefaultMaxFields; }

    // Whether a body of this CONTENT_LENGTH is within the maximum (lengths of 0 or less are
    // not: such a body is ignored).
    static bool acceptsPostLength(long length) { return length > 0 && length <= maxPostLength_; }

    // Number of trailing characters kept of a multipart file name (default 100).
    static std::size_t maxFileNameLength() { return maxFileNameLength_; }
    static void setMaxFileNameLength(std::size_t length) { maxFileNameLength_ = length; }

  private:
    static bool parseCookies_;
    static bool parsePathData_;
    static char pathSeparator_;
    static long maxPostLength_;
    static int maxFields_;
    static std::size_t maxFileNameLength_;
};

#endif
