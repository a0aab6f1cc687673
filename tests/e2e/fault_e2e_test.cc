// printing_host under faults: bad clients, a foreign user, cupsd going away, a long soak.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "codec/standard_method_codec.h"
#include "messenger/socket_frames.h"
#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/process_probe.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::errorReply;
using testing::HostProcess;
using testing::notImplementedReply;
using testing::sandbox;
using testing::successReply;

const std::string kChannel = "com.tovanel.printing";
const MethodReply kOnline = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});
const MethodReply kOffline =
    successReply(ValueMap{{"status", "offline"}, {"message", "Printer not found"}});
const MethodReply kNameRequired = errorReply("INVALID_ARGUMENTS", "Printer name required");

ValueMap named(const char* name) {
  return ValueMap{{"printerName", name}};
}

Uint8List smallLabel() {
  static const auto png = testing::markerImagePng(60, 90);
  return Uint8List(png.begin(), png.end());
}

// "printDocument" arguments for "Office Laser": `arguments` and the printer name.
ValueMap office(ValueMap arguments) {
  arguments.push_back({"printerName", "Office Laser"});
  return arguments;
}

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

MethodReply printerNotFound(const std::string& name) {
  return errorReply("PRINTER_NOT_FOUND", "Printer '" + name + "' not found");
}

std::vector<uint8_t> littleEndian(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::string text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// Polls `measure` until it returns `wanted` or five seconds pass; the last value seen.
template <typename T>
T settle(const std::function<T()>& measure, const T& wanted) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  T seen = measure();
  while (seen != wanted && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
    seen = measure();
  }
  return seen;
}

// Waits for the next job of `queue` after `before` and checks that it printed.
void expectPrinted(const std::string& queue, int before, const std::string& title) {
  const auto job = testing::waitForJobAfter(queue, before);
  ASSERT_TRUE(job) << "no job reached " << queue;
  EXPECT_EQ(job->title, title);
  EXPECT_EQ(job->state, 9) << "the job did not complete";
}

// A client that behaves, and must get the right answer from every method throughout.
class SteadyClient {
 public:
  explicit SteadyClient(const std::string& socketPath)
      : client_(socketPath),
        listing_(client_.call("printerlist")),
        paperSizes_(client_.call("getPaperSizes", named("Office Laser"))) {}

  MethodReply call(const std::string& method, const Value& arguments) {
    return client_.call(method, arguments, 20s);
  }

  // Calls every method and checks each answer; `moment` names the job it prints.
  void expectServed(const std::string& moment) {
    SCOPED_TRACE(moment);
    EXPECT_EQ(call("getPrinterStatus", named("Office Laser")), kOnline);
    EXPECT_EQ(call("getPaperSizes", named("Office Laser")), paperSizes_);
    EXPECT_EQ(call("printerlist", Value()), listing_);
    EXPECT_EQ(call("setDefaultPrinter", named("Office Laser")), successReply(true));
    EXPECT_EQ(call("printDocument",
                   office({{"imageBytes", smallLabel()}, {"jobName", "Steady " + moment}})),
              printed("Steady " + moment));
  }

 private:
  testing::HostClient client_;
  MethodReply listing_;
  MethodReply paperSizes_;
};

