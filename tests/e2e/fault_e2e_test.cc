// printing_host under faults: bad clients, short memory, a foreign user, an abandoned log,
// cupsd going away, and a thousand calls.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "codec/standard_method_codec.h"
#include "messenger/socket_frames.h"
#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/process_probe.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::errorReply;
using testing::HostProcess;
using testing::kOffline;
using testing::kOnline;
using testing::named;
using testing::printed;
using testing::successReply;

const MethodReply kNameRequired = errorReply("INVALID_ARGUMENTS", "Printer name required");

Uint8List label() {
  // About 1 MiB once decoded, so that a print which kept its image would show.
  static const auto png = testing::markerImagePng(400, 600);
  return Uint8List(png.begin(), png.end());
}
// "printDocument" of the label on "Office Laser", with `more` arguments.
ValueMap office(ValueMap more) {
  more.push_back({"printerName", "Office Laser"});
  if (!findStringKey(more, "imageBytes"))
    more.push_back({"imageBytes", label()});
  return more;
}
MethodReply notFound(const std::string& name) {
  return errorReply("PRINTER_NOT_FOUND", "Printer '" + name + "' not found");
}
std::vector<uint8_t> littleEndian(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// Polls `measure` until it gives `wanted` or five seconds pass; the last value seen.
template <typename T>
T settle(const std::function<T()>& measure, const T& wanted) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  T seen = measure();
  for (; seen != wanted && std::chrono::steady_clock::now() < deadline; seen = measure())
    std::this_thread::sleep_for(10ms);
  return seen;
}

// The titles of the jobs of Office_Laser after `after`, each once it has completed.
std::vector<std::string> completedTitles(int after) {
  std::vector<std::string> titles;
  while (after < testing::newestJobId("Office_Laser")) {
    const auto job = testing::waitForJobAfter("Office_Laser", after);
    if (!job || job->state != 9)
      return titles;
    titles.push_back(job->title);
    after = job->id;
  }
  return titles;
}

// A client that behaves, and must be served by every method throughout.
class SteadyClient {
 public:
  explicit SteadyClient(const std::string& socketPath)
      : client_(socketPath), listing_(client_.call("printerlist")) {}

  MethodReply call(const std::string& method, const Value& arguments) {
    return client_.call(method, arguments, 20s);
  }
  // Calls every method and checks each answer; `moment` names the job it prints.
  void expectServed(const std::string& moment) {
    EXPECT_EQ(call("getPrinterStatus", named("Office Laser")), kOnline) << moment;
    EXPECT_EQ(call("printerlist", Value()), listing_) << moment;
    EXPECT_EQ(call("setDefaultPrinter", named("Office Laser")), successReply(true)) << moment;
    EXPECT_EQ(call("printDocument", office({{"jobName", "Steady " + moment}})),
              printed("Steady " + moment));
  }

 private:
  testing::HostClient client_;
  MethodReply listing_;
};

// Tests clients that go silent mid-frame, hang up mid-call, or send frames the host must
// refuse: others are served meanwhile, whole calls run in order, each fault is noted once
// and told to its client, and no descriptor stays behind.
TEST(MisbehavingClients, OthersAreServedMeanwhileAndAfterwards) {
  HostProcess host;
  SteadyClient steady(host.socketPath());
  steady.expectServed("before");
  const size_t descriptorsBefore = testing::openDescriptors(host.pid()).size();
  const int jobsBefore = testing::newestJobId("Office_Laser");

  auto silent = testing::connectRaw(host.socketPath());
  auto half = testing::callFrame(1, encodeMethodCall({"printDocument", office({})}));
  half.resize(half.size() / 2);
  ASSERT_TRUE(testing::sendRaw(silent.get(), half));
  steady.expectServed("beside a silent half frame");
  {
    auto gone = testing::connectRaw(host.socketPath());
    ASSERT_TRUE(testing::sendRaw(
        gone.get(),
        testing::callFrame(
            3, encodeMethodCall({"printDocument", office({{"jobName", "Caller gone"}})}))));
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
    const auto socket = testing::connectRaw(host.socketPath());
    ASSERT_TRUE(testing::sendRaw(socket.get(), c.bytes));
    const auto failure = testing::readRawFrame(socket.get());
    ASSERT_TRUE(failure) << c.reason;
    EXPECT_EQ(failure->kind, static_cast<uint8_t>(FrameKind::failure));
    EXPECT_EQ(std::string(failure->message.begin(), failure->message.end()), c.reason);
    EXPECT_TRUE(testing::waitForClose(socket.get()));
  }
  silent.reset();
  steady.expectServed("after the silent client left");

  EXPECT_EQ(completedTitles(jobsBefore),
            (std::vector<std::string>{"Steady beside a silent half frame", "Caller gone",
                                      "Steady after a caller hung up",
                                      "Steady after the silent client left"}));
  std::vector<std::string> expected = {"printing_host: client N hung up in the middle of a frame"};
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
  EXPECT_EQ(settle(descriptors, descriptorsBefore), descriptorsBefore);
}

