// Whole requests through CgiParser::instance(), one child process each.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cgi_child.h"
#include "cgi_parser.h"
#include "cgi_request.h"

namespace {

struct RequestCase {
    const char *title;
    std::vector<std::string> env;
    std::string body;
    std::vector<std::string> commands;
    std::string expected; // the driver's whole output
};

std::string multipartBody() {
    return "--XyZ\r\n"
           "Content-Disposition: form-data; name=\"diam\"\r\n"
           "\r\n"
           "12.5\r\n"
           "--XyZ\r\n"
           "Content-Disposition: form-data; name=\"up\"; filename=\"C:\\dir\\my file!.txt\"\r\n"
           "Content-Type: text/plain\r\n"
           "\r\n"
           "line\r\n\r\n"
           "--XyZ--\r\n";
}

std::string post(const std::string &body) {
    return "CONTENT_LENGTH=" + std::to_string(body.size());
}

const std::string kUrlencoded = "CONTENT_TYPE=application/x-www-form-urlencoded";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

std::vector<RequestCase> requestCases() {
    std::string mp = multipartBody();
    return {
        {"repeated names and a bare name",
         {"REQUEST_METHOD=GET", "QUERY_STRING=a=1&a=2&b"},
         "",
         {"count", "valuei", "a", "1", "value", "b", "num", "a", "value", "c", "exists", "b"},
         "count=3\nvaluei=2\nvalue=\nnum=2\nvalue=(null)\nexists=true\n"},
        {"bad escape ends the value",
         {"REQUEST_METHOD=GET", "QUERY_STRING=x=%41%4g&y=a+b%7e"},
         "",
         {"value", "x", "value", "y", "length", "y"},
         "value=A\nvalue=a b~\nlength=4\n"},
        {"case sensitivity switch",
         {"REQUEST_METHOD=GET", "QUERY_STRING=diam_s=5"},
         "",
         {"value", "DIAM_S", "case", "off", "value", "DIAM_S", "value", "diam", "case", "on",
          "value", "DIAM_S"},
         "value=(null)\nvalue=5\nvalue=(null)\nvalue=(null)\n"},
        {"query string before the body",
         {"REQUEST_METHOD=POST", "QUERY_STRING=a=q", kUrlencoded, "CONTENT_LENGTH=7"},
         "a=b&c=d",
         {"value", "a", "valuei", "a", "1", "value", "c"},
         "value=q\nvaluei=b\nvalue=d\n"},
        {"content type with parameters is not urlencoded",
         {"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded; charset=UTF-8",
          "CONTENT_LENGTH=3"},
         "a=1",
         {"count"},
         "count=0\n"},
        {"method names are exact: post is not POST",
         {"REQUEST_METHOD=post", "QUERY_STRING=q=1", kUrlencoded, "CONTENT_LENGTH=3"},
         "a=1",
         {"count", "value", "q"},
         "count=1\nvalue=1\n"},
        {"other methods parse the environment",
         {"REQUEST_METHOD=PUT", "QUERY_STRING=q=1", "PATH_INFO=/p=2"},
         "",
         {"dump"},
         "[0] name=q value=1 length=1 filename=(null) filepath=(null) type= source=form\n"
         "[1] name=p value=2 length=1 filename=(null) filepath=(null) "
         "type=application/x-pathdata source=path\n"},
        {"path info and cookies, in that order",
         {"REQUEST_METHOD=GET", "PATH_INFO=/w=1//h=%32/bare", "HTTP_COOKIE=s=abc; t=x%20y,u=3"},
         "",
         {"count", "value", "h", "value", "bare", "source", "s", "type", "t", "value", "t",
          "sourcep", "0", "sourcep", "5"},
         "count=6\nvalue=2\nvalue=\nsource=cookie\ntype=application/x-cookiedata\nvalue=x y\n"
         "sourcep=path\nsourcep=cookie\n"},
        {"multipart body with a Windows file path",
         {"REQUEST_METHOD=POST", "CONTENT_TYPE=multipart/form-data; boundary=XyZ", post(mp)},
         mp,
         {"dump"},
         "[0] name=diam value=12.5 length=4 filename= filepath= "
         "type=application/octet-stream source=form\n"
         "[1] name=up value=line\\x0d\\x0a length=6 filename=my_file.txt filepath= "
         "type=text/plain source=form\n"},
        {"XML body",
         {"REQUEST_METHOD=POST", "CONTENT_TYPE=text/xml", "CONTENT_LENGTH=32"},
         "<?xml?><r><a>1</a><b>x y</b></r>",
         {"count", "value", "a", "value", "b", "value", "r"},
         "count=4\nvalue=1\nvalue=x y\nvalue=\n"},
        {"unknown and missing content types add no field",
         {"REQUEST_METHOD=POST", "CONTENT_LENGTH=3"},
         "a=1",
         {"count"},
         "count=0\n"},
        {"standard input shorter than CONTENT_LENGTH",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=1000"},
         "a=1&b=2",
         {"count", "value", "b"},
         "count=2\nvalue=2\n"},
        {"CONTENT_LENGTH is read only that far",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=5"},
         "a=123&b=2",
         {"value", "a", "exists", "b"},
         "value=123\nexists=false\n"},
        {"a huge length refuses the request without reading the body",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=99999999999999999999"},
         "a=1",
         {"count", "refusal"},
         "count=0\nrefusal=1\n"},
        {"negative length",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=-3"},
         "a=1",
         {"count"},
         "count=0\n"},
        {"lookups that find nothing",
         {"REQUEST_METHOD=GET", "QUERY_STRING=a=1"},
         "",
         {"name", "1", "valuep", "-1", "lengthp", "7", "filename", "a", "filepathp", "0", "valuei",
          "a", "1", "num", "(null)", "exists", "(null)", "value", "(null)"},
         "name=(null)\nvaluep=(null)\nlengthp=0\nfilename=(null)\nfilepathp=(null)\n"
         "valuei=(null)\nnum=0\nexists=false\nvalue=(null)\n"},
        {"a request taken whole is not refused",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=3"},
         "a=1",
         {"refusal", "count"},
         "refusal=0\ncount=1\n"},
        {"a body over the limit is refused and not read",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=1048577", "QUERY_STRING=q=1"},
         "a=1",
         {"refusal"},
         "refusal=1\n"},
        {"a multipart boundary over 70 characters refuses the body",
         {"REQUEST_METHOD=POST",
          "CONTENT_TYPE=multipart/form-data; boundary=" + std::string(71, 'b'), post(mp)},
         mp,
         {"refusal", "count"},
         "refusal=3\ncount=0\n"},
        {"a short body is parsed as far as it goes and refused",
         {"REQUEST_METHOD=POST", kUrlencoded, "CONTENT_LENGTH=100"},
         "a=1",
         {"refusal", "value", "a"},
         "refusal=3\nvalue=1\n"},
        {"reset parses the request again",
         {"REQUEST_METHOD=GET", "QUERY_STRING=a=1&b=2"},
         "",
         {"reset", "value", "b"},
         "reset=2\nvalue=2\n"},
        {"version banner",
         {"REQUEST_METHOD=GET"},
         "",
         {"version"},
         "version=Rovak CGI form parser - CGIParser Version 2.1\n"},
    };
}

TEST(CgiParserRequest, Table) {
    for (const RequestCase &c : requestCases()) {
        SCOPED_TRACE(c.title);
        CgiChildResult r = cgiRunDriver(c.env, c.commands, c.body);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.expected);
    }
}

