// printing_host under faults: bad clients, short memory, a foreign user,
// cupsd going away, and a thousand calls.
#include <gmock/gmock.h>
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
#include "support/rows.h"

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

// Tests that silent, hung-up and refused clients are noted once while others are served in order.
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
  // What the one failure frame each gets says, and the log line after " dropped: ".
  // clang-format off
  const Row<std::vector<uint8_t>, std::string> refused[] = {
      {.name = "a byte over the limit", .in = sizeField(kMaxFrameSize + 1),
       .expect = "a frame of 67108865 bytes is over the limit of 67108864 bytes"},
      {.name = "text", .in = {'h', 'e', 'l', 'l', 'o'},
       .expect = "a frame of 1819043176 bytes is over the limit of 67108864 bytes"},
      {.name = "too short", .in = sizeField(2),
       .expect = "a frame of 2 bytes is too short for its kind and id"},
      {.name = "kind 9", .in = {5, 0, 0, 0, 9, 1, 0, 0, 0}, .expect = "unknown frame kind 9"},
      {.name = "a reply", .in = {5, 0, 0, 0, 2, 1, 0, 0, 0},
       .expect = "a client may send only call frames (kind 1)"}};
  // clang-format on
  expectRows(refused, [&host](const std::vector<uint8_t>& bytes) {
    const auto socket = connectRaw(host.socketPath());
    EXPECT_TRUE(sendRaw(socket.get(), bytes));
    const auto failure = readRawFrame(socket.get()).value_or(RawFrame{});
    EXPECT_EQ(failure.kind, 3);
    return text(failure.message);
  });
  silent.reset();
  expectServed(steady, "After the silent client left");
  EXPECT_EQ(completedTitles(jobsBefore),
            (std::vector<std::string>{"Beside a silent half frame", "Caller gone",
                                      "After a caller hung up", "After the silent client left"}));
  // Each fault noted once: a hang-up mid-frame and every refusal, nothing else.
  EXPECT_TRUE(eventually([&] { return std::ranges::count(host.standardError(), '\n') == 6; }))
      << host.standardError();
  EXPECT_NE(host.standardError().find("hung up in the middle of a frame\n"), std::string::npos);
  forEachRow(refused, [&host](const auto& row) {
    EXPECT_THAT(host.standardError(), ::testing::HasSubstr(" dropped: " + row.expect + "\n"));
  });
  EXPECT_TRUE(eventually([&] { return openDescriptors(host.pid()).size() == descriptorsBefore; }));
}

// Tests that another uid is refused before its call is read, told why and logged once.
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

// Tests that every method answers while cupsd is down, and hosts recover once it is back.
TEST(CupsdOutage, EveryMethodAnswersAndRecovers) {
  ASSERT_EQ(runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
  HostProcess host;
  HostClient client(host.socketPath());
  const MethodReply listing = client.call("printerlist");
  sandbox().stopDaemon();
  // clang-format off
  const Row<MethodCall, MethodReply> rows[] = {
      {.name = "the listing", .in = {"printerlist", Value()}, .expect = ValueList{}},
      {.name = "a status", .in = {"getPrinterStatus", named("Label Printer 4x6")},
       .expect = kOffline},
      {.name = "paper sizes", .in = {"getPaperSizes", named("Office Laser")},
       .expect = ValueList{}},
      // lpoptions cannot reach the server: it runs, says so, and exits with 1.
      {.name = "the default", .in = {"setDefaultPrinter", named("Label Printer 4x6")},
       .expect = errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
      {.name = "a print", .in = {"printDocument", office()}, .expect = notFound("Office Laser")},
      // No name: the current printer, the server's default when the host started.
      {.name = "a print on the current printer",
       .in = {"printDocument", ValueMap{{"imageBytes", Uint8List{1}}}},
       .expect = notFound("Office Laser")}};
  // clang-format on
  expectRows(rows, [&client](const MethodCall& call) {
    return client.call(call.method, call.arguments, 5s);
  });
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

// Tests that 1,000 mixed calls get their replies in order and leave no child, fd or memory behind.
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
      // clang-format off
      const Row<MethodCall, MethodReply> calls[] = {
          {.name = "a status", .in = {"getPrinterStatus", named("Label Printer 4x6")},
           .expect = kOnline},
          {.name = "a print", .in = {"printDocument", office({{"jobName", job}})},
           .expect = printed(job)},
          {.name = "paper sizes", .in = {"getPaperSizes", named("Label Printer 4x6")},
           .expect = papers},
          {.name = "no such method", .in = {"printDocuments", named("Office Laser")},
           .expect = notImplementedReply()},
          {.name = "the default", .in = {"setDefaultPrinter", named("Office Laser")},
           .expect = successReply(true)},
          {.name = "no image",
           .in = {"printDocument", office({{"imageBytes", Uint8List{0x89, 'P', 'N', 'G'}}})},
           .expect = errorReply("IMAGE_INVALID", "Failed to create image")},
          {.name = "the listing, which runs several tools", .in = {"printerlist", Value()},
           .expect = listing},
          {.name = "no such printer",
           .in = {"printDocument",
                  ValueMap{{"imageBytes", Uint8List{1}}, {"printerName", "Nowhere"}}},
           .expect = notFound("Nowhere")},
          {.name = "no such default", .in = {"setDefaultPrinter", named("No Such Printer")},
           .expect = errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
          {.name = "no copies", .in = {"printDocument", office({{"copies", int32_t{0}}})},
           .expect = kPrintFailed}};
      // clang-format on
      const auto socket = connectRaw(host.socketPath());
      std::vector<uint8_t> bytes;
      for (const auto& call : calls) {
        const auto frame = callFrame(nextId++, encodeMethodCall(call.in));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
      }
      ASSERT_TRUE(sendRaw(socket.get(), bytes));
      expectRows(calls, [&socket](const MethodCall&) {
        const auto frame = readRawFrame(socket.get(), 30s);
        return frame ? decodeReply(frame->message) : std::nullopt;
      });
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