// Tests that with its address space limited, a frame the host has no room for is refused
// to its client instead of aborting the host.
TEST(MisbehavingClients, FramesBeyondTheHostsMemoryAreRefused) {
  HostProcess host;
  SteadyClient steady(host.socketPath());
  const long mapped = testing::addressSpaceKibibytes(host.pid());
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
  EXPECT_EQ(std::string(refusal->message.begin(), refusal->message.end()),
            "no memory for a frame of 67108864 bytes");
  silent.clear();
  steady.expectServed("after the memory ran short");
}

// Tests that another uid is refused before its call is read, told why and logged once,
// while the owner is served; and that notes to a standard error nobody reads cost the
// notes, not the host.
TEST(ForeignUserAndAbandonedLog, AreRefusedAndNoted) {
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
       std::string(TOVANEL_BINARY_DIR) + "/printctl", "--socket", path, "call", "printDocument",
       R"({"imageBytes": {"$file": ")" + image + R"("}, "printerName": "Office Laser"})"});
  EXPECT_EQ(stranger.status, 3);
  EXPECT_EQ(stranger.err, "printctl: the printing host at " + path +
                              " refused: connection refused: uid 65534 may not use this host; "
                              "only uid 0 and root may\n");
  EXPECT_TRUE(host.waitForError("refused a connection from uid 65534\n"));
  SteadyClient(path).expectServed("for the owner");
  EXPECT_EQ(completedTitles(jobsBefore), std::vector<std::string>{"Steady for the owner"});
  EXPECT_EQ(host.standardError(), "printing_host: refused a connection from uid 65534\n");

  HostProcess abandoned({.abandonedErrors = true});
  testing::HostClient client(abandoned.socketPath());
  const auto broken = testing::connectRaw(abandoned.socketPath());
  ASSERT_TRUE(testing::sendRaw(broken.get(), littleEndian(2)));
  ASSERT_TRUE(testing::readRawFrame(broken.get()));
  EXPECT_EQ(client.call("getPrinterStatus", named("Office Laser"), 10s), kOnline);
  EXPECT_EQ(abandoned.stop(), 0);
}

