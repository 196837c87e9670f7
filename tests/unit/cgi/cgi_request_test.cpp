// Request handling driven in process through a request context with a fake environment.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <map>
#include <string>

#include "cgi_multipart.h"
#include "cgi_request.h"
#include "cgi_settings.h"
#include "cgi_xml.h"

namespace {

// A request context over a map of variables and an in-memory standard input.
class FakeRequest {
  public:
    FakeRequest(std::map<std::string, std::string> env, const std::string &input)
        : env_(std::move(env)), in_(std::tmpfile()) {
        std::fwrite(input.data(), 1, input.size(), in_);
        std::rewind(in_);
        context.getenv = [this](const char *name) -> const char * {
            auto it = env_.find(name);
            return it == env_.end() ? nullptr : it->second.c_str();
        };
        context.in = in_;
        context.out = stdout;
        context.setBinary = cgiSetBinaryMode;
    }
    ~FakeRequest() { std::fclose(in_); }
    CgiFieldStore parsePost() {
        CgiFieldStore store;
        cgiParsePostBody(store, context);
        return store;
    }
    CgiRequestContext context;

  private:
    std::map<std::string, std::string> env_;
    std::FILE *in_;
};

TEST(CgiRequest, ContentLength) {
    struct Case {
        const char *text;
        long value;
    } cases[] = {{nullptr, 0}, {"", 0},    {"12", 12}, {" 12abc", 12},
                 {"-5", 0},    {"abc", 0}, {"+7", 7},  {"99999999999999999999", LONG_MAX}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "null");
        EXPECT_EQ(cgiContentLength(c.text), c.value);
    }
}

TEST(CgiRequest, BodyFactoryChoosesByExactType) {
    struct Case {
        const char *type;
        int fields;
    } cases[] = {
        {"application/x-www-form-urlencoded", 1},
        {"application/x-www-form-urlencoded; a=b", 0},
        {"Application/x-www-form-urlencoded", 0},
        {"text/xml", 0},
        {"multipart/form-data", 0},
        {nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type ? c.type : "null");
        CgiFieldStore store;
        CgiBodyParserFactory::make(c.type)->parse(store, "a=1", 3);
        EXPECT_EQ(store.count(), c.fields);
    }
    auto parser = CgiBodyParserFactory::make("multipart/form-data; boundary=----xY");
    auto *multipart = dynamic_cast<CgiMultipartParser *>(parser.get());
    ASSERT_NE(multipart, nullptr);
    EXPECT_EQ(multipart->boundary(), "----xY");
    EXPECT_NE(dynamic_cast<CgiXmlParser *>(CgiBodyParserFactory::make("text/xml").get()), nullptr);
}

TEST(CgiRequest, ReadBodyNeverPastInputOrLength) {
    FakeRequest r({}, "abcdef");
    EXPECT_EQ(cgiReadBody(r.context.in, 4), "abcd");
    EXPECT_EQ(cgiReadBody(r.context.in, 100), "ef");
    EXPECT_EQ(cgiReadBody(r.context.in, 100), "");
    EXPECT_EQ(cgiReadBody(nullptr, 10), "");
}

TEST(CgiRequest, BinaryModeFailureParsesMarker) {
    const std::map<std::string, std::string> types = {
        {"application/x-www-form-urlencoded", "binaryerror"},
        {"multipart/form-data; boundary=b", ""},
        {"text/xml", ""},
    };
    for (const auto &[type, expected] : types) {
        SCOPED_TRACE(type);
        FakeRequest r({{"CONTENT_LENGTH", "3"}, {"CONTENT_TYPE", type}}, "a=1");
        r.context.setBinary = [](std::FILE *) { return false; };
        CgiFieldStore store = r.parsePost();
        EXPECT_EQ(store.count(), expected.empty() ? 0 : 1);
        if (!expected.empty()) {
            EXPECT_STREQ(store.find("searchfor")->value(), "binaryerror");
            EXPECT_EQ(store.find("a"), nullptr); // the body itself is not read
        }
    }
}

