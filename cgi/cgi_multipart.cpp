#include "cgi_multipart.h"

#include <algorithm>
#include <cstring>

#include "cgi_settings.h"

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == '\f'; }

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char toSmall(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toSmall(a[i]) != toSmall(b[i]))
            return false;
    return true;
}

std::string_view trimBlanks(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Reads one parameter value at the start of rest: a quoted string (up to the closing quote, or
// the end of the line when it never closes) or a token up to ';'. Leaves rest after the value.
std::string parameterValue(std::string_view &rest) {
    std::string value;
    if (rest.empty() || rest[0] != '"') {
        std::size_t end = rest.find(';');
        value.assign(trimBlanks(rest.substr(0, end)));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
        return value;
    }
    std::size_t i = 1;
    for (; i < rest.size() && rest[i] != '"'; ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '"')
            ++i; // an escaped quote
        value += rest[i];
    }
    rest.remove_prefix(std::min(i + 1, rest.size()));
    return value;
}

// The parameters of a Content-Disposition value ("form-data; name=...; filename=...").
void readDisposition(std::string_view rest, CgiPartHeaders &headers) {
    std::size_t semi = rest.find(';');
    if (semi == std::string_view::npos)
        return;
    rest.remove_prefix(semi + 1);
    while (!rest.empty()) {
        std::size_t eq = rest.find_first_of("=;");
        if (eq == std::string_view::npos)
            return;
        std::string_view key = trimBlanks(rest.substr(0, eq));
        bool hasValue = rest[eq] == '=';
        rest.remove_prefix(eq + 1);
        if (!hasValue)
            continue; // a parameter without a value
        std::size_t lead = rest.find_first_not_of(" \t");
        rest.remove_prefix(lead == std::string_view::npos ? rest.size() : lead);
        std::string value = parameterValue(rest);
        if (equalNoCase(key, "name"))
            headers.name = std::move(value);
        else if (equalNoCase(key, "filename"))
            headers.filename = cgiSanitizeFileName(value, CgiSettings::maxFileNameLength());
        std::size_t next = rest.find(';');
        rest.remove_prefix(next == std::string_view::npos ? rest.size() : next + 1);
    }
}

void readHeaderLine(std::string_view line, CgiPartHeaders &headers) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    std::string_view name = trimBlanks(line.substr(0, colon));
    std::string_view rest = line.substr(colon + 1);
    if (equalNoCase(name, "Content-Type"))
        headers.contentType.assign(trimBlanks(rest.substr(0, rest.find(';'))));
    else if (equalNoCase(name, "Content-Disposition"))
        readDisposition(rest, headers);
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

bool cgiParsePart(CgiFieldStore &store, std::string_view part) {
    CgiPartHeaders headers;
    std::size_t bodyStart = cgiParsePartHeaders(part, headers);
    if (bodyStart == std::string_view::npos)
        return true;
    std::string_view body = part.substr(bodyStart);
    if (!body.empty() && body.back() == '\n')
        body.remove_suffix(1);
    if (!body.empty() && body.back() == '\r')
        body.remove_suffix(1);
    return store.add(std::make_unique<CgiMultipartField>(std::move(headers.name), body.data(),
                                                         body.size(), std::move(headers.filename),
                                                         std::move(headers.contentType)));
}

std::string cgiBoundaryParameter(std::string_view contentType) {
    static constexpr std::string_view kKey = "boundary=";
    std::size_t at = contentType.find(kKey);
    if (at == std::string_view::npos)
        return std::string();
    std::string_view rest = contentType.substr(at + kKey.size());
    if (!rest.empty() && rest[0] == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(rest.substr(0, rest.find_first_of("; \t")));
}

CgiDelimiterSearch::CgiDelimiterSearch(std::string_view pattern)
    : pattern_(pattern), fallback_(pattern.size() + 1, 0) {
    // fallback_[i]: length of the longest proper prefix of pattern[0, i) that is also its suffix.
    for (std::size_t i = 1, k = 0; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k])
            k = fallback_[k];
        if (pattern_[i] == pattern_[k])
            ++k;
        fallback_[i + 1] = k;
    }
}

const char *CgiDelimiterSearch::find(const char *from, const char *end) const {
    const std::size_t m = pattern_.size();
    if (m == 0)
        return from;
    std::size_t k = 0; // pattern bytes matched so far
    for (const char *p = from; p < end; ++p) {
        if (k == 0) {
            // Nothing matched yet: skip straight to the next possible first byte.
            const void *hit = std::memchr(p, pattern_[0], static_cast<std::size_t>(end - p));
            if (hit == nullptr)
                return end;
            p = static_cast<const char *>(hit);
        }
        while (k > 0 && *p != pattern_[k])
            k = fallback_[k];
        if (*p == pattern_[k])
            ++k;
        if (k == m)
            return p + 1 - m;
    }
    return end;
}

void CgiMultipartParser::parse(CgiFieldStore &store, const char *text, std::size_t length) {
    if (text == nullptr)
        return;
    if (boundary_.empty() || boundary_.size() > CgiSettings::kMaxBoundaryLength) {
        store.refuse(CgiRefusal::BadBody);
        return;
    }
    const std::string delimiter = "--" + boundary_;
    const CgiDelimiterSearch search(delimiter);
    const char *end = text + length;
    const char *at = search.find(text, end);
    while (at != end) {
        const char *after = at + delimiter.size();
        if (end - after < 2 || (after[0] == '-' && after[1] == '-'))
            return;
        while (after < end && (*after == '\r' || *after == '\n'))
            ++after;
        const char *next = search.find(after, end);
        if (next == end)
            return; // the last part never closes: the body was cut short
        if (!cgiParsePart(store, std::string_view(after, static_cast<std::size_t>(next - after))))
            return;
        at = next;
    }
}
