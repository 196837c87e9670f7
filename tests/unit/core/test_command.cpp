// Dispatcher: command splitting, id prefixes, acknowledgement lines, wildcard and handler order.
#include "command.h"

#include "argcv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string handler;
    int sender;
    long id;
    std::vector<std::string> argv;
};
std::vector<Call> calls;

void record(const char *who, int sender, long id, int argc, char **argv) {
    Call c{who, sender, id, {}};
    for (int i = 0; i < argc; i++)
        c.argv.emplace_back(argv[i]);
    calls.push_back(c);
}

char *quiet(int s, long id, int argc, char **argv) {
    record("quiet", s, id, argc, argv);
    return nullptr;
}
char *first(int s, long id, int argc, char **argv) {
    record("first", s, id, argc, argv);
    return const_cast<char *>("first text");
}
char *second(int s, long id, int argc, char **argv) {
    record("second", s, id, argc, argv);
    return const_cast<char *>("second text");
}
char *star(int s, long id, int argc, char **argv) {
    record("star", s, id, argc, argv);
    return nullptr;
}

std::string run(const char *text, int sender = 7) {
    char *reply = CMD_ExecuteRaw(sender, text);
    if (reply == nullptr)
        return "<null>";
    std::string r = reply;
    free(reply);
    return r;
}

class Command : public ::testing::Test {
  protected:
    void SetUp() override {
        CMD_Initialize();
        calls.clear();
    }
};

TEST_F(Command, RequestLineReachesHandlerAndIsAcknowledged) {
    CMD_Register("GetSonar", quiet);
    EXPECT_EQ(run("GetSonar 1 0\n", 3), "Done GetSonar\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].sender, 3);
    EXPECT_EQ(calls[0].id, 0);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"GetSonar", "1", "0"}));
}

TEST_F(Command, IdPrefixTable) {
    CMD_Register("GetSonar", quiet);
    CMD_Register("Speak", quiet);
    CMD_Register("Stop", quiet);
    const struct {
        const char *line;
        long id;
        const char *name;
        const char *reply;
    } cases[] = {
        {"12:GetSonar 1 0\n", 12, "GetSonar", "Done GetSonar\n"},
        {"5:5:Speak\n", 5, "Speak", "Done Speak\n"},
        {"abc:Stop\n", 0, "Stop", "Done Stop\n"},
        {"-3:Stop\n", -3, "Stop", "Done Stop\n"},
        {"  42:Stop\n", 42, "Stop", "Done Stop\n"},
    };
    for (const auto &c : cases) {
        calls.clear();
        EXPECT_EQ(run(c.line), c.reply) << c.line;
        ASSERT_EQ(calls.size(), 1u) << c.line;
        EXPECT_EQ(calls[0].id, c.id) << c.line;
        EXPECT_EQ(calls[0].argv[0], c.name) << c.line;
    }
}

TEST_F(Command, UnknownCommandGetsErrorThenDone) {
    EXPECT_EQ(run("Foo 1 2\n"), "Error Foo -4\nDone Foo\n");
    EXPECT_EQ(run("9:Foo\n"), "Error Foo -4\nDone Foo\n");
}

TEST_F(Command, DoneIsNotAcknowledged) {
    CMD_Register("Done", quiet);
    EXPECT_EQ(run("Done GetSonar\n"), "<null>");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"Done", "GetSonar"}));
}

TEST_F(Command, ErrorLineRunsErrorHandlers) {
    CMD_Register("Error", quiet);
    EXPECT_EQ(run("Error GetSonar -4\n"), "Done Error\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv.size(), 3u);
}

TEST_F(Command, WildcardRunsAfterOwnHandlersAndDoesNotCountAsRegistration) {
    CMD_Register("*", star);
    CMD_Register("Ping", quiet);
    EXPECT_EQ(run("Ping\nNobody x\nDone Ping\n"),
              "Done Ping\nError Nobody -4\nDone Nobody\nError Done -4\n");
    std::vector<std::string> order;
    for (const auto &c : calls)
        order.push_back(c.handler + ":" + c.argv[0]);
    EXPECT_EQ(order,
              (std::vector<std::string>{"quiet:Ping", "star:Ping", "star:Nobody", "star:Done"}));
}

TEST_F(Command, HandlerTextsInRegistrationOrderBeforeAcknowledgement) {
    CMD_Register("Two", first);
    CMD_Register("Two", second);
    EXPECT_EQ(run("Two\n"), "first text\nsecond text\nDone Two\n");
}

TEST_F(Command, SameFunctionTwiceRunsTwice) {
    CMD_Register("Twice", quiet);
    CMD_Register("Twice", quiet);
    run("Twice\n");
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(Command, EmptyQuotedWordMakesEmptyCommand) {
    CMD_Register("Foo", quiet);
    EXPECT_EQ(run("Foo \"\"\n"), "Done Foo\nError  -4\nDone \n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv.size(), 1u);
}

TEST_F(Command, SeveralLinesInOneText) {
    CMD_Register("A", first);
    CMD_Register("B", second);
    EXPECT_EQ(run("A\nB\n"), "first text\nDone A\nsecond text\nDone B\n");
}

TEST_F(Command, LastCommandWithoutLineFeed) {
    CMD_Register("Stop", quiet);
    EXPECT_EQ(run("Stop now"), "Done Stop\n");
    EXPECT_EQ(calls[0].argv.size(), 2u);
}

TEST_F(Command, BlankTextHasNoReply) {
    EXPECT_EQ(run(""), "<null>");
    EXPECT_EQ(run("   \n\n  "), "<null>");
}

TEST_F(Command, ManyNamesGrowTheTable) {
    std::vector<std::string> names;
    for (int i = 0; i < 200; i++)
        names.push_back("Cmd" + std::to_string(i));
    for (const auto &n : names)
        CMD_Register(n.c_str(), quiet);
    for (const auto &n : names)
        EXPECT_EQ(run((n + "\n").c_str()), "Done " + n + "\n");
    EXPECT_EQ(calls.size(), 200u);
}

TEST_F(Command, ExecuteSplitsReplyIntoWords) {
    CMD_Register("Two", first);
    int argc;
    char **argv;
    CMD_Execute(0, "Two\n", &argc, &argv);
    ASSERT_EQ(argc, 6); // first, text, "", Done, Two, ""
    EXPECT_STREQ(argv[3], "Done");
    ARGCV_Free(argc, argv);
    CMD_Execute(0, "\n", &argc, &argv);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv, nullptr);
}

char *registers_itself(int s, long id, int argc, char **argv) {
    record("self", s, id, argc, argv);
    CMD_Register("Reentrant", quiet);
    return nullptr;
}

char *registers_other(int s, long id, int argc, char **argv) {
    record("other", s, id, argc, argv);
    CMD_Register("Elsewhere", quiet);
    return nullptr;
}

TEST_F(Command, RegisteringAnotherNameDuringDispatchIsAllowed) {
    CMD_Register("Outer", registers_other);
    EXPECT_EQ(run("Outer\n"), "Done Outer\n");
    EXPECT_EQ(run("Elsewhere\n"), "Done Elsewhere\n");
}

TEST(CommandDeath, RegisteringTheRunningNameStops) {
    CMD_Initialize();
    CMD_Register("Reentrant", registers_itself);
    EXPECT_DEATH(run("Reentrant\n"),
                 "Assertion failed: existing == NULL \\|\\| !is_running\\(existing\\)");
}

} // namespace
