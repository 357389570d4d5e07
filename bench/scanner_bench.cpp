// ScanReferences on a large page against the literal copying scan it replaces.
#include <string>

#include <benchmark/benchmark.h>

#include "../tests/unit/support/LiteralScanner.h"
#include "extract/Scanner.h"

namespace {

constexpr const char* kBase = "http://site.example/news/2009/index.html";

// About `bytes` of markup holding `references` image tags spread evenly through it.
std::string MakePage(std::size_t bytes, int references) {
    const std::string filler = "<p>Lorem ipsum dolor sit amet, \xE5\x9B\xBE\xE7\x89\x87 consectetur adipiscing.</p>\n";
    const std::size_t perReference = bytes / static_cast<std::size_t>(references);
    std::string page;
    page.reserve(bytes + 4096);
    for (int i = 0; i < references; ++i) {
        const std::size_t target = page.size() + perReference;
        page += "<img src=\"../img/Photo" + std::to_string(i) + ".GIF\" alt=\"\">\n";
        while (page.size() + filler.size() <= target) page += filler;
    }
    return page;
}

void BM_ScanReferences(benchmark::State& state) {
    const std::string page = MakePage(static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(nuv::ScanReferences(".gif", page, kBase));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}

void BM_LiteralScanReferences(benchmark::State& state) {
    const std::string page = MakePage(static_cast<std::size_t>(state.range(0)), static_cast<int>(state.range(1)));
    int count = 0;
    for (auto _ : state) benchmark::DoNotOptimize(nuv::literal::ScanReferences(".gif", page, kBase, count));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}

BENCHMARK(BM_ScanReferences)->Args({64 << 10, 640})->Args({1 << 20, 10000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralScanReferences)->Args({64 << 10, 640})->Args({1 << 20, 10000})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
