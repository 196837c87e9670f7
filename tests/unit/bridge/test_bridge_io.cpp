// The bridge's input and output: words however the reads split them, the three other ways a
// wait ends (end of input, a signal, the output's reader going away), and writes.
#include "bridge_io.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Every word of text (read through a pipe, in words of at most size - 1 characters), then the
// result that ended the reading.
std::vector<std::string> words_of(const std::string &text, size_t size, int *ended) {
    int p[2];
    EXPECT_EQ(pipe(p), 0);
    pid_t writer = fork(); // a child writes, so text longer than the pipe cannot block the test
    if (writer == 0) {
        close(p[0]);
        (void)!write(p[1], text.data(), text.size());
        _exit(0);
    }
    close(p[1]);
    IO_Reader r;
    IO_Init(&r, p[0], -1);
    std::vector<std::string> words;
    std::vector<char> word(size);
    while ((*ended = IO_ReadWord(&r, word.data(), size)) == IO_WORD)
        words.push_back(word.data());
    close(p[0]);
    waitpid(writer, nullptr, 0);
    return words;
}

TEST(BridgeIo, Words) {
    const std::string straddling(IO_BUFFER - 3, ' '); // the next word spans two reads
    const struct {
        std::string text;
        size_t size;
        std::vector<std::string> words;
    } cases[] = {
        {"", 74, {}},
        {" \t\n\r\v\f", 74, {}},
        {"get=sonar\nget,IR  goodbye", 74, {"get=sonar", "get,IR", "goodbye"}},
        {straddling + "get=battery goodbye", 74, {"get=battery", "goodbye"}},
        {"abcdefgh ab", 5, {"abcd", "ab"}},
        {std::string(3 * IO_BUFFER, 'x') + " tail", 74, {std::string(73, 'x'), "tail"}},
    };
    for (const auto &c : cases) {
        int ended = 99;
        EXPECT_EQ(words_of(c.text, c.size, &ended), c.words) << c.text.size();
        EXPECT_EQ(ended, IO_END);
    }
}

TEST(BridgeIo, VanishedOutputReaderEndsTheWait) {
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    close(out[0]);
    IO_Reader r;
    IO_Init(&r, in[0], out[1]);
    char word[8];
    EXPECT_EQ(IO_ReadWord(&r, word, sizeof word), IO_OUTPUT_GONE);

    // A watched descriptor that is not open is not a reason to end: the words still come.
    close(out[1]);
    IO_Init(&r, in[0], out[1]);
    ASSERT_EQ(write(in[1], "goodbye ", 8), 8);
    EXPECT_EQ(IO_ReadWord(&r, word, sizeof word), IO_WORD);
    EXPECT_STREQ(word, "goodbye");
    close(in[0]), close(in[1]);
}

TEST(BridgeIo, Writes) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    EXPECT_EQ(IO_Write(p[1], " B 1 2 3 4 B ", 13), IO_WRITTEN);
    char got[16] = {};
    EXPECT_EQ(read(p[0], got, sizeof got), 13);
    EXPECT_STREQ(got, " B 1 2 3 4 B ");
    close(p[0]); // no reader left
    EXPECT_EQ(IO_Write(p[1], "x", 1), IO_OUTPUT_GONE);
    close(p[1]);
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    EXPECT_EQ(IO_Write(full, "x", 1), IO_OUTPUT_GONE);
    close(full);
}

// In a child: waits for a word that never comes until sig arrives; exit status 0 when the wait
// ended for that signal, writes are refused after it, and a write to a pipe without a reader
// failed instead of killing the child.
int wait_for_signal(int sig) {
    int ready[2], in[2];
    if (pipe(ready) != 0 || pipe(in) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        int broken[2];
        if (IO_Start() != 0 || pipe(broken) != 0)
            _exit(2);
        close(broken[0]);
        if (write(broken[1], "x", 1) != -1 || errno != EPIPE)
            _exit(3);
        (void)!write(ready[1], "r", 1);
        IO_Reader r;
        IO_Init(&r, in[0], -1);
        char word[8];
        _exit(IO_ReadWord(&r, word, sizeof word) == IO_SIGNALLED && IO_Signal() == sig ? 0 : 4);
    }
    close(ready[1]); // a child that ends early ends the read below
    char c;
    int status = -1;
    if (read(ready[0], &c, 1) == 1)
        kill(child, sig);
    waitpid(child, &status, 0);
    for (int fd : {ready[0], in[0], in[1]})
        close(fd);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(BridgeIo, SignalsEndTheWait) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        EXPECT_EQ(wait_for_signal(sig), 0) << strsignal(sig);
}

} // namespace
