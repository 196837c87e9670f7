// Dispatcher: command splitting, id prefixes, acknowledgement lines (escaped names included),
// wildcard and handler order, and replies of any size.
//
// The command table is process-wide and has no way to unregister, so every test registers
// through register_once: a name gets its handler list the first time any test asks for it, and
// every test that uses the name asks for the same list. Tests then pass alone, whole and in any
// order.
#include "command.h"

#include "argcv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
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
// The wildcard stays registered for the rest of the process; it records only while a test
// that looks at it runs.
bool star_on = false;
char *star(int s, long id, int argc, char **argv) {
    if (star_on)
        record("star", s, id, argc, argv);
    return nullptr;
}

// Registers handlers for name unless an earlier test did; a name is always used with one list.
void register_once(const char *name, std::vector<CMD_callback> handlers) {
    static std::map<std::string, std::vector<CMD_callback>> done;
    auto it = done.find(name);
    if (it != done.end()) {
        ASSERT_EQ(it->second, handlers) << "two tests register different handlers for " << name;
        return;
    }
    for (CMD_callback h : handlers)
        CMD_Register(name, h);
    done.emplace(name, std::move(handlers));
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
        star_on = false;
    }
};

TEST_F(Command, RequestLineReachesHandlerAndIsAcknowledged) {
    register_once("GetSonar", {quiet});
    EXPECT_EQ(run("GetSonar 1 0\n", 3), "Done GetSonar\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].sender, 3);
    EXPECT_EQ(calls[0].id, 0);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"GetSonar", "1", "0"}));
}

TEST_F(Command, IdPrefixTable) {
    register_once("GetSonar", {quiet});
    register_once("Speak", {quiet});
    register_once("Stop", {quiet});
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
    register_once("Done", {quiet});
    EXPECT_EQ(run("Done GetSonar\n"), "<null>");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"Done", "GetSonar"}));
}

TEST_F(Command, ErrorLineRunsErrorHandlers) {
    register_once("Error", {quiet});
    EXPECT_EQ(run("Error GetSonar -4\n"), "Done Error\n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv.size(), 3u);
}

TEST_F(Command, WildcardRunsAfterOwnHandlersAndDoesNotCountAsRegistration) {
    register_once("*", {star});
    register_once("Ping", {quiet});
    register_once("Done", {quiet});
    star_on = true;
    EXPECT_EQ(run("Ping\nNobody x\nDone Ping\n"), "Done Ping\nError Nobody -4\nDone Nobody\n");
    std::vector<std::string> order;
    for (const auto &c : calls)
        order.push_back(c.handler + ":" + c.argv[0]);
    EXPECT_EQ(order, (std::vector<std::string>{"quiet:Ping", "star:Ping", "star:Nobody",
                                               "quiet:Done", "star:Done"}));
}

// Overwrites every word of its command, the name included, and points the first word elsewhere.
char *scribble(int s, long id, int argc, char **argv) {
    record("scribble", s, id, argc, argv);
    for (int i = 0; i < argc; i++)
        memset(argv[i], 'x', strlen(argv[i]));
    argv[0] = const_cast<char *>("Other");
    return const_cast<char *>("scribbled");
}

TEST_F(Command, HandlerThatChangesItsWordsLeavesTheAcknowledgementAlone) {
    register_once("Scribble", {scribble, quiet});
    EXPECT_EQ(run("Scribble a b\n7:Scribble\nNobody\n"),
              "scribbled\nDone Scribble\nscribbled\nDone Scribble\nError Nobody -4\nDone Nobody\n");
    ASSERT_EQ(calls.size(), 4u); // both handlers of each "Scribble"
    EXPECT_EQ(calls[0].argv, (std::vector<std::string>{"Scribble", "a", "b"}));
    EXPECT_EQ(calls[2].argv, (std::vector<std::string>{"Scribble"}));
    EXPECT_EQ(calls[2].id, 7);
}

TEST_F(Command, HandlerTextsInRegistrationOrderBeforeAcknowledgement) {
    register_once("Two", {first, second});
    EXPECT_EQ(run("Two\n"), "first text\nsecond text\nDone Two\n");
}

TEST_F(Command, SameFunctionTwiceRunsTwice) {
    register_once("Twice", {quiet, quiet});
    run("Twice\n");
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(Command, EmptyQuotedWordMakesEmptyCommand) {
    register_once("Bar", {quiet}); // "Foo" stays unregistered for the tests of unknown names
    EXPECT_EQ(run("Bar \"\"\n"), "Done Bar\nError  -4\nDone \n");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].argv.size(), 1u);
}

TEST_F(Command, SeveralLinesInOneText) {
    register_once("A", {first});
    register_once("B", {second});
    EXPECT_EQ(run("A\nB\n"), "first text\nDone A\nsecond text\nDone B\n");
}

TEST_F(Command, LastCommandWithoutLineFeed) {
    register_once("Stop", {quiet});
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
        register_once(n.c_str(), {quiet});
    for (const auto &n : names)
        EXPECT_EQ(run((n + "\n").c_str()), "Done " + n + "\n");
    EXPECT_EQ(calls.size(), 200u);
}

TEST_F(Command, ExecuteSplitsReplyIntoWords) {
    register_once("One", {first});
    int argc;
    char **argv;
    CMD_Execute(0, "One\n", &argc, &argv);
    ASSERT_EQ(argc, 6); // first, text, "", Done, One, ""
    EXPECT_STREQ(argv[3], "Done");
    ARGCV_Free(argc, argv);
    CMD_Execute(0, "\n", &argc, &argv);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv, nullptr);
}

