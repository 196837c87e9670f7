#include "cgi_decode.h"

#include <cstring>

namespace {

// Value of a hexadecimal digit, or -1. Small letters count as capitals.
int hexValue(char c) {
    static const char digits[] = "0123456789ABCDEF";
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c == '\0')
        return -1;
    const char *p = std::strchr(digits, c);
    return p ? static_cast<int>(p - digits) : -1;
}

} // namespace

void cgiUrlDecode(std::string &text) {
    std::size_t out = 0;
    std::size_t n = text.size();
    for (std::size_t in = 0; in < n; ++in) {
        char c = text[in];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            int high = in + 1 < n ? hexValue(text[in + 1]) : -1;
            int low = (high >= 0 && in + 2 < n) ? hexValue(text[in + 2]) : -1;
            if (low < 0)
                break;
            c = static_cast<char>(high * 16 + low);
            in += 2;
        }
        text[out++] = c;
    }
    text.resize(out);
}

void cgiSplitPair(std::string_view pair, char split, std::string &name, std::string &value) {
    std::size_t at = pair.find(split);
    if (at == std::string_view::npos) {
        name.assign(pair);
        value.clear();
    } else {
        name.assign(pair.substr(0, at));
        value.assign(pair.substr(at + 1));
    }
    cgiUrlDecode(name);
    cgiUrlDecode(value);
}

void cgiParsePairs(CgiFieldStore &store, std::string_view text, std::string_view separators,
                   char split, CgiTextKind kind) {
    // A byte table instead of find_first_of: one lookup per byte rather than a search per byte.
    bool isSeparator[256] = {};
    for (char c : separators)
        isSeparator[static_cast<unsigned char>(c)] = true;
    auto separatorAt = [&](std::size_t i) {
        return isSeparator[static_cast<unsigned char>(text[i])];
    };
    std::string name, value;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && separatorAt(pos))
            ++pos; // empty tokens are skipped
        std::size_t start = pos;
        while (pos < text.size() && !separatorAt(pos))
            ++pos;
        if (pos == start)
            break;
        cgiSplitPair(text.substr(start, pos - start), split, name, value);
        if (!store.add(cgiMakeTextField(kind, name, value)))
            return; // refused: the rest would be dropped anyway
    }
}
