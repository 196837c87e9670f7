#include <gtest/gtest.h>

#include <string>

#include "cgi_multipart.h"
#include "cgi_settings.h"

namespace {

std::string part(const std::string &headers, const std::string &content) {
    return headers + "\r\n\r\n" + content;
}

CgiFieldStore parse(const std::string &boundary, const std::string &body) {
    CgiFieldStore store;
    CgiMultipartParser(boundary).parse(store, body.data(), body.size());
    return store;
}

TEST(CgiMultipart, PartsNamesTypesAndBytes) {
    std::string body = "preamble text\r\n--B\r\n" +
                       part("Content-Disposition: form-data; name=\"a\"", "1") + "\r\n--B\r\n" +
                       part("Content-Disposition: form-data; name=\"f\"; filename=\"p.png\"\r\n"
                            "Content-Type: image/png; x=y",
                            std::string("\r\n\0\r\x89PNG\n", 10)) +
                       "\r\n--B--\r\nepilogue";
    CgiFieldStore store = parse("B", body);
    ASSERT_EQ(store.count(), 2);
    EXPECT_STREQ(store.at(0)->name(), "a");
    EXPECT_STREQ(store.at(0)->value(), "1");
    EXPECT_STREQ(store.at(0)->contentType(), "application/octet-stream");
    const CgiField *f = store.at(1);
    EXPECT_STREQ(f->filename(), "p.png");
    EXPECT_STREQ(f->contentType(), "image/png");
    // File bytes keep their own leading and trailing line ends.
    ASSERT_EQ(f->length(), 10u);
    EXPECT_EQ(std::string(f->value(), f->length()), std::string("\r\n\0\r\x89PNG\n", 10));
}

TEST(CgiMultipart, MalformedBodies) {
    std::string longBoundary(200, 'q');
    std::string ok = part("Content-Disposition: form-data; name=\"a\"", "1");
    struct Case {
        const char *title;
        std::string boundary, body;
        int fields;
    } cases[] = {
        {"no delimiter", "B", "just some text\r\n\r\nx", 0},
        {"empty body", "B", "", 0},
        {"delimiter at the very end", "B", "--B", 0},
        {"one byte after the delimiter", "B", "--B\r", 0},
        {"closing delimiter first", "B", "--B--\r\n" + ok + "\r\n--B--", 0},
        {"part never closed", "B", "--B\r\n" + ok, 0},
        {"empty part", "B", "--B\r\n--B\r\n" + ok + "\r\n--B--", 1},
        {"part with no header end", "B", "--B\r\nContent-Disposition: x\r\n--B--", 0},
        {"headers end exactly at the delimiter", "B", "--B\r\nname=\"a\"\r\n\r\n--B--", 1},
        {"boundary over 70 characters", longBoundary,
         "--" + longBoundary + "\r\n" + ok + "\r\n--" + longBoundary + "--", 1},
        {"boundary longer than the body", longBoundary, "--qq\r\n" + ok, 0},
        {"empty boundary", "", "--\r\n" + ok + "\r\n----", 1},
        {"LF-only line ends", "B", "--B\nContent-Disposition: form-data; name=\"a\"\n\n1\n--B--",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(parse(c.boundary, c.body).count(), c.fields);
    }
}

TEST(CgiMultipart, HeaderParameters) {
    struct Case {
        std::string headers, name, filename, type;
    } cases[] = {
        {"Content-Disposition: form-data; name=\"a b\"", "a b", "", ""},
        {"Content-Disposition: form-data; name=plain; filename=f.txt", "plain", "f.txt", ""},
        {"Content-Disposition: form-data; name=\"unclosed", "unclosed", "", ""},
        {"Content-Disposition: form-data; filename=\"x.txt\"; name=\"n\"", "n", "x.txt", ""},
        {"Content-Disposition: form-data; name=\"Content-Type\"", "Content-Type", "", ""},
        {"Content-Disposition: form-data; name=\"a\"\r\nContent-Type:text/csv", "a", "",
         "text/csv"},
        {"Content-Disposition: form-data; name=\"a\"\n\rContent-Type: x/y ;q", "a", "", "x/y"},
        {"Content-Disposition: form-data; name=\"a\"\fContent-Type: ", "a", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.headers);
        CgiPartHeaders h;
        std::string p = c.headers + "\r\n\r\nbody";
        std::size_t at = cgiParsePartHeaders(p, h);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(p.substr(at), "body");
        EXPECT_EQ(h.name, c.name);
        EXPECT_EQ(h.filename, c.filename);
        EXPECT_EQ(h.contentType, c.type);
    }
}

TEST(CgiMultipart, FileNameSanitising) {
    std::string longName = std::string(150, 'a') + "b.txt";
    struct Case {
        std::string raw, clean;
    } cases[] = {
        {"C:\\dir\\my file!.txt", "my_file.txt"},
        {"/home/u/report.pdf", "report.pdf"},
        {"../../etc/passwd", "passwd"},
        {"..\\..\\boot.ini", "boot.ini"},
        {"a/b\\c.txt", "bc.txt"},
        {"..", ""},
        {"dir/", ""},
        {". .", "._."},
        {std::string("a\0b.txt", 7), "ab.txt"},
        {"\xc3\xa9t\xc3\xa9.txt", "t.txt"},
        {longName, std::string(95, 'a') + "b.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(cgiSanitizeFileName(c.raw, CgiSettings::maxFileNameLength()), c.clean);
    }
    EXPECT_EQ(cgiSanitizeFileName("abcdef", 3), "def");
    EXPECT_EQ(cgiSanitizeFileName("abc", 0), "");
}

} // namespace
