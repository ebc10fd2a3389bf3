// The cost of one poll tick of the report composition: a 240-byte read from the
// port is translated, appended to the accumulated text, the phrase tables run
// over the whole text and the page is rebuilt. The poll cycle does all of this
// at every tick with data, so the cost must stay linear in the accumulated
// text: a printout left on screen for a day of tests grows to a megabyte.

#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/report_composer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillar {
namespace {

constexpr std::size_t ChunkSize = 240;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path);
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

struct Model {
    const char* name;
    const char* sample;
};

constexpr Model Models[] = {
    {"KD318", QUILLAR_SAMPLE_DIR "/kd318.txt"},
    {"KD520", QUILLAR_SAMPLE_DIR "/kd520.txt"},
    {"QM", QUILLAR_SAMPLE_DIR "/qm.txt"},
};

// The accumulated text after printouts of this model have come in until it
// holds at least `size` bytes: what the poll cycle has built when the next
// read arrives. Translated and rewritten once as a whole, which gives the same
// text as tick by tick (the colon step adds each colon once) in linear time.
std::string AccumulatedText(const Model& model, std::int32_t language, std::size_t size) {
    const std::string printout = ReadFile(model.sample);
    const std::size_t perPrintout = TranslateDeviceBytes(printout, model.name, language).size();
    std::string bytes;
    for (std::size_t translated = 0; translated < size; translated += perPrintout) {
        bytes += printout;
    }
    std::string text;
    AddRead(text, bytes, {model.name, language, &BuiltinReportTables()});
    return text;
}

// The next 240 bytes the tester sends: the start of another printout, cut in
// the middle of a line as a read from the port usually is.
std::string NextChunk(const Model& model) {
    std::string printout = ReadFile(model.sample);
    while (printout.size() < ChunkSize) {
        printout += printout;
    }
    return printout.substr(0, ChunkSize);
}

PageInputs Place() {
    PageInputs in;
    in.executableDir = "/opt/quillar/";
    in.dateText = "7 December 2026 09:05";
    // The workshop's logo is there, so the KD318 form is built in full; the
    // file test itself is the platform's cost, not the composition's.
    in.fileExists = [](const std::string&) { return true; };
    return in;
}

void PollTick(benchmark::State& state, const Model& model, std::int32_t language) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string prefilled = AccumulatedText(model, language, size);
    const std::string chunk = NextChunk(model);
    const ReportSetting setting{model.name, language, &BuiltinReportTables()};
    const PageInputs place = Place();
    std::string received;
    received.reserve(prefilled.size() + 4 * ChunkSize);
    for (auto _ : state) {
        // Every iteration starts from the same accumulated text, so each one is
        // a tick at this size. The copy is measured too; CopyOnly shows its
        // share.
        received = prefilled;
        AddRead(received, chunk, setting);
        std::string page = ComposePage(received, setting, place);
        benchmark::DoNotOptimize(page.data());
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(static_cast<std::int64_t>(prefilled.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(prefilled.size()));
    state.counters["text_bytes"] = static_cast<double>(prefilled.size());
}

// The restoring copy alone, to subtract from the tick figures.
void CopyOnly(benchmark::State& state, const Model& model) {
    const std::string prefilled =
        AccumulatedText(model, 0, static_cast<std::size_t>(state.range(0)));
    std::string received;
    received.reserve(prefilled.size());
    for (auto _ : state) {
        received = prefilled;
        benchmark::DoNotOptimize(received.data());
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(static_cast<std::int64_t>(prefilled.size()));
}

void RegisterAll() {
    for (const Model& model : Models) {
        for (const std::int32_t language : {0, 1}) {
            const std::string name =
                std::string("PollTick/") + model.name + "/language:" + std::to_string(language);
            benchmark::RegisterBenchmark(name.c_str(), PollTick, model, language)
                ->Arg(1 << 10)
                ->Arg(1 << 16)
                ->Arg(1 << 20)
                ->Unit(benchmark::kMicrosecond)
                ->Complexity(benchmark::oN);
        }
    }
    benchmark::RegisterBenchmark("CopyOnly/KD520", CopyOnly, Models[1])
        ->Arg(1 << 10)
        ->Arg(1 << 16)
        ->Arg(1 << 20)
        ->Unit(benchmark::kMicrosecond)
        ->Complexity(benchmark::oN);
}

} // namespace
} // namespace quillar

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    try {
        quillar::RegisterAll();
        quillar::BuiltinReportTables();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "report_bench: %s\n", error.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