TEST(CgiRequest, PostLengthLimits) {
    const std::string type = "application/x-www-form-urlencoded";
    CgiSettings::setMaxPostLength(4);
    CgiFieldStore atLimit =
        FakeRequest({{"CONTENT_LENGTH", "4"}, {"CONTENT_TYPE", type}}, "a=12").parsePost();
    EXPECT_EQ(atLimit.count(), 1);
    EXPECT_EQ(atLimit.refusal(), CgiRefusal::None);
    // One byte over: refused as a whole, not read, not cut to the limit.
    CgiFieldStore over =
        FakeRequest({{"CONTENT_LENGTH", "5"}, {"CONTENT_TYPE", type}}, "a=123").parsePost();
    EXPECT_EQ(over.count(), 0);
    EXPECT_EQ(over.refusal(), CgiRefusal::BodyTooLarge);
    CgiSettings::setMaxPostLength(0);
    EXPECT_EQ(CgiSettings::maxPostLength(), CgiSettings::kDefaultMaxPostLength);
    EXPECT_EQ(CgiSettings::kDefaultMaxPostLength, 1L << 20);
    EXPECT_EQ(FakeRequest({{"CONTENT_LENGTH", "20000000"}, {"CONTENT_TYPE", type}}, "a=1")
                  .parsePost()
                  .refusal(),
              CgiRefusal::BodyTooLarge);
    // Zero, negative and missing lengths are no body at all, which refuses nothing.
    for (const char *length : {"0", "-3", ""}) {
        CgiFieldStore none =
            FakeRequest({{"CONTENT_LENGTH", length}, {"CONTENT_TYPE", type}}, "a=1").parsePost();
        EXPECT_EQ(none.count(), 0);
        EXPECT_EQ(none.refusal(), CgiRefusal::None);
    }
}

TEST(CgiRequest, ShortBodyIsParsedButRefused) {
    FakeRequest r(
        {{"CONTENT_LENGTH", "1000"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"}},
        "a=1&b=2");
    CgiFieldStore store = r.parsePost();
    EXPECT_EQ(store.count(), 2);
    EXPECT_EQ(store.refusal(), CgiRefusal::BadBody);
}

TEST(CgiRequest, FieldLimitCountsEverySource) {
    CgiSettings::setMaxFields(3);
    FakeRequest r({{"QUERY_STRING", "q=1&r=2"},
                   {"CONTENT_LENGTH", "7"},
                   {"CONTENT_TYPE", "application/x-www-form-urlencoded"}},
                  "a=1&b=2");
    CgiFieldStore store;
    cgiParseEnvironment(store, r.context);
    cgiParsePostBody(store, r.context);
    CgiSettings::setMaxFields(0);
    EXPECT_EQ(CgiSettings::maxFields(), CgiSettings::kDefaultMaxFields);
    EXPECT_EQ(store.refusal(), CgiRefusal::TooManyFields);
    EXPECT_EQ(store.count(), 3); // the fourth field refused the request
}

TEST(CgiRequest, EnvironmentOrderAndSettings) {
    FakeRequest r({{"QUERY_STRING", "q=1"}, {"PATH_INFO", "/p:2/x=3"}, {"HTTP_COOKIE", "c=4"}}, "");
    CgiSettings::setPathSeparator(':');
    CgiSettings::setParseCookies(false);
    CgiFieldStore store;
    cgiParseEnvironment(store, r.context);
    CgiSettings::setPathSeparator('=');
    CgiSettings::setParseCookies(true);
    ASSERT_EQ(store.count(), 3);
    EXPECT_STREQ(store.at(0)->name(), "q");
    EXPECT_STREQ(store.at(1)->value(), "2");
    EXPECT_STREQ(store.at(2)->name(), "x=3");

    CgiSettings::setParsePathData(false);
    CgiFieldStore noPath;
    cgiParseEnvironment(noPath, r.context);
    CgiSettings::setParsePathData(true);
    ASSERT_EQ(noPath.count(), 2);
    EXPECT_STREQ(noPath.at(1)->dataSource(), "cookie");
}

TEST(CgiRequest, HandlerFactoryByMethod) {
    CgiRequestHandlerFactory factory;
    EXPECT_NE(dynamic_cast<CgiTestModeHandler *>(factory.make(nullptr).get()), nullptr);
    EXPECT_NE(dynamic_cast<CgiTestModeHandler *>(factory.make("").get()), nullptr);
    EXPECT_NE(dynamic_cast<CgiPostHandler *>(factory.make("POST").get()), nullptr);
    EXPECT_NE(dynamic_cast<CgiEnvironmentHandler *>(factory.make("post").get()), nullptr);
    EXPECT_NE(dynamic_cast<CgiEnvironmentHandler *>(factory.make("HEAD").get()), nullptr);
}

} // namespace
