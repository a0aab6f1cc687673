// "printDocument" side by side with CUPS's own `lp` on the same sandbox queue, our
// call-to-reply time with its steps, and the host's peak memory for a 4000 x 6000 image.
//
// Run: build/bench/print_document_bench (it starts and stops its own CUPS sandbox).
// Times are wall-clock per print; "until printed" ends when CUPS reports the job
// completed, so the printer's output file has been written.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "channel/printing_channel_handler.h"
#include "cups_bench_support.h"
#include "forwarding_services.h"
#include "imaging/image_decoding.h"
#include "imaging/page_pdf.h"
#include "platform/libcups/cups_media.h"
#include "platform/libcups/cups_printing_services.h"
#include "shipping_label.h"
#include "support/cups_sandbox.h"
#include "support/print_images.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(2);
const std::string kQueue = "Office_Laser";

// The 1218 x 1812 shipping label (4 x 6 in at about 300 dpi), black and white as label
// software draws it, as an RGB PNG and as the RGBA PNG that Flutter exports.
const std::vector<uint8_t>& labelPng(bool alpha = false) {
  static const auto rgb = bench::shippingLabelPng(1218, 1812, 4);
  static const auto rgba = bench::withAlphaChannel(rgb);
  return alpha ? rgba : rgb;
}

const testing::TemporaryFolder& folder() {
  static const testing::TemporaryFolder folder(0755);
  return folder;
}

bool printDocument(PrintingChannelHandler& handler, const std::vector<uint8_t>& png) {
  bool printed = false;
  handler.handleMethodCall(
      MethodCall{"printDocument", ValueMap{{"printerName", "Office Laser"},
                                           {"imageBytes", Uint8List(png.begin(), png.end())}}},
      ReplyCallback(
          [&printed](MethodReply reply) { printed = std::holds_alternative<Value>(reply); }));
  return printed;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Ours against theirs on the same queue, alternating in every iteration so that both
// see the same load: "printDocument" of the label, and `lp` of the same PNG file through
// CUPS's own image filters, each from the start until CUPS has completed the job. The
// time shown is ours; the counters give both and their ratio.
void PrintedOursVersusLp(benchmark::State& state) {
  CupsPrintingServices services;
  PrintingChannelHandler handler(makeChannelOperations(services));
  const std::string file = folder().write("label.png", labelPng());
  const std::string lp =
      "lp -d " + kQueue + " -o PageSize=Custom.288x432.00000000000006 '" + file + "' >/dev/null";
  const auto untilPrinted = [](const std::function<bool()>& print) {
    const int before = testing::newestJobId(kQueue);
    const auto start = Clock::now();
    const bool printed =
        print() && testing::waitForJobAfter(kQueue, before, std::chrono::seconds(60), kPoll);
    return printed ? secondsSince(start) : -1.0;
  };
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double oursNow = untilPrinted([&] { return printDocument(handler, labelPng()); });
    const double theirsNow = untilPrinted([&] { return testing::runShell(lp).status == 0; });
    if (oursNow < 0 || theirsNow < 0) {
      state.SkipWithError("a label did not print");
      break;
    }
    state.SetIterationTime(oursNow);
    ours += oursNow;
    theirs += theirsNow;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["ours_ms"] = ours / iterations * 1e3;
  state.counters["lp_ms"] = theirs / iterations * 1e3;
  state.counters["ours_over_lp"] = ours / theirs;
}

// The CUPS services with every decoded image stripped of its 1-bit form, so that pages are
// drawn from the colours, as they were before 1-bit pages: the figure to compare with.
class ColourPagesServices final : public bench::ForwardingServices {
 public:
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override {
    auto image = ForwardingServices::decodeImage(bytes);
    const auto* decoded = dynamic_cast<const CupsDecodedImage*>(image.get());
    if (const auto* raster =
            decoded ? dynamic_cast<const RasterPage*>(&decoded->printable()) : nullptr)
      cairo_surface_set_mime_data(raster->image().surface(), CAIRO_MIME_TYPE_CCITT_FAX, nullptr, 0,
                                  nullptr, nullptr);
    return image;
  }
};

// Ours alone: the call until its reply; the queue is drained between calls, untimed, as
// when labels are printed one at a time.
// Argument 0: the RGB label; 1: the RGBA label; 2: the RGB label drawn from its colours.
void PrintDocumentCallToReply(benchmark::State& state) {
  CupsPrintingServices oneBitPages;
  ColourPagesServices colourPages;
  PrintingServices& services =
      state.range(0) == 2 ? static_cast<PrintingServices&>(colourPages) : oneBitPages;
  PrintingChannelHandler handler(makeChannelOperations(services));
  const auto& png = labelPng(state.range(0) == 1);
  for (auto _ : state) {
    const int before = testing::newestJobId(kQueue);
    const auto start = Clock::now();
    const bool printed = printDocument(handler, png);
    state.SetIterationTime(secondsSince(start));
    if (!printed || !testing::waitForJobAfter(kQueue, before)) {
      state.SkipWithError("the label did not print");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the scheduler settles
  }
}

// The steps of the call, one by one.
void StepFindPrinter(benchmark::State& state) {
  CupsPrintingServices services;
  for (auto _ : state)
    benchmark::DoNotOptimize(services.printerWithName("Office Laser"));
}

// The one request that reads what the queue offers, and the choice of medium from it.
void StepChooseMedia(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(chooseMedia(readMediaOffer(kQueue), {288, 432.00000000000006}));
}

void StepDecodeImage(benchmark::State& state) {
  const auto& png = labelPng(state.range(0) != 0);
  for (auto _ : state)
    benchmark::DoNotOptimize(decodeImageBytes(png));
}

// Argument 0: the label; 1: the same label drawn from its colours, as before 1-bit pages.
void StepDrawPdf(benchmark::State& state) {
  auto decoded = decodeImageBytes(labelPng());
  if (state.range(0) == 1)
    cairo_surface_set_mime_data(decoded.image->surface(), CAIRO_MIME_TYPE_CCITT_FAX, nullptr, 0,
                                nullptr, nullptr);
  const RasterPage page(std::move(decoded.image));
  size_t bytes = 0;
  for (auto _ : state) {
    writePages({.sheet = {288, 432.00000000000006}, .frame = {288, 432.00000000000006}}, page,
               [&bytes](auto written) { return bytes += written.size(), true; });
  }
  state.counters["pdf_bytes"] = static_cast<double>(bytes) / state.iterations();
}

long procStatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":"))
      return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// The host's peak memory while printing a 4000 x 6000 label (RGB PNG, or RGBA with
