// Flat XML body parser: every opening tag becomes a form field holding the text that follows it.
#ifndef ROVAK_CGI_XML_H
#define ROVAK_CGI_XML_H

#include "cgi_body.h"

// <tag>text makes the field tag = text (up to the next '<'); closing tags and the text before
// the first '<' are skipped. Nested tags each make a field of their own; the tag's whole text
// between '<' and '>' is the name, and text is not URL-decoded. An unterminated tag ends the scan.
class CgiXmlParser : public CgiBodyParser {
  public:
    void parse(CgiFieldStore &store, const char *text, std::size_t length) override;
};

#endif
