// Fuzz target of the form parser.
//
// The first input byte picks what the rest drives: the urlencoded, multipart or XML body parser
// directly, URL decoding with the path and cookie splitting, or a whole POST request whose
// environment the harness sets (content type chosen by the second byte, CONTENT_LENGTH a little
// off the real size now and then) and whose standard input is the rest of the data.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "cgi_decode.h"
#include "cgi_multipart.h"
#include "cgi_request.h"
#include "cgi_xml.h"

namespace {

// Looks at every field the way a caller would, so reading them is checked too.
void readAll(CgiSource &source) {
    volatile std::size_t sum = 0;
    for (int p = 0; p < source.count(); ++p) {
        const char *name = source.fieldName(p);
        const char *value = source.ask(CgiQuestion::Value, p);
        std::size_t length = source.length(p);
        if (source.ask(CgiQuestion::Value, name, 0) == nullptr)
            std::abort(); // a field's own name must find a field

        if (value != nullptr && length > 0)
            sum = sum + static_cast<unsigned char>(value[length - 1]);
        for (CgiQuestion q : {CgiQuestion::Filepath, CgiQuestion::Filename,
                              CgiQuestion::ContentType, CgiQuestion::DataSource})
            if (const char *text = source.ask(q, p))
                sum = sum + static_cast<unsigned char>(text[0]);
        sum = sum + static_cast<std::size_t>(source.numValues(name));
    }
}

void readAll(std::unique_ptr<CgiFieldStore> store) {
    CgiStoreSource source(std::move(store));
    readAll(source);
}

void fuzzMultipart(std::string_view data) {
    // The boundary is the first line, the body the rest.
    std::size_t nl = data.find('\n');
    std::string boundary(data.substr(0, nl == std::string_view::npos ? 0 : nl));
    std::string_view body = nl == std::string_view::npos ? data : data.substr(nl + 1);
    auto store = std::make_unique<CgiFieldStore>();
    CgiMultipartParser(boundary).parse(*store, body.data(), body.size());
    readAll(std::move(store));
}

void fuzzDecode(std::string_view data) {
    std::string text(data);
    cgiUrlDecode(text);
    auto store = std::make_unique<CgiFieldStore>();
    cgiParsePairs(*store, data, "/", '=', CgiTextKind::Path);
    cgiParsePairs(*store, data, "; \t\f\r\n,", '=', CgiTextKind::Cookie);
    store->setCaseSensitive(false);
    readAll(std::move(store));
}

void fuzzRequest(std::string_view data, std::uint8_t pick) {
    static const char *const types[] = {"application/x-www-form-urlencoded",
                                        "multipart/form-data; boundary=--b", "text/xml",
                                        "text/plain"};
    long length = static_cast<long>(data.size()) + (pick >> 4) % 3 - 1;
    // The harness owns the environment: setenv would keep every old value alive.
    const std::map<std::string, std::string> env = {
        {"REQUEST_METHOD", "POST"},
        {"CONTENT_TYPE", types[pick % 4]},
        {"CONTENT_LENGTH", std::to_string(length)},
        {"QUERY_STRING", std::string(data.substr(0, 16))},
        {"PATH_INFO", "/a=1/b"},
        {"HTTP_COOKIE", "c=%41; d"},
    };
    std::string input(data);
    std::FILE *in = input.empty() ? std::tmpfile() : fmemopen(input.data(), input.size(), "rb");
    if (in == nullptr)
        return;
    CgiRequestContext context = cgiProcessContext();
    context.getenv = [&env](const char *name) -> const char * {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    context.in = in;
    std::unique_ptr<CgiSource> source = cgiParseRequest(context);
    readAll(*source);
    std::fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size) {
    if (size < 2)
        return 0;
    std::string_view data(reinterpret_cast<const char *>(bytes) + 2, size - 2);
    auto store = std::make_unique<CgiFieldStore>();
    switch (bytes[0] % 5) {
    case 0:
        CgiUrlencodedParser().parse(*store, data.data(), data.size());
        readAll(std::move(store));
        break;
    case 1:
        fuzzMultipart(data);
        break;
    case 2:
        CgiXmlParser().parse(*store, data.data(), data.size());
        readAll(std::move(store));
        break;
    case 3:
        fuzzDecode(data);
        break;
    default:
        fuzzRequest(data, bytes[1]);
        break;
    }
    return 0;
}
