// Clients that misbehave against printing_host (hung up, silent, oversize, more than its
// memory holds), a user who may not use it, and a host whose notes nobody reads: a
// steady client is served correctly throughout, each fault is noted once on standard
// error, and nothing of the faulty clients stays behind in the host.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "embedding/socket_frames.h"
#include "embedding/standard_method_codec.h"
#include "support/cups_sandbox.h"
#include "support/fault_logged_host.h"
#include "support/fault_process_probe.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::LoggedHost;
using testing::successReply;

const std::string kChannel = "com.tovanel.printing";
const MethodReply kOnline = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});

Uint8List smallLabel() {
  const auto png = testing::markerImagePng(60, 90);
  return Uint8List(png.begin(), png.end());
}

ValueMap officePrint(const std::string& jobName) {
  return ValueMap{
      {"imageBytes", smallLabel()}, {"printerName", "Office Laser"}, {"jobName", jobName}};
}

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

std::vector<uint8_t> littleEndian(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Waits until the host has exactly `count` open descriptors; the last count seen.
size_t waitForDescriptorCount(pid_t pid, size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  size_t seen = testing::openDescriptors(pid).size();
  while (seen != count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
    seen = testing::openDescriptors(pid).size();
  }
  return seen;
}

// The client that behaves: one connection, opened before the trouble, that must get the
// right answer from all five methods whatever the others do.
class SteadyClient {
 public:
  explicit SteadyClient(const std::string& socketPath) : client_(socketPath) {
    listing_ = call("printerlist", Value());
    paperSizes_ = call("getPaperSizes", ValueMap{{"printerName", "Office Laser"}});
  }

  MethodReply call(const std::string& method, const Value& arguments) {
    const auto outcome = client_.call(method, arguments, 20s);
    if (!outcome.reply) {
      ADD_FAILURE() << method << " got no reply: " << outcome.error;
      return testing::errorReply("NO_REPLY", outcome.error);
    }
    return *outcome.reply;
  }

  // Calls every method and checks each answer; `moment` names the job it prints.
  void expectServed(const std::string& moment) {
    SCOPED_TRACE(moment);
    const ValueMap office{{"printerName", "Office Laser"}};
    EXPECT_EQ(call("getPrinterStatus", office), kOnline);
    EXPECT_EQ(call("getPaperSizes", office), paperSizes_);
    EXPECT_EQ(call("printerlist", Value()), listing_);
    EXPECT_EQ(call("setDefaultPrinter", office), successReply(true));
    EXPECT_EQ(call("printDocument", officePrint("Steady " + moment)), printed("Steady " + moment));
  }

 private:
  testing::HostClient client_;
  MethodReply listing_;
  MethodReply paperSizes_;
};

// Tests a client that hangs up right after sending a whole "printDocument" call, one
// that hangs up half-way through a 4 MiB call, one that sends half a frame and goes
// silent with its socket open, and one that announces a frame over the limit: the
// steady client is served meanwhile and afterwards, the whole call is still carried out
// (only its reply is lost), the half ones never are, the oversize one is told why and
// dropped, each fault is noted exactly once on standard error, and once they have all
// gone the host holds no descriptor more than before.
TEST(MisbehavingClients, OthersAreServedMeanwhileAndAfterwards) {
  testing::TemporaryFolder folder;
  LoggedHost host(folder.file("channel.sock"));
  SteadyClient steady(host.socketPath());
  steady.expectServed("before");
  const size_t descriptorsBefore = testing::openDescriptors(host.pid()).size();
  const int jobsBefore = testing::newestJobId("Office_Laser");

  auto silent = testing::connectRaw(host.socketPath());
  auto statusFrame = testing::callFrame(
      1, kChannel,
      encodeMethodCall({"getPrinterStatus", ValueMap{{"printerName", "Office Laser"}}}));
  statusFrame.resize(statusFrame.size() / 2);
  ASSERT_TRUE(testing::sendRaw(silent.get(), statusFrame));
  steady.expectServed("beside a silent half frame");

  {
    auto large = testing::connectRaw(host.socketPath());
    const auto call = encodeMethodCall(
        {"printDocument", ValueMap{{"imageBytes", Uint8List(4 * 1024 * 1024, 0x42)},
                                   {"printerName", "Office Laser"},
                                   {"jobName", "Never whole"}}});
    auto frame = testing::callFrame(2, kChannel, call);
    frame.resize(frame.size() / 2);
    ASSERT_TRUE(testing::sendRaw(large.get(), frame));
    steady.expectServed("beside half a large frame");
  }
  EXPECT_TRUE(host.waitForError("hung up in the middle of a frame"));

  {
    auto oversize = testing::connectRaw(host.socketPath());
    auto bytes = littleEndian(kMaxFrameSize + 1);
    bytes.resize(bytes.size() + 64, 0x01);
    ASSERT_TRUE(testing::sendRaw(oversize.get(), bytes));
    const auto failure = testing::readRawFrame(oversize.get());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->kind, static_cast<uint8_t>(FrameKind::failure));
    EXPECT_EQ(std::string(failure->message.begin(), failure->message.end()),
              "a frame of 67108865 bytes is over the limit of 67108864 bytes");
    EXPECT_TRUE(testing::waitForClose(oversize.get()));
  }
  steady.expectServed("after an oversize frame");

  {
    auto gone = testing::connectRaw(host.socketPath());
    ASSERT_TRUE(testing::sendRaw(
        gone.get(),
        testing::callFrame(3, kChannel,
                           encodeMethodCall({"printDocument", officePrint("Caller gone")}))));
  }
  steady.expectServed("after a caller hung up");

  // The calls were handled in order of arrival, so the hung-up caller's job is already
  // spooled: its job and the steady client's, nothing of the half frames.
  std::vector<std::string> titles;
  const int newest = testing::newestJobId("Office_Laser");
  for (int after = jobsBefore; after < newest;) {
    const auto job = testing::waitForJobAfter("Office_Laser", after);
    if (!job) {
      ADD_FAILURE() << "job " << after + 1 << " did not finish";
      break;
    }
    titles.push_back(job->title);
    EXPECT_EQ(job->state, 9) << job->title;
    after = job->id;
  }
  EXPECT_EQ(titles,
            (std::vector<std::string>{
                "Steady beside a silent half frame", "Steady beside half a large frame",
                "Steady after an oversize frame", "Caller gone", "Steady after a caller hung up"}));

  silent.reset();
  steady.expectServed("after the silent client left");
  const std::regex hungUp("printing_host: client [0-9]+ hung up in the middle of a frame");
  const std::regex dropped(
      "printing_host: client [0-9]+ dropped: a frame of 67108865 bytes is over the limit of "
      "67108864 bytes");
  const auto lines = linesOf(host.standardError());
  EXPECT_EQ(lines.size(), 3u) << host.standardError();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) { return std::regex_match(line, hungUp); }),
            2)
      << host.standardError();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) { return std::regex_match(line, dropped); }),
            1)
      << host.standardError();
  EXPECT_EQ(waitForDescriptorCount(host.pid(), descriptorsBefore), descriptorsBefore)
      << testing::describeDescriptors(testing::openDescriptors(host.pid()));
  EXPECT_EQ(host.stop(), 0) << host.standardError();
}

