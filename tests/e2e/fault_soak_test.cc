// A thousand mixed calls through one printing_host: every call gets exactly one
// well-formed reply, the right one, and the host ends with no zombie children, the
// descriptors it had, and the memory it had.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "embedding/socket_frames.h"
#include "embedding/standard_method_codec.h"
#include "support/cups_sandbox.h"
#include "support/fault_process_probe.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::errorReply;
using testing::notImplementedReply;
using testing::successReply;

const std::string kChannel = "com.tovanel.printing";
constexpr int kCallsPerBatch = 20;
constexpr int kWarmUpBatches = 5;
constexpr int kSoakBatches = 50;  // 1,000 calls

struct SoakCall {
  std::string method;
  Value arguments;
  MethodReply expected;
};

// What the host answers with a server that is up; read once before the soak.
struct Baseline {
  MethodReply listing;
  MethodReply officePapers;
  MethodReply labelPapers;
};

// One batch: every method, an unknown one, argument errors, and one small print, whose
// job name is `jobName`. printerlist runs several tools, so it comes once per batch.
std::vector<SoakCall> batch(const Baseline& baseline, const std::string& jobName) {
  // Large enough (about 1 MiB once decoded) that a print which kept its image would show.
  static const auto png = testing::markerImagePng(400, 600);
  const Uint8List label(png.begin(), png.end());
  const auto named = [](const char* name) { return ValueMap{{"printerName", name}}; };
  const auto nameRequired = errorReply("INVALID_ARGUMENTS", "Printer name required");
  const auto online = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});
  const auto offline =
      successReply(ValueMap{{"status", "offline"}, {"message", "Printer not found"}});
  return {
      {"getPrinterStatus", named("Label Printer 4x6"), online},
      {"printDocument",
       ValueMap{{"imageBytes", label}, {"printerName", "Office Laser"}, {"jobName", jobName}},
       successReply(ValueMap{{"status", "success"}, {"jobName", jobName}})},
      {"getPaperSizes", named("Office Laser"), baseline.officePapers},
      {"getPrinterStatus", named("Office_Laser"), offline},
      {"printDocuments", named("Office Laser"), notImplementedReply()},
      {"setDefaultPrinter", named("Office Laser"), successReply(true)},
      {"printDocument",
       ValueMap{{"imageBytes", Uint8List{0x89, 'P', 'N', 'G'}}, {"printerName", "Office Laser"}},
       errorReply("IMAGE_INVALID", "Failed to create image")},
      {"getPaperSizes", named("No Such Printer"), successReply(ValueList{})},
      {"printerlist", Value(), baseline.listing},
      {"printDocument", ValueMap{{"imageBytes", label}, {"printerName", "Nowhere"}},
       errorReply("PRINTER_NOT_FOUND", "Printer 'Nowhere' not found")},
      {"getPrinterStatus", ValueMap{{"printerName", int32_t{5}}}, nameRequired},
      {"", Value(), notImplementedReply()},
      {"setDefaultPrinter", named("No Such Printer"),
       errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
      {"printDocument", Value(), errorReply("INVALID_ARGUMENTS", "Invalid Image Data")},
      {"getPaperSizes", named("Label Printer 4x6"), baseline.labelPapers},
      {"getPaperSizes", ValueList{"Office Laser"}, nameRequired},
      {"getPrinterStatus", named("Office Laser"), online},
      {"setDefaultPrinter", Value(), nameRequired},
      {"printDocument", ValueMap{{"imageBytes", "not bytes"}},
       errorReply("INVALID_ARGUMENTS", "Invalid Image Data")},
      {"getPrinterStatus", named(""), offline},
  };
}

// The reply a reply frame carries, or nothing when it is not a well-formed one.
std::optional<MethodReply> replyOf(const testing::RawFrame& frame) {
  if (frame.kind != static_cast<uint8_t>(FrameKind::reply))
    return std::nullopt;
  if (frame.message.empty())
    return notImplementedReply();
  const auto envelope = decodeEnvelope(frame.message);
  if (!envelope)
    return std::nullopt;
  if (const auto* value = std::get_if<Value>(&*envelope.value))
    return MethodReply(*value);
  const auto& error = std::get<ErrorEnvelope>(*envelope.value);
  return MethodReply(FlutterError{error.code, error.message.value_or(""), error.details});
}

// Sends the calls at once on a fresh connection, then reads their replies: one each,
// in order, as expected, and nothing more once the client has finished sending.
// The number of calls that got their expected reply.
int runBatch(const std::string& socketPath, const std::vector<SoakCall>& calls, uint32_t firstId) {
  const auto socket = testing::connectRaw(socketPath);
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto frame = testing::callFrame(firstId + static_cast<uint32_t>(i), kChannel,
                                          encodeMethodCall({calls[i].method, calls[i].arguments}));
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  if (!testing::sendRaw(socket.get(), bytes)) {
    ADD_FAILURE() << "could not send the batch";
    return 0;
  }
  int answered = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto frame = testing::readRawFrame(socket.get(), 30s);
    if (!frame) {
      ADD_FAILURE() << calls[i].method << " (call " << i << ") got no reply";
      return answered;
    }
    EXPECT_EQ(frame->id, firstId + i) << calls[i].method;
    const auto reply = replyOf(*frame);
    if (!reply) {
      ADD_FAILURE() << calls[i].method << " got a frame that is no reply, kind "
                    << int(frame->kind);
      continue;
    }
    EXPECT_EQ(*reply, calls[i].expected) << calls[i].method << " " << describe(calls[i].arguments);
    answered += *reply == calls[i].expected ? 1 : 0;
  }
  // With its sending side shut, the client has no call left: the host must close the
  // connection without another frame.
  ::shutdown(socket.get(), SHUT_WR);
  EXPECT_FALSE(testing::readRawFrame(socket.get(), 5s)) << "a call was answered twice";
  EXPECT_TRUE(testing::waitForClose(socket.get(), 5s));
  return answered;
}

