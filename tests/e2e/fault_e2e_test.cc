// printing_host under faults: bad clients, short memory, a foreign user,
// cupsd going away, and a thousand calls.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "codec/standard_method_codec.h"
#include "messenger/socket_frames.h"
#include "support/cups_sandbox.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/process_probe.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace testing;
using namespace std::chrono_literals;

// "printDocument" on "Office Laser" of an image of about 1 MiB once decoded (a print that
// kept its image would show), with `more` arguments.
ValueMap office(ValueMap more = {}) {
  static const auto png = markerImagePng(400, 600);
  more.push_back({"printerName", "Office Laser"});
  if (!findStringKey(more, "imageBytes"))
    more.push_back({"imageBytes", Uint8List(png.begin(), png.end())});
  return more;
}
MethodReply notFound(const std::string& name) {
  return errorReply("PRINTER_NOT_FOUND", "Printer '" + name + "' not found");
}
std::vector<uint8_t> sizeField(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}
std::string text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}
// The titles of the jobs of Office_Laser after `after`, each once it has completed.
std::vector<std::string> completedTitles(int after) {
  std::vector<std::string> titles;
  for (std::optional<SandboxJob> job; after < newestJobId("Office_Laser"); after = job->id) {
    job = waitForJobAfter("Office_Laser", after);
    if (!job || job->state != 9)
      break;
    titles.push_back(job->title);
  }
  return titles;
}
// Checks that a client who behaves is served by every method; `moment` names its job.
void expectServed(HostClient& client, const std::string& moment) {
  EXPECT_EQ(client.call("getPrinterStatus", named("Office Laser")), kOnline) << moment;
  EXPECT_EQ(client.call("setDefaultPrinter", named("Office Laser")), successReply(true));
  EXPECT_EQ(client.call("printDocument", office({{"jobName", moment}}), 20s), printed(moment));
}

// Tests clients that go silent mid-frame, hang up mid-call, or send frames the host must
// refuse: another is served meanwhile, whole calls run in order, each fault is noted
// once and told to its client, and no descriptor stays behind.
TEST(MisbehavingClients, OthersAreServedMeanwhileAndAfterwards) {
  HostProcess host;
  HostClient steady(host.socketPath());
  expectServed(steady, "Before");
  const size_t descriptorsBefore = openDescriptors(host.pid()).size();
  const int jobsBefore = newestJobId("Office_Laser");
  auto silent = connectRaw(host.socketPath());
  auto half = callFrame(1, encodeMethodCall({"printDocument", office()}));
  half.resize(half.size() / 2);
  ASSERT_TRUE(sendRaw(silent.get(), half));
  expectServed(steady, "Beside a silent half frame");
  ASSERT_TRUE(sendRaw(
      connectRaw(host.socketPath()).get(),
      callFrame(3, encodeMethodCall({"printDocument", office({{"jobName", "Caller gone"}})}))));
  expectServed(steady, "After a caller hung up");
  const std::pair<std::vector<uint8_t>, std::string> refused[] = {
      {sizeField(kMaxFrameSize + 1),
       "a frame of 67108865 bytes is over the limit of 67108864 bytes"},
      {{'h', 'e', 'l', 'l', 'o'},
       "a frame of 1819043176 bytes is over the limit of 67108864 bytes"},
      {sizeField(2), "a frame of 2 bytes is too short for its kind and id"},
      {{5, 0, 0, 0, 9, 1, 0, 0, 0}, "unknown frame kind 9"},
      {{5, 0, 0, 0, 2, 1, 0, 0, 0}, "a client may send only call frames (kind 1)"},
  };
  for (const auto& [bytes, reason] : refused) {
    const auto socket = connectRaw(host.socketPath());
    ASSERT_TRUE(sendRaw(socket.get(), bytes));
    const auto failure = readRawFrame(socket.get());
    EXPECT_TRUE(failure && failure->kind == 3 && text(failure->message) == reason) << reason;
  }
  silent.reset();
  expectServed(steady, "After the silent client left");
  EXPECT_EQ(completedTitles(jobsBefore),
            (std::vector<std::string>{"Beside a silent half frame", "Caller gone",
                                      "After a caller hung up", "After the silent client left"}));
  // Each fault noted once: a hang-up mid-frame and every refusal, nothing else.
  EXPECT_TRUE(eventually([&] { return std::ranges::count(host.standardError(), '\n') == 6; }))
      << host.standardError();
  EXPECT_NE(host.standardError().find("hung up in the middle of a frame\n"), std::string::npos);
  for (const auto& [bytes, reason] : refused)
    EXPECT_NE(host.standardError().find(" dropped: " + reason + "\n"), std::string::npos);
  EXPECT_TRUE(eventually([&] { return openDescriptors(host.pid()).size() == descriptorsBefore; }));
}

