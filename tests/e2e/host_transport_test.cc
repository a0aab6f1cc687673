// Clients that break the rules of the channel socket: each gets a clear error or is
// dropped, and printing_host goes on serving everyone else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "embedding/socket_frames.h"
#include "embedding/standard_method_codec.h"
#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::HostProcess;

const std::string kChannel = "com.tovanel.printing";
const MethodReply kLabelOnline =
    testing::successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});

std::vector<uint8_t> statusCall(const char* name) {
  return encodeMethodCall({"getPrinterStatus", ValueMap{{"printerName", name}}});
}

std::vector<uint8_t> littleEndian(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::string text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

class HostTransportTest : public ::testing::Test {
 protected:
  HostTransportTest() : host_(HostProcess::start()), bystander_(host_.socketPath()) {}
  ~HostTransportTest() override { EXPECT_EQ(host_.stop(), 0) << host_.output(); }

  // The bystander, connected before the trouble began, is still served.
  void expectOthersServed() {
    const auto outcome =
        bystander_.call("getPrinterStatus", ValueMap{{"printerName", "Label Printer 4x6"}}, 10s);
    ASSERT_TRUE(outcome.reply) << outcome.error;
    EXPECT_EQ(*outcome.reply, kLabelOnline);
    EXPECT_EQ(testing::callHost(host_.socketPath(), "getPrinterStatus",
                                ValueMap{{"printerName", "Label Printer 4x6"}}),
              kLabelOnline);
  }

  HostProcess host_;
  testing::HostClient bystander_;
};

// Tests bytes that are no frame, an oversize frame and a frame of an unknown kind: each
// client gets a failure frame saying why, then the host closes its connection.
TEST_F(HostTransportTest, BrokenFramesGetAFailureAndAreDropped) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string reason;
  } cases[] = {
      {"text",
       {'h', 'e', 'l', 'l', 'o', ' ', 'h', 'o', 's', 't', '\n'},
       "a frame of 1819043176 bytes is over the limit of 67108864 bytes"},
      {"oversize", littleEndian(kMaxFrameSize + 1),
       "a frame of 67108865 bytes is over the limit of 67108864 bytes"},
      {"too short", littleEndian(2), "a frame of 2 bytes is too short for its kind and id"},
      {"unknown kind", {5, 0, 0, 0, 9, 1, 0, 0, 0}, "unknown frame kind 9"},
      {"a reply from a client",
       {5, 0, 0, 0, 2, 1, 0, 0, 0},
       "a client may send only call frames (kind 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto socket = testing::connectRaw(host_.socketPath());
    ASSERT_TRUE(testing::sendRaw(socket.get(), c.bytes));
    const auto frame = testing::readRawFrame(socket.get());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->kind, static_cast<uint8_t>(FrameKind::failure));
    EXPECT_EQ(text(frame->message), c.reason);
    EXPECT_TRUE(testing::waitForClose(socket.get()));
    EXPECT_TRUE(host_.waitForOutput(c.reason));
    expectOthersServed();
  }
}

// Tests a client that sends half a frame and goes silent, then hangs up: nobody waits
// for it, and its going is noted.
TEST_F(HostTransportTest, HalfFrameThenSilence) {
  auto socket = testing::connectRaw(host_.socketPath());
  auto frame = testing::callFrame(1, kChannel, statusCall("Label Printer 4x6"));
  frame.resize(frame.size() / 2);
  ASSERT_TRUE(testing::sendRaw(socket.get(), frame));
  expectOthersServed();
  socket.reset();
  EXPECT_TRUE(host_.waitForOutput("hung up in the middle of a frame"));
  expectOthersServed();
}

// Tests clients that hang up with their call sent or half sent, a small call and a
// 4 MiB print job: the host answers into the void and keeps serving.
TEST_F(HostTransportTest, ClientsThatHangUpMidCall) {
  {
    auto socket = testing::connectRaw(host_.socketPath());
    ASSERT_TRUE(testing::sendRaw(socket.get(),
                                 testing::callFrame(1, kChannel, statusCall("Office Laser"))));
  }
  {
    auto socket = testing::connectRaw(host_.socketPath());
    const auto call = encodeMethodCall(
        {"printDocument", ValueMap{{"imageBytes", Uint8List(4 * 1024 * 1024, 0x42)}}});
    auto frame = testing::callFrame(2, kChannel, call);
    frame.resize(frame.size() - 1000);
    // The host may take only part of it before the connection goes.
    testing::sendRaw(socket.get(), frame);
  }
  expectOthersServed();
}

// Tests a frame whose message does not decode, and one for a channel nobody serves:
// each gets its answer and the connection goes on.
TEST_F(HostTransportTest, UndecodableCallsAndUnknownChannels) {
  auto& client = bystander_.socket();
  const auto malformed = client.call(kChannel, std::vector<uint8_t>{0x03, 0x01}, 10s);
  ASSERT_EQ(malformed.failure, SocketClient::Failure::none) << malformed.error;
  const auto envelope = decodeEnvelope(malformed.message);
  ASSERT_TRUE(envelope);
  const auto& error = std::get<ErrorEnvelope>(*envelope.value);
  EXPECT_EQ(error.code, "MALFORMED_CALL");
  EXPECT_EQ(error.message,
            "The call could not be decoded: truncated: a 32-bit number needs 4 bytes, 1 left "
            "(at byte 1)");

  const auto unknown = client.call("com.example.other", statusCall("Office Laser"), 10s);
  ASSERT_EQ(unknown.failure, SocketClient::Failure::none) << unknown.error;
  EXPECT_TRUE(unknown.message.empty());
  expectOthersServed();
}

// Tests that a user who is neither the host's nor root is refused and told so, even
// when folder and socket would let them in, and that the refusal is logged once.
TEST_F(HostTransportTest, AnotherUserIsRefused) {
  if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to act as nobody";
  testing::TemporaryFolder folder;
  ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
  const std::string path = folder.path() + "/channel.sock";
  auto host = HostProcess::start(path);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);

  const auto asNobody = testing::runProgram({"/usr/bin/setpriv", "--reuid", "nobody", "--regid",
                                             "nogroup", "--clear-groups", testing::printctlPath(),
                                             "--socket", path, "status", "Label Printer 4x6"});
  EXPECT_EQ(asNobody.status, 3);
  EXPECT_EQ(asNobody.out, "");
  EXPECT_EQ(asNobody.err, "printctl: the printing host at " + path +
                              " refused: connection refused: uid 65534 may not use this host; "
                              "only uid 0 and root may\n");
  EXPECT_TRUE(host.waitForOutput("refused a connection from uid 65534\n"));
  const std::string log = host.output();
  const std::string line = "printing_host: refused a connection from uid 65534\n";
  EXPECT_EQ(log.find(line), log.rfind(line)) << log;
  EXPECT_EQ(
      testing::callHost(path, "getPrinterStatus", ValueMap{{"printerName", "Label Printer 4x6"}}),
      kLabelOnline);
  EXPECT_EQ(host.stop(), 0);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