// Tests clients that each announce a frame of the largest size and go silent, against a
// host whose address space is limited (as ulimit -v or a service manager may do): the
// client for whose frame no room is left is told so and dropped, rather than the host
// aborting, and once the others have gone the host serves fully again.
TEST(MisbehavingClients, FramesBeyondTheHostsMemoryAreRefused) {
  testing::TemporaryFolder folder;
  LoggedHost host(folder.file("channel.sock"));
  SteadyClient steady(host.socketPath());
  // Room for a few frames of the largest size beside what the host has mapped now.
  const long mapped = testing::addressSpaceKibibytes(host.pid());
  ASSERT_GT(mapped, 0);
  if (mapped > (1l << 30))
    GTEST_SKIP() << "the host maps terabytes (AddressSanitizer's shadow): no limit fits";
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
    // The host has read those bytes, and sent any refusal, once it has answered a call
    // sent after them.
    ASSERT_EQ(steady.call("getPrinterStatus", ValueMap{{"printerName", "Office Laser"}}), kOnline);
    refusal = testing::readRawFrame(silent.back().get(), 20ms);
  }
  ASSERT_TRUE(refusal) << "every frame found room; the limit did not take";
  EXPECT_GT(silent.size(), 1u) << "the limit left no room for even one frame";
  EXPECT_EQ(refusal->kind, static_cast<uint8_t>(FrameKind::failure));
  EXPECT_EQ(std::string(refusal->message.begin(), refusal->message.end()),
            "no memory for a frame of 67108864 bytes");
  EXPECT_TRUE(testing::waitForClose(silent.back().get()));
  silent.clear();
  steady.expectServed("after the memory ran short");
  EXPECT_EQ(host.stop(), 0) << host.standardError();
}

