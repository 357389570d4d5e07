// The duplicate-guarded append that every collector does, with the hash index beside
// the list, against the walk that normalises both sides at every comparison.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "extract/ExtractionLists.h"

namespace {

std::vector<std::string> Addresses(int n) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back("http://img" + std::to_string(i % 37) + ".site.example/gallery/" +
                      std::to_string(i) + "/Picture_" + std::to_string(i * 7919) + ".JPG");
    return out;
}

void IndexedAppend(benchmark::State& state) {
    const auto input = Addresses(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        nuv::ExtractionLists lists;
        for (const auto& a : input)
            if (!lists.IsListed(nuv::ListKind::lkImage, a)) lists.AddImage(a);
        benchmark::DoNotOptimize(lists.ImageURLs.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void LinearAppend(benchmark::State& state) {
    const auto input = Addresses(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> list;
        for (const auto& a : input) {
            bool found = false;
            for (const auto& e : list) {
                if (nuv::LowerAscii(nuv::Trim(e)) == nuv::LowerAscii(nuv::Trim(a))) {
                    found = true;
                    break;
                }
            }
            if (!found) list.push_back(a);
        }
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(IndexedAppend)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(LinearAppend)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
