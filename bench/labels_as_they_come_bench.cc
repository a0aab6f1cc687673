// Labels as clients send them, call to reply through the host's own path on a sandbox
// queue: the vector PDF and SVG label beside the PNG label, and a 24 MP camera JPEG on an
// A4 page sent on as its bytes beside the same JPEG decoded and drawn as pixels, as every
// JPEG was before. Each run also reports what the printer received against what was sent.
//
// Run: build/bench/labels_as_they_come_bench (it starts and stops its own CUPS sandbox).
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "channel/channel_operations.h"
#include "channel/printing_channel_handler.h"
#include "cups_bench_support.h"
#include "forwarding_services.h"
#include "imaging/printable.h"
#include "platform/libcups/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
const std::string kQueue = "Office_Laser";

// A 6000 x 4000 photo as a camera saves it at quality 92: colours that change across it
// and grain, so that it compresses as a photo does.
const Bytes& cameraJpeg() {
  static const Bytes jpeg = [] {
    constexpr int width = 6000, height = 4000;
    GdkPixbuf* photo = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(photo);
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        guchar* pixel = pixels + size_t(y) * gdk_pixbuf_get_rowstride(photo) + 3 * x;
        const int base[3] = {255 * x / width, 255 * y / height, 128 + (x / 50 + y / 70) % 64};
        for (int channel = 0; channel < 3; ++channel) {
          noise = noise * 1664525 + 1013904223;
          pixel[channel] = guchar(std::clamp(base[channel] + int(noise >> 28) - 8, 0, 255));
        }
      }
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(photo, &buffer, &size, "jpeg", nullptr, "quality", "92", nullptr);
    g_object_unref(photo);
    Bytes bytes(buffer, buffer + size);
    g_free(buffer);
    return bytes;
  }();
  return jpeg;
}

// The demo's shipping label, as sample_label draws it: a PNG, a vector PDF or an SVG.
Bytes sampleLabel(const std::string& kind) {
  static const testing::TemporaryFolder folder(0755);
  const std::string file = folder.file("label." + kind);
  testing::runShell(std::string(TOVANEL_BINARY_DIR) + "/sample_label " + file);
  const std::string bytes = testing::readFile(file);
  return Bytes(bytes.begin(), bytes.end());
}

// The CUPS services with every JPEG decoded and drawn as pixels, as before JPEGs were
// sent on as their bytes: the figure to compare with.
class DecodedJpegServices final : public bench::ForwardingServices {
 public:
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override {
    auto decoded = decodeImageBytes(bytes);
    if (!decoded.image)
      return nullptr;
    return std::make_unique<CupsDecodedImage>(
        std::make_unique<RasterPage>(std::move(decoded.image)));
  }
};

struct Case {
  Bytes bytes;
  double widthMm, heightMm;
  bool decodedAsBefore;
};

// Argument 0: the PNG label; 1: the vector PDF label; 2: the SVG label; 3: the camera JPEG
// on A4, sent on; 4: the same JPEG decoded as before.
Case caseOf(int64_t argument) {
  switch (argument) {
    case 0:
      return {sampleLabel("png"), 101.6, 152.4, false};
    case 1:
      return {sampleLabel("pdf"), 101.6, 152.4, false};
    case 2:
      return {sampleLabel("svg"), 101.6, 152.4, false};
    default:
      return {cameraJpeg(), 210, 297, argument == 4};
  }
}

void LabelsAsTheyComeCallToReply(benchmark::State& state) {
  const Case printed = caseOf(state.range(0));
  CupsPrintingServices sentOn;
  DecodedJpegServices decoded;
  PrintingServices& services =
      printed.decodedAsBefore ? static_cast<PrintingServices&>(decoded) : sentOn;
  const PrintingChannelHandler handler(makeChannelOperations(services));
  const std::string received = std::string(std::getenv("CUPS_SANDBOX_OUT")) + "/office_laser.pdf";
  for (auto _ : state) {
    const int before = testing::newestJobId(kQueue);
    bool answered = false;
    const auto start = Clock::now();
    handler.handleMethodCall(
        MethodCall{"printDocument",
                   ValueMap{{"printerName", "Office Laser"},
                            {"imageBytes", Uint8List(printed.bytes.begin(), printed.bytes.end())},
                            {"width", printed.widthMm},
                            {"height", printed.heightMm}}},
        ReplyCallback(
            [&answered](MethodReply reply) { answered = std::holds_alternative<Value>(reply); }));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (!answered || !testing::waitForJobAfter(kQueue, before)) {
      state.SkipWithError("the label did not print");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the scheduler settles
  }
  const double sent = static_cast<double>(printed.bytes.size());
  state.counters["sent_MB"] = sent / 1e6;
  state.counters["received_MB"] = static_cast<double>(std::filesystem::file_size(received)) / 1e6;
  state.counters["received_over_sent"] = state.counters["received_MB"] * 1e6 / sent;
}

BENCHMARK(LabelsAsTheyComeCallToReply)
    ->DenseRange(0, 4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::bench::runWithSandbox(argc, argv, [](auto&) {});
}
