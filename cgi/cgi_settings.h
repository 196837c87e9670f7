// Process-wide settings of the form parser.
//
// The settings are read while the request is parsed, inside the first CgiParser::instance()
// call; a change made after that has no effect on the fields already gathered. The defaults are
// what both modelers run with.
#ifndef ROVAK_CGI_SETTINGS_H
#define ROVAK_CGI_SETTINGS_H

#include <cstddef>

class CgiSettings {
  public:
    // Largest POST body read when no maximum is set: a bigger CONTENT_LENGTH is ignored, so a
    // request cannot make the parser allocate without bound.
    static constexpr long kBuiltinMaxPostLength = 16L * 1024 * 1024;

    // Whether HTTP_COOKIE is parsed (default on).
    static bool parseCookies() { return parseCookies_; }
    static void setParseCookies(bool on) { parseCookies_ = on; }

    // Whether PATH_INFO segments of the form name=value are parsed (default on).
    static bool parsePathData() { return parsePathData_; }
    static void setParsePathData(bool on) { parsePathData_ = on; }

    // Character splitting a path segment into name and value (default '=').
    static char pathSeparator() { return pathSeparator_; }
    static void setPathSeparator(char c) { pathSeparator_ = c; }

    // Maximum POST length: a positive value L rejects bodies of L bytes or more; 0 (default)
    // sets no maximum of its own, and then kBuiltinMaxPostLength bounds the body.
    static long maxPostLength() { return maxPostLength_; }
    static void setMaxPostLength(long length) { maxPostLength_ = length < 0 ? 0 : length; }

    // Whether a body of this CONTENT_LENGTH is read under the settings above.
    static bool acceptsPostLength(long length);

    // Number of trailing characters kept of a multipart file name (default 100).
    static std::size_t maxFileNameLength() { return maxFileNameLength_; }
    static void setMaxFileNameLength(std::size_t length) { maxFileNameLength_ = length; }

  private:
    static bool parseCookies_;
    static bool parsePathData_;
    static char pathSeparator_;
    static long maxPostLength_;
    static std::size_t maxFileNameLength_;
};

#endif
