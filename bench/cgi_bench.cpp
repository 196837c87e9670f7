// Parse time of POST bodies: a multipart body with one file part of the given size, and an
// urlencoded body with the given number of fields. Both should grow linearly with the body.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "cgi_body.h"
#include "cgi_multipart.h"

namespace {

const std::string kBoundary = "----RovakBoundary7MA4YWxkTrZu0gW";

std::string multipartBody(std::size_t fileBytes) {
    std::string body = "--" + kBoundary +
                       "\r\nContent-Disposition: form-data; name=\"diam\"\r\n\r\n12.5\r\n--" +
                       kBoundary +
                       "\r\nContent-Disposition: form-data; name=\"model\"; "
                       "filename=\"C:\\models\\shaft part.sat\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n";
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < fileBytes; ++i) {
        state = state * 1103515245u + 12345u; // bytes of every value, '-' and CR/LF included
        body += static_cast<char>(state >> 24);
    }
    return body + "\r\n--" + kBoundary + "--\r\n";
}

std::string urlencodedBody(int fields) {
    std::string body;
    for (int i = 0; i < fields; ++i) {
        if (i > 0)
            body += '&';
        body += "field" + std::to_string(i) + "=value+" + std::to_string(i) + "%2C%20mm";
    }
    return body;
}

void BM_MultipartOneFile(benchmark::State &state) {
    const std::string body = multipartBody(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        CgiFieldStore store;
        CgiMultipartParser(kBoundary).parse(store, body.data(), body.size());
        benchmark::DoNotOptimize(store.count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_MultipartOneFile)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMicrosecond);

void BM_UrlencodedFields(benchmark::State &state) {
    const std::string body = urlencodedBody(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CgiFieldStore store;
        CgiUrlencodedParser().parse(store, body.data(), body.size());
        benchmark::DoNotOptimize(store.count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UrlencodedFields)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