// Tests clients that go silent mid-frame, hang up mid-call or after a call, or send frames
// the host must refuse: others are served, whole calls run, each fault is noted once,
// and no descriptor stays behind.
TEST(MisbehavingClients, OthersAreServedMeanwhileAndAfterwards) {
  HostProcess host;
  SteadyClient steady(host.socketPath());
  steady.expectServed("before");
  const size_t descriptorsBefore = testing::openDescriptors(host.pid()).size();
  const int jobsBefore = testing::newestJobId("Office_Laser");

  auto silent = testing::connectRaw(host.socketPath());
  auto half = testing::callFrame(1, kChannel,
                                 encodeMethodCall({"getPrinterStatus", named("Office Laser")}));
  half.resize(half.size() / 2);
  ASSERT_TRUE(testing::sendRaw(silent.get(), half));
  steady.expectServed("beside a silent half frame");
  {
    auto large = testing::connectRaw(host.socketPath());
    auto frame = testing::callFrame(
        2, kChannel,
        encodeMethodCall({"printDocument", office({{"imageBytes", Uint8List(4 << 20, 0x42)}})}));
    frame.resize(frame.size() / 2);
    ASSERT_TRUE(testing::sendRaw(large.get(), frame));
    steady.expectServed("beside half a large frame");
  }
  {
    auto gone = testing::connectRaw(host.socketPath());
    ASSERT_TRUE(testing::sendRaw(
        gone.get(), testing::callFrame(3, kChannel,
                                       encodeMethodCall({"printDocument",
                                                         office({{"imageBytes", smallLabel()},
                                                                 {"jobName", "Caller gone"}})}))));
  }
  steady.expectServed("after a caller hung up");

  const struct {
    std::vector<uint8_t> bytes;
    std::string reason;
  } refused[] = {
      {littleEndian(kMaxFrameSize + 1),
       "a frame of 67108865 bytes is over the limit of 67108864 bytes"},
      {{'h', 'e', 'l', 'l', 'o', ' ', 'h', 'o', 's', 't', '\n'},
       "a frame of 1819043176 bytes is over the limit of 67108864 bytes"},
      {littleEndian(2), "a frame of 2 bytes is too short for its kind and id"},
      {{5, 0, 0, 0, 9, 1, 0, 0, 0}, "unknown frame kind 9"},
      {{5, 0, 0, 0, 2, 1, 0, 0, 0}, "a client may send only call frames (kind 1)"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.reason);
    const auto socket = testing::connectRaw(host.socketPath());
    ASSERT_TRUE(testing::sendRaw(socket.get(), c.bytes));
    const auto failure = testing::readRawFrame(socket.get());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, static_cast<uint8_t>(FrameKind::failure));
    EXPECT_EQ(text(failure->message), c.reason);
    EXPECT_TRUE(testing::waitForClose(socket.get()));
    EXPECT_EQ(steady.call("getPrinterStatus", named("Office Laser")), kOnline);
  }
  steady.expectServed("after the refused frames");
  silent.reset();
  steady.expectServed("after the silent client left");

  // Calls run in order of arrival, so the hung-up caller's job is spooled too.
  std::vector<std::string> titles;
  for (int after = jobsBefore; after < testing::newestJobId("Office_Laser");) {
    const auto job = testing::waitForJobAfter("Office_Laser", after);
    ASSERT_TRUE(job) << "job " << after + 1 << " did not finish";
    EXPECT_EQ(job->state, 9) << job->title;
    titles.push_back(job->title);
    after = job->id;
  }
  EXPECT_EQ(titles, (std::vector<std::string>{
                        "Steady beside a silent half frame", "Steady beside half a large frame",
                        "Caller gone", "Steady after a caller hung up",
                        "Steady after the refused frames", "Steady after the silent client left"}));

  std::vector<std::string> expected(2, "printing_host: client N hung up in the middle of a frame");
  for (const auto& c : refused)
    expected.push_back("printing_host: client N dropped: " + c.reason);
  std::sort(expected.begin(), expected.end());
  const std::function<std::vector<std::string>()> notes = [&] {
    std::istringstream log(host.standardError());
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
      lines.push_back(std::regex_replace(line, std::regex("client [0-9]+"), "client N"));
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  EXPECT_EQ(settle(notes, expected), expected);
  const std::function<size_t()> descriptors = [&] {
    return testing::openDescriptors(host.pid()).size();
  };
  EXPECT_EQ(settle(descriptors, descriptorsBefore), descriptorsBefore)
      << testing::describeDescriptors(testing::openDescriptors(host.pid()));
}

// Tests that with its address space limited, a frame the host has no room for is refused
// to its client instead of aborting the host.
TEST(MisbehavingClients, FramesBeyondTheHostsMemoryAreRefused) {
  HostProcess host;
  SteadyClient steady(host.socketPath());
  const long mapped = testing::addressSpaceKibibytes(host.pid());
  ASSERT_GT(mapped, 0);
  if (mapped > (1l << 30))
    GTEST_SKIP() << "the host maps terabytes (AddressSanitizer's shadow): no limit fits";
  // Room for a few frames of the largest size beside what the host has mapped now.
  const rlim_t room = static_cast<rlim_t>(mapped) * 1024 + 4 * rlim_t{kMaxFrameSize} + (64 << 20);
  const rlimit limit = {room, room};
  ASSERT_EQ(::prlimit(host.pid(), RLIMIT_AS, &limit, nullptr), 0);

  std::vector<UniqueFd> silent;
  std::optional<testing::RawFrame> refusal;
  auto announced = littleEndian(kMaxFrameSize);
  announced.push_back(static_cast<uint8_t>(FrameKind::call));
  for (int i = 0; i < 16 && !refusal; ++i) {
    silent.push_back(testing::connectRaw(host.socketPath()));
    ASSERT_TRUE(testing::sendRaw(silent.back().get(), announced));
    // Once a later call is answered, the host has read those bytes and sent any refusal.
    ASSERT_EQ(steady.call("getPrinterStatus", named("Office Laser")), kOnline);
    refusal = testing::readRawFrame(silent.back().get(), 20ms);
  }
  ASSERT_TRUE(refusal) << "every frame found room; the limit did not take";
  EXPECT_GT(silent.size(), 1u) << "the limit left no room for even one frame";
  EXPECT_EQ(text(refusal->message), "no memory for a frame of 67108864 bytes");
  EXPECT_TRUE(testing::waitForClose(silent.back().get()));
  silent.clear();
  steady.expectServed("after the memory ran short");
}