// Tests that a frame the host has no memory for, its address space limited, is refused to
// its client instead of aborting the host.
TEST(MisbehavingClients, FramesBeyondTheHostsMemoryAreRefused) {
  HostProcess host;
  HostClient steady(host.socketPath());
  const long mapped = statusKibibytes(host.pid(), "VmSize");
  if (mapped > (1l << 30))
    GTEST_SKIP() << "the host maps terabytes (AddressSanitizer's shadow): no limit fits";
  const rlim_t room = static_cast<rlim_t>(mapped) * 1024 + 4 * rlim_t{kMaxFrameSize} + (64 << 20);
  const rlimit limit = {room, room};
  ASSERT_EQ(::prlimit(host.pid(), RLIMIT_AS, &limit, nullptr), 0);
  std::vector<UniqueFd> silent;
  std::optional<RawFrame> refusal;
  while (!refusal && silent.size() < 16) {
    silent.push_back(connectRaw(host.socketPath()));
    ASSERT_TRUE(sendRaw(silent.back().get(), sizeField(kMaxFrameSize)));
    // Once a later call is answered, the host has read those bytes and sent any refusal.
    ASSERT_EQ(steady.call("getPrinterStatus", named("Office Laser")), kOnline);
    refusal = readRawFrame(silent.back().get(), 20ms);
  }
  EXPECT_TRUE(refusal && silent.size() > 1 &&
              text(refusal->message) == "no memory for a frame of 67108864 bytes");
  silent.clear();
  expectServed(steady, "After the memory ran short");
}

// Tests that another uid is refused before its call is read, told why and logged once,
// while the owner is served.
TEST(ForeignUser, IsRefusedAndNoted) {
  if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to act as nobody";
  TemporaryFolder folder(0755);
  const std::string path = folder.file("channel.sock");
  HostProcess host(path);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  const int jobsBefore = newestJobId("Office_Laser");
  const auto stranger = runProgram(
      {"/usr/bin/setpriv", "--reuid", "nobody", "--regid", "nogroup", "--clear-groups",
       std::string(TOVANEL_BINARY_DIR) + "/printctl", "--socket", path, "call", "printDocument",
       R"({"imageBytes": {"$bytes": "AQL/"}, "printerName": "Office Laser"})"});
  EXPECT_EQ(stranger.status, 3);
  EXPECT_EQ(stranger.err, "printctl: the printing host at " + path +
                              " refused: connection refused: uid 65534 may not use this host; "
                              "only uid 0 and root may\n");
  EXPECT_TRUE(host.waitForError("refused a connection from uid 65534\n"));
  HostClient owner(path);
  expectServed(owner, "For the owner");
  EXPECT_EQ(completedTitles(jobsBefore), std::vector<std::string>{"For the owner"});
  EXPECT_EQ(host.standardError(), "printing_host: refused a connection from uid 65534\n");
}

