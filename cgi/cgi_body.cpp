#include "cgi_body.h"

#include <cstring>
#include <string_view>

#include "cgi_decode.h"
#include "cgi_multipart.h"
#include "cgi_xml.h"

void CgiUrlencodedParser::parse(CgiFieldStore &store, const char *text, std::size_t length) {
    if (text != nullptr)
        cgiParsePairs(store, std::string_view(text, length), "&\n", '=', CgiTextKind::Form);
}

std::unique_ptr<CgiBodyParser> CgiBodyParserFactory::make(const char *contentType) {
    if (contentType == nullptr)
        return std::make_unique<CgiUnknownParser>();
    if (std::strcmp(contentType, "application/x-www-form-urlencoded") == 0)
        return std::make_unique<CgiUrlencodedParser>();
    if (std::strcmp(contentType, "text/xml") == 0)
        return std::make_unique<CgiXmlParser>();
    if (std::strstr(contentType, "multipart/form-data") != nullptr &&
        std::strstr(contentType, "boundary=") != nullptr)
        return std::make_unique<CgiMultipartParser>(cgiBoundaryParameter(contentType));
    return std::make_unique<CgiUnknownParser>();
}
