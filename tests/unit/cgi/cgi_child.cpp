#include "cgi_child.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<char *> pointers(std::vector<std::string> &texts) {
    std::vector<char *> out;
    for (auto &t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// Feeds input to the child and collects its output until it closes standard output.
void exchange(int toChild, int fromChild, const std::string &input, std::string &out) {
    std::size_t sent = 0;
    if (input.empty()) {
        close(toChild);
        toChild = -1;
    }
    while (fromChild >= 0) {
        pollfd fds[2] = {{fromChild, POLLIN, 0}, {toChild, POLLOUT, 0}};
        if (poll(fds, toChild >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (toChild >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(toChild, input.data() + sent, input.size() - sent);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            if (n < 0 || sent == input.size()) {
                close(toChild); // the child stopped reading, or all was sent
                toChild = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            ssize_t n = read(fromChild, buf, sizeof buf);
            if (n <= 0) {
                close(fromChild);
                fromChild = -1;
            } else {
                out.append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    if (toChild >= 0)
        close(toChild);
}

} // namespace

CgiChildResult cgiRunDriver(const std::vector<std::string> &env,
                            const std::vector<std::string> &args, const std::string &input) {
    std::signal(SIGPIPE, SIG_IGN); // a child that reads no stdin must not kill the test
    std::vector<std::string> argvText{CGI_DRIVER_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText = env;
    std::vector<char *> argv = pointers(argvText);
    std::vector<char *> envp = pointers(envText);

    CgiChildResult result;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    exchange(in[1], out[0], input, result.out);
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
        result.peakKiB = usage.ru_maxrss;
    }
    return result;
}