// The costliest requests within the limits, a whole process each: 10,000 fields filling 1 MiB,
// and a 1 MiB multipart body of 10,000 parts (with as long a boundary as leaves them room). Each is
// taken whole and the process stays under 64 MB (the driver carries the modelling kernel's
// libraries too).
TEST(CgiParserRequest, WorstRequestsWithinTheLimitsStaySmall) {
    const std::size_t mib = 1 << 20;
    std::string tiny = "a";
    for (int i = 1; i < 9999; ++i)
        tiny += "&a";
    tiny += "&b=" + std::string(mib - tiny.size() - 3, 'x');
    const std::string boundary(40, 'B');
    std::string parts;
    for (int i = 0; i < 9999; ++i)
        parts += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nx\r\n";
    std::string tail = "\r\n--" + boundary + "--\r\n";
    std::string head = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"g\"\r\n\r\n";
    ASSERT_LT(parts.size() + head.size() + tail.size(), mib);
    std::string multipart =
        parts + head + std::string(mib - parts.size() - head.size() - tail.size(), 'y') + tail;
    struct Case {
        std::string type, body;
    } cases[] = {{"application/x-www-form-urlencoded", tiny},
                 {"multipart/form-data; boundary=" + boundary, multipart}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_EQ(c.body.size(), mib);
        CgiChildResult r =
            cgiRunDriver({"REQUEST_METHOD=POST", "CONTENT_TYPE=" + c.type, post(c.body)},
                         {"count", "refusal"}, c.body);
        EXPECT_EQ(r.out, "count=10000\nrefusal=0\n");
        EXPECT_GT(r.peakKiB, 0);
        if (!kAddressSanitizer) { // its shadow memory and quarantine are no part of the parser's
            EXPECT_LT(r.peakKiB, 64 * 1024);
        }
    }
}

