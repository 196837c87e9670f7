// Partial writes: large lines through sockets with a small send buffer, to a peer that reads
// slowly from a small receive buffer, so the kernel takes each queued buffer in pieces. Every
// byte must arrive once and in order, in both directions of the robot protocol (requests of a
// client to a robot server, and a server's lines to its client), over TCP and Unix-domain
// sockets. The test counts the writes the kernel took only in part, so it fails when it no
// longer creates the condition it is about.
#include "connect.h"

#include "command.h"
#include "net_peer.h"
#include "net_test_util.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<long> partial_writes{0}; // sendmsg calls that wrote some bytes but not all

} // namespace

// The socket layer writes with sendmsg; this one, found before the C library's, passes every call
// on and counts those the kernel took only in part.
extern "C" ssize_t sendmsg(int fd, const struct msghdr *msg, int flags) {
    using sendmsg_fn = ssize_t (*)(int, const struct msghdr *, int);
    static sendmsg_fn real = reinterpret_cast<sendmsg_fn>(dlsym(RTLD_NEXT, "sendmsg"));
    ssize_t n = real(fd, msg, flags);
    size_t want = 0;
    for (size_t i = 0; i < msg->msg_iovlen; i++)
        want += msg->msg_iov[i].iov_len;
    if (n > 0 && (size_t)n < want)
        partial_writes++;
    return n;
}

namespace {

constexpr int kSmallBuffer = 2048; // the kernel doubles it and rounds it up to its minimum

void small_buffer(int fd, int option) {
    int size = kSmallBuffer;
    setsockopt(fd, SOL_SOCKET, option, &size, sizeof size);
}

// Lines whose bytes tell their place: line i of n bytes (line feed included) is its number, a
// space, then letters that run on with the byte's offset in the whole text.
std::string make_lines(const char *word, const std::vector<size_t> &sizes, size_t *offset) {
    std::string text;
    for (size_t i = 0; i < sizes.size(); i++) {
        std::string line = std::string(word) + " " + std::to_string(i) + " ";
        while (line.size() + 1 < sizes[i])
            line += (char)('a' + (*offset + text.size() + line.size()) % 26);
        text += line + "\n";
    }
    *offset += text.size();
    return text;
}

// "" when the texts agree, else where and how they first differ.
std::string first_difference(const std::string &want, const std::string &got) {
    size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        i++;
    if (i == want.size() && i == got.size())
        return "";
    auto around = [&](const std::string &s) {
        size_t from = i < 20 ? 0 : i - 20;
        return "'" + s.substr(from, 40) + "'";
    };
    return "byte " + std::to_string(i) + " of " + std::to_string(want.size()) + " expected (" +
           std::to_string(got.size()) + " received): expected " + around(want) + ", received " +
           around(got);
}

// Reads from fd in small pieces with pauses until want bytes have arrived or the stream ends.
void read_slowly(int fd, size_t want, std::string *out, std::atomic<bool> *done) {
    char buf[700];
    while (out->size() < want) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        out->append(buf, (size_t)n);
        usleep(100);
    }
    *done = true;
}

bool poll_until(const std::atomic<bool> &done) {
    return spin_until([&] { return done.load(); }, [] { CONN_PollTimeout(1000); });
}

std::string dump_text; // what the "Dump" handler answers
int dump_fd = -1;      // the connection the last "Dump" came on

// Answers with dump_text, after shrinking the send buffer of the connection it answers on.
char *DumpCbk(int sender, long, int, char **) {
    dump_fd = sender;
    small_buffer(sender, SO_SNDBUF);
    return const_cast<char *>(dump_text.c_str());
}

