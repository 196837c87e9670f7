// URL decoding and name/value pair splitting of the form parser.
//
// Decoding never fails: a malformed escape ends the decoded text there. Only allocation failure
// can throw (std::bad_alloc).
#ifndef ROVAK_CGI_DECODE_H
#define ROVAK_CGI_DECODE_H

#include <cstddef>
#include <string>
#include <string_view>

#include "cgi_field.h"

// Decodes text in place: '+' becomes a blank and '%' with two hexadecimal digits (either case)
// becomes the byte they spell; every other byte is copied. At the first malformed escape (a '%'
// not followed by two hex digits) the text is cut: what was decoded so far is the result.
void cgiUrlDecode(std::string &text);

// Splits one pair at its first split character into a decoded name and value; a pair without
// it has an empty value.
void cgiSplitPair(std::string_view pair, char split, std::string &name, std::string &value);

// Splits text at any byte of separators (empty tokens are skipped), turns each token into a
// decoded pair with cgiSplitPair and appends it to the store as a field of the given kind.
void cgiParsePairs(CgiFieldStore &store, std::string_view text, std::string_view separators,
                   char split, CgiTextKind kind);

#endif
