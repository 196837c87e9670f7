// Pellam throughput and latency: a driver writes "get=sonar" to Pellam's standard input and
// times each " S ... S " answer (six sonar requests to the simulator behind it). For scale, the
// same run times six raw write/read round trips of a short line over loopback TCP to an echo
// process. Usage: bench_pellam [answers] (default 2000).
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

static int free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd, (sockaddr *)&a, sizeof a);
    getsockname(fd, (sockaddr *)&a, &n);
    close(fd);
    return ntohs(a.sin_port);
}

static int connect_to(int port) {
    for (int i = 0; i < 200; i++) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, (sockaddr *)&a, sizeof a) == 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        close(fd);
        usleep(10000);
    }
    return -1;
}

// Mean microseconds of one raw round trip of a 14-byte line to an echo child.
static double raw_round_trip(int rounds) {
    int port = free_port();
    pid_t pid = fork();
    if (pid == 0) {
        int l = socket(AF_INET, SOCK_STREAM, 0), one = 1;
        setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(l, (sockaddr *)&a, sizeof a);
        listen(l, 1);
        int c = accept(l, nullptr, nullptr);
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char buf[64];
        ssize_t n;
        while ((n = read(c, buf, sizeof buf)) > 0)
            if (write(c, buf, (size_t)n) != n)
                break;
        _exit(0);
    }
    int fd = connect_to(port);
    const char line[] = "1:GetSonar 1\n";
    char buf[64];
    auto t0 = Clock::now();
    for (int i = 0; i < rounds; i++) {
        if (write(fd, line, sizeof line - 1) < 0)
            break;
        size_t got = 0;
        while (got < sizeof line - 1) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got += (size_t)n;
        }
    }
    double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;
    close(fd);
    waitpid(pid, nullptr, 0);
    return us;
}

int main(int argc, char **argv) {
    int answers = argc > 1 ? atoi(argv[1]) : 2000;
    int port = free_port();
    char dir[] = "/tmp/bench-pellam-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    pid_t sim = fork();
    if (sim == 0) {
        std::string log = std::string(dir) + "/sim.log";
        execl(SIM_BIN, "rovak-sim", "--port", std::to_string(port).c_str(), "--robot-port", "0",
              "--socket-dir", dir, "--log", log.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(connect_to(port)); // wait until the scheduler listens

    int to_child[2], from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0)
        return 1;
    pid_t pellam = fork();
    if (pellam == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        close(to_child[1]);
        close(from_child[0]);
        std::string lock = std::string(dir) + "/pellam.lock";
        setenv("PELLAM_SCHEDULER_HOST", "127.0.0.1", 1);
        setenv("PELLAM_SCHEDULER_PORT", std::to_string(port).c_str(), 1);
        setenv("PELLAM_LOCK", lock.c_str(), 1);
        unsetenv("TERM");
        execl(PELLAM_BIN, "Pellam", (char *)nullptr);
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    FILE *out = fdopen(from_child[0], "r");

    // Reads one answer: up to the closing " S " after the opening one.
    auto read_answer = [&]() {
        int letters = 0, c;
        while (letters < 2 && (c = fgetc(out)) != EOF)
            letters += c == 'S';
        fgetc(out); // the trailing blank
        return letters == 2;
    };
    const char cmd[] = "get=sonar\n";
    if (write(to_child[1], cmd, sizeof cmd - 1) < 0 || !read_answer()) { // warm-up
        fprintf(stderr, "Pellam did not answer\n");
        return 1;
    }
    auto t0 = Clock::now();
    int done = 0;
    for (; done < answers; done++)
        if (write(to_child[1], cmd, sizeof cmd - 1) < 0 || !read_answer())
            break;
    double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    const char bye[] = "goodbye\n";
    if (write(to_child[1], bye, sizeof bye - 1) < 0)
        perror("write");
    waitpid(pellam, nullptr, 0);
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);

    double raw = raw_round_trip(20000);
    double per_answer = secs * 1e6 / done;
    printf("get=sonar answers:        %d in %.2f s = %.0f answers/s\n", done, secs, done / secs);
    printf("mean answer latency:      %.1f us (six sonar requests)\n", per_answer);
    printf("six raw TCP round trips:  %.1f us (%.1f us each)\n", 6 * raw, raw);
    printf("ratio:                    %.2f\n", per_answer / (6 * raw));
    std::string rm = std::string("rm -rf ") + dir;
    return system(rm.c_str()) == 0 ? 0 : 0;
}
