// Parse time of POST bodies: a multipart body with one file part of the given size, the worst
// multipart bodies for the longest boundary (1, 4 and 16 MiB; the parser alone, past the request
// layer's 1 MiB limit), and an urlencoded body with the given number of fields (10,000 at most
// per request). All should grow linearly with the body.
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

// The worst bodies for a delimiter search with the longest boundary allowed (70 bytes): a body of
// the delimiter over and over less its last byte (every position starts a match that fails at
// the end), and a body of nothing but the boundary's own repeated byte. The time per MiB must
// not grow with the body.
const std::string kWorstBoundary = std::string(69, '-') + "x";

std::string worstBody(std::size_t bytes, bool nearMisses) {
    std::string unit = nearMisses ? "--" + kWorstBoundary.substr(0, kWorstBoundary.size() - 1)
                                  : std::string(64, '-');
    std::string body =
        "--" + kWorstBoundary + "\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\n";
    while (body.size() + unit.size() < bytes)
        body += unit;
    return body + "\r\n--" + kWorstBoundary + "--\r\n";
}

void worstCase(benchmark::State &state, bool nearMisses) {
    const std::string body = worstBody(static_cast<std::size_t>(state.range(0)) << 20, nearMisses);
    for (auto _ : state) {
        CgiFieldStore store;
        CgiMultipartParser(kWorstBoundary).parse(store, body.data(), body.size());
        benchmark::DoNotOptimize(store.count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void BM_MultipartNearMisses(benchmark::State &state) { worstCase(state, true); }
BENCHMARK(BM_MultipartNearMisses)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_MultipartAllDashes(benchmark::State &state) { worstCase(state, false); }
BENCHMARK(BM_MultipartAllDashes)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_UrlencodedFields)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
