// "getPaperSizes" against the two tool runs it cannot avoid (`lpstat -lp`, then
// `lpoptions -p Label_4x6 -l`) done the plainest way: the host's own overhead.
#include <chrono>

#include "channel/printing_channel_handler.h"
#include "cups_bench_support.h"
#include "platform/libcups/cups_printing_services.h"
#include "support/replies.h"

namespace tovanel::bench {
namespace {

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

// The host's call and the tool runs it must make, in turn; "ratio" is the host's time
// over the direct runs' time.
void BM_HostOverDirect(benchmark::State& state) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  compareHostWithDirect(
      state, [&] { getPaperSizes(handler); }, runToolsDirectly);
}
BENCHMARK(BM_HostOverDirect)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(5);

}  // namespace
}  // namespace tovanel::bench

int main(int argc, char** argv) {
  return tovanel::bench::runWithSandbox(argc, argv, [](auto&) {});
}