// Tests that another uid is refused before its call is read, even through an open socket,
// told why, and logged once, while the owner is served.
TEST(ForeignUser, IsRefusedLoggedOnceAndTheOwnerIsServed) {
  if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to act as nobody";
  testing::TemporaryFolder folder(0755);
  const std::string path = folder.file("channel.sock");
  HostProcess host({path});
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  const std::string image = folder.write("label.png", testing::markerImagePng(60, 90));
  const int jobsBefore = testing::newestJobId("Office_Laser");

  const auto stranger = testing::runProgram(
      {"/usr/bin/setpriv", "--reuid", "nobody", "--regid", "nogroup", "--clear-groups",
       testing::printctlPath(), "--socket", path, "call", "printDocument",
       R"({"imageBytes": {"$file": ")" + image + R"("}, "printerName": "Office Laser"})"});
  EXPECT_EQ(stranger.status, 3);
  EXPECT_EQ(stranger.out, "");
  EXPECT_EQ(stranger.err, "printctl: the printing host at " + path +
                              " refused: connection refused: uid 65534 may not use this host; "
                              "only uid 0 and root may\n");
  EXPECT_TRUE(host.waitForError("refused a connection from uid 65534\n"));
  SteadyClient(path).expectServed("for the owner");
  const auto job = testing::waitForJobAfter("Office_Laser", jobsBefore);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->title, "Steady for the owner");
  EXPECT_EQ(testing::newestJobId("Office_Laser"), job->id) << "the stranger's call was carried out";
  EXPECT_EQ(host.standardError(), "printing_host: refused a connection from uid 65534\n");
  EXPECT_EQ(host.standardOutput().find("65534"), std::string::npos) << host.standardOutput();
}

// Tests that a note to a standard error nobody reads costs the note, not the host.
TEST(AbandonedLog, NotesAboutClientsDoNotStopTheHost) {
  HostProcess host({.abandonedErrors = true});
  testing::HostClient steady(host.socketPath());
  const auto broken = testing::connectRaw(host.socketPath());
  ASSERT_TRUE(testing::sendRaw(broken.get(), littleEndian(2)));
  ASSERT_TRUE(testing::readRawFrame(broken.get()));
  EXPECT_EQ(steady.call("getPrinterStatus", named("Office Laser"), 10s), kOnline);
  EXPECT_EQ(host.stop(), 0);
}

// cupsd stopped until end() or the end of the scope, even when the test fails.
class CupsdStopped {
 public:
  CupsdStopped() { sandbox().stopDaemon(); }
  ~CupsdStopped() { end(); }
  CupsdStopped(const CupsdStopped&) = delete;
  CupsdStopped& operator=(const CupsdStopped&) = delete;
  void end() {
    if (!std::exchange(over_, true))
      sandbox().startDaemon();
  }

 private:
  bool over_ = false;
};

