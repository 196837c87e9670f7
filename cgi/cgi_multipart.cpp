#include "cgi_multipart.h"

#include <algorithm>
#include <functional>

#include "cgi_settings.h"

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == '\f'; }

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The value of a header parameter: up to the closing quote when quoted, else up to ';'.
std::string_view parameterValue(std::string_view rest) {
    if (!rest.empty() && rest[0] == '"') {
        rest.remove_prefix(1);
        return rest.substr(0, rest.find('"'));
    }
    return rest.substr(0, rest.find(';'));
}

// The value after key in line, if the line holds key.
bool findParameter(std::string_view line, std::string_view key, std::string_view &value) {
    std::size_t at = line.find(key);
    if (at == std::string_view::npos)
        return false;
    value = parameterValue(line.substr(at + key.size()));
    return true;
}

std::string_view trimBlanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void readHeaderLine(std::string_view line, CgiPartHeaders &headers) {
    static constexpr std::string_view kContentType = "Content-Type";
    if (startsWith(line, kContentType)) {
        std::string_view rest = line.substr(kContentType.size());
        if (!rest.empty() && rest[0] == ':')
            rest.remove_prefix(1);
        headers.contentType.assign(trimBlanks(rest.substr(0, rest.find(';'))));
        return;
    }
    std::string_view value;
    if (findParameter(line, " name=", value))
        headers.name.assign(value);
    if (findParameter(line, " filename=", value))
        headers.filename = cgiSanitizeFileName(value, CgiSettings::maxFileNameLength());
}

// Length of the line end at text[pos] (0, 1 or 2 bytes).
std::size_t lineEndLength(std::string_view text, std::size_t pos) {
    if (pos >= text.size() || !isLineEnd(text[pos]))
        return 0;
    if (pos + 1 < text.size() && isLineEnd(text[pos + 1]) && text[pos + 1] != text[pos])
        return 2;
    return 1;
}

} // namespace

std::string cgiSanitizeFileName(std::string_view raw, std::size_t maxLength) {
    std::size_t cut = raw.rfind('/');
    if (cut == std::string_view::npos)
        cut = raw.rfind('\\');
    if (cut != std::string_view::npos)
        raw.remove_prefix(cut + 1);
    if (raw.size() > maxLength)
        raw.remove_prefix(raw.size() - maxLength);
    std::string name;
    for (char c : raw) {
        if (isAsciiAlnum(c) || c == '.')
            name += c;
        else if (c == ' ')
            name += '_';
    }
    if (name.find_first_not_of('.') == std::string::npos)
        name.clear(); // "." and ".." would name directories, not files
    return name;
}

std::size_t cgiParsePartHeaders(std::string_view part, CgiPartHeaders &headers) {
    std::size_t pos = 0;
    while (pos < part.size()) {
        std::size_t end = pos;
        while (end < part.size() && !isLineEnd(part[end]))
            ++end;
        if (end == part.size())
            return std::string_view::npos; // a header line that never ends
        std::size_t next = end + lineEndLength(part, end);
        if (end == pos)
            return next; // the empty line closing the headers
        readHeaderLine(part.substr(pos, end - pos), headers);
        pos = next;
    }
    return std::string_view::npos;
}

void cgiParsePart(CgiFieldStore &store, std::string_view part) {
    CgiPartHeaders headers;
    std::size_t bodyStart = cgiParsePartHeaders(part, headers);
    if (bodyStart == std::string_view::npos)
        return;
    std::string_view body = part.substr(bodyStart);
    if (!body.empty() && body.back() == '\n')
        body.remove_suffix(1);
    if (!body.empty() && body.back() == '\r')
        body.remove_suffix(1);
    store.add(std::make_unique<CgiMultipartField>(std::move(headers.name), body.data(), body.size(),
                                                  std::move(headers.filename),
                                                  std::move(headers.contentType)));
}

void CgiMultipartParser::parse(CgiFieldStore &store, const char *text, std::size_t length) {
    if (text == nullptr)
        return;
    const std::string delimiter = "--" + boundary_;
    const std::boyer_moore_horspool_searcher search(delimiter.begin(), delimiter.end());
    const char *end = text + length;
    const char *at = std::search(text, end, search);
    while (at != end) {
        const char *after = at + delimiter.size();
        if (end - after < 2 || (after[0] == '-' && after[1] == '-'))
            return;
        while (after < end && (*after == '\r' || *after == '\n'))
            ++after;
        const char *next = std::search(after, end, search);
        if (next == end)
            return; // the last part never closes: the body was cut short
        cgiParsePart(store, std::string_view(after, static_cast<std::size_t>(next - after)));
        at = next;
    }
}
