// Test client side of the simulator's view: a strict JSON reader (so that a text the view sends
// is checked against the grammar, not against our own writer) and a small HTTP/1.1 client over
// loopback TCP with bounded waits.
#ifndef ROVAK_TESTS_VIEW_CLIENT_H
#define ROVAK_TESTS_VIEW_CLIENT_H

#include <string>
#include <utility>
#include <vector>

namespace viewtest {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;                           // Array
    std::vector<std::pair<std::string, Json>> members; // Object, in text order
    // The member named key, or null.
    const Json *get(const std::string &key) const;
    // The number of member key, or nan when it is missing or not a number.
    double num(const std::string &key) const;
};

// Parses text as one JSON value (RFC 8259, nothing but white space around it). False with a
// message naming the offset of the first fault.
bool parse_json(const std::string &text, Json *out, std::string *error);

struct HttpAnswer {
    int status = 0; // 0: no answer (connection failed, closed early or timed out)
    std::string headers;
    std::string body;
    std::string header(const std::string &name) const; // "" when missing; name case-insensitive
};

// A keep-alive HTTP/1.1 client to 127.0.0.1:port; reconnects when the server has closed. Every
// read waits at most 5 seconds.
class HttpClient {
  public:
    explicit HttpClient(int port) : port_(port) {}
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;
    // Sends method path with the Host header host (default "127.0.0.1:<port>") and reads the
    // answer (bodies with Content-Length only).
    HttpAnswer request(const std::string &path, const std::string &method = "GET",
                       const std::string &host = "");

  private:
    bool connect_now();
    int port_;
    int fd_ = -1;
    std::string pending_;
};

// An open connection to 127.0.0.1:port that has sent "GET path" (for event streams and idle
// clients); -1 when the connection failed.
int open_request(int port, const std::string &path);
// Waits up to timeout_ms for bytes on fd and returns what one read gives (at most want bytes);
// "" after the time-out or at the end of the stream.
std::string read_some(int fd, size_t want, int timeout_ms);

} // namespace viewtest

#endif
