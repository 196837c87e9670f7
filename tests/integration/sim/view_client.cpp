// Strict JSON reader and loopback HTTP client for the view tests (see view_client.h).
#include "view_client.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace viewtest {

const Json *Json::get(const std::string &key) const {
    for (const auto &m : members)
        if (m.first == key)
            return &m.second;
    return nullptr;
}

double Json::num(const std::string &key) const {
    const Json *v = get(key);
    return v && v->kind == Number ? v->number : NAN;
}

namespace {

struct reader {
    const std::string &s;
    size_t i = 0;
    std::string error;

    bool fail(const std::string &what) {
        if (error.empty())
            error = what + " at offset " + std::to_string(i);
        return false;
    }
    void blanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            i++;
    }
    bool literal(const char *word) {
        size_t n = strlen(word);
        if (s.compare(i, n, word) != 0)
            return fail("bad literal");
        i += n;
        return true;
    }
    bool digits() {
        size_t start = i;
        while (i < s.size() && isdigit((unsigned char)s[i]))
            i++;
        return i > start || fail("digit expected");
    }
    bool number(Json *out) {
        size_t start = i;
        if (s[i] == '-')
            i++;
        if (i < s.size() && s[i] == '0')
            i++;
        else if (!digits())
            return false;
        if (i < s.size() && s[i] == '.') {
            i++;
            if (!digits())
                return false;
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            i++;
            if (i < s.size() && (s[i] == '+' || s[i] == '-'))
                i++;
            if (!digits())
                return false;
        }
        out->kind = Json::Number;
        out->number = strtod(s.substr(start, i - start).c_str(), nullptr);
        return std::isfinite(out->number) || fail("number out of range");
    }
    bool string(std::string *out) {
        i++; // the opening quote
        while (i < s.size() && s[i] != '"') {
            unsigned char c = (unsigned char)s[i++];
            if (c < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                *out += (char)c;
                continue;
            }
            if (i >= s.size())
                return fail("unfinished escape");
            char e = s[i++];
            const char *simple = strchr("\"\\/bfnrt", e);
            if (e == 'u') {
                for (int k = 0; k < 4; k++, i++)
                    if (i >= s.size() || !isxdigit((unsigned char)s[i]))
                        return fail("bad \\u escape");
                *out += '?';
            } else if (simple && e) {
                *out += e;
            } else {
                return fail("bad escape");
            }
        }
        if (i >= s.size())
            return fail("unfinished string");
        i++;
        return true;
    }
    bool array(Json *out, int depth) {
        out->kind = Json::Array;
        i++;
        blanks();
        if (i < s.size() && s[i] == ']')
            return ++i, true;
        for (;;) {
            out->items.emplace_back();
            if (!value(&out->items.back(), depth + 1))
                return false;
            blanks();
            if (i < s.size() && s[i] == ',') {
                i++;
                continue;
            }
            if (i < s.size() && s[i] == ']')
                return ++i, true;
            return fail("',' or ']' expected");
        }
    }
    bool object(Json *out, int depth) {
        out->kind = Json::Object;
        i++;
        blanks();
        if (i < s.size() && s[i] == '}')
            return ++i, true;
        for (;;) {
            blanks();
            std::string key;
            if (i >= s.size() || s[i] != '"')
                return fail("member name expected");
            if (!string(&key))
                return false;
            blanks();
            if (i >= s.size() || s[i] != ':')
                return fail("':' expected");
            i++;
            out->members.emplace_back(key, Json());
            if (!value(&out->members.back().second, depth + 1))
                return false;
            blanks();
            if (i < s.size() && s[i] == ',') {
                i++;
                continue;
            }
            if (i < s.size() && s[i] == '}')
                return ++i, true;
            return fail("',' or '}' expected");
        }
    }
    bool value(Json *out, int depth) {
        blanks();
        if (depth > 64)
            return fail("nested too deep");
        if (i >= s.size())
            return fail("value expected");
        switch (s[i]) {
        case '{':
            return object(out, depth);
        case '[':
            return array(out, depth);
        case '"':
            out->kind = Json::String;
            return string(&out->text);
        case 't':
        case 'f':
            out->kind = Json::Bool;
            out->boolean = s[i] == 't';
            return literal(out->boolean ? "true" : "false");
        case 'n':
            out->kind = Json::Null;
            return literal("null");
        default:
            if (s[i] == '-' || isdigit((unsigned char)s[i]))
                return number(out);
            return fail("value expected");
        }
    }
};

// Waits until fd is readable; false after timeout_ms.
bool readable(int fd, int timeout_ms) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1;
}

int connect_tcp(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, (sockaddr *)&a, sizeof a) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool send_all(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

} // namespace

bool parse_json(const std::string &text, Json *out, std::string *error) {
    reader r{text, 0, ""};
    *out = Json();
    bool ok = r.value(out, 0);
    if (ok) {
        r.blanks();
        ok = r.i == text.size() || r.fail("text after the value");
    }
    if (!ok)
        *error = r.error;
    return ok;
}

std::string HttpAnswer::header(const std::string &name) const {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string::npos)
            end = headers.size();
        std::string line = headers.substr(start, end - start);
        size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
            size_t v = line.find_first_not_of(' ', colon + 1);
            return v == std::string::npos ? "" : line.substr(v);
        }
        start = end + 2;
    }
    return "";
}

HttpClient::~HttpClient() {
    if (fd_ >= 0)
        close(fd_);
}

bool HttpClient::connect_now() {
    if (fd_ >= 0)
        close(fd_);
    pending_.clear();
    fd_ = connect_tcp(port_);
    return fd_ >= 0;
}

HttpAnswer HttpClient::request(const std::string &path, const std::string &method,
                               const std::string &host) {
    HttpAnswer a;
    std::string h = host.empty() ? "127.0.0.1:" + std::to_string(port_) : host;
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: " + h + "\r\n\r\n";
    // A kept connection the server has meanwhile closed fails at once: one retry on a new one.
    for (int attempt = 0; attempt < 2 && a.status == 0; attempt++) {
        if ((fd_ < 0 || attempt > 0) && !connect_now())
            return a;
        if (!send_all(fd_, text))
            continue;
        size_t end;
        while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
            std::string more = read_some(fd_, 65536, 5000);
            if (more.empty())
                break;
            pending_ += more;
        }
        if (end == std::string::npos)
            continue;
        a.headers = pending_.substr(0, end + 2);
        pending_.erase(0, end + 4);
        a.status = atoi(a.headers.c_str() + a.headers.find(' ') + 1);
        size_t length = method == "HEAD" ? 0 : strtoul(a.header("Content-Length").c_str(), 0, 10);
        while (pending_.size() < length) {
            std::string more = read_some(fd_, length - pending_.size(), 5000);
            if (more.empty())
                return HttpAnswer();
            pending_ += more;
        }
        a.body = pending_.substr(0, length);
        pending_.erase(0, length);
        if (strcasecmp(a.header("Connection").c_str(), "close") == 0)
            connect_now();
    }
    return a;
}

int open_request(int port, const std::string &path) {
    int fd = connect_tcp(port);
    if (fd >= 0 && !path.empty() &&
        !send_all(fd, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) {
        close(fd);
        fd = -1;
    }
    return fd;
}

std::string read_some(int fd, size_t want, int timeout_ms) {
    char buf[16384];
    if (want == 0 || !readable(fd, timeout_ms))
        return "";
    ssize_t n = recv(fd, buf, std::min(sizeof buf, want), 0);
    return n > 0 ? std::string(buf, (size_t)n) : "";
}

} // namespace viewtest