// Polls `measure` until it returns `wanted` or five seconds pass; the last value seen.
template <typename T>
T settle(const std::function<T()>& measure, const T& wanted) {
  const auto deadline = Clock::now() + 5s;
  T seen = measure();
  while (seen != wanted && Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
    seen = measure();
  }
  return seen;
}

// AddressSanitizer sets freed memory aside for a while (its quarantine, up to 256 MiB)
// to catch uses after free; in a sanitized host that reads as growth. Only sanitized
// programs read this setting, and its leak check at exit still runs.
void letASanitizedHostReuseFreedMemory() {
  const char* options = std::getenv("ASAN_OPTIONS");
  std::string value = options && *options ? std::string(options) + ":" : "";
  value += "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
  ::setenv("ASAN_OPTIONS", value.c_str(), 1);
}

// Tests a thousand mixed calls (all five methods with good and bad arguments, an
// unknown method, prints of a small label), twenty at a time on fresh connections: each
// call gets exactly one well-formed reply and the right one, every print reaches CUPS,
// and afterwards the host has no zombie child, as many open descriptors as after the
// warm-up, and its resident memory within 10% of the warmed-up value.
TEST(Soak, ThousandMixedCallsLeaveTheHostAsItWas) {
  letASanitizedHostReuseFreedMemory();
  testing::HostProcess host = testing::HostProcess::start();
  const pid_t pid = host.pid();
  Baseline baseline;
  {
    testing::HostClient client(host.socketPath());
    const auto ask = [&](const std::string& method, const Value& arguments) {
      auto outcome = client.call(method, arguments, 30s);
      return outcome.reply ? *outcome.reply : errorReply("NO_REPLY", outcome.error);
    };
    baseline.listing = ask("printerlist", Value());
    baseline.officePapers = ask("getPaperSizes", ValueMap{{"printerName", "Office Laser"}});
    baseline.labelPapers = ask("getPaperSizes", ValueMap{{"printerName", "Label Printer 4x6"}});
  }
  ASSERT_NE(baseline.officePapers, successReply(ValueList{}));
  ASSERT_NE(baseline.labelPapers, successReply(ValueList{}));
  const int jobsBefore = testing::newestJobId("Office_Laser");

  uint32_t nextId = 1;
  const auto runBatches = [&](int count, const std::string& name) {
    int answered = 0;
    for (int i = 0; i < count; ++i) {
      const auto calls = batch(baseline, name + " " + std::to_string(i + 1));
      answered += runBatch(host.socketPath(), calls, nextId);
      nextId += static_cast<uint32_t>(calls.size());
    }
    return answered;
  };
  ASSERT_EQ(runBatches(kWarmUpBatches, "Warm-up"), kWarmUpBatches * kCallsPerBatch);
  const std::function<size_t()> zombies = [pid] { return testing::zombieChildrenOf(pid).size(); };
  const std::function<size_t()> children = [pid] { return testing::childrenOf(pid).size(); };
  ASSERT_EQ(settle(children, size_t{0}), 0u) << describeChildren(testing::childrenOf(pid));
  const auto descriptorsWarm = testing::openDescriptors(pid);
  const long residentWarm = testing::residentKibibytes(pid);

  const auto started = Clock::now();
  EXPECT_EQ(runBatches(kSoakBatches, "Soak"), kSoakBatches * kCallsPerBatch);
  const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();

  // Tools the last calls ran may still be on their way out; none may stay a zombie.
  EXPECT_EQ(settle(zombies, size_t{0}), 0u) << describeChildren(testing::childrenOf(pid));
  EXPECT_EQ(settle(children, size_t{0}), 0u) << describeChildren(testing::childrenOf(pid));
  const std::function<size_t()> descriptorCount = [pid] {
    return testing::openDescriptors(pid).size();
  };
  const size_t descriptorsAfter = settle(descriptorCount, descriptorsWarm.size());
  EXPECT_EQ(descriptorsAfter, descriptorsWarm.size())
      << "after the warm-up:\n"
      << testing::describeDescriptors(descriptorsWarm) << "after the soak:\n"
      << testing::describeDescriptors(testing::openDescriptors(pid));
  const long residentAfter = testing::residentKibibytes(pid);
  EXPECT_GT(residentWarm, 0);
  EXPECT_LE(residentAfter, residentWarm + residentWarm / 10);

  const int prints = kWarmUpBatches + kSoakBatches;
  const auto lastJob = testing::waitForJobAfter("Office_Laser", jobsBefore + prints - 1);
  ASSERT_TRUE(lastJob);
  EXPECT_EQ(lastJob->title, "Soak " + std::to_string(kSoakBatches));
  EXPECT_EQ(testing::newestJobId("Office_Laser") - jobsBefore, prints);

  std::printf(
      "soak: %d calls in %.1f s; descriptors %zu after the warm-up, %zu after; "
      "VmRSS %ld KiB after the warm-up, %ld KiB after\n",
      kSoakBatches * kCallsPerBatch, seconds, descriptorsWarm.size(), descriptorsAfter,
      residentWarm, residentAfter);
  EXPECT_EQ(host.stop(), 0);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
