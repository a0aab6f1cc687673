// The standard codec on the two heavy messages of the channel: a "printDocument" call
// carrying a 4 MiB image, and a "printerlist" reply of 50 printers with 60 paper sizes
// each. memcpy of 4 MiB, measured in the same run, is the yardstick: encoding and
// decoding the call should cost about one copy of the image, and handing the image to
// the print job nothing more.
#include <benchmark/benchmark.h>

#include <cstring>
#include <thread>

#include "channel/printing_channel_handler.h"
#include "codec/standard_method_codec.h"
#include "messenger/method_channel.h"
#include "messenger/run_loop.h"
#include "messenger/socket_client.h"
#include "messenger/socket_messenger.h"
#include "support/host_process.h"

namespace tovanel {
namespace {

constexpr size_t kImageBytes = 4 * 1024 * 1024;

MethodCall printDocumentCall() {
  Uint8List image(kImageBytes);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(i * 131);
  return {"printDocument", ValueMap{{"imageBytes", std::move(image)},
                                    {"printerName", "Label Printer 4x6"},
                                    {"width", 101.6},
                                    {"height", 152.4},
                                    {"copies", int32_t{1}},
                                    {"jobName", "Velmar Job"}}};
}

Value printerList() {
  ValueList printers;
  for (int p = 0; p < 50; ++p) {
    ValueList papers;
    for (int s = 0; s < 60; ++s) {
      papers.push_back(
          ValueMap{{"name", "w" + std::to_string(100 + s) + "h" + std::to_string(200 + s)},
                   {"width", 35.27777777777778 + s},
                   {"height", 70.55555555555556 + s}});
    }
    printers.push_back(ValueMap{{"name", "Printer " + std::to_string(p)},
                                {"isDefault", p == 0},
                                {"cupsName", "Printer_" + std::to_string(p)},
                                {"type", "Zebra ZPL Label Printer"},
                                {"paperWidth", 101.6},
                                {"paperHeight", 152.39999999999998},
                                {"paperSizes", std::move(papers)}});
  }
  return printers;
}

void Memcpy4MiB(benchmark::State& state) {
  std::vector<uint8_t> source(kImageBytes, 7);
  std::vector<uint8_t> target(kImageBytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), kImageBytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(Memcpy4MiB);

void EncodePrintDocumentCall(benchmark::State& state) {
  const MethodCall call = printDocumentCall();
  for (auto _ : state) {
    auto bytes = encodeMethodCall(call);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(EncodePrintDocumentCall);

void DecodePrintDocumentCall(benchmark::State& state) {
  const auto bytes = encodeMethodCall(printDocumentCall());
  for (auto _ : state) {
    auto call = decodeMethodCall(bytes);
    benchmark::DoNotOptimize(call.value->arguments);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(DecodePrintDocumentCall);

// Decoding plus the handler's hand-off to the print job, which must get a view of the
// decoded bytes, not a copy: the run fails if the job's bytes lie anywhere else.
void DecodeAndHandToPrintJob(benchmark::State& state) {
  const auto bytes = encodeMethodCall(printDocumentCall());
  const uint8_t* decodedImage = nullptr;
  bool borrowed = true;
  ChannelOperations operations;
  operations.printImage = [&](const PrintJobRequest& request, ReplyCallback reply) {
    borrowed = borrowed && request.imageBytes.data() == decodedImage &&
               request.imageBytes.size() == kImageBytes;
    reply.success(true);
  };
  const PrintingChannelHandler handler(std::move(operations));
  for (auto _ : state) {
    const auto call = decodeMethodCall(bytes);
    const auto& arguments = *call.value->arguments.getIf<ValueMap>();
    decodedImage = findStringKey(arguments, "imageBytes")->getIf<Uint8List>()->data();
    handler.handleMethodCall(*call.value, ReplyCallback([](MethodReply) {}));
  }
  if (!borrowed)
    state.SkipWithError("the print job did not get the decoded bytes in place");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(DecodeAndHandToPrintJob);

// The whole road from a client's socket to the print job: frame written by the client,
// read in place by the host, decoded once, handed on as a view.
void SocketToPrintJob(benchmark::State& state) {
  testing::TemporaryFolder folder;
  auto listener =
      SocketListener::claim(folder.path() + "/channel.sock", SocketListener::Folder::asFound);
  RunLoop loop;
  SocketMessenger messenger(std::move(*listener.value), [](const std::string&) {});
  loop.addSource(messenger);
  ChannelOperations operations;
  operations.printImage = [](const PrintJobRequest& request, ReplyCallback reply) {
    reply.success(static_cast<int64_t>(request.imageBytes.size()));
  };
  auto handler = std::make_shared<PrintingChannelHandler>(std::move(operations));
  MethodChannel(kPrintingChannelName, messenger)
      .setMethodCallHandler([handler](const MethodCall& call, ReplyCallback reply) {
        handler->handleMethodCall(call, std::move(reply));
      });
  std::thread host([&loop] { loop.run(RunLoop::Signals::leaveAlone); });
  {
    auto client = SocketClient::connect(messenger.path());
    const auto bytes = encodeMethodCall(printDocumentCall());
    for (auto _ : state) {
      const auto reply = client.client->call(kPrintingChannelName, bytes);
      if (reply.failure != SocketClient::Failure::none) {
        state.SkipWithError(reply.error.c_str());
        break;
      }
    }
  }
  loop.stop();
  host.join();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(SocketToPrintJob)->UseRealTime();

void EncodePrinterListReply(benchmark::State& state) {
  const Value list = printerList();
  size_t size = 0;
  for (auto _ : state) {
    auto bytes = encodeSuccessEnvelope(list);
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(EncodePrinterListReply);

void DecodePrinterListReply(benchmark::State& state) {
  const auto bytes = encodeSuccessEnvelope(printerList());
  for (auto _ : state) {
    auto envelope = decodeEnvelope(bytes);
    benchmark::DoNotOptimize(envelope.value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(DecodePrinterListReply);

}  // namespace
}  // namespace tovanel

BENCHMARK_MAIN();