// Tests that with cupsd stopped every method answers at once as for an unreachable
// server, and that the same host and connection work again once it is back.
TEST(CupsdOutage, EveryMethodAnswersWhileCupsdIsDownAndRecovers) {
  HostProcess host;
  testing::HostClient client(host.socketPath());
  const MethodReply listing = client.call("printerlist");
  ASSERT_NE(listing, successReply(ValueList{}));
  {
    CupsdStopped outage;
    const struct {
      const char* method;
      Value arguments;
      MethodReply expected;
    } cases[] = {
        {"printerlist", Value(), successReply(ValueList{})},
        {"getPrinterStatus", named("Label Printer 4x6"), kOffline},
        {"getPaperSizes", named("Office Laser"), successReply(ValueList{})},
        // lpoptions cannot reach the server: it runs, says so, and exits with 1.
        {"setDefaultPrinter", named("Label Printer 4x6"),
         errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
        {"printDocument", office({{"imageBytes", smallLabel()}}), printerNotFound("Office Laser")},
        // No name: the application's printer, the server's default before the outage.
        {"printDocument", ValueMap{{"imageBytes", smallLabel()}}, printerNotFound("Office Laser")},
    };
    for (const auto& c : cases)
      EXPECT_EQ(client.call(c.method, c.arguments, 5s), c.expected) << c.method;
  }
  EXPECT_EQ(client.call("getPrinterStatus", named("Label Printer 4x6")), kOnline);
  EXPECT_EQ(client.call("printerlist"), listing);
  EXPECT_EQ(client.call("setDefaultPrinter", named("Label Printer 4x6")), successReply(true));
  const int before = testing::newestJobId("Label_4x6");
  EXPECT_EQ(client.call("printDocument",
                        ValueMap{{"imageBytes", smallLabel()}, {"jobName", "After the outage"}}),
            printed("After the outage"));
  expectPrinted("Label_4x6", before, "After the outage");
}

// Tests that a host started while cupsd is down looks for the default printer again later.
TEST(CupsdOutage, HostStartedDuringTheOutageFindsTheDefaultLater) {
  ASSERT_EQ(testing::runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
  CupsdStopped outage;
  HostProcess host;
  testing::HostClient client(host.socketPath());
  EXPECT_EQ(client.call("printDocument", ValueMap{{"imageBytes", smallLabel()}}),
            printerNotFound(""));
  outage.end();
  const int before = testing::newestJobId("Office_Laser");
  EXPECT_EQ(client.call("printDocument", ValueMap{{"imageBytes", smallLabel()},
                                                  {"jobName", "Default after outage"}}),
            printed("Default after outage"));
  expectPrinted("Office_Laser", before, "Default after outage");
}

// Sends the calls at once on a fresh connection; each must get its one reply, in order.
void runBatch(const std::string& socketPath,
              const std::vector<std::pair<MethodCall, MethodReply>>& calls, uint32_t firstId) {
  const auto socket = testing::connectRaw(socketPath);
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto frame = testing::callFrame(firstId + i, kChannel, encodeMethodCall(calls[i].first));
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  ASSERT_TRUE(testing::sendRaw(socket.get(), bytes));
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto& [call, expected] = calls[i];
    const auto frame = testing::readRawFrame(socket.get(), 30s);
    ASSERT_TRUE(frame) << call.method << " (call " << i << ") got no reply";
    EXPECT_EQ(frame->id, firstId + i) << call.method;
    EXPECT_EQ(frame->kind, static_cast<uint8_t>(FrameKind::reply)) << call.method;
    EXPECT_EQ(testing::decodeReply(frame->message), expected)
        << call.method << " " << describe(call.arguments);
  }
  // With no call left, the host must close the connection without another frame.
  ::shutdown(socket.get(), SHUT_WR);
  EXPECT_FALSE(testing::readRawFrame(socket.get(), 5s)) << "a call was answered twice";
  EXPECT_TRUE(testing::waitForClose(socket.get(), 5s));
}

// Tests that a thousand mixed calls each get their one right reply and leave the host with
// no child, the descriptors it had, and its memory within 10%.
TEST(Soak, ThousandMixedCallsLeaveTheHostAsItWas) {
  // AddressSanitizer's quarantine of freed memory would read as growth in a sanitized host.
  const char* options = std::getenv("ASAN_OPTIONS");
  ::setenv("ASAN_OPTIONS",
           ((options && *options ? std::string(options) + ":" : "") +
            "quarantine_size_mb=0:thread_local_quarantine_size_kb=0")
               .c_str(),
           1);
  HostProcess host;
  const pid_t pid = host.pid();
  testing::HostClient client(host.socketPath());
  const auto listing = client.call("printerlist");
  const auto officePapers = client.call("getPaperSizes", named("Office Laser"));
  const auto labelPapers = client.call("getPaperSizes", named("Label Printer 4x6"));
  ASSERT_NE(officePapers, successReply(ValueList{}));
  ASSERT_NE(labelPapers, successReply(ValueList{}));
  const int jobsBefore = testing::newestJobId("Office_Laser");
  // About 1 MiB once decoded, so a print which kept its image would show.
  const auto png = testing::markerImagePng(400, 600);
  const Uint8List label(png.begin(), png.end());
  const auto printFailed = errorReply("PRINT_FAILED", "Print operation failed to start");
  const auto invalidImage = errorReply("INVALID_ARGUMENTS", "Invalid Image Data");

  uint32_t nextId = 1;
  const auto runBatches = [&](int count, const std::string& name) {
    for (int i = 1; i <= count; ++i) {
      const std::string job = name + " " + std::to_string(i);
      const std::vector<std::pair<MethodCall, MethodReply>> calls = {
          {{"getPrinterStatus", named("Label Printer 4x6")}, kOnline},
          {{"printDocument", office({{"imageBytes", label}, {"jobName", job}})}, printed(job)},
          {{"getPaperSizes", named("Office Laser")}, officePapers},
          {{"getPrinterStatus", named("Office_Laser")}, kOffline},
          {{"printDocuments", named("Office Laser")}, notImplementedReply()},
          {{"setDefaultPrinter", named("Office Laser")}, successReply(true)},
          {{"printDocument", office({{"imageBytes", Uint8List{0x89, 'P', 'N', 'G'}}})},
           errorReply("IMAGE_INVALID", "Failed to create image")},
          {{"getPaperSizes", named("No Such Printer")}, successReply(ValueList{})},
          {{"printerlist", Value()}, listing},  // runs several tools: once a batch
          {{"printDocument", ValueMap{{"imageBytes", label}, {"printerName", "Nowhere"}}},
           printerNotFound("Nowhere")},
          {{"getPrinterStatus", ValueMap{{"printerName", int32_t{5}}}}, kNameRequired},
          {{"", Value()}, notImplementedReply()},
          {{"setDefaultPrinter", named("No Such Printer")},
           errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
          {{"printDocument", Value()}, invalidImage},
          {{"getPaperSizes", named("Label Printer 4x6")}, labelPapers},
          {{"getPaperSizes", ValueList{"Office Laser"}}, kNameRequired},
          {{"printDocument", office({{"imageBytes", label}, {"width", 0.0}})}, printFailed},
          {{"setDefaultPrinter", Value()}, kNameRequired},
          {{"printDocument", ValueMap{{"imageBytes", "not bytes"}}}, invalidImage},
          {{"printDocument", office({{"imageBytes", label}, {"copies", int32_t{0}}})}, printFailed},
      };
      runBatch(host.socketPath(), calls, nextId);
      nextId += calls.size();
    }
  };
  runBatches(5, "Warm-up");
  const std::function<size_t()> children = [pid] { return testing::childrenOf(pid).size(); };
  ASSERT_EQ(settle(children, size_t{0}), 0u) << describeChildren(testing::childrenOf(pid));
  const auto descriptorsWarm = testing::openDescriptors(pid);
  const long residentWarm = testing::residentKibibytes(pid);

  const auto started = std::chrono::steady_clock::now();
  runBatches(50, "Soak");
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  EXPECT_EQ(settle(children, size_t{0}), 0u) << describeChildren(testing::childrenOf(pid));
  const std::function<size_t()> descriptors = [pid] {
    return testing::openDescriptors(pid).size();
  };
  const size_t descriptorsAfter = settle(descriptors, descriptorsWarm.size());
  EXPECT_EQ(descriptorsAfter, descriptorsWarm.size())
      << "after the warm-up:\n"
      << testing::describeDescriptors(descriptorsWarm) << "after the soak:\n"
      << testing::describeDescriptors(testing::openDescriptors(pid));
  const long residentAfter = testing::residentKibibytes(pid);
  EXPECT_GT(residentWarm, 0);
  EXPECT_LE(residentAfter, residentWarm + residentWarm / 10);
  const auto lastJob = testing::waitForJobAfter("Office_Laser", jobsBefore + 54);
  ASSERT_TRUE(lastJob);
  EXPECT_EQ(lastJob->title, "Soak 50");
  EXPECT_EQ(testing::newestJobId("Office_Laser") - jobsBefore, 55);
  std::printf(
      "soak: 1000 calls in %.1f s; descriptors %zu, then %zu; VmRSS %ld KiB, then %ld KiB\n",
      seconds, descriptorsWarm.size(), descriptorsAfter, residentWarm, residentAfter);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