TEST(CgiParserRequest, LargeMultipartFileIsBinarySafe) {
    std::string content;
    for (int i = 0; i < 200000; ++i)
        content += static_cast<char>(i * 7 % 256);
    std::string body = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.bin\"\r\n"
                       "\r\n" +
                       content + "\r\n--b--\r\n";
    CgiChildResult r = cgiRunDriver(
        {"REQUEST_METHOD=POST", "CONTENT_TYPE=multipart/form-data; boundary=b", post(body)},
        {"length", "f", "filename", "f"}, body);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "length=200000\nfilename=x.bin\n");
}

} // namespace

namespace {

// One request as a FastCGI worker hands it to the parser: its own parameters and body stream.
struct WorkerRequest {
    std::map<std::string, std::string> env;
    std::string body;
};

CgiParser &parseWorkerRequest(WorkerRequest &r) {
    std::FILE *in = fmemopen(r.body.empty() ? nullptr : &r.body[0], r.body.size(), "r");
    CgiRequestContext context;
    context.getenv = [&r](const char *name) -> const char * {
        auto it = r.env.find(name);
        return it == r.env.end() ? nullptr : it->second.c_str();
    };
    context.in = in;
    context.setBinary = cgiSetBinaryMode;
    CgiParser &cgi = CgiParser::parse(context);
    if (in)
        std::fclose(in);
    return cgi;
}

} // namespace

// Requests parsed one after another in one process each start from nothing: no field, refusal or
// matching mode of an earlier request survives into the next.
TEST(CgiParserWorker, EachRequestIsParsedAfresh) {
    WorkerRequest refused{{{"REQUEST_METHOD", "POST"},
                           {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                           {"CONTENT_LENGTH", "1048577"},
                           {"QUERY_STRING", "tipo=4"}},
                          ""};
    EXPECT_EQ(parseWorkerRequest(refused).refusal(), CgiRefusal::BodyTooLarge);
    CgiParser::instance().setCaseSensitive(false);

    WorkerRequest post{{{"REQUEST_METHOD", "POST"},
                        {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                        {"CONTENT_LENGTH", "19"}},
                       "diam_s=10&altu_s=20"};
    CgiParser &cgi = parseWorkerRequest(post);
    EXPECT_EQ(cgi.refusal(), CgiRefusal::None);
    EXPECT_EQ(cgi.count(), 2);
    EXPECT_EQ(cgi.value("tipo"), nullptr); // the refused request's query string is gone
    EXPECT_STREQ(cgi.value("altu_s"), "20");
    EXPECT_EQ(cgi.value("DIAM_S"), nullptr); // names match byte for byte again

    WorkerRequest get{{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "tipo=1"}}, ""};
    CgiParser &last = parseWorkerRequest(get);
    EXPECT_EQ(&last, &CgiParser::instance()); // instance() answers the request just parsed
    EXPECT_EQ(last.count(), 1);
    CgiParser::reset();
}
