#include <gtest/gtest.h>

#include <cstdint>
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
        {"boundary longer than the body", "qqqqqqqqqq", "--qq\r\n" + ok, 0},
        {"LF-only line ends", "B", "--B\nContent-Disposition: form-data; name=\"a\"\n\n1\n--B--",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        CgiFieldStore store = parse(c.boundary, c.body);
        EXPECT_EQ(store.count(), c.fields);
        EXPECT_EQ(store.refusal(), CgiRefusal::None);
    }
}

TEST(CgiMultipart, BoundaryLengthIsChecked) {
    std::string ok = part("Content-Disposition: form-data; name=\"a\"", "1");
    for (std::size_t n :
         {std::size_t(1), std::size_t(70), std::size_t(71), std::size_t(8000), std::size_t(0)}) {
        SCOPED_TRACE(n);
        std::string b(n, 'q');
        CgiFieldStore store = parse(b, "--" + b + "\r\n" + ok + "\r\n--" + b + "--");
        bool fits = n >= 1 && n <= CgiSettings::kMaxBoundaryLength;
        EXPECT_EQ(store.count(), fits ? 1 : 0);
        EXPECT_EQ(store.refusal(), fits ? CgiRefusal::None : CgiRefusal::BadBody);
    }
}

TEST(CgiMultipart, BoundaryParameter) {
    struct Case {
        const char *type, *boundary;
    } cases[] = {
        {"multipart/form-data; boundary=----xY", "----xY"},
        {"multipart/form-data; boundary=\"a b;c\"", "a b;c"},
        {"multipart/form-data; boundary=abc; charset=utf-8", "abc"},
        {"multipart/form-data; boundary=abc charset", "abc"},
        {"multipart/form-data; boundary=", ""},
        {"multipart/form-data; boundary=\"open", "open"},
        {"multipart/form-data", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(cgiBoundaryParameter(c.type), c.boundary);
    }
}

// The delimiter search against the obvious quadratic one, on texts made of few letters so that
// partial matches abound.
TEST(CgiMultipart, DelimiterSearchFindsWhatANaiveSearchFinds) {
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (int round = 0; round < 2000; ++round) {
        std::string pattern, text;
        std::size_t m = 1 + next() % 6, n = next() % 40;
        for (std::size_t i = 0; i < m; ++i)
            pattern += static_cast<char>('a' + next() % 2);
        for (std::size_t i = 0; i < n; ++i)
            text += static_cast<char>('a' + next() % 2);
        CgiDelimiterSearch search(pattern);
        const char *begin = text.data(), *end = text.data() + text.size();
        for (std::size_t from = 0; from <= text.size(); ++from) {
            std::size_t naive = text.find(pattern, from);
            const char *found = search.find(begin + from, end);
            ASSERT_EQ(found == end ? std::string::npos : std::size_t(found - begin), naive)
                << "pattern " << pattern << " text " << text << " from " << from;
        }
    }
}

TEST(CgiMultipart, FieldLimitStopsTheParse) {
    CgiSettings::setMaxFields(2);
    std::string body;
    for (int i = 0; i < 5; ++i)
        body += "--B\r\n" + part("Content-Disposition: form-data; name=\"f\"", "x") + "\r\n";
    CgiFieldStore store = parse("B", body + "--B--");
    CgiSettings::setMaxFields(0);
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(store.refusal(), CgiRefusal::TooManyFields);
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
        // Header and parameter names are matched without regard to case.
        {"content-disposition: FORM-DATA; NAME=\"up\"; FileName=\"x.txt\"\r\ncontent-type: a/b",
         "up", "x.txt", "a/b"},
        // " name=" inside a quoted file name is part of the file name, not the field's name.
        {"Content-Disposition: form-data; filename=\"a name=b.txt\"; name=\"real\"", "real",
         "a_nameb.txt", ""},
        {"Content-Disposition: form-data; name=\"x; filename=y\"", "x; filename=y", "", ""},
        {"Content-Disposition: form-data; name=\"say \\\"hi\\\"\"", "say \"hi\"", "", ""},
        {"Content-Disposition: form-data; filename=\"C:\\dir\\my file!.txt\"; name=u", "u",
         "my_file.txt", ""},
        {"Content-Disposition: form-data;name=tight;filename=t.bin", "tight", "t.bin", ""},
        // Parameters of other headers are not the field's.
        {"X-Note: form-data; name=\"other\"\r\nContent-Disposition: form-data; name=\"mine\"",
         "mine", "", ""},
        {"Content-Disposition: form-data; filename*=UTF-8''x.txt; name=n", "n", "", ""},
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
