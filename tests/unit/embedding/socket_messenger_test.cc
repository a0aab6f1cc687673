// The socket messenger in this process, on a loop of its own thread.
#include "embedding/socket_messenger.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <thread>

#include "embedding/socket_client.h"
#include "embedding/socket_frames.h"
#include "support/host_client.h"
#include "support/host_process.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::TemporaryFolder;

std::vector<uint8_t> text(const std::string& value) {
  return {value.begin(), value.end()};
}

std::string text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// A messenger serving a temporary socket; handlers are set before start().
class MessengerTest : public ::testing::Test {
 protected:
  MessengerTest() {
    auto listener =
        SocketListener::claim(folder_.path() + "/channel.sock", SocketListener::Folder::asFound);
    if (!listener)
      throw std::runtime_error(listener.error);
    messenger_ = std::make_unique<SocketMessenger>(std::move(*listener.value), loop_,
                                                   [this](const std::string& line) {
                                                     std::lock_guard lock(mutex_);
                                                     log_.push_back(line);
                                                   });
  }
  ~MessengerTest() override {
    loop_.stop();
    if (thread_.joinable())
      thread_.join();
  }

  void start() {
    thread_ = std::thread([this] { loop_.run(RunLoop::Signals::leaveAlone); });
  }
  const std::string& path() const { return messenger_->path(); }
  SocketClient connect() {
    auto connected = SocketClient::connect(path());
    if (!connected.client)
      throw std::runtime_error(connected.error);
    return std::move(*connected.client);
  }
  std::vector<std::string> log() {
    std::lock_guard lock(mutex_);
    return log_;
  }
  // Records each message's text, in the order handled.
  void recordOn(const std::string& channel) {
    messenger_->setMessageHandler(channel,
                                  [this](std::span<const uint8_t> message, BinaryReply reply) {
                                    const std::string said(message.begin(), message.end());
                                    {
                                      std::lock_guard lock(mutex_);
                                      handled_.push_back(said);
                                    }
                                    if (said == "slow")
                                      std::this_thread::sleep_for(300ms);
                                    reply(text("re " + said));
                                  });
  }
  std::vector<std::string> handled() {
    std::lock_guard lock(mutex_);
    return handled_;
  }

  TemporaryFolder folder_;
  RunLoop loop_;
  std::unique_ptr<SocketMessenger> messenger_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> log_;
  std::vector<std::string> handled_;
};

// Tests that a call arriving from a second client while the first one's call runs is
// handled after it, one at a time, and that each reply reaches its own client.
TEST_F(MessengerTest, CallsFromAllClientsAreHandledInArrivalOrder) {
  recordOn("test");
  start();
  auto slowClient = connect();
  auto fastClient = connect();
  SocketClient::Reply slowReply;
  std::thread slow([&] { slowReply = slowClient.call("test", text("slow"), 10s); });
  while (handled().empty())
    std::this_thread::sleep_for(1ms);
  const auto fastReply = fastClient.call("test", text("fast"), 10s);
  slow.join();
  EXPECT_EQ(text(slowReply.message), "re slow");
  EXPECT_EQ(text(fastReply.message), "re fast");
  EXPECT_EQ(handled(), (std::vector<std::string>{"slow", "fast"}));
}

// Tests the empty reply for a channel without handler, a handler that never answers and
// one that throws, and that only the first of two answers is sent.
TEST_F(MessengerTest, EveryCallGetsExactlyOneReply) {
  messenger_->setMessageHandler("silent", [](std::span<const uint8_t>, BinaryReply) {});
  messenger_->setMessageHandler("twice", [](std::span<const uint8_t>, BinaryReply reply) {
    reply(text("first"));
    reply(text("second"));
  });
  messenger_->setMessageHandler("throws", [](std::span<const uint8_t>, BinaryReply) {
    throw std::runtime_error("broken handler");
  });
  recordOn("test");
  start();
  auto client = connect();
  const struct {
    const char* channel;
    std::string reply;
  } cases[] = {
      {"nobody", ""}, {"silent", ""}, {"twice", "first"}, {"throws", ""}, {"test", "re x"}};
  for (const auto& c : cases) {
    const auto reply = client.call(c.channel, text("x"), 10s);
    EXPECT_EQ(reply.failure, SocketClient::Failure::none) << c.channel << ": " << reply.error;
    EXPECT_EQ(text(reply.message), c.reply) << c.channel;
  }
  const auto lines = log();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "the handler of throws failed: broken handler");
}

// Tests that a client which sends calls but never reads its large replies does not hold
// up another client, and still gets every reply once it reads.
TEST_F(MessengerTest, SlowReaderDoesNotBlockOthers) {
  const std::vector<uint8_t> big(256 * 1024, 0x5a);
  messenger_->setMessageHandler(
      "big", [&big](std::span<const uint8_t>, BinaryReply reply) { reply(big); });
  recordOn("test");
  start();
  const auto sluggish = testing::connectRaw(path());
  constexpr uint32_t kCalls = 64;  // 16 MiB of replies, far more than a socket buffer
  for (uint32_t id = 1; id <= kCalls; ++id)
    ASSERT_TRUE(testing::sendRaw(sluggish.get(), testing::callFrame(id, "big", {})));

  auto other = connect();
  const auto reply = other.call("test", text("meanwhile"), 10s);
  EXPECT_EQ(text(reply.message), "re meanwhile") << reply.error;

  for (uint32_t id = 1; id <= kCalls; ++id) {
    const auto frame = testing::readRawFrame(sluggish.get());
    ASSERT_TRUE(frame) << id;
    EXPECT_EQ(frame->id, id);
    EXPECT_EQ(frame->message, big);
  }
}

// Tests that a reply too large for a frame ends the connection with a failure frame
// instead of sending a frame the client must refuse.
TEST_F(MessengerTest, ReplyOverTheFrameLimitFailsTheConnection) {
  messenger_->setMessageHandler("huge", [](std::span<const uint8_t>, BinaryReply reply) {
    reply(std::vector<uint8_t>(kMaxFrameSize, 1));
  });
  start();
  auto client = connect();
  const auto reply = client.call("huge", {}, 30s);
  EXPECT_EQ(reply.failure, SocketClient::Failure::refused);
  EXPECT_NE(reply.error.find("over the frame limit"), std::string::npos) << reply.error;
}

}  // namespace
}  // namespace tovanel