// Splits a reply into its lines; the text after the last line feed (if any) is a line too.
std::vector<std::string> lines_of(const std::string &reply) {
    std::vector<std::string> lines;
    size_t start = 0, lf;
    while ((lf = reply.find('\n', start)) != std::string::npos) {
        lines.push_back(reply.substr(start, lf - start));
        start = lf + 1;
    }
    if (start < reply.size())
        lines.push_back(reply.substr(start));
    return lines;
}

std::vector<std::string> words_of(const std::string &line) {
    int argc;
    char **argv;
    ARGCV_Create(line.c_str(), &argc, &argv);
    std::vector<std::string> words(argv, argv + argc);
    if (argc > 0)
        ARGCV_Free(argc, argv);
    return words;
}

TEST_F(Command, AcknowledgementOfANameWithControlBytesIsOneLine) {
    const struct {
        const char *text; // received text
        const char *name; // the name as written in the acknowledgements
    } cases[] = {
        {"\"\n", "\"\\12\""},         // an unterminated quote swallows the line feed
        {"\"a\tb\"\n", "\"a\\11b\""}, // tab
        {"\"x\n\\\"\\\\y\n", "\"x\\12\\\"\\\\y\\12\""}, // line feeds, a quote and a backslash
        {"\"\x01\x1f\x7f\"\n", "\"\\1\\37\\177\""},     // lowest, highest and delete
        {"\"\r\"\n", "\"\\15\""},                       // a carriage return would end a line too
    };
    for (const auto &c : cases) {
        std::string reply = run(c.text);
        EXPECT_EQ(reply, std::string("Error ") + c.name + " -4\nDone " + c.name + "\n") << c.text;
        // The peer reads exactly two lines of three and two words.
        std::vector<std::string> lines = lines_of(reply);
        ASSERT_EQ(lines.size(), 2u) << reply;
        EXPECT_EQ(words_of(lines[0]).size(), 3u) << lines[0];
        EXPECT_EQ(words_of(lines[1]).size(), 2u) << lines[1];
    }
}

TEST_F(Command, NamesWithoutControlBytesAreWrittenAsTheyAre) {
    register_once("GetSonar", {quiet});
    const struct {
        const char *text;
        const char *reply;
    } cases[] = {
        {"GetSonar\n", "Done GetSonar\n"},
        {"Foo\n", "Error Foo -4\nDone Foo\n"},
        {"\"\" x\n", "Error  -4\nDone \nError x -4\nDone x\n"},
        {"\"a b\"\n", "Error a b -4\nDone a b\n"},
        {"\"q\\\"\\\\\"\n", "Error q\"\\ -4\nDone q\"\\\n"},
        {"\"\xc3\xa9t\xc3\xa9\"\n", "Error \xc3\xa9t\xc3\xa9 -4\nDone \xc3\xa9t\xc3\xa9\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run(c.text), c.reply) << c.text;
}

// Counts the growths of reply texts.
int reply_growths = 0;
void *counting_realloc(void *p, size_t n) {
    reply_growths++;
    return realloc(p, n);
}
void *failing_realloc(void *, size_t) { return nullptr; }

TEST_F(Command, LongLineOfEmptyCommandsGrowsItsReplyGeometrically) {
    // 64 KiB of empty quoted words: every one is an empty command of its own.
    const int n = 65536 / 3;
    std::string line;
    for (int i = 0; i < n; i++)
        line += "\"\" ";
    line += "\n";
    reply_growths = 0;
    CMD_SetReplyReallocator(counting_realloc);
    std::string reply = run(line.c_str());
    CMD_SetReplyReallocator(nullptr);

    std::string one = "Error  -4\nDone \n";
    ASSERT_EQ(reply.size(), (size_t)(n + 1) * one.size()); // the line feed ends one more
    for (size_t at = 0; at < reply.size(); at += one.size())
        ASSERT_EQ(reply.compare(at, one.size(), one), 0) << "at " << at;
    // Growing per append would take 2 (n + 1) growths; doubling takes about log2 of the size.
    EXPECT_LE(reply_growths, 40);
}

TEST_F(Command, ManyHandlerTextsKeepTheirOrder) {
    register_once("Many", std::vector<CMD_callback>(300, first));
    std::string reply = run("Many\n");
    std::string expected;
    for (int i = 0; i < 300; i++)
        expected += "first text\n";
    EXPECT_EQ(reply, expected + "Done Many\n");
}

TEST(CommandDeath, ReplyWithoutMemoryStops) {
    CMD_Initialize();
    EXPECT_DEATH(
        {
            CMD_SetReplyReallocator(failing_realloc);
            run("Nobody\n");
        },
        "Assertion failed: bigstring,");
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
    register_once("Outer", {registers_other});
    EXPECT_EQ(run("Outer\n"), "Done Outer\n");
    EXPECT_EQ(run("Elsewhere\n"), "Done Elsewhere\n");
}

TEST(CommandDeath, RegisteringTheRunningNameStops) {
    CMD_Initialize();
    register_once("Reentrant", {registers_itself});
    EXPECT_DEATH(run("Reentrant\n"),
                 "Assertion failed: existing == NULL \\|\\| !is_running\\(existing\\)");
}

} // namespace
