// Word splitting: quotes, escapes, and the empty word of every unquoted line feed.
#include "argcv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> split(const std::string &s) {
    int argc = -1;
    char **argv = reinterpret_cast<char **>(1);
    ARGCV_Create(s.c_str(), &argc, &argv);
    std::vector<std::string> words;
    if (argc == 0) {
        EXPECT_EQ(argv, nullptr);
        return words;
    }
    for (int i = 0; i < argc; i++)
        words.emplace_back(argv[i]);
    ARGCV_Free(argc, argv);
    return words;
}

using Words = std::vector<std::string>;

TEST(Argcv, SplitsTable) {
    const struct {
        const char *input;
        Words words;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {" \n \n\t\r\n", {}},
        {"  GetSonar 1 0\n", {"GetSonar", "1", "0", ""}},
        {"Speak \"a b \\\" c\"\n", {"Speak", "a b \" c", ""}},
        {"ab\"c d\"e", {"abc de"}},
        {"Foo \"\"\n", {"Foo", "", ""}},
        {"a\n\nb\n", {"a", "", "", "b", ""}},
        {"a \n", {"a", ""}},
        {"\nA\n", {"A", ""}},
        {"x\\ y", {"x y"}},
        {"\\\\", {"\\"}},
        {"\\n", {"n"}},
        {"end\\", {"end"}},
        {"end \\", {"end", ""}},
        {"\"open quote runs on\n to the end", {"open quote runs on\n to the end"}},
        {"Line\r\n", {"Line", ""}},
        {"tab\tsep\vvt\ffeed", {"tab", "sep", "vt", "feed"}},
        {"\"a\"\"b\"", {"ab"}},
        {"quoted\"\\\"\"x", {"quoted\"x"}},
        {"esc\\\nnext", {"esc\nnext"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(split(c.input), c.words) << "input: " << c.input;
}

TEST(Argcv, WordsShareOneBlockStartingAtArgv0) {
    int argc;
    char **argv;
    ARGCV_Create("one two\nthree", &argc, &argv);
    ASSERT_EQ(argc, 4);
    for (int i = 1; i < argc; i++) {
        EXPECT_GT(argv[i], argv[0]);
        EXPECT_LT(argv[i], argv[0] + 14);
    }
    ARGCV_Free(argc, argv);
}

TEST(Argcv, LongLineOfManyWordsAndNewlines) {
    std::string s;
    for (int i = 0; i < 5000; i++)
        s += (i % 7 == 0) ? "w\n" : "w ";
    int argc;
    char **argv;
    ARGCV_Create(s.c_str(), &argc, &argv);
    EXPECT_EQ(argc, 5000 + 715);
    ARGCV_Free(argc, argv);
}

} // namespace