// Tests that with cupsd stopped every method answers at once as for an unreachable server,
// that the same connection works again once it is back, and that a host started during
// the outage finds the default printer afterwards.
TEST(CupsdOutage, EveryMethodAnswersAndRecovers) {
  ASSERT_EQ(runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
  HostProcess host;
  HostClient client(host.socketPath());
  const MethodReply listing = client.call("printerlist");
  sandbox().stopDaemon();
  const std::tuple<const char*, Value, MethodReply> cases[] = {
      {"printerlist", Value(), successReply(ValueList{})},
      {"getPrinterStatus", named("Label Printer 4x6"), kOffline},
      {"getPaperSizes", named("Office Laser"), successReply(ValueList{})},
      // lpoptions cannot reach the server: it runs, says so, and exits with 1.
      {"setDefaultPrinter", named("Label Printer 4x6"),
       errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
      {"printDocument", office(), notFound("Office Laser")},
      // No name: the current printer, the server's default when the host started.
      {"printDocument", ValueMap{{"imageBytes", Uint8List{1}}}, notFound("Office Laser")},
  };
  for (const auto& [method, arguments, expected] : cases)
    EXPECT_EQ(client.call(method, arguments, 5s), expected) << method;
  {
    HostProcess startedDuringTheOutage;
    HostClient late(startedDuringTheOutage.socketPath());
    EXPECT_EQ(late.call("printDocument", ValueMap{{"imageBytes", Uint8List{1}}}), notFound(""));
    sandbox().startDaemon();
    const int before = newestJobId("Office_Laser");
    ValueMap unnamed = office({{"jobName", "Late"}});
    unnamed.erase(unnamed.begin() + 1);  // no printer name
    EXPECT_EQ(late.call("printDocument", unnamed), printed("Late"));
    EXPECT_EQ(completedTitles(before), std::vector<std::string>{"Late"});
  }
  EXPECT_EQ(client.call("printerlist"), listing);
}

// Tests that a thousand mixed calls, sent in batches without waiting, each get their one
// right reply in order, and leave the host with no child, the descriptors it had, and its
// memory within 10%.
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
  HostClient client(host.socketPath());
  const auto listing = client.call("printerlist");
  const auto papers = client.call("getPaperSizes", named("Label Printer 4x6"));
  const int jobsBefore = newestJobId("Office_Laser");
  uint32_t nextId = 1;
  const auto runBatches = [&](int count, const std::string& name) {
    for (int i = 1; i <= count; ++i) {
      const std::string job = name + " " + std::to_string(i);
      const std::pair<MethodCall, MethodReply> calls[] = {
          {{"getPrinterStatus", named("Label Printer 4x6")}, kOnline},
          {{"printDocument", office({{"jobName", job}})}, printed(job)},
          {{"getPaperSizes", named("Label Printer 4x6")}, papers},
          {{"printDocuments", named("Office Laser")}, notImplementedReply()},
          {{"setDefaultPrinter", named("Office Laser")}, successReply(true)},
          {{"printDocument", office({{"imageBytes", Uint8List{0x89, 'P', 'N', 'G'}}})},
           errorReply("IMAGE_INVALID", "Failed to create image")},
          {{"printerlist", Value()}, listing},  // runs several tools: once a batch
          {{"printDocument", ValueMap{{"imageBytes", Uint8List{1}}, {"printerName", "Nowhere"}}},
           notFound("Nowhere")},
          {{"setDefaultPrinter", named("No Such Printer")},
           errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
          {{"printDocument", office({{"copies", int32_t{0}}})}, kPrintFailed},
      };
      const auto socket = connectRaw(host.socketPath());
      std::vector<uint8_t> bytes;
      for (const auto& [call, reply] : calls) {
        const auto frame = callFrame(nextId++, encodeMethodCall(call));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
      }
      ASSERT_TRUE(sendRaw(socket.get(), bytes));
      for (const auto& [call, reply] : calls) {
        const auto frame = readRawFrame(socket.get(), 30s);
        ASSERT_TRUE(frame) << call.method << " got no reply";
        EXPECT_EQ(decodeReply(frame->message), reply) << call.method;
      }
      ::shutdown(socket.get(), SHUT_WR);
      EXPECT_FALSE(readRawFrame(socket.get(), 5s)) << "a call was answered twice";
    }
  };
  runBatches(5, "Warm-up");
  const auto noChildren = [pid] { return childrenOf(pid).empty(); };
  ASSERT_TRUE(eventually(noChildren));
  const size_t descriptorsWarm = openDescriptors(pid).size();
  const long residentWarm = statusKibibytes(pid, "VmRSS");
  runBatches(95, "Soak");
  EXPECT_TRUE(eventually(noChildren));
  EXPECT_TRUE(eventually([&] { return openDescriptors(pid).size() == descriptorsWarm; }));
  EXPECT_LE(statusKibibytes(pid, "VmRSS"), residentWarm + residentWarm / 10);
  const auto titles = completedTitles(jobsBefore);
  EXPECT_TRUE(titles.size() == 100 && titles.back() == "Soak 95") << titles.size();
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
