#include "cgi_xml.h"

#include <string>
#include <string_view>

void CgiXmlParser::parse(CgiFieldStore &store, const char *text, std::size_t length) {
    if (text == nullptr)
        return;
    std::string_view body(text, length);
    std::size_t open = body.find('<');
    while (open != std::string_view::npos) {
        std::size_t close = body.find_first_of("<>", open + 1);
        if (close == std::string_view::npos)
            return;
        if (body[close] == '<') { // a stray '<': the tag starts again there
            open = close;
            continue;
        }
        std::size_t next = body.find('<', close + 1);
        bool closing = open + 1 < body.size() && body[open + 1] == '/';
        if (!closing) {
            std::string_view tag = body.substr(open + 1, close - open - 1);
            std::size_t end = next == std::string_view::npos ? body.size() : next;
            std::string_view value = body.substr(close + 1, end - close - 1);
            if (!store.add(
                    cgiMakeTextField(CgiTextKind::Form, std::string(tag), std::string(value))))
                return;
        }
        open = next;
    }
}