// `alpha`), against the image's decoded RGBA size (96 MB).
void PeakMemory4000x6000(benchmark::State& state) {
  const bool alpha = state.range(0) != 0;
  auto png = bench::shippingLabelPng(4000, 6000, 13);
  if (alpha)
    png = bench::withAlphaChannel(png);
  CupsPrintingServices services;
  PrintingChannelHandler handler(makeChannelOperations(services));
  for (auto _ : state) {
    const int before = testing::newestJobId(kQueue);
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
    const long baseline = procStatusKilobytes("VmRSS");
    const auto start = Clock::now();
    const bool printed = printDocument(handler, png);
    state.SetIterationTime(secondsSince(start));
    const long peak = procStatusKilobytes("VmHWM");
    if (!printed || !testing::waitForJobAfter(kQueue, before)) {
      state.SkipWithError("the image did not print");
      break;
    }
    const double rgbaMegabytes = 4000.0 * 6000 * 4 / 1e6;
    state.counters["peak_growth_MB"] = (peak - baseline) * 1024 / 1e6;
    state.counters["rgba_MB"] = rgbaMegabytes;
    state.counters["peak_over_rgba"] = (peak - baseline) * 1024 / 1e6 / rgbaMegabytes;
    state.counters["png_MB"] = png.size() / 1e6;
  }
}

BENCHMARK(PrintedOursVersusLp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(PrintDocumentCallToReply)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(StepFindPrinter)->Unit(benchmark::kMillisecond);
BENCHMARK(StepChooseMedia)->Unit(benchmark::kMillisecond);
BENCHMARK(StepDecodeImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(StepDrawPdf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PeakMemory4000x6000)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::bench::runWithSandbox(argc, argv, [](auto&) {});
}