class PartialWrites : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        CONN_Initialize();
        static bool registered = (CMD_Register("Dump", DumpCbk), true);
        (void)registered;
        partial_writes = 0;
    }
    bool unix_kind() const { return GetParam(); }

    // A listening socket of the test's own with a small receive buffer (accepted sockets take
    // it over); returns it and sets port or path.
    int listen_small(int *port, std::string *path) {
        int fd = socket(unix_kind() ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
        small_buffer(fd, SO_RCVBUF);
        if (unix_kind()) {
            *path = dir.file("robot.sock");
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            strncpy(a.sun_path, path->c_str(), sizeof a.sun_path - 1);
            EXPECT_EQ(bind(fd, (sockaddr *)&a, sizeof a), 0);
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            EXPECT_EQ(bind(fd, (sockaddr *)&a, sizeof a), 0);
            getsockname(fd, (sockaddr *)&a, &len);
            *port = ntohs(a.sin_port);
        }
        EXPECT_EQ(listen(fd, 1), 0);
        return fd;
    }

    netpeer::TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Kinds, PartialWrites, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Unix" : "Tcp"; });

// A client's requests, each queued as the connection's prefix and the line, reach the robot
// server whole and in order while the kernel takes them a piece at a time.
TEST_P(PartialWrites, RequestsOfAClientArriveWhole) {
    int port = 0;
    std::string path;
    int lfd = listen_small(&port, &path);
    CONN_ConnInfo *c = nullptr;
    int rc = unix_kind() ? CONN_UnixConnect(1, path.c_str(), 1, &c)
                         : CONN_Connect(1, "127.0.0.1", port, 1, &c);
    ASSERT_EQ(rc, 0);
    small_buffer(c->fd, SO_SNDBUF);
    int server = accept(lfd, nullptr, nullptr);
    ASSERT_GE(server, 0);

    size_t offset = 0;
    std::string want;
    std::vector<std::string> lines;
    for (size_t size : {60000, 7, 32768, 1, 50001, 4095, 4096, 4097, 65000}) {
        std::string line = make_lines("Note", {size}, &offset);
        lines.push_back(line);
        want += "1:" + line;
    }
    std::string got;
    std::atomic<bool> done{false};
    std::thread reader(read_slowly, server, want.size(), &got, &done);
    for (const std::string &line : lines) {
        char *copy = (char *)malloc(line.size());
        memcpy(copy, line.data(), line.size());
        ASSERT_EQ(CONN_SendToConnection(c, copy, (unsigned int)line.size(), 0), 0);
    }
    bool arrived = poll_until(done);
    if (!arrived)
        shutdown(server, SHUT_RDWR); // ends the reader
    reader.join();
    EXPECT_TRUE(arrived) << "the robot server did not receive every byte in time";
    EXPECT_EQ(first_difference(want, got), "");
    EXPECT_GT(partial_writes.load(), 0) << "the kernel took every buffer whole: no partial write";
    CONN_Disconnect(c);
    close(server);
    close(lfd);
}

// A server's answer to a peer's command (a long text and its acknowledgement) reaches the client
// whole and in order while the kernel takes it a piece at a time.
TEST_P(PartialWrites, LinesOfAServerArriveWhole) {
    int rc;
    int port = netpeer::free_tcp_port();
    std::string path = dir.file("server.sock");
    rc = unix_kind() ? CONN_UnixListen(path.c_str()) : CONN_Listen(port);
    ASSERT_EQ(rc, 0);

    size_t offset = 0;
    std::string text = make_lines("SetLaser", {30000, 3, 65000, 12000, 41}, &offset) +
                       make_lines("SetSonar", {20000, 9}, &offset);
    dump_text = text.substr(0, text.size() - 1); // the dispatcher ends each answer with a line feed
    std::string want = text + "Done Dump\n";

    int client = socket(unix_kind() ? AF_UNIX : AF_INET, SOCK_STREAM, 0);
    small_buffer(client, SO_RCVBUF);
    if (unix_kind()) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        ASSERT_EQ(connect(client, (sockaddr *)&a, sizeof a), 0);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons((unsigned short)port);
        ASSERT_EQ(connect(client, (sockaddr *)&a, sizeof a), 0);
    }
    ASSERT_EQ(send(client, "Dump\n", 5, MSG_NOSIGNAL), 5);
    std::string got;
    std::atomic<bool> done{false};
    std::thread reader(read_slowly, client, want.size(), &got, &done);
    bool arrived = poll_until(done);
    if (!arrived)
        shutdown(client, SHUT_RDWR);
    reader.join();
    EXPECT_TRUE(arrived) << "the client did not receive every byte in time";
    EXPECT_EQ(first_difference(want, got), "");
    EXPECT_GT(partial_writes.load(), 0) << "the kernel took every buffer whole: no partial write";
    close(client);
    // The server notices the close and drops the connection's record.
    EXPECT_TRUE(spin_until(
        [] {
            CONN_ConnInfo *ci = nullptr;
            CONN_FDtoConnInfo(dump_fd, &ci);
            return ci == nullptr;
        },
        [] { CONN_PollTimeout(1000); }));
}

} // namespace
