#include <gtest/gtest.h>

#include <cstring>

#include "cgi_field.h"

namespace {

TEST(CgiField, KindsAnswerTheirOwnQuestions) {
    auto form = cgiMakeTextField(CgiTextKind::Form, "a", "1");
    auto path = cgiMakeTextField(CgiTextKind::Path, "b", "22");
    auto cookie = cgiMakeTextField(CgiTextKind::Cookie, "c", "");
    CgiMultipartField part("f", "x\0y", 3, "", "");

    EXPECT_STREQ(form->dataSource(), "form");
    EXPECT_STREQ(form->contentType(), "");
    EXPECT_EQ(form->filepath(), nullptr);
    EXPECT_EQ(form->filename(), nullptr);
    EXPECT_STREQ(path->dataSource(), "path");
    EXPECT_STREQ(path->contentType(), "application/x-pathdata");
    EXPECT_EQ(path->length(), 2u);
    EXPECT_STREQ(cookie->dataSource(), "cookie");
    EXPECT_STREQ(cookie->contentType(), "application/x-cookiedata");
    EXPECT_STREQ(cookie->value(), "");

    EXPECT_EQ(part.length(), 3u);
    EXPECT_EQ(std::memcmp(part.value(), "x\0y\0", 4), 0);
    EXPECT_STREQ(part.filepath(), "");
    EXPECT_STREQ(part.filename(), "");
    EXPECT_STREQ(part.contentType(), "application/octet-stream");
    EXPECT_STREQ(part.dataSource(), "form");
}

TEST(CgiField, TextStopsAtNulAndEmptyPartIsEmptyString) {
    auto form = cgiMakeTextField(CgiTextKind::Form, std::string("n\0m", 3), std::string("v\0w", 3));
    EXPECT_STREQ(form->name(), "n");
    EXPECT_EQ(form->length(), 1u);
    CgiMultipartField empty("e", nullptr, 0, "a.txt", "text/plain");
    EXPECT_STREQ(empty.value(), "");
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_STREQ(empty.contentType(), "text/plain");
}

TEST(CgiField, Comparators) {
    struct Case {
        const char *a, *b;
        bool exact, noCase;
    } cases[] = {
        {"diam", "diam", true, true},     {"DIAM_S", "diam_s", false, true},
        {"diam", "diam_s", false, false}, {"", "", true, true},
        {nullptr, nullptr, true, true},   {nullptr, "", false, false},
        {"a", nullptr, false, false},     {"a[", "A{", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a ? c.a : "null") + " / " + (c.b ? c.b : "null"));
        EXPECT_EQ(cgiNamesEqual(c.a, c.b), c.exact);
        EXPECT_EQ(cgiNamesEqualNoCase(c.a, c.b), c.noCase);
    }
}

TEST(CgiFieldStore, LookupsByNameIndexAndPosition) {
    CgiFieldStore store;
    store.add(cgiMakeTextField(CgiTextKind::Form, "a", "1"));
    store.add(cgiMakeTextField(CgiTextKind::Form, "B", "2"));
    store.add(cgiMakeTextField(CgiTextKind::Cookie, "a", "3"));
    store.add(nullptr);
    EXPECT_EQ(store.count(), 3);
    EXPECT_STREQ(store.find("a")->value(), "1");
    EXPECT_STREQ(store.find("a", 1)->value(), "3");
    EXPECT_EQ(store.find("a", 2), nullptr);
    EXPECT_EQ(store.find("a", -1), nullptr);
    EXPECT_EQ(store.find(nullptr), nullptr);
    EXPECT_EQ(store.at(3), nullptr);
    EXPECT_EQ(store.at(-1), nullptr);
    EXPECT_STREQ(store.at(1)->name(), "B");
    EXPECT_EQ(store.numValues("a"), 2);

    EXPECT_TRUE(store.caseSensitive());
    EXPECT_EQ(store.find("b"), nullptr);
    store.setCaseSensitive(false);
    store.setCaseSensitive(false);
    EXPECT_FALSE(store.caseSensitive());
    EXPECT_STREQ(store.find("b")->value(), "2");
    EXPECT_EQ(store.numValues("A"), 2);
    store.setCaseSensitive(true);
    EXPECT_EQ(store.find("b"), nullptr);
}

} // namespace
