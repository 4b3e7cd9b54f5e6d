// Text trees: a generated tree of about 10 MB (repeated device blocks, each
// with fields and nested bank and region blocks) read and written, and the
// reader at a tenth of that size, whose bytes per second must be the same
// if reading is linear in the text's size.
#include "pgm/h/pgm_common_export.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// Repeated "device" blocks: fields, banks holding regions, about 1 KB each.
std::string tree_text(size_t devices)
{
    std::string text = "format: 1\nname: \"generated board\"\n";
    for (size_t d = 0; d < devices; ++d) {
        text += "device {\n  id: 0x" + std::to_string(1000 + d) + "\n  part: AGFB014R24B2E2V\n  mode: fast\n";
        for (int b = 0; b < 3; ++b) {
            text += "  bank {\n    index: " + std::to_string(b) + "\n    size: 16\n    label: \"bank: main\"\n";
            for (int r = 0; r < 3; ++r) {
                text += "    region {\n      start: 0x" + std::to_string(r * 4096) +
                        "\n      length: 4096\n      access: read write\n    }\n";
            }
            text += "  }\n";
        }
        text += "}\n";
    }
    return text;
}

const size_t DEVICES_10MB = 11000;

void BM_TextTreeRead(benchmark::State& state)
{
    const std::string text = tree_text(size_t(state.range(0)));
    for (auto _ : state) {
        std::unique_ptr<PGM_PROTOBUF> top(PGM_COMMON::convert_string_to_pgm_protobuf(text));
        benchmark::DoNotOptimize(top.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["MB"] = double(text.size()) / 1e6;
}
BENCHMARK(BM_TextTreeRead)->Arg(DEVICES_10MB / 10)->Arg(DEVICES_10MB)->Unit(benchmark::kMillisecond);

void BM_TextTreeWrite(benchmark::State& state)
{
    const std::string text = tree_text(DEVICES_10MB);
    std::unique_ptr<PGM_PROTOBUF> top(PGM_COMMON::convert_string_to_pgm_protobuf(text));
    for (auto _ : state) {
        std::string output;
        if (!PGM_COMMON::convert_pgm_protobuf_to_string(top.get(), output, "").empty() || output != text)
            state.SkipWithError("the tree was not written back as it was read");
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_TextTreeWrite)->Unit(benchmark::kMillisecond);

} // namespace
