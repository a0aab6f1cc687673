#include "messenger/socket_messenger.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "messenger/socket_frames.h"

namespace tovanel {
namespace {

constexpr size_t kMaxClients = 128;
constexpr size_t kMaxFramesPerRead = 64;
// A client with this much unanswered or unread stays unread until it catches up.
constexpr size_t kMaxQueuedCallsPerClient = 1024;
constexpr size_t kMaxPendingOutputPerClient = kMaxFrameSize;

std::string clientName(uint64_t id) {
  return "client " + std::to_string(id);
}

std::vector<uint8_t> bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

}  // namespace

// Sends the first answer to a call; a call left unanswered is answered with an empty
// reply when the last copy of its BinaryReply goes.
class SocketMessenger::PendingReply {
 public:
  PendingReply(SocketMessenger& messenger, uint64_t client, uint32_t frameId)
      : messenger_(messenger), client_(client), frameId_(frameId) {}
  PendingReply(const PendingReply&) = delete;
  PendingReply& operator=(const PendingReply&) = delete;
  ~PendingReply() { answer({}); }

  void answer(std::vector<uint8_t> reply) {
    if (answered_)
      return;
    answered_ = true;
    messenger_.sendReply(client_, frameId_, std::move(reply));
  }

 private:
  SocketMessenger& messenger_;
  uint64_t client_;
  uint32_t frameId_;
  bool answered_ = false;
};

SocketMessenger::SocketMessenger(SocketListener listener,
                                 std::function<void(const std::string&)> log)
    : listener_(std::move(listener)), log_(std::move(log)) {}

void SocketMessenger::setMessageHandler(const std::string& channel, BinaryMessageHandler handler) {
  if (handler)
    handlers_[channel] = std::move(handler);
  else
    handlers_.erase(channel);
}

void SocketMessenger::prepare(std::vector<pollfd>& descriptors) {
  const bool roomForMore = clients_.size() < kMaxClients;
  descriptors.push_back({roomForMore ? listener_.fd() : -1, POLLIN, 0});
  polled_.clear();
  for (const auto& [id, client] : clients_) {
    short events = 0;
    if (client->reading && client->queuedCalls < kMaxQueuedCallsPerClient &&
        client->connection.pendingOutput() < kMaxPendingOutputPerClient) {
      events |= POLLIN;
    }
    if (client->connection.pendingOutput() > 0)
      events |= POLLOUT;
    descriptors.push_back({events ? client->connection.fd() : -1, events, 0});
    polled_.push_back(id);
  }
}

void SocketMessenger::dispatch(std::span<const pollfd> descriptors,
                               const std::function<bool()>& stopping) {
  if (descriptors[0].revents & POLLIN)
    acceptClients();
  for (size_t i = 0; i < polled_.size(); ++i) {
    const short revents = descriptors[i + 1].revents;
    const auto found = clients_.find(polled_[i]);
    if (!revents || found == clients_.end())
      continue;
    Client& client = *found->second;
    if ((revents & POLLOUT) && !client.connection.flush()) {
      client.broken = true;
      continue;
    }
    // Gone for good, with nothing left to read: poll would report it every round.
    if ((revents & (POLLHUP | POLLERR)) && !client.reading) {
      client.broken = true;
      continue;
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && client.reading)
      readFrom(found->first, client);
  }
  handleCalls(stopping);
  closeFinishedClients();
}

void SocketMessenger::acceptClients() {
  while (clients_.size() < kMaxClients) {
    UniqueFd socket(::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!socket.valid()) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        log_(std::string("cannot accept a connection: ") + std::strerror(errno));
      return;
    }
    const auto uid = peerUid(socket.get());
    if (!uid || !peerAllowed(*uid)) {
      const std::string who = uid ? "uid " + std::to_string(*uid) : "an unknown user";
      const std::string reason = "connection refused: " + who +
                                 " may not use this host; only uid " + std::to_string(::geteuid()) +
                                 " and root may";
      log_("refused a connection from " + who);
      const auto prefix = framePrefix(FrameKind::failure, 0, reason.size());
      std::vector<uint8_t> frame = prefix;
      frame.insert(frame.end(), reason.begin(), reason.end());
      // One try, without waiting: the frame fits in an empty socket buffer.
      [[maybe_unused]] const auto sent =
          ::send(socket.get(), frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      continue;
    }
    clients_.emplace(nextClientId_++, std::make_unique<Client>(std::move(socket)));
  }
}

void SocketMessenger::readFrom(uint64_t id, Client& client) {
  std::vector<ReceivedFrame> frames;
  const auto state = client.connection.readFrames(frames, kMaxFramesPerRead);
  for (auto& frame : frames) {
    const auto view = parseFrame({frame.bytes.get(), frame.size});
    if (!view) {
      refuse(id, client, 0, view.error);
      return;
    }
    if (view.value->kind != FrameKind::call) {
      refuse(id, client, view.value->id, "a client may send only call frames (kind 1)");
      return;
    }
    calls_.push_back(PendingCall{id, std::move(frame)});
    ++client.queuedCalls;
  }
  switch (state) {
    case SocketConnection::ReadState::open:
      break;
    case SocketConnection::ReadState::hungUp:
      // Calls already received are still answered, for clients that only shut down
      // their sending side.
      if (client.connection.partialFrame())
        log_(clientName(id) + " hung up in the middle of a frame");
      client.reading = false;
      client.closing = true;
      break;
    case SocketConnection::ReadState::violated:
      refuse(id, client, 0, client.connection.problem());
      break;
    case SocketConnection::ReadState::failed:
      log_(clientName(id) + ": " + client.connection.problem());
      client.reading = false;
      client.broken = true;
      break;
  }
}

void SocketMessenger::refuse(uint64_t id, Client& client, uint32_t frameId,
                             const std::string& reason) {
  log_(clientName(id) + " dropped: " + reason);
  std::erase_if(calls_, [id](const PendingCall& call) { return call.client == id; });
  client.queuedCalls = 0;
  client.reading = false;
  client.closing = true;
  client.connection.queue(framePrefix(FrameKind::failure, frameId, reason.size()), bytesOf(reason));
  if (!client.connection.flush())
    client.broken = true;
}

void SocketMessenger::handleCalls(const std::function<bool()>& stopping) {
  while (!calls_.empty() && !stopping()) {
    PendingCall call = std::move(calls_.front());
    calls_.pop_front();
    if (const auto found = clients_.find(call.client); found != clients_.end())
      --found->second->queuedCalls;
    handle(call);
  }
}

void SocketMessenger::handle(PendingCall& call) {
  const auto view = parseFrame({call.frame.bytes.get(), call.frame.size});
  const auto pending = std::make_shared<PendingReply>(*this, call.client, view.value->id);
  BinaryReply reply = [pending](std::vector<uint8_t> bytes) { pending->answer(std::move(bytes)); };
  const auto handler = handlers_.find(std::string(view.value->channel));
  if (handler == handlers_.end())
    return reply({});
  try {
    handler->second(view.value->message, std::move(reply));
  } catch (const std::exception& error) {
    log_("the handler of " + std::string(view.value->channel) + " failed: " + error.what());
  }
}

void SocketMessenger::sendReply(uint64_t clientId, uint32_t frameId, std::vector<uint8_t> reply) {
  const auto found = clients_.find(clientId);
  if (found == clients_.end())
    return;  // the client has gone; its reply goes with it
  Client& client = *found->second;
  if (frameSize(FrameKind::reply, reply.size()) > kMaxFrameSize) {
    refuse(clientId, client, frameId,
           "the reply of " + std::to_string(reply.size()) + " bytes is over the frame limit");
    return;
  }
  auto prefix = framePrefix(FrameKind::reply, frameId, reply.size());
  client.connection.queue(std::move(prefix), std::move(reply));
  if (!client.connection.flush())
    client.broken = true;
}

void SocketMessenger::closeFinishedClients() {
  std::erase_if(clients_, [](const auto& entry) {
    const Client& client = *entry.second;
    return client.broken ||
           (client.closing && client.queuedCalls == 0 && client.connection.pendingOutput() == 0);
  });
}

}  // namespace tovanel
