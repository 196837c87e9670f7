#include <gtest/gtest.h>

#include "cgi_decode.h"

namespace {

TEST(CgiDecode, Table) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a+b++c", "a b  c"},
        {"%41%42", "AB"},
        {"%7e%7E", "~~"},
        {"%2B+%25", "+ %"},
        {"%41%4g", "A"},
        {"ab%", "ab"},
        {"ab%4", "ab"},
        {"ab%g1rest", "ab"},
        {"%%41", ""},
        {std::string("%00x", 4), std::string("\0x", 2)},
        {"%ff", "\xff"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        std::string text = c.in;
        cgiUrlDecode(text);
        EXPECT_EQ(text, c.out);
    }
}

TEST(CgiDecode, Pairs) {
    struct Case {
        const char *in;
        std::vector<std::pair<std::string, std::string>> fields;
    } cases[] = {
        {"a=1&a=2&b", {{"a", "1"}, {"a", "2"}, {"b", ""}}},
        {"&&a=1&&\n\nb=2&", {{"a", "1"}, {"b", "2"}}},
        {"=", {{"", ""}}},
        {"=v", {{"", "v"}}},
        {"k=v=w", {{"k", "v=w"}}},
        {"n%3D1=%3D", {{"n=1", "="}}},
        {"x=%41%4g&y=2", {{"x", "A"}, {"y", "2"}}},
        {"", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        CgiFieldStore store;
        cgiParsePairs(store, c.in, "&\n", '=', CgiTextKind::Form);
        ASSERT_EQ(store.count(), static_cast<int>(c.fields.size()));
        for (int i = 0; i < store.count(); ++i) {
            EXPECT_EQ(store.at(i)->name(), c.fields[i].first);
            EXPECT_EQ(store.at(i)->value(), c.fields[i].second);
        }
    }
}

TEST(CgiDecode, OtherSplitCharacterAndKind) {
    CgiFieldStore store;
    cgiParsePairs(store, "/w:1/h=2:3/", "/", ':', CgiTextKind::Path);
    ASSERT_EQ(store.count(), 2);
    EXPECT_STREQ(store.find("w")->value(), "1");
    EXPECT_STREQ(store.find("h=2")->value(), "3");
    EXPECT_STREQ(store.at(0)->dataSource(), "path");
}

} // namespace