// Tests that with cupsd stopped every method answers at once as for an unreachable server,
// that the same connection works again once it is back, and that a host started during
// the outage finds the default printer afterwards.
TEST(CupsdOutage, EveryMethodAnswersAndRecovers) {
  ASSERT_EQ(testing::runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
  HostProcess host;
  testing::HostClient client(host.socketPath());
  const MethodReply listing = client.call("printerlist");
  testing::sandbox().stopDaemon();
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
      {"printDocument", office({}), notFound("Office Laser")},
      // No name: the current printer, the server's default when the host started.
      {"printDocument", ValueMap{{"imageBytes", label()}}, notFound("Office Laser")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.call(c.method, c.arguments, 5s), c.expected) << c.method;
  {
    HostProcess startedDuringTheOutage;
    testing::HostClient late(startedDuringTheOutage.socketPath());
    EXPECT_EQ(late.call("printDocument", ValueMap{{"imageBytes", label()}}), notFound(""));
    testing::sandbox().startDaemon();
    const int before = testing::newestJobId("Office_Laser");
    EXPECT_EQ(late.call("printDocument", ValueMap{{"imageBytes", label()}, {"jobName", "Late"}}),
              printed("Late"));
    EXPECT_EQ(completedTitles(before), std::vector<std::string>{"Late"});
  }
  EXPECT_EQ(client.call("printerlist"), listing);
  EXPECT_EQ(client.call("getPrinterStatus", named("Label Printer 4x6")), kOnline);
}

// Sends the calls at once on a fresh connection; each must get its one reply, in order,
// and nothing more.
void runBatch(const std::string& socketPath,
              const std::vector<std::pair<MethodCall, MethodReply>>& calls, uint32_t firstId) {
  const auto socket = testing::connectRaw(socketPath);
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto frame = testing::callFrame(firstId + i, encodeMethodCall(calls[i].first));
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  ASSERT_TRUE(testing::sendRaw(socket.get(), bytes));
  for (size_t i = 0; i < calls.size(); ++i) {
    const auto frame = testing::readRawFrame(socket.get(), 30s);
    ASSERT_TRUE(frame) << calls[i].first.method << " (call " << i << ") got no reply";
    EXPECT_EQ(frame->id, firstId + i);
    EXPECT_EQ(testing::decodeReply(frame->message), calls[i].second) << calls[i].first.method;
  }
  ::shutdown(socket.get(), SHUT_WR);
  EXPECT_FALSE(testing::readRawFrame(socket.get(), 5s)) << "a call was answered twice";
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
  const auto papers = client.call("getPaperSizes", named("Label Printer 4x6"));
  const int jobsBefore = testing::newestJobId("Office_Laser");
  uint32_t nextId = 1;
  const auto runBatches = [&](int count, const std::string& name) {
    for (int i = 1; i <= count; ++i) {
      const std::string job = name + " " + std::to_string(i);
      const std::vector<std::pair<MethodCall, MethodReply>> calls = {
          {{"getPrinterStatus", named("Label Printer 4x6")}, kOnline},
          {{"printDocument", office({{"jobName", job}})}, printed(job)},
          {{"getPaperSizes", named("Label Printer 4x6")}, papers},
          {{"printDocuments", named("Office Laser")}, testing::notImplementedReply()},
          {{"setDefaultPrinter", named("Office Laser")}, successReply(true)},
          {{"printDocument", office({{"imageBytes", Uint8List{0x89, 'P', 'N', 'G'}}})},
           errorReply("IMAGE_INVALID", "Failed to create image")},
          {{"printerlist", Value()}, listing},  // runs several tools: once a batch
          {{"printDocument", ValueMap{{"imageBytes", label()}, {"printerName", "Nowhere"}}},
           notFound("Nowhere")},
          {{"setDefaultPrinter", named("No Such Printer")},
           errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
          {{"printDocument", ValueMap{{"imageBytes", "not bytes"}}},
           errorReply("INVALID_ARGUMENTS", "Invalid Image Data")},
          {{"printDocument", office({{"copies", int32_t{0}}})},
           errorReply("PRINT_FAILED", "Print operation failed to start")},
          {{"getPaperSizes", ValueList{"Office Laser"}}, kNameRequired},
      };
      runBatch(host.socketPath(), calls, nextId);
      nextId += calls.size();
    }
  };
  runBatches(5, "Warm-up");
  const std::function<size_t()> children = [pid] { return testing::childrenOf(pid).size(); };
  ASSERT_EQ(settle(children, size_t{0}), 0u);
  const size_t descriptorsWarm = testing::openDescriptors(pid).size();
  const long residentWarm = testing::residentKibibytes(pid);
  runBatches(80, "Soak");
  EXPECT_EQ(settle(children, size_t{0}), 0u);
  const std::function<size_t()> descriptors = [pid] {
    return testing::openDescriptors(pid).size();
  };
  EXPECT_EQ(settle(descriptors, descriptorsWarm), descriptorsWarm);
  EXPECT_LE(testing::residentKibibytes(pid), residentWarm + residentWarm / 10);
  const auto titles = completedTitles(jobsBefore);
  ASSERT_EQ(titles.size(), 85u);
  EXPECT_EQ(titles.back(), "Soak 80");
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
