// "getPaperSizes" against the two tool runs it cannot avoid (`lpstat -lp`, then
// `lpoptions -p Label_4x6 -l`) done the plainest way: the host's own overhead.
#include <chrono>

#include "channel/printing_channel_handler.h"
#include "cups_bench_support.h"
#include "platform/cups_printing_services.h"
#include "support/replies.h"

namespace tovanel::bench {
namespace {

using Clock = std::chrono::steady_clock;

void getPaperSizes(const PrintingChannelHandler& handler) {
  testing::ReplyRecorder recorder;
  handler.handleMethodCall(
      MethodCall{"getPaperSizes", ValueMap{{"printerName", "Label Printer 4x6"}}},
      recorder.callback());
  benchmark::DoNotOptimize(recorder.replies);
}

void runToolsDirectly() {
  benchmark::DoNotOptimize(runDirectly({"/usr/bin/lpstat", "-lp"}));
  benchmark::DoNotOptimize(runDirectly({"/usr/bin/lpoptions", "-p", "Label_4x6", "-l"}));
}

void BM_GetPaperSizes(benchmark::State& state) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  for (auto _ : state)
    getPaperSizes(handler);
}
BENCHMARK(BM_GetPaperSizes)->Unit(benchmark::kMillisecond);

void BM_ToolsDirectly(benchmark::State& state) {
  for (auto _ : state)
    runToolsDirectly();
}
BENCHMARK(BM_ToolsDirectly)->Unit(benchmark::kMillisecond);

// Both in turn within each iteration, so that a busy machine weighs on both alike;
// "ratio" is the host's time over the direct runs' time.
void BM_HostOverDirect(benchmark::State& state) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  Clock::duration host{};
  Clock::duration direct{};
  for (auto _ : state) {
    const auto start = Clock::now();
    getPaperSizes(handler);
    const auto middle = Clock::now();
    runToolsDirectly();
    const auto end = Clock::now();
    host += middle - start;
    direct += end - middle;
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  const auto milliseconds = [&](Clock::duration total) {
    return std::chrono::duration<double, std::milli>(total).count() /
           static_cast<double>(state.iterations());
  };
  state.counters["host_ms"] = milliseconds(host);
  state.counters["direct_ms"] = milliseconds(direct);
  state.counters["ratio"] = milliseconds(host) / milliseconds(direct);
}
BENCHMARK(BM_HostOverDirect)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

}  // namespace
}  // namespace tovanel::bench

int main(int argc, char** argv) {
  return tovanel::bench::runWithSandbox(argc, argv, [](auto&) {});
}
