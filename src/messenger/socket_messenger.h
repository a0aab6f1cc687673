// The engine's binary messenger served on the channel socket. It is a run-loop source:
// whoever owns it adds it to the main loop, which serves every connection; calls from all
// connections are handled one at a time, in the order in which they arrived, by the
// handler of their channel.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messenger/binary_messenger.h"
#include "messenger/run_loop.h"
#include "messenger/socket_connection.h"
#include "messenger/socket_listener.h"

namespace tovanel {

class SocketMessenger final : public BinaryMessenger, public RunLoopSource {
 public:
  // Serves `listener` once added to a run loop. Problems with clients (refused users,
  // broken frames) are reported through `log`, one line each.
  SocketMessenger(SocketListener listener, std::function<void(const std::string&)> log);
  SocketMessenger(const SocketMessenger&) = delete;
  SocketMessenger& operator=(const SocketMessenger&) = delete;

  void setMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

  const std::string& path() const { return listener_.path(); }

  void prepare(std::vector<pollfd>& descriptors) override;
  void dispatch(std::span<const pollfd> descriptors,
                const std::function<bool()>& stopping) override;

 private:
  struct Client {
    explicit Client(UniqueFd socket) : connection(std::move(socket)) {}
    SocketConnection connection;
    bool reading = true;     // false once the client hung up or broke the framing
    bool closing = false;    // close once the output is sent
    bool broken = false;     // the socket failed: close now
    size_t queuedCalls = 0;  // calls of this client waiting in calls_
  };
  struct PendingCall {
    uint64_t client;
    ReceivedFrame frame;
  };
  class PendingReply;

  void acceptClients();
  void readFrom(uint64_t id, Client& client);
  void refuse(uint64_t id, Client& client, uint32_t frameId, const std::string& reason);
  void handleCalls(const std::function<bool()>& stopping);
  void handle(PendingCall& call);
  void sendReply(uint64_t clientId, uint32_t frameId, std::vector<uint8_t> reply);
  void closeFinishedClients();

  SocketListener listener_;
  std::function<void(const std::string&)> log_;
  std::map<std::string, BinaryMessageHandler> handlers_;
  std::map<uint64_t, std::unique_ptr<Client>> clients_;
  std::vector<uint64_t> polled_;  // the clients of the last prepare(), in order
  std::deque<PendingCall> calls_;
  uint64_t nextClientId_ = 1;
};

}  // namespace tovanel
