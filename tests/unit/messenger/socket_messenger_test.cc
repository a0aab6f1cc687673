// The socket messenger in this process, on a loop of its own thread.
#include "messenger/socket_messenger.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <thread>

#include "messenger/socket_client.h"
#include "messenger/socket_frames.h"
#include "support/host_client.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::string text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

const std::vector<uint8_t> kBig(256 * 1024, 0x5a);

// A messenger serving a temporary socket, with a handler of each kind.
class MessengerTest : public ::testing::Test {
 protected:
  MessengerTest() {
    auto listener =
        SocketListener::claim(folder_.file("channel.sock"), SocketListener::Folder::asFound);
    if (!listener)
      throw std::runtime_error(listener.error);
    messenger_ = std::make_unique<SocketMessenger>(
        std::move(*listener.value), [this](const std::string& line) { note(log_, line); });
    loop_.addSource(*messenger_);
    // "test" notes each message and answers "re " and it, after a while for "slow".
    handle("test", [this](std::span<const uint8_t> message, BinaryReply reply) {
      const std::string said(message.begin(), message.end());
      note(handled_, said);
      if (said == "slow")
        std::this_thread::sleep_for(300ms);
      reply(bytes("re " + said));
    });
    handle("silent", [](std::span<const uint8_t>, BinaryReply) {});
    handle("twice", [](std::span<const uint8_t>, BinaryReply reply) {
      reply(bytes("first"));
      reply(bytes("second"));
    });
    handle("throws", [](std::span<const uint8_t>, BinaryReply) -> void {
      throw std::runtime_error("broken handler");
    });
    handle("big", [](std::span<const uint8_t>, BinaryReply reply) { reply(kBig); });
    handle("huge", [](std::span<const uint8_t>, BinaryReply reply) {
      reply(std::vector<uint8_t>(kMaxFrameSize, 1));
    });
    thread_ = std::thread([this] { loop_.run(RunLoop::Signals::leaveAlone); });
  }
  ~MessengerTest() override {
    loop_.stop();
    thread_.join();
  }

  void handle(const std::string& channel, BinaryMessageHandler handler) {
    messenger_->setMessageHandler(channel, std::move(handler));
  }
  void note(std::vector<std::string>& lines, const std::string& line) {
    std::lock_guard lock(mutex_);
    lines.push_back(line);
  }
  std::vector<std::string> read(const std::vector<std::string>& lines) {
    std::lock_guard lock(mutex_);
    return lines;
  }
  SocketClient connect() {
    auto connected = SocketClient::connect(messenger_->path());
    if (!connected.client)
      throw std::runtime_error(connected.error);
    return std::move(*connected.client);
  }

  testing::TemporaryFolder folder_;
  RunLoop loop_;
  std::unique_ptr<SocketMessenger> messenger_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> log_;
  std::vector<std::string> handled_;
};

// Tests that a second client's call arriving while the first one's runs is handled after
// it, and that each reply reaches its own client.
TEST_F(MessengerTest, CallsFromAllClientsAreHandledInArrivalOrder) {
  auto slowClient = connect();
  auto fastClient = connect();
  SocketClient::Reply slowReply;
  std::thread slow([&] { slowReply = slowClient.call("test", bytes("slow"), 10s); });
  while (read(handled_).empty())
    std::this_thread::sleep_for(1ms);
  const auto fastReply = fastClient.call("test", bytes("fast"), 10s);
  slow.join();
  EXPECT_EQ(text(slowReply.message), "re slow");
  EXPECT_EQ(text(fastReply.message), "re fast");
  EXPECT_EQ(read(handled_), (std::vector<std::string>{"slow", "fast"}));
}

// Tests the empty reply for a channel without handler, a handler that never answers and
// one that throws (noted once), and that only the first of two answers is sent.
TEST_F(MessengerTest, EveryCallGetsExactlyOneReply) {
  auto client = connect();
  for (const auto& [channel, expected] : {std::pair{"nobody", ""},
                                          {"silent", ""},
                                          {"twice", "first"},
                                          {"throws", ""},
                                          {"test", "re x"}}) {
    const auto reply = client.call(channel, bytes("x"), 10s);
    EXPECT_EQ(reply.failure, SocketClient::Failure::none) << channel << ": " << reply.error;
    EXPECT_EQ(text(reply.message), expected) << channel;
  }
  EXPECT_EQ(read(log_), std::vector<std::string>{"the handler of throws failed: broken handler"});
}

// Tests that a client which never reads its large replies holds up no other client, and
// still gets every reply once it reads.
TEST_F(MessengerTest, SlowReaderDoesNotBlockOthers) {
  const auto sluggish = testing::connectRaw(messenger_->path());
  constexpr uint32_t kCalls = 64;  // 16 MiB of replies, far more than a socket buffer
  for (uint32_t id = 1; id <= kCalls; ++id)
    ASSERT_TRUE(testing::sendRaw(sluggish.get(), testing::callFrame(id, "big", {})));
  const auto reply = connect().call("test", bytes("meanwhile"), 10s);
  EXPECT_EQ(text(reply.message), "re meanwhile") << reply.error;
  for (uint32_t id = 1; id <= kCalls; ++id) {
    const auto frame = testing::readRawFrame(sluggish.get());
    ASSERT_TRUE(frame) << id;
    EXPECT_EQ(frame->id, id);
    EXPECT_EQ(frame->message, kBig);
  }
}

// Tests that a reply too large for a frame ends the connection with a failure frame
// instead of a frame the client must refuse.
TEST_F(MessengerTest, ReplyOverTheFrameLimitFailsTheConnection) {
  const auto reply = connect().call("huge", {}, 30s);
  EXPECT_EQ(reply.failure, SocketClient::Failure::refused);
  EXPECT_NE(reply.error.find("over the frame limit"), std::string::npos) << reply.error;
}

}  // namespace
}  // namespace tovanel
