// "printerlist" with 50 queues against the tool runs it cannot avoid, done the plainest
// way: one `lpstat -lp`, then `lpstat -lp` and `lpoptions -p QUEUE -l` per printer.
#include <chrono>
#include <string>
#include <vector>

#include "channel/printing_channel_handler.h"
#include "cups/command.h"
#include "cups_bench_support.h"
#include "directory/printer_listing.h"
#include "platform/libcups/cups_printing_services.h"
#include "support/replies.h"

namespace tovanel::bench {
namespace {

constexpr int kQueueCount = 50;

// The sandbox's four queues, then the ones the set-up adds.
std::vector<std::string>& queues() {
  static std::vector<std::string> names{"Label_4x6", "Label_Driverless", "Office_Driverless",
                                        "Office_Laser"};
  return names;
}

// Fills the benchmark's own sandbox up to 50 queues, label and office drivers in turn.
void addQueues(const testing::CupsSandbox& sandbox) {
  for (int i = static_cast<int>(queues().size()); i < kQueueCount; ++i) {
    const std::string queue = "Bench_Queue_" + std::to_string(i);
    const std::string driver =
        i % 2 == 0 ? "-m drv:///sample.drv/zebra.ppd" : "-P " + sandbox.dir() + "/office-laser.ppd";
    testing::runShell("/usr/sbin/lpadmin -p " + queue + " -E -v file:///dev/null " + driver +
                      " -D 'Bench Queue " + std::to_string(i) + "' 2>/dev/null");
    queues().push_back(queue);
  }
}

size_t printerList(const PrintingChannelHandler& handler) {
  testing::ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{"printerlist", Value()}, recorder.callback());
  const auto& list = *std::get<Value>(recorder.replies.at(0)).getIf<ValueList>();
  return list.size();
}

void runToolsDirectly() {
  benchmark::DoNotOptimize(runDirectly({"/usr/bin/lpstat", "-lp"}));
  for (const auto& queue : queues()) {
    benchmark::DoNotOptimize(runDirectly({"/usr/bin/lpstat", "-lp"}));
    benchmark::DoNotOptimize(runDirectly({"/usr/bin/lpoptions", "-p", queue, "-l"}));
  }
}

void BM_PrinterList(benchmark::State& state) {
  CupsPrintingServices services;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  for (auto _ : state) {
    if (printerList(handler) != kQueueCount)
      state.SkipWithError("the listing does not hold every queue");
  }
}
BENCHMARK(BM_PrinterList)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ToolsDirectly(benchmark::State& state) {
  for (auto _ : state)
    runToolsDirectly();
}
BENCHMARK(BM_ToolsDirectly)->Unit(benchmark::kMillisecond)->Iterations(3);

// The host's listing and the tool runs it must make, one after another, in turn; "ratio"
// is the host's time over the direct runs' time. Argument: how many printers' queries the
// listing runs at once (1: as it did before they ran side by side; 4: as it does).
void BM_HostOverDirect(benchmark::State& state) {
  CupsPrintingServices services;
  const auto concurrency = static_cast<size_t>(state.range(0));
  compareHostWithDirect(
      state,
      [&] {
        if (listPrinters(services, runCommand, concurrency).size() != kQueueCount)
          state.SkipWithError("the listing does not hold every queue");
      },
      runToolsDirectly);
  state.counters["host_ms_per_printer"] = state.counters["host_ms"] / kQueueCount;
}
BENCHMARK(BM_HostOverDirect)
    ->Arg(1)
    ->Arg(kListingConcurrency)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The two platform calls made per printer, measured alone: they explain most of what
// the listing adds over the tool runs.
void BM_PrinterWithName(benchmark::State& state) {
  CupsPrintingServices services;
  for (auto _ : state)
    benchmark::DoNotOptimize(services.printerWithName("Bench Queue 30"));
}
BENCHMARK(BM_PrinterWithName)->Unit(benchmark::kMillisecond);

void BM_PaperSizeFor(benchmark::State& state) {
  CupsPrintingServices services;
  const auto printer = services.printerWithName("Bench Queue 30");
  if (!printer)
    return state.SkipWithError("no Bench Queue 30");
  for (auto _ : state)
    benchmark::DoNotOptimize(services.paperSizeFor(*printer));
}
BENCHMARK(BM_PaperSizeFor)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tovanel::bench

int main(int argc, char** argv) {
  return tovanel::bench::runWithSandbox(argc, argv, tovanel::bench::addQueues);
}