// Tests that a connection from another uid is refused before its call is read, even
// when folder and socket would let the user in: printctl is told why, its print never
// reaches CUPS, the refusal is the one line on the host's standard error, and the
// host's own user is served before and after.
TEST(ForeignUser, IsRefusedLoggedOnceAndTheOwnerIsServed) {
  if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to act as nobody";
  testing::TemporaryFolder folder(0755);
  const std::string path = folder.file("channel.sock");
  LoggedHost host(path);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  SteadyClient owner(path);
  const std::string image = folder.write("label.png", testing::markerImagePng(60, 90));
  const int jobsBefore = testing::newestJobId("Office_Laser");

  const auto stranger = testing::runProgram(
      {"/usr/bin/setpriv", "--reuid", "nobody", "--regid", "nogroup", "--clear-groups",
       testing::printctlPath(), "--socket", path, "call", "printDocument",
       R"({"imageBytes": {"$file": ")" + image +
           R"("}, "printerName": "Office Laser", "jobName": "From a stranger"})"});
  EXPECT_EQ(stranger.status, 3);
  EXPECT_EQ(stranger.out, "");
  EXPECT_EQ(stranger.err, "printctl: the printing host at " + path +
                              " refused: connection refused: uid 65534 may not use this host; "
                              "only uid 0 and root may\n");
  EXPECT_TRUE(host.waitForError("refused a connection from uid 65534\n"));

  owner.expectServed("for the owner");
  EXPECT_EQ(testing::callHost(path, "getPrinterStatus", ValueMap{{"printerName", "Office Laser"}}),
            kOnline);
  const auto job = testing::waitForJobAfter("Office_Laser", jobsBefore);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->title, "Steady for the owner");
  EXPECT_EQ(testing::newestJobId("Office_Laser"), job->id) << "the stranger's call was carried out";
  EXPECT_EQ(host.standardError(), "printing_host: refused a connection from uid 65534\n");
  EXPECT_EQ(host.standardOutput().find("65534"), std::string::npos) << host.standardOutput();
  EXPECT_EQ(host.stop(), 0) << host.standardError();
}

// Tests a host whose standard error nobody reads any more (the terminal or supervisor
// that read it has gone): noting a broken frame or a refused user there must cost the
// note, not the host, which serves on and still stops cleanly.
TEST(AbandonedLog, NotesAboutClientsDoNotStopTheHost) {
  testing::TemporaryFolder folder(0755);
  const std::string path = folder.file("channel.sock");
  LoggedHost host(path, LoggedHost::ErrorStream::abandoned);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  testing::HostClient steady(path);

  const auto broken = testing::connectRaw(path);
  ASSERT_TRUE(testing::sendRaw(broken.get(), littleEndian(2)));
  const auto failure = testing::readRawFrame(broken.get());
  ASSERT_TRUE(failure);
  EXPECT_EQ(std::string(failure->message.begin(), failure->message.end()),
            "a frame of 2 bytes is too short for its kind and id");
  const auto first =
      steady.call("getPrinterStatus", ValueMap{{"printerName", "Office Laser"}}, 10s);
  ASSERT_TRUE(first.reply) << first.error;
  EXPECT_EQ(*first.reply, kOnline);

  if (::geteuid() == 0 && std::filesystem::exists("/usr/bin/setpriv")) {
    const auto stranger = testing::runProgram({"/usr/bin/setpriv", "--reuid", "nobody", "--regid",
                                               "nogroup", "--clear-groups", testing::printctlPath(),
                                               "--socket", path, "status", "Office Laser"});
    EXPECT_EQ(stranger.status, 3) << stranger.err;
  }
  const auto second =
      steady.call("getPrinterStatus", ValueMap{{"printerName", "Office Laser"}}, 10s);
  ASSERT_TRUE(second.reply) << second.error;
  EXPECT_EQ(*second.reply, kOnline);
  EXPECT_EQ(host.stop(), 0);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
